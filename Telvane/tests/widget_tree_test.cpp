// The window's widget tree: members, captions, states, sizes, fonts and where everything sits.

#include "window_fixture.h"

#include <QAbstractButton>
#include <QBoxLayout>
#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpacerItem>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

QHash<QObject*, QString> memberNames(Telvane& window);

// Layouts are compared as text: members by name, separator lines by height, fixed spacings by
// size, and stretch factors of box layouts as "*N".
class LayoutDescriber {
  public:
    explicit LayoutDescriber(Telvane& window) : names(memberNames(window)) {}

    QString item(QLayoutItem* item) const {
        if (QSpacerItem* spacer = item->spacerItem()) {
            if (spacer->expandingDirections() != Qt::Orientations()) {
                return QStringLiteral("stretch");
            }
            const QSize size = spacer->sizeHint();
            return QStringLiteral("space%1").arg(qMax(size.width(), size.height()));
        }
        if (QWidget* widget = item->widget()) {
            if (names.contains(widget)) {
                return names.value(widget);
            }
            auto* label = qobject_cast<QLabel*>(widget);
            if (label != nullptr && label->frameStyle() == (QFrame::Box | QFrame::Raised)) {
                return QStringLiteral("line%1").arg(label->maximumHeight());
            }
            if (label != nullptr) {
                return QStringLiteral("label'%1'").arg(label->text());
            }
            return QStringLiteral("?");
        }
        return QStringLiteral("row[%1]").arg(box(qobject_cast<QBoxLayout*>(item->layout())));
    }

    QString box(QBoxLayout* layout) const {
        if (layout == nullptr) {
            return QStringLiteral("not a box layout");
        }
        QStringList parts;
        for (int index = 0; index < layout->count(); ++index) {
            QString part = item(layout->itemAt(index));
            if (layout->stretch(index) != 0) {
                part += QStringLiteral("*%1").arg(layout->stretch(index));
            }
            parts << part;
        }
        return parts.join(QLatin1Char(' '));
    }

    QStringList grid(QGridLayout* layout) const {
        QStringList cells;
        for (int index = 0; index < layout->count(); ++index) {
            int row, column, rowSpan, columnSpan;
            layout->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
            cells << QStringLiteral("(%1,%2,%3,%4) %5")
                         .arg(row)
                         .arg(column)
                         .arg(rowSpan)
                         .arg(columnSpan)
                         .arg(item(layout->itemAt(index)));
        }
        return cells;
    }

  private:
    QHash<QObject*, QString> names;
};

QString centred(const QString& items) {
    return QStringLiteral("row[stretch*1 %1 stretch*1]").arg(items);
}

