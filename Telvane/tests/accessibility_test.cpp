// What a screen reader and a keyboard user get of the window: every control named, described and
// told apart from the others of its group, in English and in Chinese; the picture and the status
// bar named; the keyboard's way through the controls column by column in reading order; and the
// focus visible on every control it reaches.

#include "look.h"
#include "window_fixture.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QButtonGroup>
#include <QImage>
#include <QPushButton>
#include <QSet>
#include <QStatusBar>
#include <QTranslator>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

// Whether the operator acts on the element: a control, or anything the keyboard can reach.
bool isInteractive(QAccessibleInterface* element) {
    switch (element->role()) {
        case QAccessible::PushButton:
        case QAccessible::CheckBox:
        case QAccessible::RadioButton:
        case QAccessible::ComboBox:
        case QAccessible::EditableText:
        case QAccessible::SpinBox:
        case QAccessible::Slider:
        case QAccessible::ButtonDropDown:
        case QAccessible::ButtonMenu:
            return true;
        default:
            return element->state().focusable;
    }
}

// A name that a screen reader can say and a listener can tell apart: a word or a number, not a
// lone sign or letter, and without the line breaks and bars that captions use for layout.
bool isSpeakable(const QString& name) {
    const QString trimmed = name.trimmed();
    return trimmed.size() >= 2 && !trimmed.contains(QLatin1Char('|')) &&
           !trimmed.contains(QLatin1Char('\n')) && !trimmed.contains(QLatin1Char('\r')) &&
           std::any_of(trimmed.begin(), trimmed.end(),
                       [](QChar character) { return character.isLetterOrNumber(); });
}

// What a screen reader announces an element by: its name, but for a combo box, whose name on Linux
// is its current item, the label that labels it (a group box around it labels it too).
QString spokenName(QAccessibleInterface* element) {
    if (element->role() == QAccessible::ComboBox) {
        for (const auto& relation : element->relations(QAccessible::Label)) {
            if (relation.first->role() == QAccessible::StaticText) {
                return relation.first->text(QAccessible::Name);
            }
        }
        return QString();
    }
    return element->text(QAccessible::Name);
}

bool hasChineseCharacter(const QString& text) {
    return std::any_of(text.begin(), text.end(),
                       [](QChar character) { return character.script() == QChar::Script_Han; });
}

struct Element {
    QAccessibleInterface* accessible;
    QString group;  // the name of the nearest group box around it, if any
};

// The accessible tree under `root`, depth first; the parts of a control (a combo box's list, a
// field's text) are the control's own and are not walked into.
void walk(QAccessibleInterface* root, const QString& group, QVector<Element>& elements) {
    for (int index = 0; index < root->childCount(); ++index) {
        QAccessibleInterface* child = root->child(index);
        if (child == nullptr) {
            continue;
        }
        elements.push_back({child, group});
        if (!isInteractive(child)) {
            walk(child,
                 child->role() == QAccessible::Grouping ? child->text(QAccessible::Name) : group,
                 elements);
        }
    }
}

QVector<Element> accessibleTree(Telvane& window) {
    QVector<Element> elements;
    walk(QAccessible::queryAccessibleInterface(&window), QString(), elements);
    return elements;
}

// The controls that take the keyboard's focus (enabled or not), in the order of the window's focus
// chain, from the control that has the focus when the window shows.
QVector<QWidget*> focusChain(Telvane& window) {
    QWidget* const first = window.focusWidget();
    QVector<QWidget*> chain;
    if (first == nullptr) {
        return chain;
    }
    QWidget* widget = first;
    do {
        if (widget->focusPolicy() != Qt::NoFocus && widget->isVisibleTo(&window)) {
            chain.push_back(widget);
        }
        widget = widget->nextInFocusChain();
    } while (widget != first);
    return chain;
}

// The button group that makes `widget` one of several exclusive buttons, or none.
const QButtonGroup* exclusiveGroup(const QWidget* widget) {
    const auto* button = qobject_cast<const QAbstractButton*>(widget);
    return button != nullptr && button->group() != nullptr && button->group()->exclusive() &&
                   button->isCheckable()
               ? button->group()
               : nullptr;
}

