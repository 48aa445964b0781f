// The window's meta-object, and the wiring of every control judged by its effect, as the operator
// and the devices see it: the requests that reach the receiver or the transmitter, and the texts.

#include "hdmi_device_proxy.h"
#include "window_fixture.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMetaMethod>
#include <QTemporaryFile>
#include <QTimer>
#include <QtTest>

#include <memory>

using korvex::test::FakeDevice;

namespace {

// One expected request: its command word (with a trailing "*": one or more such requests) and a
// part of its bytes.
struct Expected {
    std::string word;
    std::string part;
};

Expected parse(const QString& text) {
    const std::string line = text.toStdString();
    const size_t space = line.find(' ');
    return {line.substr(0, space), space == std::string::npos ? "" : line.substr(space + 1)};
}

// The requests that arrived at `device` from index `from` on, but for the receiver's polls and,
// unless a stream is what is looked for, the stream's PLAY.
std::vector<std::string> newRequests(const FakeDevice& device, size_t from, bool withPlay) {
    std::vector<std::string> requests;
    const std::vector<std::string> all = device.requests();
    for (size_t i = from; i < all.size(); ++i) {
        const std::string word = all[i].substr(0, all[i].find(' '));
        if (word != "GET_SYSINFO" && (withPlay || word != "PLAY")) {
            requests.push_back(all[i]);
        }
    }
    return requests;
}

// Whether `requests` are exactly `expected`, in order.
bool match(const std::vector<std::string>& requests, const QStringList& expected) {
    size_t next = 0;
    for (const QString& text : expected) {
        Expected entry = parse(text);
        const bool repeated = !entry.word.empty() && entry.word.back() == '*';
        if (repeated) {
            entry.word.pop_back();
        }
        auto matches = [&](size_t index) {
            return index < requests.size() &&
                   requests[index].compare(0, entry.word.size() + 1, entry.word + " ") == 0 &&
                   contains(requests[index], entry.part);
        };
        if (!matches(next)) {
            return false;
        }
        ++next;
        while (repeated && matches(next)) {
            ++next;
        }
    }
    return next == requests.size();
}

std::string printable(const std::vector<std::string>& requests) {
    std::string text;
    for (const std::string& request : requests) {
        text += "\n  " + request.substr(0, request.find("\r\n\r\n"));
    }
    return text;
}

}  // namespace

class SlotWiringTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<FakeInstallation> installation;
    std::unique_ptr<Telvane> window;
    QTemporaryFile firmware;

    template <typename T>
    T* get(const QString& name) {
        return member<T>(*window, name);
    }
    QString text(const char* label) { return get<QLabel>(QLatin1String(label))->text(); }

    FakeDevice& deviceNamed(const QString& name) {
        if (name == QLatin1String("rx")) {
            return *installation->receiver;
        }
        return installation->transmitter(name.midRef(2).toInt());
    }

  private slots:
    void initTestCase() {
        QVERIFY(firmware.open());
        firmware.write(QByteArray(20000, 'f'));
        firmware.flush();
        installation = std::make_unique<FakeInstallation>();
        window = std::make_unique<Telvane>(installation->devices(), idleLauncher());
        // Re-reads come only when asked for here, so that the requests of a click stand alone.
        member<QTimer>(*window, QStringLiteral("decodeInfoTimer"))->stop();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QTRY_COMPARE_WITH_TIMEOUT(text("decodeConnectStateLabel"), QStringLiteral("Connect"), 5000);
        QVERIFY(QMetaObject::invokeMethod(window.get(), "getDecodeDeviceInfo"));
        QTRY_VERIFY_WITH_TIMEOUT(get<QAbstractButton>("decodeDisplayCh1Btn")->isChecked(), 5000);
        get<QAbstractButton>("pcDisplayCh1Btn")->click();
        QTRY_COMPARE_WITH_TIMEOUT(text("pcConnectStateLabel"), QStringLiteral("Connect"), 5000);
    }
    void cleanupTestCase() {
        window.reset();
        installation.reset();
    }

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

    // Rows run in order on one window: the layout rows leave the panel in the state the next
    // rows need (a one-channel layout for the frame rate, all four channels for the sound).
    void everyControlActsOnItsDevice_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<bool>("hold");
        QTest::addColumn<QString>("device");
        QTest::addColumn<QStringList>("requests");
        auto row = [](const char* control, const char* device, QStringList requests,
                      bool hold = false) {
            QTest::newRow(control) << control << hold << device << requests;
        };
        row("actuatorDecBtn", "tx1",
            {"ACTUATOR_MOVE* ID=0\r\nORIENT=3\r\nANGLE=0\r\n", "ACTUATOR_MOVE ORIENT=0\r\n"}, true);
        row("actuatorIncBtn", "tx1", {"ACTUATOR_MOVE* ORIENT=2\r\n", "ACTUATOR_MOVE ORIENT=0\r\n"},
            true);
        row("actuatorIncMoveBtn", "tx1", {"ACTUATOR_MOVE ID=0\r\nORIENT=1\r\nANGLE=87\r\n"});
        row("ttlEncBtn", "tx1", {"GET_TTL CHN:0\r\n", "SET_TTL CHN=0\r\nMODE=1\r\nCLIENT=0\r\n"});
        row("ttlDecBtn", "rx", {"GET_TTL CHN:0\r\n", "SET_TTL BAUDRATE=115200\r\n"});
        row("upgradeEncBtn", "tx1", {"UPGRADE CONTENT-LENGTH:20000\r\n"});
        row("upgradeDecBtn", "rx", {"UPGRADE CONTENT-LENGTH:20000\r\n"});
        row("decodeDisplayCh2Btn", "rx", {"SET_DISPLAY DISPLAY=[2:0,0,100,100]\r\n"});
        row("decodeDisplayCh3Btn", "rx", {"SET_DISPLAY DISPLAY=[3:0,0,100,100]\r\n"});
        row("decodeDisplayCh4Btn", "rx", {"SET_DISPLAY DISPLAY=[4:0,0,100,100]\r\n"});
        row("decodeFPS60Btn", "rx",
            {"SET_DISPLAY DISPLAY=[4:0,0,100,100]\r\n", "GET_VIDEOENC CHN:4\r\n",
             "SET_VIDEOENC KEYGOP=120\r\nFRAMERATE=60\r\n"});
        row("decodeFPS30Btn", "rx",
            {"SET_DISPLAY DISPLAY=[4:0,0,100,100]\r\n", "GET_VIDEOENC CHN:4\r\n",
             "SET_VIDEOENC KEYGOP=60\r\nFRAMERATE=30\r\n"});
        row("decodeDisplayCh1Btn", "rx", {"SET_DISPLAY DISPLAY=[1:0,0,100,100]\r\n"});
        row("decodeDisplayCh12Btn", "rx",
            {"SET_DISPLAY DISPLAY=[1:0,0,50,100 -a 2:50,0,50,100]\r\n", "GET_VIDEOENC CHN:1\r\n",
             "SET_VIDEOENC CHN:1\r\n", "GET_VIDEOENC CHN:2\r\n", "SET_VIDEOENC CHN:2\r\n"});
        row("decodeDisplayCh34Btn", "rx",
            {"SET_DISPLAY DISPLAY=[3:0,0,50,100 -a 4:50,0,50,100]\r\n", "GET_VIDEOENC CHN:3\r\n",
             "SET_VIDEOENC CHN:3\r\n", "GET_VIDEOENC CHN:4\r\n", "SET_VIDEOENC CHN:4\r\n"});
        row("decodeDisplayQuadBtn", "rx",
            {"SET_DISPLAY DISPLAY=[1:0,0,50,50 -a 2:50,0,50,50 -a 3:0,50,50,50 -a 4:50,50,50,50]",
             "GET_VIDEOENC CHN:1\r\n", "SET_VIDEOENC CHN:1\r\n", "GET_VIDEOENC CHN:2\r\n",
             "SET_VIDEOENC CHN:2\r\n", "GET_VIDEOENC CHN:3\r\n", "SET_VIDEOENC CHN:3\r\n",
             "GET_VIDEOENC CHN:4\r\n", "SET_VIDEOENC CHN:4\r\n"});
        row("decodeAudioCh1Btn", "rx", {"SET_DISPLAY AUDIO=1\r\n"});
        row("decodeAudioCh2Btn", "rx", {"SET_DISPLAY AUDIO=2\r\n"});
        row("decodeAudioCh3Btn", "rx", {"SET_DISPLAY AUDIO=3\r\n"});
        row("decodeAudioCh4Btn", "rx", {"SET_DISPLAY AUDIO=4\r\n"});
        row("decodeAudioOffBtn", "rx", {"SET_DISPLAY AUDIO=-1\r\n"});
        row("decodeResolution4kBtn", "rx", {"SET_DISPLAY RESOLUTION=3840x2160P30\r\n"});
        row("decodeResolution1080Btn", "rx", {"SET_DISPLAY RESOLUTION=1080P60\r\n"});
        row("pcDisplayCh2Btn", "tx2", {"PLAY TRANSPORT:0\r\n"});
        row("pcDisplayCh3Btn", "tx3", {"PLAY TRANSPORT:0\r\n"});
        row("pcDisplayCh4Btn", "tx4", {"PLAY TRANSPORT:0\r\n"});
        row("pcDisplayCh1Btn", "tx1", {"PLAY TRANSPORT:0\r\n"});
    }

    void everyControlActsOnItsDevice() {
        QFETCH(QString, control);
        QFETCH(bool, hold);
        QFETCH(QString, device);
        QFETCH(QStringList, requests);
        auto* button = get<QAbstractButton>(control);
        QVERIFY(button != nullptr);
        QVERIFY(button->isEnabled());
        FakeDevice& target = deviceNamed(device);
        const bool play = parse(requests.first()).word == "PLAY";
        const size_t before = target.requests().size();
        if (control.startsWith(QLatin1String("upgrade"))) {
            get<QLineEdit>(QStringLiteral("upgradeFilePathEdit"))->setText(firmware.fileName());
        }
        if (hold) {
            QTest::mousePress(button, Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(newRequests(target, before, false).size() >= 2, 3000);
            QTest::mouseRelease(button, Qt::LeftButton);
        } else {
            QTest::mouseClick(button, Qt::LeftButton);
        }
        QTRY_VERIFY2_WITH_TIMEOUT(match(newRequests(target, before, play), requests),
                                  printable(newRequests(target, before, play)).c_str(), 5000);
        if (control.startsWith(QLatin1String("upgrade"))) {
            QTRY_COMPARE_WITH_TIMEOUT(text("upgradeStatusLabel"), QStringLiteral("Upgrade Success"),
                                      5000);
        }
        if (play) {
            QTRY_COMPARE_WITH_TIMEOUT(text("pcConnectStateLabel"), QStringLiteral("Connect"), 5000);
        }
    }

    void channelOffEndsTheStream() {
        FakeDevice& transmitter = installation->transmitter(1);
        get<QAbstractButton>(QStringLiteral("pcDisplayOffBtn"))->click();
        QCOMPARE(text("pcConnectStateLabel"), QStringLiteral("Disconnect"));
        QVERIFY(transmitter.waitForClosedConnections(transmitter.connectionCount(),
                                                     std::chrono::seconds(3)));
        get<QAbstractButton>(QStringLiteral("pcDisplayCh1Btn"))->click();
        QTRY_COMPARE_WITH_TIMEOUT(text("pcConnectStateLabel"), QStringLiteral("Connect"), 5000);
    }

    void soundSwitchAndFileChoice() {
        auto* audio = get<QAbstractButton>(QStringLiteral("pcAudioBtn"));
        audio->click();
        QCOMPARE(audio->text(), QStringLiteral("ON"));
        QVERIFY(pcAudioEnabled.load());
        audio->click();
        QCOMPARE(audio->text(), QStringLiteral("OFF"));
        QVERIFY(!pcAudioEnabled.load());

        auto* path = get<QLineEdit>(QStringLiteral("upgradeFilePathEdit"));
        answerNextFileDialog(firmware.fileName());
        get<QAbstractButton>(QStringLiteral("upgradeFileChooseBtn"))->click();
        QCOMPARE(path->text(), firmware.fileName());
        answerNextFileDialog(QString());
        get<QAbstractButton>(QStringLiteral("upgradeFileChooseBtn"))->click();
        QCOMPARE(path->text(), QString());
    }

    // The PWM device pair and the three combo boxes only choose: nothing is sent for them.
    void choiceControlsSendNothing() {
        const size_t receiverBefore = installation->receiver->requests().size();
        const size_t transmitterBefore = installation->transmitter(1).requests().size();
        QTest::mouseClick(get<QAbstractButton>(QStringLiteral("actuatorRxBtn")), Qt::LeftButton);
        QTest::mouseClick(get<QAbstractButton>(QStringLiteral("actuatorTxBtn")), Qt::LeftButton);
        for (const char* name : {"actuatorIndexCombo", "ttlIndexCombo", "ttlBaudrateCombo"}) {
            auto* combo = get<QComboBox>(QLatin1String(name));
            combo->setFocus();
            QTest::keyClick(combo, Qt::Key_Down);
            QCOMPARE(combo->currentIndex(), 1);
            combo->setCurrentIndex(0);
        }
        auto* output = get<QLineEdit>(QStringLiteral("actuatorOutputEdit"));
        QTest::keyClicks(output, QStringLiteral("7"));
        QTest::keyClick(output, Qt::Key_Return);
        QTest::qWait(300);
        QVERIFY(newRequests(*installation->receiver, receiverBefore, false).empty());
        QVERIFY(newRequests(installation->transmitter(1), transmitterBefore, false).empty());
        output->setText(QStringLiteral("50"));
    }

    // A double-click on the picture toggles full screen; a resize restarts the stream on the
    // picture area's native window.
    void pictureAreaDoubleClickAndResize() {
        QWidget* video = member<QWidget>(*window, QStringLiteral("videoWidget"));
        QWidget* column = video->parentWidget();
        FakeDevice& transmitter = installation->transmitter(1);
        QTest::mouseDClick(video, Qt::LeftButton);
        QVERIFY(video->window() != window.get());
        QVERIFY(video->window()->isFullScreen());
        QTest::mouseDClick(video, Qt::LeftButton);
        QCOMPARE(video->parentWidget(), column);
        QCOMPARE(video->window(), static_cast<QWidget*>(window.get()));
        QVERIFY(video->isVisible());
        QVERIFY(waitForQuiet(transmitter, 500));
        QTRY_COMPARE_WITH_TIMEOUT(text("pcConnectStateLabel"), QStringLiteral("Connect"), 5000);

        const size_t plays = requestsFor(transmitter, "PLAY").size();
        window->resize(window->width() + 40, window->height());
        QTRY_COMPARE_WITH_TIMEOUT(requestsFor(transmitter, "PLAY").size(), plays + 1, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(text("pcConnectStateLabel"), QStringLiteral("Connect"), 5000);
    }
};

QTEST_MAIN(SlotWiringTest)
#include "slot_wiring_test.moc"
