// The window as controller, against fake devices on loopback addresses: connection labels, the
// transmitter proxy's life, the receiver output panel and the PC-side tools, down to the bytes
// the devices receive.
#include "fake_device.h"
#include "hdmi_device_proxy.h"
#include "window_fixture.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryFile>
#include <QtTest>

#include <memory>
#include <string>
#include <vector>

using korvex::test::FakeDevice;
using korvex::test::OkResponse;
using korvex::test::Reply;

namespace {

// One answer that serves every command: the key reader finds each key anywhere in it.
std::string EveryKey(const std::string& display, int audio, int frameRate) {
    return "SOFTVER=1.0\r\nHARDVER=A\r\nSERIAL=77\r\nMODEL=RX\r\nAUDIO=" + std::to_string(audio) +
           "\r\nRESOLUTION=1080P60\r\nDISPLAY=[" + display +
           "]\r\nCODEC=0\r\nWIDTH=1920\r\nHEIGHT=1080\r\nBITRATE=8000\r\nKEYGOP=60\r\n"
           "FRAMERATE=" +
           std::to_string(frameRate) +
           "\r\nRC=1\r\nQUALITY=3\r\nPROFILE=2\r\nMODE=1\r\nCLIENT=0\r\nBAUDRATE=115200\r\n"
           "PORT=5000\r\nPEER_PORT=6000\r\nPEER_ADDR=10.1.1.1\r\n";
}

// Answers every request with `body`; a PLAY connection is kept open (and silent).
Reply Serving(const std::string& body) {
    Reply reply = korvex::test::Answer(OkResponse(body));
    reply.closeAfter = false;
    return reply;
}

// The requests of one command word, in the order they arrived.
std::vector<std::string> RequestsFor(const FakeDevice& device, const std::string& word) {
    std::vector<std::string> matching;
    for (const std::string& request : device.requests()) {
        if (request.compare(0, word.size() + 1, word + " ") == 0) {
            matching.push_back(request);
        }
    }
    return matching;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace

class ControllerTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<FakeDevice> receiver;
    std::unique_ptr<FakeDevice> transmitter;  // CH2
    std::unique_ptr<ProbeTelvane> window;

    template <typename T>
    T* get(const char* name) {
        return member<T>(*window, QString::fromLatin1(name));
    }
    QString style(const char* label) { return get<QLabel>(label)->styleSheet(); }
    QString text(const char* label) { return get<QLabel>(label)->text(); }

    void startWindow(const std::string& receiverAnswer) {
        receiver = std::make_unique<FakeDevice>("127.0.0.88");
        receiver->setDefaultReply(Serving(receiverAnswer));
        transmitter = std::make_unique<FakeDevice>("127.0.0.221", receiver->port());
        transmitter->setDefaultReply(Serving(EveryKey("", 1, 30)));
        DeviceTable devices = loopbackDevices();
        devices.port = receiver->port();
        window = std::make_unique<ProbeTelvane>(devices);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    void waitForReceiver() {
        QTRY_COMPARE_WITH_TIMEOUT(text("decodeConnectStateLabel"), QStringLiteral("Connect"), 5000);
        QCOMPARE(style("decodeConnectStateLabel"), QStringLiteral("color:green;"));
    }

    void chooseTransmitterCh2() {
        // The last channel clicked is remembered for the whole process: start from "X".
        get<QPushButton>("pcDisplayOffBtn")->click();
        get<QPushButton>("pcDisplayCh2Btn")->click();
        QTRY_COMPARE_WITH_TIMEOUT(text("pcConnectStateLabel"), QStringLiteral("Connect"), 5000);
    }

  private slots:
    void cleanup() {
        window.reset();
        transmitter.reset();
        receiver.reset();
        pcAudioEnabled = false;
    }

    void unreachableDevicesLeaveBothLabelsRed() {
        window = std::make_unique<ProbeTelvane>();
        window->show();
        QTest::qWait(300);
        for (const char* label : {"decodeConnectStateLabel", "pcConnectStateLabel"}) {
            QCOMPARE(text(label), QStringLiteral("Disconnect"));
            QCOMPARE(style(label), QStringLiteral("color:red;"));
        }
    }

    void receiverSettingsAreShownAsTheReceiverReportsThem() {
        startWindow(EveryKey("2:0,0,100,100", 2, 60));
        waitForReceiver();
        QVERIFY(QMetaObject::invokeMethod(window.get(), "getDecodeDeviceInfo"));
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
        QVERIFY(RequestsFor(*receiver, "SET_DISPLAY").empty());
        auto reads = RequestsFor(*receiver, "GET_VIDEOENC");
        QCOMPARE(reads.size(), size_t{1});
        QVERIFY(Contains(reads[0], "\r\nCHN:2\r\n"));
    }

    void receiverClicksSendTheWholePanel() {
        startWindow(EveryKey("3:0,0,100,100", 3, 30));
        waitForReceiver();
        QVERIFY(QMetaObject::invokeMethod(window.get(), "getDecodeDeviceInfo"));
        QVERIFY(get<QPushButton>("decodeAudioCh3Btn")->isChecked());

        get<QPushButton>("decodeFPS60Btn")->click();
        auto displays = RequestsFor(*receiver, "SET_DISPLAY");
        QCOMPARE(displays.size(), size_t{1});
        QVERIFY(
            Contains(displays[0], "DISPLAY=[3:0,0,100,100]\r\nRESOLUTION=1080P60\r\nAUDIO=3\r\n"));
        auto encoders = RequestsFor(*receiver, "SET_VIDEOENC");
        QCOMPARE(encoders.size(), size_t{1});
        QVERIFY(Contains(encoders[0], "\r\nCHN:3\r\n"));
        QVERIFY(Contains(encoders[0], "KEYGOP=120\r\nFRAMERATE=60\r\n"));

        get<QPushButton>("decodeDisplayCh12Btn")->click();
        displays = RequestsFor(*receiver, "SET_DISPLAY");
        QCOMPARE(displays.size(), size_t{2});
        QVERIFY(Contains(displays[1],
                         "DISPLAY=[1:0,0,50,100 -a 2:50,0,50,100]\r\n"
                         "RESOLUTION=1080P60\r\nAUDIO=-1\r\n"));
        encoders = RequestsFor(*receiver, "SET_VIDEOENC");
        QCOMPARE(encoders.size(), size_t{3});
        QVERIFY(Contains(encoders[1], "\r\nCHN:1\r\n"));
        QVERIFY(Contains(encoders[2], "\r\nCHN:2\r\n"));
        QVERIFY(Contains(encoders[2], "KEYGOP=60\r\nFRAMERATE=30\r\n"));  // unchanged
        QVERIFY(!get<QPushButton>("decodeFPS30Btn")->isEnabled());
        QVERIFY(!get<QPushButton>("decodeAudioCh3Btn")->isEnabled());
        QVERIFY(!get<QPushButton>("decodeAudioCh4Btn")->isEnabled());

        get<QPushButton>("decodeResolution4kBtn")->click();
        displays = RequestsFor(*receiver, "SET_DISPLAY");
        QCOMPARE(displays.size(), size_t{3});
        QVERIFY(Contains(displays[2], "RESOLUTION=3840x2160P30\r\n"));
        QCOMPARE(RequestsFor(*receiver, "SET_VIDEOENC").size(), size_t{3});
    }

    void transmitterChoiceStartsAndStopsItsStream() {
        startWindow(EveryKey("", 1, 30));
        chooseTransmitterCh2();
        QCOMPARE(style("pcConnectStateLabel"), QStringLiteral("color:green;"));
        get<QPushButton>("pcDisplayCh2Btn")->click();  // the channel already shown: nothing
        auto plays = RequestsFor(*transmitter, "PLAY");
        QCOMPARE(plays.size(), size_t{1});
        QVERIFY(Contains(plays[0], "\r\nTRANSPORT:0\r\n"));

        get<QPushButton>("pcDisplayOffBtn")->click();
        QCOMPARE(text("pcConnectStateLabel"), QStringLiteral("Disconnect"));
        QCOMPARE(style("pcConnectStateLabel"), QStringLiteral("color:red;"));
        QVERIFY(transmitter->waitForClosedConnections(transmitter->connectionCount(),
                                                      std::chrono::seconds(2)));
    }

    void actuatorAndTtlGoToTheChosenTransmitter() {
        startWindow(EveryKey("", 1, 30));
        chooseTransmitterCh2();
        get<QComboBox>("actuatorIndexCombo")->setCurrentIndex(2);
        get<QLineEdit>("actuatorOutputEdit")->setText(QStringLiteral("50"));
        get<QPushButton>("actuatorIncMoveBtn")->click();
        auto moves = RequestsFor(*transmitter, "ACTUATOR_MOVE");
        QCOMPARE(moves.size(), size_t{1});
        QVERIFY(Contains(moves[0], "ID=2\r\nORIENT=1\r\nANGLE=87\r\n"));

        get<QComboBox>("ttlIndexCombo")->setCurrentIndex(1);
        get<QComboBox>("ttlBaudrateCombo")->setCurrentText(QStringLiteral("9600"));
        get<QPushButton>("ttlEncBtn")->click();
        auto reads = RequestsFor(*transmitter, "GET_TTL");
        auto writes = RequestsFor(*transmitter, "SET_TTL");
        QCOMPARE(reads.size(), size_t{1});
        QCOMPARE(writes.size(), size_t{1});
        QVERIFY(Contains(reads[0], "\r\nCHN:1\r\n"));
        QVERIFY(Contains(writes[0],
                         "CHN=1\r\nMODE=1\r\nCLIENT=0\r\nBAUDRATE=9600\r\nPORT=5000\r\n"
                         "PEER_PORT=6000\r\nPEER_ADDR=10.1.1.1\r\n"));

        // "Control RX" and the TTL pair's "Control RX" address the receiver instead.
        waitForReceiver();
        get<QPushButton>("actuatorRxBtn")->click();
        get<QPushButton>("actuatorIncMoveBtn")->click();
        get<QPushButton>("ttlDecBtn")->click();
        QCOMPARE(RequestsFor(*transmitter, "ACTUATOR_MOVE").size(), size_t{1});
        QCOMPARE(RequestsFor(*receiver, "ACTUATOR_MOVE").size(), size_t{1});
        QCOMPARE(RequestsFor(*receiver, "SET_TTL").size(), size_t{1});
    }

    void holdingPlusMovesUntilReleased() {
        startWindow(EveryKey("", 1, 30));
        chooseTransmitterCh2();
        auto* plus = get<QPushButton>("actuatorIncBtn");
        QTest::mousePress(plus, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(RequestsFor(*transmitter, "ACTUATOR_MOVE").size() >= 3, 3000);
        QTest::mouseRelease(plus, Qt::LeftButton);
        QVERIFY(!TelvaneTestAccess::actuatorTimer(*window)->isActive());
        auto moves = RequestsFor(*transmitter, "ACTUATOR_MOVE");
        for (size_t i = 0; i + 1 < moves.size(); ++i) {
            QVERIFY(Contains(moves[i], "ORIENT=2\r\n"));
        }
        QVERIFY(Contains(moves.back(), "ORIENT=0\r\nANGLE=0\r\n"));
    }

    void firmwareUploadDisablesTheChoiceUntilItsVerdict() {
        startWindow(EveryKey("", 1, 30));
        chooseTransmitterCh2();
        QTemporaryFile firmware;
        QVERIFY(firmware.open());
        firmware.write(QByteArray(40000, 'f'));
        firmware.flush();
        window->chosenFile = firmware.fileName();
        get<QPushButton>("upgradeFileChooseBtn")->click();
        QCOMPARE(get<QLineEdit>("upgradeFilePathEdit")->text(), firmware.fileName());

        get<QPushButton>("upgradeEncBtn")->click();
        QVERIFY(!get<QPushButton>("upgradeEncBtn")->isEnabled());
        QVERIFY(!get<QPushButton>("pcDisplayCh1Btn")->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(text("upgradeStatusLabel"), QStringLiteral("Upgrade Success"),
                                  5000);
        QCOMPARE(style("upgradeStatusLabel"), QStringLiteral("color:black;"));
        QVERIFY(get<QPushButton>("upgradeEncBtn")->isEnabled());
        QVERIFY(get<QPushButton>("pcDisplayOffBtn")->isEnabled());
        auto uploads = RequestsFor(*transmitter, "UPGRADE");
        QCOMPARE(uploads.size(), size_t{1});
        QVERIFY(Contains(uploads[0], "CONTENT-LENGTH:40000\r\n\r\n"));

        window->chosenFile.clear();
        get<QPushButton>("upgradeFileChooseBtn")->click();
        get<QPushButton>("upgradeEncBtn")->click();
        QCOMPARE(text("upgradeStatusLabel"), QStringLiteral("Upgrade Failed"));
        QCOMPARE(style("upgradeStatusLabel"), QStringLiteral("color:red;"));
    }

    void reportsChangeLabelsAsTheyShould() {
        window = std::make_unique<ProbeTelvane>();
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

    void pcSoundSwitch() {
        window = std::make_unique<ProbeTelvane>();
        auto* audio = get<QPushButton>("pcAudioBtn");
        QCOMPARE(audio->text(), QStringLiteral("OFF"));
        audio->click();
        QCOMPARE(audio->text(), QStringLiteral("ON"));
        QVERIFY(pcAudioEnabled.load());
        audio->click();
        QCOMPARE(audio->text(), QStringLiteral("OFF"));
        QVERIFY(!pcAudioEnabled.load());
    }
};

QTEST_MAIN(ControllerTest)
#include "controller_test.moc"