// The relative luminance of a colour, as the web's accessibility guidelines define it.
double luminance(QRgb colour) {
    auto linear = [](int channel) {
        const double value = channel / 255.0;
        return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(qRed(colour)) + 0.7152 * linear(qGreen(colour)) +
           0.0722 * linear(qBlue(colour));
}

// Pixels whose colour changes with a contrast of at least 3:1 between two pictures of one widget:
// the change that the guidelines ask of a focus indicator.
int pixelsChangingWithContrast(const QImage& before, const QImage& after) {
    if (before.size() != after.size()) {
        return before.width() * before.height();
    }
    int changed = 0;
    for (int y = 0; y < before.height(); ++y) {
        for (int x = 0; x < before.width(); ++x) {
            const double a = luminance(before.pixel(x, y));
            const double b = luminance(after.pixel(x, y));
            if ((qMax(a, b) + 0.05) / (qMin(a, b) + 0.05) >= 3.0) {
                ++changed;
            }
        }
    }
    return changed;
}

QString describe(const QWidget* widget) {
    const QString name = widget->accessibleName();
    return QStringLiteral("%1 '%2'").arg(widget->metaObject()->className(),
                                         name.isEmpty() ? widget->objectName() : name);
}

}  // namespace

class AccessibilityTest : public QObject {
    Q_OBJECT

  private slots:
    void everyControlIsNamedDescribedAndDistinct_data() {
        QTest::addColumn<bool>("chinese");
        QTest::newRow("English") << false;
        QTest::newRow("Chinese") << true;
    }