// Every member the set-up steps fill, by name, in declaration order, with its class.
const char kExpectedClasses[][2][32] = {
    {"centralWidget", "QWidget"},
    {"mainLayout", "QHBoxLayout"},
    {"videoWidget", "QWidget"},
    {"pcPanel", "QWidget"},
    {"decodePanel", "QWidget"},
    {"pcLayout", "QVBoxLayout"},
    {"pcTitleLabel", "QLabel"},
    {"pcConnectStatusLabel", "QLabel"},
    {"pcConnectStateLabel", "QLabel"},
    {"pcDisplayGroupBox", "QGroupBox"},
    {"pcDisplayCh1Btn", "QPushButton"},
    {"pcDisplayCh2Btn", "QPushButton"},
    {"pcDisplayCh3Btn", "QPushButton"},
    {"pcDisplayCh4Btn", "QPushButton"},
    {"pcDisplayOffBtn", "QPushButton"},
    {"pcDisplayBtnGroup", "QButtonGroup"},
    {"pcAudioGroupBox", "QGroupBox"},
    {"pcAudioBtn", "QPushButton"},
    {"actuatorGroupBox", "QGroupBox"},
    {"actuatorLayout", "QGridLayout"},
    {"actuatorIndexLabel", "QLabel"},
    {"actuatorIndexCombo", "QComboBox"},
    {"actuatorDecBtn", "QPushButton"},
    {"actuatorIncBtn", "QPushButton"},
    {"actuatorOutputLabel", "QLabel"},
    {"actuatorOutputEdit", "QLineEdit"},
    {"actuatorIncMoveBtn", "QPushButton"},
    {"actuatorTxBtn", "QPushButton"},
    {"actuatorRxBtn", "QPushButton"},
    {"actuatorDeviceBtnGroup", "QButtonGroup"},
    {"ttlGroupBox", "QGroupBox"},
    {"ttlLayout", "QGridLayout"},
    {"ttlIndexLabel", "QLabel"},
    {"ttlIndexCombo", "QComboBox"},
    {"ttlBaudrateLabel", "QLabel"},
    {"ttlBaudrateCombo", "QComboBox"},
    {"ttlEncBtn", "QPushButton"},
    {"ttlDecBtn", "QPushButton"},
    {"upgradeGroupBox", "QGroupBox"},
    {"upgradeLayout", "QGridLayout"},
    {"upgradeFilePathLabel", "QLabel"},
    {"upgradeFilePathEdit", "QLineEdit"},
    {"upgradeFileChooseBtn", "QPushButton"},
    {"upgradeStatusTitleLabel", "QLabel"},
    {"upgradeStatusLabel", "QLabel"},
    {"upgradeEncBtn", "QPushButton"},
    {"upgradeDecBtn", "QPushButton"},
    {"decodeLayout", "QVBoxLayout"},
    {"decodeTitleLabel", "QLabel"},
    {"decodeConnectStatusLabel", "QLabel"},
    {"decodeConnectStateLabel", "QLabel"},
    {"decodeDisplayGroupBox", "QGroupBox"},
    {"decodeDisplayCh1Btn", "QPushButton"},
    {"decodeDisplayCh2Btn", "QPushButton"},
    {"decodeDisplayCh3Btn", "QPushButton"},
    {"decodeDisplayCh4Btn", "QPushButton"},
    {"decodeFPSLabel", "QLabel"},
    {"decodeFPS30Btn", "QPushButton"},
    {"decodeFPS60Btn", "QPushButton"},
    {"decodeFPSBtnGroup", "QButtonGroup"},
    {"decodeDisplayCh12Btn", "QPushButton"},
    {"decodeDisplayCh34Btn", "QPushButton"},
    {"decodeDisplayQuadBtn", "QPushButton"},
    {"decodeDisplayBtnGroup", "QButtonGroup"},
    {"decodeAudioGroupBox", "QGroupBox"},
    {"decodeAudioCh1Btn", "QPushButton"},
    {"decodeAudioCh2Btn", "QPushButton"},
    {"decodeAudioCh3Btn", "QPushButton"},
    {"decodeAudioCh4Btn", "QPushButton"},
    {"decodeAudioOffBtn", "QPushButton"},
    {"decodeAudioBtnGroup", "QButtonGroup"},
    {"decodeResolutionGroupBox", "QGroupBox"},
    {"decodeResolutionLabel", "QLabel"},
    {"decodeResolution1080Btn", "QPushButton"},
    {"decodeResolution4kBtn", "QPushButton"},
    {"decodeResolutionBtnGroup", "QButtonGroup"},
};

// The window's member objects by name: the ones of kExpectedClasses.
QHash<QObject*, QString> memberNames(Telvane& window) {
    QHash<QObject*, QString> names;
    for (const auto& expected : kExpectedClasses) {
        if (QObject* object = member<QObject>(window, QLatin1String(expected[0]))) {
            names.insert(object, QLatin1String(expected[0]));
        }
    }
    return names;
}

}  // namespace

class WidgetTreeTest : public QObject {
    Q_OBJECT

  private slots:
    void init() { window = std::make_unique<Telvane>(loopbackDevices(), idleLauncher()); }
    void cleanup() { window.reset(); }

