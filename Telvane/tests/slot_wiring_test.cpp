// The window's meta-object and the wiring of every control: each click must land in its slot,
// once, with the button's id.

#include "window_fixture.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QTimer>
#include <QtTest>

#include <memory>

class SlotWiringTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        window = std::make_unique<ProbeTelvane>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    void init() {
        window->entries.clear();
        window->filteredEvents.clear();
    }
    void cleanupTestCase() { window.reset(); }

    void metaObjectHasTheTwentySlotsInOrder() {
        const QMetaObject& meta = Telvane::staticMetaObject;
        QCOMPARE(QString(meta.className()), QStringLiteral("Telvane"));
        QVERIFY(meta.superClass() == &QMainWindow::staticMetaObject);
        QCOMPARE(meta.propertyCount(), meta.propertyOffset());
        QCOMPARE(meta.enumeratorCount(), meta.enumeratorOffset());
        QCOMPARE(meta.classInfoCount(), meta.classInfoOffset());

        const struct {
            const char* signature;
            const char* returnType;
            QList<QByteArray> parameterNames;
        } expected[] = {
            {"eventFilter(QObject*,QEvent*)", "bool", {"obj", "event"}},
            {"pcDisplayBtnClick(int)", "void", {"btnID"}},
            {"pcAudioBtnClick()", "void", {}},
            {"actuatorDecBtnPressed()", "void", {}},
            {"actuatorDecBtnReleased()", "void", {}},
            {"actuatorIncBtnPressed()", "void", {}},
            {"actuatorIncBtnReleased()", "void", {}},
            {"actuatorIncMoveBtnClick()", "void", {}},
            {"actuatorMoveCheck()", "void", {}},
            {"ttlEncBtnClick()", "void", {}},
            {"ttlDecBtnClick()", "void", {}},
            {"upgradeFileChooseBtnClick()", "void", {}},
            {"upgradeEncBtnClick()", "void", {}},
            {"upgradeDecBtnClick()", "void", {}},
            {"decodeDisplayBtnClick(int)", "void", {"btnID"}},
            {"decodeFPSBtnClick(int)", "void", {"btnID"}},
            {"decodeAudioBtnClick(int)", "void", {"btnID"}},
            {"decodeResolutionBtnClick(int)", "void", {"btnID"}},
            {"getDecodeDeviceInfo()", "void", {}},
            {"deviceNotify(void*,int)", "void", {"device", "status"}},
        };
        QCOMPARE(meta.methodCount() - meta.methodOffset(), int(std::size(expected)));
        for (int index = 0; index < int(std::size(expected)); ++index) {
            const QMetaMethod method = meta.method(meta.methodOffset() + index);
            QCOMPARE(method.methodSignature(), QByteArray(expected[index].signature));
            QCOMPARE(method.methodType(), QMetaMethod::Slot);
            QCOMPARE(method.access(), QMetaMethod::Public);
            QCOMPARE(QByteArray(method.typeName()), QByteArray(expected[index].returnType));
            QCOMPARE(method.parameterNames(), expected[index].parameterNames);
        }
    }

    void everyControlReachesItsSlot_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QStringList>("entries");
        const QStringList pressAndRelease[] = {
            {"actuatorDecBtnPressed()", "actuatorDecBtnReleased()"},
            {"actuatorIncBtnPressed()", "actuatorIncBtnReleased()"},
        };
        const char* const buttons[][2] = {
            {"pcDisplayCh1Btn", "pcDisplayBtnClick(0)"},
            {"pcDisplayCh2Btn", "pcDisplayBtnClick(1)"},
            {"pcDisplayCh3Btn", "pcDisplayBtnClick(2)"},
            {"pcDisplayCh4Btn", "pcDisplayBtnClick(3)"},
            {"pcDisplayOffBtn", "pcDisplayBtnClick(4)"},
            {"pcAudioBtn", "pcAudioBtnClick()"},
            {"actuatorIncMoveBtn", "actuatorIncMoveBtnClick()"},
            {"ttlEncBtn", "ttlEncBtnClick()"},
            {"ttlDecBtn", "ttlDecBtnClick()"},
            {"upgradeFileChooseBtn", "upgradeFileChooseBtnClick()"},
            {"upgradeEncBtn", "upgradeEncBtnClick()"},
            {"upgradeDecBtn", "upgradeDecBtnClick()"},
            {"decodeDisplayCh1Btn", "decodeDisplayBtnClick(0)"},
            {"decodeDisplayCh2Btn", "decodeDisplayBtnClick(1)"},
            {"decodeDisplayCh3Btn", "decodeDisplayBtnClick(2)"},
            {"decodeDisplayCh4Btn", "decodeDisplayBtnClick(3)"},
            {"decodeDisplayCh12Btn", "decodeDisplayBtnClick(4)"},
            {"decodeDisplayCh34Btn", "decodeDisplayBtnClick(5)"},
            {"decodeDisplayQuadBtn", "decodeDisplayBtnClick(6)"},
            {"decodeFPS30Btn", "decodeFPSBtnClick(0)"},
            {"decodeFPS60Btn", "decodeFPSBtnClick(1)"},
            {"decodeAudioCh1Btn", "decodeAudioBtnClick(0)"},
            {"decodeAudioCh2Btn", "decodeAudioBtnClick(1)"},
            {"decodeAudioCh3Btn", "decodeAudioBtnClick(2)"},
            {"decodeAudioCh4Btn", "decodeAudioBtnClick(3)"},
            {"decodeAudioOffBtn", "decodeAudioBtnClick(4)"},
            {"decodeResolution1080Btn", "decodeResolutionBtnClick(0)"},
            {"decodeResolution4kBtn", "decodeResolutionBtnClick(1)"},
        };
        QTest::newRow("actuatorDecBtn") << "actuatorDecBtn" << pressAndRelease[0];
        QTest::newRow("actuatorIncBtn") << "actuatorIncBtn" << pressAndRelease[1];
        for (const auto& button : buttons) {
            QTest::newRow(button[0]) << button[0] << QStringList{button[1]};
        }
    }

    void everyControlReachesItsSlot() {
        QFETCH(QString, control);
        QFETCH(QStringList, entries);
        auto* button = member<QAbstractButton>(*window, control);
        QVERIFY(button != nullptr);
        // The receiver panel disables buttons by layout (the frame rate with several windows):
        // the wiring is what is looked at here.
        button->setEnabled(true);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(window->entries, entries);
    }

    // "-" and "+" report the press while the button is still held, not only on release.
    void pressIsReportedBeforeRelease() {
        auto* button = member<QAbstractButton>(*window, QStringLiteral("actuatorIncBtn"));
        QTest::mousePress(button, Qt::LeftButton);
        QCOMPARE(window->entries, QStringList{"actuatorIncBtnPressed()"});
        QTest::mouseRelease(button, Qt::LeftButton);
        QCOMPARE(window->entries,
                 (QStringList{"actuatorIncBtnPressed()", "actuatorIncBtnReleased()"}));
    }

    void clickOnTheCheckedButtonStillReports() {
        auto* button = member<QAbstractButton>(*window, QStringLiteral("pcDisplayCh2Btn"));
        QTest::mouseClick(button, Qt::LeftButton);
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(button->isChecked());
        QCOMPARE(window->entries, (QStringList{"pcDisplayBtnClick(1)", "pcDisplayBtnClick(1)"}));
    }

    void choiceControlsHaveNoSlotOfTheirOwn() {
        QTest::mouseClick(member<QAbstractButton>(*window, QStringLiteral("actuatorRxBtn")),
                          Qt::LeftButton);
        QTest::mouseClick(member<QAbstractButton>(*window, QStringLiteral("actuatorTxBtn")),
                          Qt::LeftButton);
        for (const char* name : {"actuatorIndexCombo", "ttlIndexCombo", "ttlBaudrateCombo"}) {
            auto* combo = member<QComboBox>(*window, QLatin1String(name));
            combo->setFocus();
            QTest::keyClick(combo, Qt::Key_Down);
            QCOMPARE(combo->currentIndex(), 1);
        }
        auto* output = member<QLineEdit>(*window, QStringLiteral("actuatorOutputEdit"));
        QTest::keyClicks(output, QStringLiteral("7"));
        QTest::keyClick(output, Qt::Key_Return);
        QCOMPARE(window->entries, QStringList());
    }

    void actuatorTimerDrivesTheMoveCheck() {
        QTimer* timer = TelvaneTestAccess::actuatorTimer(*window);
        QVERIFY(timer != nullptr);
        QCOMPARE(timer->parent(), static_cast<QObject*>(window.get()));
        QVERIFY(!timer->isActive());
        timer->start(1);
        QTRY_VERIFY(window->entries.contains(QStringLiteral("actuatorMoveCheck()")));
        timer->stop();
    }

    // The window watches the picture area and nothing else, and lets every event through.
    void pictureAreaEventsPassThroughTheFilter() {
        QWidget* video = TelvaneTestAccess::videoWidget(*window);
        QTest::mouseDClick(video, Qt::LeftButton);
        QTest::mouseClick(member<QAbstractButton>(*window, QStringLiteral("ttlEncBtn")),
                          Qt::LeftButton);
        QVERIFY(window->filteredEvents.contains(
            qMakePair(static_cast<QObject*>(video), int(QEvent::MouseButtonDblClick))));
        for (const auto& filtered : window->filteredEvents) {
            QCOMPARE(filtered.first, static_cast<QObject*>(video));
        }

        QMouseEvent doubleClick(QEvent::MouseButtonDblClick, QPointF(5, 5), Qt::LeftButton,
                                Qt::LeftButton, Qt::NoModifier);
        QResizeEvent resize(QSize(640, 480), video->size());
        Telvane& base = *window;
        QCOMPARE(base.Telvane::eventFilter(video, &doubleClick), false);
        QCOMPARE(base.Telvane::eventFilter(video, &resize), false);
    }

  private:
    std::unique_ptr<ProbeTelvane> window;
};

QTEST_MAIN(SlotWiringTest)
#include "slot_wiring_test.moc"