    void everyControlIsNamedDescribedAndDistinct() {
        QFETCH(bool, chinese);
        QTranslator translator;
        if (chinese) {
            QVERIFY(translator.load(QStringLiteral(TELVANE_BUILD_DIR "/Language/zh_CN.qm")));
            QCoreApplication::installTranslator(&translator);
        }
        Telvane window(loopbackDevices(), idleLauncher());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QSet<QObject*> reached;
        QSet<QString> namesInGroups;
        QStringList faults;
        for (const Element& element : accessibleTree(window)) {
            QAccessibleInterface* accessible = element.accessible;
            reached.insert(accessible->object());
            if (!isInteractive(accessible)) {
                continue;
            }
            const QString name = spokenName(accessible);
            const QString description = accessible->text(QAccessible::Description);
            const QString what =
                QStringLiteral("%1 '%2' in '%3'")
                    .arg(accessible->object()->metaObject()->className(), name, element.group);
            if (!isSpeakable(name)) {
                faults << what + QStringLiteral(": no name to speak");
            }
            if (description.trimmed().isEmpty() || description == name) {
                faults << what + QStringLiteral(": no description");
            } else if (chinese && !hasChineseCharacter(description)) {
                faults << what + QStringLiteral(": description not translated: ") + description;
            }
            if (namesInGroups.contains(element.group + QLatin1Char('/') + name)) {
                faults << what + QStringLiteral(": same name as another control of its group");
            }
            namesInGroups.insert(element.group + QLatin1Char('/') + name);
        }
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));

        // The walk reached every control the keyboard reaches, the picture and the status bar.
        for (QWidget* widget : focusChain(window)) {
            QVERIFY2(reached.contains(widget), qPrintable(describe(widget)));
        }
        for (QWidget* widget :
             {member<QWidget>(window, QStringLiteral("videoWidget")), static_cast<QWidget*>(window.statusBar())}) {
            QVERIFY2(reached.contains(widget), qPrintable(describe(widget)));
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
            QVERIFY2(isSpeakable(accessible->text(QAccessible::Name)),
                     qPrintable(describe(widget)));
            QVERIFY(!accessible->text(QAccessible::Description).isEmpty());
            QCOMPARE(hasChineseCharacter(accessible->text(QAccessible::Name)), chinese);
        }
    }

    // The focus chain goes through the receiver's panel, then the PC's, each top to bottom and
    // every row left to right, and from the last control back to the first, which has the focus
    // when the window shows. Tab follows it, passing over disabled controls and stopping once in a
    // group of exclusive buttons.
    void keyboardGoesColumnByColumnInReadingOrder() {
        Telvane window(loopbackDevices(), idleLauncher());
        showActive(window);
        QWidget* const leftColumn = member<QWidget>(window, QStringLiteral("decodePanel"));
        QWidget* const rightColumn = member<QWidget>(window, QStringLiteral("pcPanel"));
        const QVector<QWidget*> chain = focusChain(window);
        QVERIFY(chain.size() > 30);
        QCOMPARE(QApplication::focusWidget(), chain.first());
        QVERIFY(leftColumn->isAncestorOf(chain.first()));
        QVERIFY(rightColumn->isAncestorOf(chain.last()));
        for (int index = 1; index < chain.size(); ++index) {
            QWidget* const before = chain[index - 1];
            QWidget* const after = chain[index];
            const QString step = describe(before) + QStringLiteral(" -> ") + describe(after);
            QVERIFY2(leftColumn->isAncestorOf(after) || rightColumn->isAncestorOf(after),
                     qPrintable(step));
            if (leftColumn->isAncestorOf(before) && rightColumn->isAncestorOf(after)) {
                continue;  // the next column
            }
            QVERIFY2(leftColumn->isAncestorOf(before) == leftColumn->isAncestorOf(after),
                     qPrintable(step));
            const QRect a(before->mapTo(&window, QPoint()), before->size());
            const QRect b(after->mapTo(&window, QPoint()), after->size());
            const bool sameRow = a.top() <= b.bottom() && b.top() <= a.bottom();
            QVERIFY2(sameRow ? b.left() > a.right() : b.top() > a.bottom(), qPrintable(step));
        }

        QVector<QWidget*> stops{chain.first()};
        for (int presses = 0; presses <= chain.size(); ++presses) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            if (QApplication::focusWidget() == chain.first()) {
                break;
            }
            stops.push_back(QApplication::focusWidget());
        }
        QCOMPARE(QApplication::focusWidget(), chain.first());
        int position = 0;
        QSet<const QButtonGroup*> groupsStoppedAt;
        for (QWidget* stop : stops) {
            const int found = chain.indexOf(stop, position);
            QVERIFY2(found >= position,
                     qPrintable(describe(stop) + QStringLiteral(" out of order")));
            position = found + 1;
            QVERIFY(stop->isEnabled());
            if (const QButtonGroup* group = exclusiveGroup(stop)) {
                QVERIFY2(!groupsStoppedAt.contains(group), qPrintable(describe(stop)));
                groupsStoppedAt.insert(group);
            }
        }
        for (QWidget* widget : chain) {
            if (widget->isEnabled()) {
                const QButtonGroup* group = exclusiveGroup(widget);
                QVERIFY2(
                    group != nullptr ? groupsStoppedAt.contains(group) : stops.contains(widget),
                    qPrintable(describe(widget) + QStringLiteral(" never reached")));
            }
        }
    }

    // Every control that takes the keyboard's focus looks clearly different while it has it:
    // buttons checked and plain, combo boxes and fields.
    void keyboardFocusIsVisibleOnEveryControl() {
        Telvane window(loopbackDevices(), idleLauncher());
        showActive(window);
        member<QPushButton>(window, QStringLiteral("decodeDisplayCh12Btn"))->setChecked(true);
        member<QPushButton>(window, QStringLiteral("pcDisplayCh2Btn"))->setChecked(true);
        // Qt draws the focus once the keyboard has moved it.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        for (QWidget* widget : focusChain(window)) {
            if (!widget->isEnabled()) {
                continue;
            }
            widget->setFocus(Qt::TabFocusReason);
            QTRY_COMPARE(QApplication::focusWidget(), widget);
            const QImage focused = widget->grab().toImage();
            widget->clearFocus();
            const int changed = pixelsChangingWithContrast(widget->grab().toImage(), focused);
            QVERIFY2(changed >= widget->width() + widget->height(),
                     qPrintable(QStringLiteral("%1: %2 pixels change with the focus")
                                    .arg(describe(widget))
                                    .arg(changed)));
        }
    }

  private:
    static void showActive(Telvane& window) {
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
    }
};

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    applyTelvaneLook(application);
    AccessibilityTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "accessibility_test.moc"