    // Each member is found by its name, once, with its class, in the window's tree.
    void membersExistWithTheirClassesInTheWindowsTree() {
        for (const auto& expected : kExpectedClasses) {
            const QString name = QLatin1String(expected[0]);
            const QList<QObject*> objects = window->findChildren<QObject*>(name);
            QVERIFY2(objects.size() == 1, qPrintable(name));
            QObject* object = objects.first();
            QCOMPARE(object->metaObject()->className(), expected[1]);
            // Owned through the window's tree, never free-standing.
            if (auto* widget = qobject_cast<QWidget*>(object)) {
                QVERIFY2(window->isAncestorOf(widget), qPrintable(name));
            } else if (auto* layout = qobject_cast<QLayout*>(object)) {
                QVERIFY2(window->isAncestorOf(layout->parentWidget()), qPrintable(name));
            } else {
                QCOMPARE(object->parent(), window.get());
            }
        }
        // And the window's timers that tests reach by name.
        for (const char* timer : {"actuatorTimer", "decodeInfoTimer"}) {
            QCOMPARE(member<QTimer>(*window, QLatin1String(timer))->parent(), window.get());
        }
    }

    void windowFrameRightAfterConstruction() {
        QCOMPARE(window->objectName(), QStringLiteral("TelvaneClass"));
        QCOMPARE(window->size(), QSize(1082, 828));
        QCOMPARE(window->pos(), QPoint(150, 100));
        QCOMPARE(window->windowTitle(), QStringLiteral("Telvane"));
        QWidget* central = member<QWidget>(*window, QStringLiteral("centralWidget"));
        QCOMPARE(static_cast<QMainWindow*>(window.get())->centralWidget(), central);
        QCOMPARE(central->objectName(), QStringLiteral("centralWidget"));
    }

