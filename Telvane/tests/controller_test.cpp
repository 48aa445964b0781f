// The window as controller, against fake devices on loopback addresses: connection labels, the
// receiver output panel and the PC-side tools down to the bytes the devices receive, and a window
// that keeps answering while the devices are slow, silent or hold their answers.
#include "fake_device.h"
#include "hdmi_device_proxy.h"
#include "window_fixture.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTemporaryFile>
#include <QTimer>
#include <QtTest>

#include <sys/socket.h>

#include <chrono>
#include <thread>

#include <memory>
#include <string>
#include <vector>

using korvex::test::FakeDevice;

namespace {

// A slot must hand its device commands over and return; anything near this is a blocked window.
constexpr qint64 kClickReturnsWithinMs = 100;

}  // namespace

class ControllerTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<FakeInstallation> installation;
    std::unique_ptr<Telvane> window;

    template <typename T>
    T* get(const char* name) {
        return member<T>(*window, QString::fromLatin1(name));
    }
    QString style(const char* label) { return get<QLabel>(label)->styleSheet(); }
    QString text(const char* label) { return get<QLabel>(label)->text(); }
    QString statusText() { return window->statusBar()->currentMessage(); }
    QLabel* statusBarLabel() { return window->statusBar()->findChild<QLabel*>(); }
    FakeDevice& receiver() { return *installation->receiver; }
    FakeDevice& transmitter() { return installation->transmitter(2); }

    // A window on the fake installation; the receiver answers `receiverAnswer` from the start.
    void startWindow(const std::string& receiverAnswer = everyKey("1:0,0,100,100", 1, 30)) {
        installation = std::make_unique<FakeInstallation>();
        receiver().setDefaultReply(serving(receiverAnswer));
        window = std::make_unique<Telvane>(installation->devices(), idleLauncher());
        member<QTimer>(*window, QStringLiteral("decodeInfoTimer"))->stop();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    // The receiver answered its poll and the panel shows what it reported.
    void waitForReceiver() {
        QTRY_COMPARE_WITH_TIMEOUT(text("decodeConnectStateLabel"), QStringLiteral("Connect"), 5000);
        QCOMPARE(style("decodeConnectStateLabel"), QStringLiteral("color:green;"));
        reread();
    }

    void reread() {
        // The read the window makes of its own when the receiver first answers goes first.
        QVERIFY(waitForQuiet(receiver()));
        const size_t before = requestsFor(receiver(), "GET_DISPLAY").size();
        QVERIFY(QMetaObject::invokeMethod(window.get(), "getDecodeDeviceInfo"));
        QTRY_VERIFY_WITH_TIMEOUT(requestsFor(receiver(), "GET_DISPLAY").size() > before, 5000);
        QVERIFY(waitForQuiet(receiver()));
    }

    void chooseTransmitterCh2() {
        // The last channel clicked is remembered for the whole process: start from "X".
        get<QPushButton>("pcDisplayOffBtn")->click();
        get<QPushButton>("pcDisplayCh2Btn")->click();
        QTRY_COMPARE_WITH_TIMEOUT(text("pcConnectStateLabel"), QStringLiteral("Connect"), 5000);
    }

    // Clicks and tells how long the click took to return.
    qint64 timedClick(QAbstractButton* button) {
        QElapsedTimer clock;
        clock.start();
        button->click();
        return clock.elapsed();
    }

  private slots:
    void cleanup() {
        window.reset();
        installation.reset();
        pcAudioEnabled = false;
    }

    void unreachableDevicesLeaveBothLabelsRed() {
        window = std::make_unique<Telvane>(loopbackDevices(), idleLauncher());
        window->show();
        QTest::qWait(300);
        for (const char* label : {"decodeConnectStateLabel", "pcConnectStateLabel"}) {
            QCOMPARE(text(label), QStringLiteral("Disconnect"));
            QCOMPARE(style(label), QStringLiteral("color:red;"));
        }
    }

    void receiverSettingsAreShownAsTheReceiverReportsThem() {
        startWindow(everyKey("2:0,0,100,100", 2, 60));
        waitForReceiver();
        QVERIFY(get<QPushButton>("decodeDisplayCh2Btn")->isChecked());
        QVERIFY(get<QPushButton>("decodeAudioCh2Btn")->isChecked());
        QVERIFY(get<QPushButton>("decodeResolution1080Btn")->isChecked());
        QVERIFY(get<QPushButton>("decodeFPS60Btn")->isChecked());
        QVERIFY(get<QPushButton>("decodeFPS30Btn")->isEnabled());
        QVERIFY(!get<QPushButton>("decodeAudioCh1Btn")->isEnabled());
        QVERIFY(get<QPushButton>("decodeAudioCh2Btn")->isEnabled());
        QVERIFY(!get<QPushButton>("decodeAudioCh3Btn")->isEnabled());
        QVERIFY(get<QPushButton>("decodeAudioOffBtn")->isEnabled());
        // Reading sends nothing back.
        QVERIFY(requestsFor(receiver(), "SET_DISPLAY").empty());
        // Each read asks for the frame rate of the channel shown alone.
        const auto reads = requestsFor(receiver(), "GET_VIDEOENC");
        QVERIFY(!reads.empty());
        for (const std::string& read : reads) {
            QVERIFY(contains(read, "\r\nCHN:2\r\n"));
        }
    }

    // The panel shows the receiver's state as soon as it first answers, not a timer tick later.
    void panelIsFilledWhenTheReceiverFirstAnswers() {
        startWindow();
        QTRY_COMPARE_WITH_TIMEOUT(text("decodeConnectStateLabel"), QStringLiteral("Connect"), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(get<QPushButton>("decodeDisplayCh1Btn")->isChecked(), 2000);
        QVERIFY(get<QPushButton>("decodeAudioCh1Btn")->isChecked());
        QVERIFY(get<QPushButton>("decodeResolution1080Btn")->isChecked());
    }

    void twoWindowLayoutTurnsOffTheSoundOfAHiddenChannel() {
        startWindow(everyKey("3:0,0,100,100", 3, 30));
        waitForReceiver();
        QVERIFY(get<QPushButton>("decodeAudioCh3Btn")->isChecked());
        get<QPushButton>("decodeDisplayCh12Btn")->click();
        QTRY_COMPARE_WITH_TIMEOUT(requestsFor(receiver(), "SET_VIDEOENC").size(), size_t{2}, 5000);
        const auto displays = requestsFor(receiver(), "SET_DISPLAY");
        QCOMPARE(displays.size(), size_t{1});
        QVERIFY(contains(displays[0],
                         "DISPLAY=[1:0,0,50,100 -a 2:50,0,50,100]\r\n"
                         "RESOLUTION=1080P60\r\nAUDIO=-1\r\n"));
        QVERIFY(contains(requestsFor(receiver(), "SET_VIDEOENC")[1],
                         "KEYGOP=60\r\nFRAMERATE=30\r\n"));  // unchanged
        QVERIFY(!get<QPushButton>("decodeFPS30Btn")->isEnabled());
        QVERIFY(!get<QPushButton>("decodeAudioCh3Btn")->isEnabled());
        QVERIFY(!get<QPushButton>("decodeAudioCh4Btn")->isEnabled());
    }

    void ttlKeepsEverythingButTheBaudRate() {
        startWindow();
        chooseTransmitterCh2();
        get<QComboBox>("ttlIndexCombo")->setCurrentIndex(1);
        get<QComboBox>("ttlBaudrateCombo")->setCurrentText(QStringLiteral("9600"));
        get<QPushButton>("ttlEncBtn")->click();
        QTRY_COMPARE_WITH_TIMEOUT(requestsFor(transmitter(), "SET_TTL").size(), size_t{1}, 5000);
        auto reads = requestsFor(transmitter(), "GET_TTL");
        QCOMPARE(reads.size(), size_t{1});
        QVERIFY(contains(reads[0], "\r\nCHN:1\r\n"));
        QVERIFY(contains(requestsFor(transmitter(), "SET_TTL")[0],
                         "CHN=1\r\nMODE=1\r\nCLIENT=0\r\nBAUDRATE=9600\r\nPORT=5000\r\n"
                         "PEER_PORT=6000\r\nPEER_ADDR=10.1.1.1\r\n"));
    }

    // Every kind of click hands its commands to the device's queue and returns at once; the
    // requests go out in their order, and what the answers decide shows only once they are in.
    void clicksReturnWhileTheDeviceHoldsItsAnswer_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<bool>("toReceiver");
        QTest::addColumn<QStringList>("words");
        QTest::newRow("two-window layout")
            << "decodeDisplayCh12Btn" << true
            << QStringList{"SET_DISPLAY", "GET_VIDEOENC", "SET_VIDEOENC", "GET_VIDEOENC",
                           "SET_VIDEOENC"};
        QTest::newRow("frame rate") << "decodeFPS60Btn" << true
                                    << QStringList{"SET_DISPLAY", "GET_VIDEOENC", "SET_VIDEOENC"};
        QTest::newRow("sound") << "decodeAudioOffBtn" << true << QStringList{"SET_DISPLAY"};
        QTest::newRow("PWM goto") << "actuatorIncMoveBtn" << false << QStringList{"ACTUATOR_MOVE"};
        QTest::newRow("TTL") << "ttlEncBtn" << false << QStringList{"GET_TTL", "SET_TTL"};
        QTest::newRow("TTL of the receiver")
            << "ttlDecBtn" << true << QStringList{"GET_TTL", "SET_TTL"};
    }

    void clicksReturnWhileTheDeviceHoldsItsAnswer() {
        QFETCH(QString, control);
        QFETCH(bool, toReceiver);
        QFETCH(QStringList, words);
        startWindow();
        waitForReceiver();
        chooseTransmitterCh2();
        FakeDevice& device = toReceiver ? receiver() : transmitter();
        const size_t from = device.requests().size();
        auto commands = [&] {
            std::vector<std::string> seen;
            const std::vector<std::string> words = commandWords(device);
            for (size_t i = from; i < words.size(); ++i) {
                if (words[i] != "GET_SYSINFO" && words[i] != "PLAY") {
                    seen.push_back(words[i]);
                }
            }
            return seen;
        };
        auto* fps30 = get<QPushButton>("decodeFPS30Btn");
        QVERIFY(fps30->isChecked());

        device.hold();
        QVERIFY(timedClick(member<QAbstractButton>(*window, control)) < kClickReturnsWithinMs);
        QTRY_COMPARE_WITH_TIMEOUT(commands().size(), size_t{1}, 3000);
        QTest::qWait(200);
        QCOMPARE(commands().size(), size_t{1});  // the rest of the chain waits for the answer
        QCOMPARE(QString::fromStdString(commands()[0]), words[0]);

        device.release();
        QStringList sent;
        QTRY_VERIFY_WITH_TIMEOUT(commands().size() == size_t(words.size()), 5000);
        for (const std::string& word : commands()) {
            sent << QString::fromStdString(word);
        }
        QCOMPARE(sent, words);
    }

    void rereadReturnsWhileTheReceiverHoldsAndShowsTheAnswerWhenItIsIn() {
        startWindow();
        waitForReceiver();
        QVERIFY(get<QPushButton>("decodeDisplayCh1Btn")->isChecked());
        receiver().setDefaultReply(serving(everyKey("3:0,0,50,100 -a 4:50,0,50,100", 4, 30)));
        receiver().hold();
        const size_t before = requestsFor(receiver(), "GET_DISPLAY").size();
        QElapsedTimer clock;
        clock.start();
        QVERIFY(QMetaObject::invokeMethod(window.get(), "getDecodeDeviceInfo"));
        QVERIFY(clock.elapsed() < kClickReturnsWithinMs);
        QTRY_VERIFY_WITH_TIMEOUT(requestsFor(receiver(), "GET_DISPLAY").size() > before, 3000);
        QTest::qWait(300);
        QVERIFY(get<QPushButton>("decodeDisplayCh1Btn")->isChecked());
        receiver().release();
        QTRY_VERIFY_WITH_TIMEOUT(get<QPushButton>("decodeDisplayCh34Btn")->isChecked(), 3000);
        QVERIFY(get<QPushButton>("decodeAudioCh4Btn")->isChecked());
    }

    // A re-read that was on its way when the operator clicked must not put the old state back.
    void rereadFromBeforeAClickIsNotShown() {
        startWindow();
        waitForReceiver();
        receiver().hold();
        // (The window's own three-second re-read may have come first: any one on the wire will do.)
        const size_t before = requestsFor(receiver(), "GET_DISPLAY").size();
        QVERIFY(QMetaObject::invokeMethod(window.get(), "getDecodeDeviceInfo"));
        QTRY_VERIFY_WITH_TIMEOUT(requestsFor(receiver(), "GET_DISPLAY").size() > before, 3000);
        get<QPushButton>("decodeDisplayCh2Btn")->click();
        receiver().release();
        QTRY_COMPARE_WITH_TIMEOUT(requestsFor(receiver(), "SET_DISPLAY").size(), size_t{1}, 5000);
        QTest::qWait(300);
        QVERIFY(get<QPushButton>("decodeDisplayCh2Btn")->isChecked());
        // Once the click is answered, re-reads show the receiver again.
        reread();
        QVERIFY(get<QPushButton>("decodeDisplayCh1Btn")->isChecked());
    }

    // Against a slow receiver, ten quick layout clicks send the first and the last: a click
    // that finds one still waiting in the queue takes its place.
    void quickClicksOnASlowReceiverSendTheFirstAndTheLast() {
        startWindow();
        waitForReceiver();
        receiver().setDefaultReply(serving(everyKey("1:0,0,100,100", 1, 30), 300));
        const char* const layouts[] = {"decodeDisplayCh2Btn",  "decodeDisplayCh12Btn",
                                       "decodeDisplayQuadBtn", "decodeDisplayCh3Btn",
                                       "decodeDisplayCh34Btn", "decodeDisplayCh4Btn",
                                       "decodeDisplayQuadBtn", "decodeDisplayCh1Btn",
                                       "decodeDisplayCh12Btn", "decodeDisplayCh34Btn"};
        for (const char* layout : layouts) {
            QVERIFY(timedClick(get<QPushButton>(layout)) < kClickReturnsWithinMs);
            QTest::qWait(20);
        }
        QTRY_COMPARE_WITH_TIMEOUT(requestsFor(receiver(), "SET_VIDEOENC").size(), size_t{2}, 10000);
        QVERIFY(waitForQuiet(receiver(), 700));
        const auto displays = requestsFor(receiver(), "SET_DISPLAY");
        QCOMPARE(displays.size(), size_t{2});
        QVERIFY(contains(displays[0], "DISPLAY=[2:0,0,100,100]\r\n"));
        QVERIFY(contains(displays[1], "DISPLAY=[3:0,0,50,100 -a 4:50,0,50,100]\r\n"));
        QVERIFY(get<QPushButton>("decodeDisplayCh34Btn")->isChecked());
        const auto encoders = requestsFor(receiver(), "SET_VIDEOENC");
        QVERIFY(contains(encoders[0], "\r\nCHN:3\r\n"));
        QVERIFY(contains(encoders[1], "\r\nCHN:4\r\n"));
    }

    // Held "+": one move at a time, ticks that find one on its way are skipped, and the stop of
    // the release goes out after the move in flight.
    void heldPlusKeepsOneMoveInFlightAndEndsWithTheStop() {
        startWindow();
        chooseTransmitterCh2();
        auto* plus = get<QPushButton>("actuatorIncBtn");
        transmitter().hold();
        QTest::mousePress(plus, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(requestsFor(transmitter(), "ACTUATOR_MOVE").size(), size_t{1},
                                  3000);
        QTest::qWait(300);  // thirty ticks
        QCOMPARE(requestsFor(transmitter(), "ACTUATOR_MOVE").size(), size_t{1});
        QTest::mouseRelease(plus, Qt::LeftButton);
        QVERIFY(!member<QTimer>(*window, QStringLiteral("actuatorTimer"))->isActive());
        QTest::qWait(200);
        QCOMPARE(requestsFor(transmitter(), "ACTUATOR_MOVE").size(), size_t{1});
        transmitter().release();
        QTRY_COMPARE_WITH_TIMEOUT(requestsFor(transmitter(), "ACTUATOR_MOVE").size(), size_t{2},
                                  3000);
        QTest::qWait(200);
        const auto moves = requestsFor(transmitter(), "ACTUATOR_MOVE");
        QCOMPARE(moves.size(), size_t{2});
        QVERIFY(contains(moves[0], "ORIENT=2\r\n"));
        QVERIFY(contains(moves[1], "ORIENT=0\r\nANGLE=0\r\n"));
    }

    // The old transmitter's proxy finishes the command it is running before it ends; the window
    // does not wait for it, and the new channel's stream starts only once it has ended.
    void channelChangeDoesNotWaitForTheOldTransmitter() {
        startWindow();
        get<QPushButton>("pcDisplayOffBtn")->click();
        get<QPushButton>("pcDisplayCh1Btn")->click();
        FakeDevice& ch1 = installation->transmitter(1);
        FakeDevice& ch3 = installation->transmitter(3);
        QTRY_COMPARE_WITH_TIMEOUT(text("pcConnectStateLabel"), QStringLiteral("Connect"), 5000);
        ch1.hold();
        get<QPushButton>("actuatorIncMoveBtn")->click();
        QTRY_COMPARE_WITH_TIMEOUT(requestsFor(ch1, "ACTUATOR_MOVE").size(), size_t{1}, 3000);

        QVERIFY(timedClick(get<QPushButton>("pcDisplayCh3Btn")) < kClickReturnsWithinMs);
        QCOMPARE(text("pcConnectStateLabel"), QStringLiteral("Disconnect"));
        QTest::qWait(500);
        QVERIFY(requestsFor(ch3, "PLAY").empty());
        ch1.release();
        QTRY_COMPARE_WITH_TIMEOUT(requestsFor(ch3, "PLAY").size(), size_t{1}, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(text("pcConnectStateLabel"), QStringLiteral("Connect"), 5000);
        QVERIFY(ch1.waitForClosedConnections(ch1.connectionCount(), std::chrono::seconds(3)));
    }

    // Dragging the window's edge: one restart shortly after the last resize, not one per event.
    void resizeBurstRestartsTheStreamOnce() {
        startWindow();
        chooseTransmitterCh2();
        QTest::qWait(500);
        const size_t plays = requestsFor(transmitter(), "PLAY").size();
        for (int i = 0; i < 10; ++i) {
            window->resize(window->width() + 10, window->height());
            QTest::qWait(20);
        }
        QTRY_COMPARE_WITH_TIMEOUT(requestsFor(transmitter(), "PLAY").size(), plays + 1, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(text("pcConnectStateLabel"), QStringLiteral("Connect"), 5000);
        QTest::qWait(500);
        QCOMPARE(requestsFor(transmitter(), "PLAY").size(), plays + 1);
    }

    void closingIsPromptAgainstDevicesThatNeverAnswer() {
        startWindow();
        waitForReceiver();
        chooseTransmitterCh2();
        receiver().hold();
        transmitter().hold();
        get<QPushButton>("decodeDisplayQuadBtn")->click();
        get<QPushButton>("ttlEncBtn")->click();
        QTRY_COMPARE_WITH_TIMEOUT(requestsFor(receiver(), "SET_DISPLAY").size(), size_t{1}, 3000);
        QTRY_COMPARE_WITH_TIMEOUT(requestsFor(transmitter(), "GET_TTL").size(), size_t{1}, 3000);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(window->close());
        window.reset();
        QVERIFY2(clock.elapsed() < 1500, QByteArray::number(clock.elapsed()));
        receiver().release();
        transmitter().release();
    }

    void uploadDisablesTheChoiceUntilItsVerdict() {
        startWindow();
        chooseTransmitterCh2();
        QTemporaryFile firmware;
        QVERIFY(firmware.open());
        firmware.write(QByteArray(40000, 'f'));
        firmware.flush();
        get<QLineEdit>("upgradeFilePathEdit")->setText(firmware.fileName());

        get<QPushButton>("upgradeEncBtn")->click();
        QVERIFY(!get<QPushButton>("upgradeEncBtn")->isEnabled());
        QVERIFY(!get<QPushButton>("pcDisplayCh1Btn")->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(text("upgradeStatusLabel"), QStringLiteral("Upgrade Success"),
                                  5000);
        QCOMPARE(style("upgradeStatusLabel"), QStringLiteral("color:black;"));
        QVERIFY(get<QPushButton>("upgradeEncBtn")->isEnabled());
        QVERIFY(get<QPushButton>("pcDisplayOffBtn")->isEnabled());
        auto uploads = requestsFor(transmitter(), "UPGRADE");
        QCOMPARE(uploads.size(), size_t{1});
        QVERIFY(contains(uploads[0], "CONTENT-LENGTH:40000\r\n\r\n"));

        // Refused at once: no such file.
        get<QLineEdit>("upgradeFilePathEdit")->clear();
        get<QPushButton>("upgradeEncBtn")->click();
        QTRY_COMPARE_WITH_TIMEOUT(text("upgradeStatusLabel"), QStringLiteral("Upgrade Failed"),
                                  3000);
        QCOMPARE(style("upgradeStatusLabel"), QStringLiteral("color:red;"));
        QVERIFY(get<QPushButton>("upgradeEncBtn")->isEnabled());
        QVERIFY(get<QPushButton>("pcDisplayCh1Btn")->isEnabled());
    }

    // An upload is never cut off: the window stays, says why, and closes on the verdict.
    void closeDuringAnUploadWaitsForItsVerdict() {
        startWindow();
        waitForReceiver();
        QTemporaryFile firmware;
        QVERIFY(firmware.open());
        firmware.write(QByteArray(40000, 'f'));
        firmware.flush();
        get<QLineEdit>("upgradeFilePathEdit")->setText(firmware.fileName());
        receiver().hold();
        get<QPushButton>("upgradeDecBtn")->click();
        QTRY_COMPARE_WITH_TIMEOUT(requestsFor(receiver(), "UPGRADE").size(), size_t{1}, 3000);

        QVERIFY(!window->close());
        QVERIFY(window->isVisible());
        QCOMPARE(text("upgradeStatusLabel"),
                 QStringLiteral("Upgrade running: wait for it to finish"));
        QCOMPARE(style("upgradeStatusLabel"), QStringLiteral("color:red;"));
        QTest::qWait(300);
        QVERIFY(window->isVisible());
        receiver().release();
        QTRY_VERIFY_WITH_TIMEOUT(!window->isVisible(), 5000);
    }

    // Before the receiver's state has been read nothing may go out (the missing choices would
    // switch the receiver's picture and sound off), and the clicked button does not stay checked.
    void nothingGoesToTheReceiverBeforeItsStateIsKnown() {
        installation = std::make_unique<FakeInstallation>();
        // It answers its first poll, then refuses the window's first read of its output.
        receiver().script(serving(everyKey("1:0,0,100,100", 1, 30)));
        receiver().script(korvex::test::Answer("HDMI/1.0 503 Busy\r\n\r\n"));
        window = std::make_unique<Telvane>(installation->devices(), idleLauncher());
        member<QTimer>(*window, QStringLiteral("decodeInfoTimer"))->stop();
        window->show();
        QTRY_COMPARE_WITH_TIMEOUT(text("decodeConnectStateLabel"), QStringLiteral("Connect"), 5000);
        QVERIFY(waitForQuiet(receiver()));
        QCOMPARE(requestsFor(receiver(), "GET_DISPLAY").size(), size_t{1});
        get<QPushButton>("decodeDisplayCh12Btn")->click();
        get<QPushButton>("decodeResolution4kBtn")->click();
        QTest::qWait(300);
        QVERIFY(requestsFor(receiver(), "SET_DISPLAY").empty());
        QCOMPARE(get<QButtonGroup>("decodeDisplayBtnGroup")->checkedId(), -1);
        QCOMPARE(get<QButtonGroup>("decodeResolutionBtnGroup")->checkedId(), -1);
        QCOMPARE(statusText(), QStringLiteral("Receiver: its settings are not read yet"));

        reread();
        QVERIFY(get<QPushButton>("decodeDisplayCh1Btn")->isChecked());
        get<QPushButton>("decodeDisplayCh2Btn")->click();
        QTRY_COMPARE_WITH_TIMEOUT(requestsFor(receiver(), "SET_DISPLAY").size(), size_t{1}, 3000);
        QVERIFY(contains(requestsFor(receiver(), "SET_DISPLAY")[0],
                         "DISPLAY=[2:0,0,100,100]\r\nRESOLUTION=1080P60\r\nAUDIO=-1\r\n"));
    }

    // While the receiver does not answer its poll, a click sends nothing and the buttons keep
    // showing what it last reported.
    void clickWhileTheReceiverIsAwayKeepsWhatItReported() {
        startWindow();
        waitForReceiver();
        receiver().stop();
        QTRY_COMPARE_WITH_TIMEOUT(text("decodeConnectStateLabel"), QStringLiteral("Disconnect"),
                                  8000);
        get<QPushButton>("decodeDisplayQuadBtn")->click();
        get<QPushButton>("decodeAudioOffBtn")->click();
        QVERIFY(get<QPushButton>("decodeDisplayCh1Btn")->isChecked());
        QVERIFY(get<QPushButton>("decodeAudioCh1Btn")->isChecked());
        QVERIFY(get<QPushButton>("decodeFPS30Btn")->isEnabled());
        QVERIFY(requestsFor(receiver(), "SET_DISPLAY").empty());
        QCOMPARE(statusText(), QStringLiteral("Receiver: not connected"));
    }

    void refusedLayoutGoesBackAndIsSaid() {
        startWindow();
        waitForReceiver();
        receiver().setDefaultReply(korvex::test::Answer("HDMI/1.0 400 Bad Request\r\n\r\n"));
        get<QPushButton>("decodeDisplayCh34Btn")->click();
        QTRY_COMPARE_WITH_TIMEOUT(statusText(), QStringLiteral("Receiver refused the layout"),
                                  5000);
        QVERIFY(get<QPushButton>("decodeDisplayCh1Btn")->isChecked());
        QVERIFY(requestsFor(receiver(), "SET_VIDEOENC").empty());
    }

    // The field lets 101..999 stand while typing; Goto takes them as 100 and says so.
    void gotoAboveOneHundredIsOneHundred() {
        startWindow();
        chooseTransmitterCh2();
        get<QComboBox>("actuatorIndexCombo")->setCurrentIndex(2);
        get<QLineEdit>("actuatorOutputEdit")->setText(QStringLiteral("999"));
        get<QPushButton>("actuatorIncMoveBtn")->click();
        QCOMPARE(get<QLineEdit>("actuatorOutputEdit")->text(), QStringLiteral("100"));
        QTRY_COMPARE_WITH_TIMEOUT(requestsFor(transmitter(), "ACTUATOR_MOVE").size(), size_t{1},
                                  3000);
        QVERIFY(contains(requestsFor(transmitter(), "ACTUATOR_MOVE")[0],
                         "ID=2\r\nORIENT=1\r\nANGLE=132\r\n"));
        QTRY_COMPARE_WITH_TIMEOUT(statusText(), QStringLiteral("PWM 3 → 100: done"), 3000);
    }

    // The status bar says what each action did and whether the device took it.
    void statusBarTellsEachOutcome() {
        startWindow();
        waitForReceiver();
        chooseTransmitterCh2();
        QTRY_COMPARE_WITH_TIMEOUT(statusText(), QStringLiteral("CH2: connected"), 3000);
        get<QComboBox>("actuatorIndexCombo")->setCurrentIndex(2);
        get<QPushButton>("actuatorIncMoveBtn")->click();
        QTRY_COMPARE_WITH_TIMEOUT(statusText(), QStringLiteral("PWM 3 → 50: done"), 3000);

        get<QComboBox>("ttlIndexCombo")->setCurrentIndex(1);
        get<QComboBox>("ttlBaudrateCombo")->setCurrentText(QStringLiteral("9600"));
        get<QPushButton>("ttlEncBtn")->click();
        QTRY_COMPARE_WITH_TIMEOUT(statusText(), QStringLiteral("TTL 2 on TX set to 9600 baud"),
                                  3000);

        get<QPushButton>("decodeDisplayCh12Btn")->click();
        QTRY_COMPARE_WITH_TIMEOUT(statusText(), QStringLiteral("Receiver shows CH1|CH2"), 5000);
        get<QPushButton>("decodeAudioCh2Btn")->click();
        QTRY_COMPARE_WITH_TIMEOUT(statusText(), QStringLiteral("Receiver plays the sound of CH2"),
                                  3000);

        transmitter().setDefaultReply(korvex::test::Answer("HDMI/1.0 403 Forbidden\r\n\r\n"));
        get<QPushButton>("actuatorIncMoveBtn")->click();
        QTRY_COMPARE_WITH_TIMEOUT(statusText(), QStringLiteral("PWM 3 → 50: refused"), 3000);
        transmitter().hold();
        get<QPushButton>("ttlEncBtn")->click();
        QTRY_COMPARE_WITH_TIMEOUT(statusText(), QStringLiteral("TTL 2 on TX: no answer"), 5000);
        transmitter().release();

        // The stream's own line: what it shows, and how soon the first picture came.
        const QString stream = statusBarLabel()->text();
        QVERIFY2(stream.startsWith(QStringLiteral("CH2: H.264 1920×1080, ")), qPrintable(stream));
        QVERIFY2(stream.contains(QStringLiteral(" fps, delay ")), qPrintable(stream));
        QVERIFY2(stream.contains(QStringLiteral(", first picture after ")), qPrintable(stream));
        QVERIFY2(stream.endsWith(QStringLiteral(" ms, 0 lost, 0 dropped")), qPrintable(stream));
    }

    // A picture that stopped must not look live: the area turns black when the stream ends.
    void streamEndPaintsThePictureAreaBlack() {
        startWindow();
        chooseTransmitterCh2();
        QWidget* video = member<QWidget>(*window, QStringLiteral("videoWidget"));
        QPalette coloured = video->palette();
        coloured.setBrush(QPalette::Window, QBrush(Qt::red));
        video->setPalette(coloured);  // stands for the last picture that was drawn
        transmitter().stop();
        QTRY_COMPARE_WITH_TIMEOUT(text("pcConnectStateLabel"), QStringLiteral("Disconnect"), 5000);
        QCOMPARE(video->palette().color(QPalette::Window), QColor(Qt::black));
        QVERIFY(video->autoFillBackground());
        QTRY_COMPARE_WITH_TIMEOUT(statusText(), QStringLiteral("CH2: stream ended"), 3000);
    }

    // Every progress report shows the latest percentage of the upload behind the text.
    void uploadShowsItsPercentage() {
        startWindow();
        chooseTransmitterCh2();
        QTemporaryFile firmware;
        QVERIFY(firmware.open());
        // Larger than what the sockets' buffers take in at once.
        firmware.write(QByteArray(16 * 1024 * 1024, 'f'));
        firmware.flush();
        // A device that takes the image slowly, 32 KiB every 5 ms, then says yes.
        korvex::test::Reply slow;
        slow.waitForRequest = false;
        slow.then = [](int socket, const std::string&) {
            std::string head;
            long long body = -1;
            char buffer[32768];
            for (int round = 0; round < 4000 && body != 0; ++round) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                const ssize_t count = ::recv(socket, buffer, sizeof buffer, 0);
                if (count <= 0) {
                    return;
                }
                if (body < 0) {
                    head.append(buffer, static_cast<size_t>(count));
                    const size_t end = head.find("\r\n\r\n");
                    if (end != std::string::npos) {
                        const size_t key = head.find("CONTENT-LENGTH:");
                        body = std::stoll(head.substr(key + 15)) -
                               static_cast<long long>(head.size() - end - 4);
                    }
                } else {
                    body -= count;
                }
            }
            korvex::test::SendAll(socket, korvex::test::OkResponse());
        };
        transmitter().script(slow);
        get<QLineEdit>("upgradeFilePathEdit")->setText(firmware.fileName());
        QStringList seen;
        QTimer sampler;
        connect(&sampler, &QTimer::timeout, [&] { seen << text("upgradeStatusLabel"); });
        sampler.start(5);
        get<QPushButton>("upgradeEncBtn")->click();
        QTRY_COMPARE_WITH_TIMEOUT(text("upgradeStatusLabel"), QStringLiteral("Upgrade Success"),
                                  20000);
        sampler.stop();
        const QRegularExpression progress(QStringLiteral("^Upgrade Uploading\\.{6} (\\d+)%$"));
        int last = -1;
        int between = 0;
        for (const QString& shown : seen) {
            const QRegularExpressionMatch match = progress.match(shown);
            if (match.hasMatch()) {
                const int percent = match.captured(1).toInt();
                QVERIFY(percent >= last);
                between += percent > 0 && percent < 100 ? 1 : 0;
                last = percent;
            } else {
                QVERIFY2(!shown.startsWith(QStringLiteral("Upgrade Uploading")), qPrintable(shown));
            }
        }
        QVERIFY2(between > 0, qPrintable(seen.join(QStringLiteral(", "))));
        QCOMPARE(statusText(), QStringLiteral("Upgrade of TX done"));
    }

    void reportsChangeLabelsAsTheyShould() {
        window = std::make_unique<Telvane>(loopbackDevices(), idleLauncher());
        void* transmitterProxy = reinterpret_cast<void*>(0x1);  // any proxy but the receiver's
        auto report = [&](int status) {
            QVERIFY(QMetaObject::invokeMethod(window.get(), "deviceNotify",
                                              Q_ARG(void*, transmitterProxy), Q_ARG(int, status)));
        };
        report(2);
        QCOMPARE(text("pcConnectStateLabel"), QStringLiteral("Connect"));
        report(4);
        report(999);
        report(-1);
        QCOMPARE(text("pcConnectStateLabel"), QStringLiteral("Connect"));
        report(3);
        QCOMPARE(text("pcConnectStateLabel"), QStringLiteral("Disconnect"));
        QCOMPARE(text("decodeConnectStateLabel"), QStringLiteral("Disconnect"));

        const struct {
            int status;
            const char* text;
            const char* style;
        } upgrades[] = {{1000, "Upgrade Preparing......", "color:green;"},
                        {1001, "Upgrade Uploading......", "color:green;"},
                        {1002, "Upgrading......", "color:green;"},
                        {1004, "Upgrade Failed", "color:red;"},
                        {1003, "Upgrade Success", "color:black;"}};
        for (const auto& upgrade : upgrades) {
            report(upgrade.status);
            QCOMPARE(text("upgradeStatusLabel"), QString::fromLatin1(upgrade.text));
            QCOMPARE(style("upgradeStatusLabel"), QString::fromLatin1(upgrade.style));
        }
    }
};

QTEST_MAIN(ControllerTest)
#include "controller_test.moc"