    void captions_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        const char* const captions[][2] = {
            {"pcTitleLabel", "PC Settings"},
            {"pcConnectStatusLabel", "Connect Status:"},
            {"pcConnectStateLabel", "Disconnect"},
            {"pcDisplayGroupBox", "Channel Choose"},
            {"pcAudioGroupBox", "Audio"},
            {"actuatorGroupBox", "PWMControl"},
            {"actuatorIndexLabel", "PWMIndex:"},
            {"actuatorOutputLabel", "Output:"},
            {"ttlGroupBox", "TTLControl"},
            {"ttlIndexLabel", "TTLIndex:"},
            {"ttlBaudrateLabel", "Baudrate:"},
            {"upgradeGroupBox", "Upgrade"},
            {"upgradeFilePathLabel", "File Path:"},
            {"upgradeStatusTitleLabel", "Status:"},
            {"upgradeStatusLabel", "Unknow"},
            {"decodeTitleLabel", "Receiver HDMI Output Settings"},
            {"decodeConnectStatusLabel", "Connect Status:"},
            {"decodeConnectStateLabel", "Disconnect"},
            {"decodeDisplayGroupBox", "Video"},
            {"decodeFPSLabel", "FPS:"},
            {"decodeAudioGroupBox", "Audio"},
            {"decodeResolutionGroupBox", "Output"},
            {"decodeResolutionLabel", "Resolution:"},
        };
        for (const auto& caption : captions) {
            QTest::newRow(caption[0]) << caption[0] << caption[1];
        }
    }

    void captions() {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QObject* object = member<QObject>(*window, name);
        if (auto* label = qobject_cast<QLabel*>(object)) {
            QCOMPARE(label->text(), caption);
        } else {
            auto* box = qobject_cast<QGroupBox*>(object);
            QVERIFY(box != nullptr);
            QCOMPARE(box->title(), caption);
        }
    }

    void buttons_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("checkable");
        QTest::addColumn<QString>("group");
        QTest::addColumn<int>("id");
        QTest::addColumn<int>("minimumHeight");
        struct Row {
            const char* name;
            const char* caption;
            bool checkable;
            const char* group;
            int id;
            int minimumHeight;
        };
        const Row rows[] = {
            {"pcDisplayCh1Btn", "CH1", true, "pcDisplayBtnGroup", 0, 35},
            {"pcDisplayCh2Btn", "CH2", true, "pcDisplayBtnGroup", 1, 35},
            {"pcDisplayCh3Btn", "CH3", true, "pcDisplayBtnGroup", 2, 35},
            {"pcDisplayCh4Btn", "CH4", true, "pcDisplayBtnGroup", 3, 35},
            {"pcDisplayOffBtn", "X", true, "pcDisplayBtnGroup", 4, 35},
            {"pcAudioBtn", "OFF", true, "", -1, 35},
            {"actuatorDecBtn", "-", false, "", -1, 0},
            {"actuatorIncBtn", "+", false, "", -1, 0},
            {"actuatorIncMoveBtn", "Goto", false, "", -1, 0},
            {"actuatorTxBtn", "Control TX", true, "actuatorDeviceBtnGroup", 0, 30},
            {"actuatorRxBtn", "Control RX", true, "actuatorDeviceBtnGroup", 1, 30},
            {"ttlEncBtn", "Control TX", false, "", -1, 30},
            {"ttlDecBtn", "Control RX", false, "", -1, 30},
            {"upgradeFileChooseBtn", "Choose", false, "", -1, 0},
            {"upgradeEncBtn", "Upgrade TX", false, "", -1, 30},
            {"upgradeDecBtn", "Upgrade RX", false, "", -1, 30},
            {"decodeDisplayCh1Btn", "CH1", true, "decodeDisplayBtnGroup", 0, 35},
            {"decodeDisplayCh2Btn", "CH2", true, "decodeDisplayBtnGroup", 1, 35},
            {"decodeDisplayCh3Btn", "CH3", true, "decodeDisplayBtnGroup", 2, 35},
            {"decodeDisplayCh4Btn", "CH4", true, "decodeDisplayBtnGroup", 3, 35},
            {"decodeDisplayCh12Btn", "CH1|CH2", true, "decodeDisplayBtnGroup", 4, 35},
            {"decodeDisplayCh34Btn", "CH3|CH4", true, "decodeDisplayBtnGroup", 5, 35},
            {"decodeDisplayQuadBtn", "CH1|CH2\r\nCH3|CH4", true, "decodeDisplayBtnGroup", 6, 56},
            {"decodeFPS30Btn", "30fps", true, "decodeFPSBtnGroup", 0, 35},
            {"decodeFPS60Btn", "60fps", true, "decodeFPSBtnGroup", 1, 35},
            {"decodeAudioCh1Btn", "CH1", true, "decodeAudioBtnGroup", 0, 35},
            {"decodeAudioCh2Btn", "CH2", true, "decodeAudioBtnGroup", 1, 35},
            {"decodeAudioCh3Btn", "CH3", true, "decodeAudioBtnGroup", 2, 35},
            {"decodeAudioCh4Btn", "CH4", true, "decodeAudioBtnGroup", 3, 35},
            {"decodeAudioOffBtn", "X", true, "decodeAudioBtnGroup", 4, 35},
            {"decodeResolution1080Btn", "1080P@60fps", true, "decodeResolutionBtnGroup", 0, 35},
            {"decodeResolution4kBtn", "4K@30fps", true, "decodeResolutionBtnGroup", 1, 35},
        };
        for (const Row& row : rows) {
            QTest::newRow(row.name) << row.name << row.caption << row.checkable << row.group
                                    << row.id << row.minimumHeight;
        }
    }

    void buttons() {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(bool, checkable);
        QFETCH(QString, group);
        QFETCH(int, id);
        QFETCH(int, minimumHeight);
        auto* button = member<QPushButton>(*window, name);
        QVERIFY(button != nullptr);
        QCOMPARE(button->text(), caption);
        QCOMPARE(button->isCheckable(), checkable);
        QCOMPARE(button->minimumHeight(), minimumHeight);
        if (group.isEmpty()) {
            QCOMPARE(button->group(), nullptr);
        } else {
            auto* expectedGroup = member<QButtonGroup>(*window, group);
            QCOMPARE(button->group(), expectedGroup);
            QCOMPARE(expectedGroup->id(button), id);
            QVERIFY(expectedGroup->exclusive());
        }
    }

    void groupsHoldExactlyTheirButtons() {
        const QPair<const char*, int> groups[] = {
            {"pcDisplayBtnGroup", 5},   {"actuatorDeviceBtnGroup", 2},
            {"decodeFPSBtnGroup", 2},   {"decodeDisplayBtnGroup", 7},
            {"decodeAudioBtnGroup", 5}, {"decodeResolutionBtnGroup", 2},
        };
        for (const auto& group : groups) {
            QCOMPARE(member<QButtonGroup>(*window, QLatin1String(group.first))->buttons().size(),
                     group.second);
        }
    }

    void sizeConstraints() {
        for (const char* panel : {"pcPanel", "decodePanel"}) {
            QWidget* widget = member<QWidget>(*window, QLatin1String(panel));
            QCOMPARE(widget->minimumWidth(), 300);
            QCOMPARE(widget->maximumWidth(), 300);
        }
        QWidget* video = member<QWidget>(*window, QStringLiteral("videoWidget"));
        QCOMPARE(video->minimumWidth(), 600);
        QVERIFY(video->autoFillBackground());
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
            QCOMPARE(video->palette().brush(group, QPalette::Window).color(), QColor(Qt::black));
            QCOMPARE(video->palette().brush(group, QPalette::Window).style(), Qt::SolidPattern);
        }
        QCOMPARE(member<QPushButton>(*window, "actuatorDecBtn")->maximumWidth(), 20);
        QCOMPARE(member<QPushButton>(*window, "actuatorIncBtn")->maximumWidth(), 20);
        QCOMPARE(member<QPushButton>(*window, "actuatorIncMoveBtn")->maximumWidth(), 40);
        QCOMPARE(member<QPushButton>(*window, "decodeDisplayQuadBtn")->minimumSize(),
                 QSize(100, 56));
    }

    void separatorLines() {
        QMap<int, int> linesByHeight;
        for (QLabel* label : window->findChildren<QLabel*>()) {
            if (label->frameStyle() != 33) {
                continue;
            }
            QVERIFY(label->text().isEmpty());
            QCOMPARE(label->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
            QCOMPARE(label->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
            QCOMPARE(label->sizePolicy().controlType(), QSizePolicy::DefaultType);
            QCOMPARE(label->minimumHeight(), label->maximumHeight());
            ++linesByHeight[label->maximumHeight()];
        }
        // Right column: one under the title and four blocks; left column: one and two blocks;
        // "Video": two thin ones.
        QCOMPARE(linesByHeight, (QMap<int, int>{{3, 8}, {1, 2}}));
    }

    void panelTitleFontOnlyOnTheFiveLabels() {
        QStringList withTitleFont;
        const QHash<QObject*, QString> names = memberNames();
        for (QWidget* widget : window->findChildren<QWidget*>()) {
            if (widget->font().family() == QStringLiteral("Microsoft YaHei")) {
                withTitleFont << names.value(widget, QStringLiteral("unnamed"));
                QCOMPARE(widget->font().pointSize(), 10);
                QCOMPARE(widget->font().weight(), 75);
                QVERIFY(widget->font().bold());
                QVERIFY(!widget->font().italic());
            }
        }
        withTitleFont.sort();
        QCOMPARE(withTitleFont,
                 (QStringList{"decodeConnectStateLabel", "decodeTitleLabel", "pcConnectStateLabel",
                              "pcTitleLabel", "upgradeStatusLabel"}));
    }

    void bothStateLabelsStartRedDisconnected() {
        for (const char* name : {"pcConnectStateLabel", "decodeConnectStateLabel"}) {
            auto* label = member<QLabel>(*window, QLatin1String(name));
            QCOMPARE(label->text(), QStringLiteral("Disconnect"));
            QCOMPARE(label->styleSheet(), QStringLiteral("color:red;"));
        }
    }

    void comboItemsInOrderStartingAtTheFirst() {
        const QPair<const char*, QStringList> combos[] = {
            {"actuatorIndexCombo", {"1", "2", "3", "4", "5", "6"}},
            {"ttlIndexCombo", {"1", "2"}},
            {"ttlBaudrateCombo",
             {"115200", "57600", "38400", "19200", "9600", "4800", "2400", "1200", "300"}},
        };
        for (const auto& combo : combos) {
            auto* box = member<QComboBox>(*window, QLatin1String(combo.first));
            QStringList items;
            for (int index = 0; index < box->count(); ++index) {
                items << box->itemText(index);
                QVERIFY(box->itemIcon(index).isNull());
                QVERIFY(!box->itemData(index).isValid());
            }
            QCOMPARE(items, combo.second);
            QCOMPARE(box->currentIndex(), 0);
        }
    }

    // The validator keeps out signs and a fourth digit, but a three-digit value above 100 can
    // stand in the field as intermediate input.
    void outputFieldAcceptsOnlyDigitsUpToThree() {
        auto* edit = member<QLineEdit>(*window, QStringLiteral("actuatorOutputEdit"));
        QCOMPARE(edit->text(), QStringLiteral("50"));
        auto* validator = qobject_cast<const QIntValidator*>(edit->validator());
        QVERIFY(validator != nullptr);
        QCOMPARE(validator->bottom(), 0);
        QCOMPARE(validator->top(), 100);

        edit->clear();
        QTest::keyClicks(edit, QStringLiteral("-5"));
        QCOMPARE(edit->text(), QStringLiteral("5"));
        edit->clear();
        QTest::keyClicks(edit, QStringLiteral("1000"));
        QCOMPARE(edit->text(), QStringLiteral("100"));
        QVERIFY(edit->hasAcceptableInput());
        edit->clear();
        QTest::keyClicks(edit, QStringLiteral("999"));
        QCOMPARE(edit->text(), QStringLiteral("999"));
        QVERIFY(!edit->hasAcceptableInput());
    }

    void upgradePathCannotBeTyped() {
        auto* edit = member<QLineEdit>(*window, QStringLiteral("upgradeFilePathEdit"));
        QVERIFY(edit->isReadOnly());
        QVERIFY(edit->text().isEmpty());
        QTest::keyClicks(edit, QStringLiteral("/tmp/firmware.bin"));
        QVERIFY(edit->text().isEmpty());
    }

    void onlyControlTxStartsChecked() {
        QStringList checkable;
        QStringList checked;
        const QHash<QObject*, QString> names = memberNames();
        for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
            if (button->isCheckable()) {
                checkable << names.value(button);
            }
            if (button->isChecked()) {
                checked << names.value(button);
            }
        }
        QCOMPARE(checkable.size(), 24);
        QCOMPARE(checked, QStringList{"actuatorTxBtn"});
    }

    void exclusivePairsAndTheFreeAudioButton() {
        window->show();
        auto* tx = member<QPushButton>(*window, QStringLiteral("actuatorTxBtn"));
        auto* rx = member<QPushButton>(*window, QStringLiteral("actuatorRxBtn"));
        QTest::mouseClick(rx, Qt::LeftButton);
        QVERIFY(rx->isChecked());
        QVERIFY(!tx->isChecked());
        QTest::mouseClick(rx, Qt::LeftButton);
        QVERIFY(rx->isChecked());

        auto* ttlTx = member<QPushButton>(*window, QStringLiteral("ttlEncBtn"));
        QTest::mouseClick(ttlTx, Qt::LeftButton);
        QVERIFY(!ttlTx->isChecked());

        auto* audio = member<QPushButton>(*window, QStringLiteral("pcAudioBtn"));
        QTest::mouseClick(audio, Qt::LeftButton);
        QVERIFY(audio->isChecked());
        QTest::mouseClick(audio, Qt::LeftButton);
        QVERIFY(!audio->isChecked());
    }

    void threeColumnsReceiverPictureAndPc() {
        LayoutDescriber describe(*window);
        QCOMPARE(describe.box(member<QBoxLayout>(*window, QStringLiteral("mainLayout"))),
                 QStringLiteral("decodePanel*1 videoWidget*3 pcPanel*1"));
        QCOMPARE(member<QLayout>(*window, QStringLiteral("mainLayout"))->parentWidget(),
                 member<QWidget>(*window, QStringLiteral("centralWidget")));
    }

    void rightColumnTopToBottom() {
        LayoutDescriber describe(*window);
        const QString block = QStringLiteral("space20 line3 space20");
        const QStringList expected = {
            centred(QStringLiteral("pcTitleLabel")),
            QStringLiteral("line3 space20"),
            centred(QStringLiteral("pcConnectStatusLabel pcConnectStateLabel")),
            QStringLiteral("space20 pcDisplayGroupBox"),
            block,
            QStringLiteral("pcAudioGroupBox"),
            block,
            QStringLiteral("stretch*1 actuatorGroupBox"),
            block,
            QStringLiteral("ttlGroupBox"),
            block,
            QStringLiteral("upgradeGroupBox space45"),
        };
        QCOMPARE(describe.box(member<QBoxLayout>(*window, QStringLiteral("pcLayout"))),
                 expected.join(QLatin1Char(' ')));
    }

    void leftColumnTopToBottom() {
        LayoutDescriber describe(*window);
        const QString block = QStringLiteral("space20 line3 space20");
        const QStringList expected = {
            centred(QStringLiteral("decodeTitleLabel")),
            QStringLiteral("line3 space20"),
            centred(QStringLiteral("decodeConnectStatusLabel decodeConnectStateLabel")),
            QStringLiteral("space20 decodeDisplayGroupBox"),
            block,
            QStringLiteral("decodeAudioGroupBox"),
            block,
            QStringLiteral("decodeResolutionGroupBox stretch*1"),
        };
        QCOMPARE(describe.box(member<QBoxLayout>(*window, QStringLiteral("decodeLayout"))),
                 expected.join(QLatin1Char(' ')));
    }

    void gridCells_data() {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QStringList>("cells");
        QTest::newRow("Channel Choose")
            << "pcDisplayGroupBox"
            << QStringList{"(0,0,1,1) " + centred("pcDisplayCh1Btn space20 pcDisplayCh2Btn"),
                           "(1,0,1,1) " + centred("pcDisplayCh3Btn space20 pcDisplayCh4Btn"),
                           "(2,0,1,1) " + centred("pcDisplayOffBtn")};
        QTest::newRow("Audio (PC)")
            << "pcAudioGroupBox" << QStringList{"(0,0,1,1) " + centred("pcAudioBtn")};
        QTest::newRow("PWMControl")
            << "actuatorGroupBox"
            << QStringList{"(0,0,1,1) actuatorIndexLabel",
                           "(0,1,1,5) actuatorIndexCombo",
                           "(0,6,1,1) actuatorDecBtn",
                           "(0,7,1,1) actuatorIncBtn",
                           "(2,0,1,1) actuatorOutputLabel",
                           "(2,1,1,5) actuatorOutputEdit",
                           "(2,6,1,2) actuatorIncMoveBtn",
                           "(3,0,2,8) " + centred("actuatorTxBtn space20 actuatorRxBtn")};
        QTest::newRow("TTLControl")
            << "ttlGroupBox"
            << QStringList{"(0,0,1,1) ttlIndexLabel", "(0,1,1,7) ttlIndexCombo",
                           "(2,0,1,1) ttlBaudrateLabel", "(2,1,1,7) ttlBaudrateCombo",
                           "(3,0,2,8) " + centred("ttlEncBtn space20 ttlDecBtn")};
        QTest::newRow("Upgrade")
            << "upgradeGroupBox"
            << QStringList{"(0,0,1,1) upgradeFilePathLabel",
                           "(0,1,1,2) upgradeFilePathEdit",
                           "(0,3,1,1) upgradeFileChooseBtn",
                           "(1,0,1,1) upgradeStatusTitleLabel",
                           "(1,1,1,3) upgradeStatusLabel",
                           "(2,0,1,4) " + centred("upgradeEncBtn space20 upgradeDecBtn")};
        QTest::newRow("Video")
            << "decodeDisplayGroupBox"
            << QStringList{
                   "(0,0,1,1) " + centred("decodeDisplayCh1Btn space10 decodeDisplayCh2Btn space10 "
                                          "decodeFPSLabel decodeFPS30Btn"),
                   "(1,0,1,1) " + centred("decodeDisplayCh3Btn space10 decodeDisplayCh4Btn space10 "
                                          "label'    ' decodeFPS60Btn"),
                   "(2,0,1,1) line1",
                   "(3,0,1,1) " + centred("decodeDisplayCh12Btn space20 decodeDisplayCh34Btn"),
                   "(4,0,1,1) line1",
                   "(5,0,1,1) " + centred("decodeDisplayQuadBtn")};
        QTest::newRow("Audio (receiver)")
            << "decodeAudioGroupBox"
            << QStringList{"(0,0,1,1) " + centred("decodeAudioCh1Btn space20 decodeAudioCh2Btn"),
                           "(1,0,1,1) " + centred("decodeAudioCh3Btn space20 decodeAudioCh4Btn"),
                           "(2,0,1,1) " + centred("decodeAudioOffBtn")};
        QTest::newRow("Output") << "decodeResolutionGroupBox"
                                << QStringList{"(0,0,1,1) decodeResolutionLabel",
                                               "(0,1,1,3) decodeResolution1080Btn",
                                               "(0,4,1,3) decodeResolution4kBtn"};
    }

    void gridCells() {
        QFETCH(QString, box);
        QFETCH(QStringList, cells);
        auto* grid = qobject_cast<QGridLayout*>(member<QGroupBox>(*window, box)->layout());
        QVERIFY(grid != nullptr);
        QCOMPARE(LayoutDescriber(*window).grid(grid), cells);
    }

    void gridSpacingAndMargins() {
        const struct {
            const char* box;
            int verticalSpacing;
            QMargins margins;
        } grids[] = {
            {"pcDisplayGroupBox", 15, {0, 10, 0, 10}},
            {"pcAudioGroupBox", 10, {0, 10, 0, 10}},
            {"decodeDisplayGroupBox", 15, {0, 10, 0, 10}},
            {"decodeAudioGroupBox", 10, {0, 10, 0, 10}},
            {"decodeResolutionGroupBox", 15, {15, 10, 10, 15}},
        };
        for (const auto& expected : grids) {
            auto* grid = qobject_cast<QGridLayout*>(
                member<QGroupBox>(*window, QLatin1String(expected.box))->layout());
            QCOMPARE(grid->verticalSpacing(), expected.verticalSpacing);
            QCOMPARE(grid->contentsMargins(), expected.margins);
        }
        // The tool boxes keep Qt's defaults, like a fresh grid on a group box inside a window.
        QWidget referenceWindow;
        auto* defaults = new QGridLayout(new QGroupBox(&referenceWindow));
        for (const char* name : {"actuatorLayout", "ttlLayout", "upgradeLayout"}) {
            auto* grid = member<QGridLayout>(*window, QLatin1String(name));
            QCOMPARE(grid->contentsMargins(), defaults->contentsMargins());
            QCOMPARE(grid->verticalSpacing(), defaults->verticalSpacing());
            QCOMPARE(grid->horizontalSpacing(), defaults->horizontalSpacing());
        }
    }

    // The panels have fixed widths, so the window is at least 300 + 600 + 300 wide and any extra
    // width goes to the picture.
    void extraWidthGoesToThePicture() {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QWidget* video = member<QWidget>(*window, QStringLiteral("videoWidget"));
        QWidget* pc = member<QWidget>(*window, QStringLiteral("pcPanel"));
        QWidget* decode = member<QWidget>(*window, QStringLiteral("decodePanel"));
        QVERIFY(window->minimumSizeHint().width() >= 1200);

        window->resize(1700, 900);
        QTRY_COMPARE(window->width(), 1700);
        QTRY_VERIFY(video->width() > 1000);
        QCOMPARE(pc->width(), 300);
        QCOMPARE(decode->width(), 300);
        QVERIFY(decode->geometry().right() < video->x());
        QVERIFY(video->geometry().right() < pc->x());

        const int wideVideo = video->width();
        window->resize(1300, 900);
        QTRY_COMPARE(video->width(), wideVideo - 400);
        QCOMPARE(pc->width(), 300);
    }

  private:
    QHash<QObject*, QString> memberNames() const { return ::memberNames(*window); }

    std::unique_ptr<Telvane> window;
};

QTEST_MAIN(WidgetTreeTest)
#include "widget_tree_test.moc"
