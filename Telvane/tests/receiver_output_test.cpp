// The receiver panel's rules without widgets: buttons to DisplayConfig and back, what a layout
// leaves enabled, when a re-read may be shown, and the exchanges on the wire.

#include "receiver_output.h"
#include "fake_device.h"

#include <QtTest>

#include <cstring>
#include <string>
#include <vector>

using korvex::test::FakeDevice;
using korvex::test::OkResponse;
using Choice = ReceiverOutput::Choice;
using Click = ReceiverOutput::Click;

namespace {

QString windowsText(const DisplayConfig& display) {
    QStringList windows;
    for (int i = 0; i < display.count; ++i) {
        const DisplayWindow& w = display.windows[i];
        windows << QStringLiteral("%1:%2,%3,%4,%5")
                       .arg(w.id)
                       .arg(w.x)
                       .arg(w.y)
                       .arg(w.width)
                       .arg(w.height);
    }
    return windows.join(QLatin1Char(' '));
}

DisplayConfig reportedDisplay(int count, int firstId, int audio, const char* resolution) {
    DisplayConfig display;
    std::memset(&display, 0, sizeof display);
    display.count = count;
    for (int i = 0; i < count && i < KORVEX_MAX_DISPLAY_WINDOWS; ++i) {
        display.windows[i].id = firstId + i;
    }
    display.audio = audio;
    std::strncpy(display.resolution, resolution, sizeof display.resolution - 1);
    return display;
}

// The requests that reached `device`, each cut to its command word and the lines that matter.
std::vector<std::string> words(const FakeDevice& device) {
    std::vector<std::string> words;
    for (const std::string& request : device.requests()) {
        std::string word = request.substr(0, request.find(' '));
        const size_t channel = request.find("\r\nCHN:");
        if (channel != std::string::npos) {
            word +=
                " " + request.substr(channel + 2, request.find("\r\n", channel + 2) - channel - 2);
        }
        words.push_back(word);
    }
    return words;
}

}  // namespace

class ReceiverOutputTest : public QObject {
    Q_OBJECT

  private slots:
    void layoutsBecomeWindows_data() {
        QTest::addColumn<int>("layout");
        QTest::addColumn<QString>("windows");
        QTest::newRow("CH1") << 0 << "1:0,0,100,100";
        QTest::newRow("CH4") << 3 << "4:0,0,100,100";
        QTest::newRow("CH1|CH2") << 4 << "1:0,0,50,100 2:50,0,50,100";
        QTest::newRow("CH3|CH4") << 5 << "3:0,0,50,100 4:50,0,50,100";
        QTest::newRow("quad") << 6 << "1:0,0,50,50 2:50,0,50,50 3:0,50,50,50 4:50,50,50,50";
        QTest::newRow("none") << -1 << "";
    }

    void layoutsBecomeWindows() {
        QFETCH(int, layout);
        QFETCH(QString, windows);
        const DisplayConfig display =
            ReceiverOutput::writeFor({layout, 0, 4, 0}, Click::Layout).display;
        QCOMPARE(windowsText(display), windows);
        for (int i = display.count; i < KORVEX_MAX_DISPLAY_WINDOWS; ++i) {
            QCOMPARE(display.windows[i].id, 0);  // entries beyond count stay zero
        }
    }

    // The sound of a channel that the layout does not show (a disabled button) is sent as none,
    // like "X" and like no choice at all; resolutions other than 1080 (or none) are 4K.
    void soundAndResolutionOfAClick() {
        auto sent = [](Choice choice) { return ReceiverOutput::writeFor(choice, Click::Sound); };
        QCOMPARE(sent({4, -1, 0, 0}).display.audio, 1);
        QCOMPARE(sent({4, -1, 1, 0}).display.audio, 2);
        QCOMPARE(sent({4, -1, 2, 0}).display.audio, -1);
        QCOMPARE(sent({2, -1, 2, 0}).display.audio, 3);
        QCOMPARE(sent({6, -1, 3, 0}).display.audio, 4);
        QCOMPARE(sent({6, -1, 4, 0}).display.audio, -1);
        QCOMPARE(sent({-1, -1, 0, 0}).display.audio, -1);
        QCOMPARE(sent({6, -1, -1, 0}).display.audio, -1);
        QCOMPARE(QString(sent({0, -1, 0, 0}).display.resolution), QStringLiteral("1080P60"));
        QCOMPARE(QString(sent({0, -1, 0, 1}).display.resolution), QStringLiteral("3840x2160P30"));
        QCOMPARE(QString(sent({0, -1, 0, -1}).display.resolution), QStringLiteral("3840x2160P30"));
    }

    // Layout and frame rate clicks rewrite the encoders, the frame rate click with its rate.
    void whatEachClickAsksOfTheEncoders() {
        const Choice choice{2, 1, 2, 0};
        const auto layout = ReceiverOutput::writeFor(choice, Click::Layout);
        QVERIFY(layout.withEncoders && !layout.withFrameRate);
        const auto frameRate = ReceiverOutput::writeFor(choice, Click::FrameRate);
        QVERIFY(frameRate.withEncoders && frameRate.withFrameRate);
        QCOMPARE(frameRate.frameRate, 60);
        QCOMPARE(ReceiverOutput::writeFor({2, 0, 2, 0}, Click::FrameRate).frameRate, 30);
        QCOMPARE(ReceiverOutput::writeFor({2, -1, 2, 0}, Click::FrameRate).frameRate, 30);
        for (Click click : {Click::Sound, Click::Resolution}) {
            QVERIFY(!ReceiverOutput::writeFor(choice, click).withEncoders);
        }
    }

    void layoutsEnableTheirChannelsSoundAndFrameRate() {
        const QString expected[] = {"F1000", "F0100", "F0010", "F0001",
                                    "-1100", "-0011", "-1111", "F0000"};
        const int layouts[] = {0, 1, 2, 3, 4, 5, 6, -1};
        for (int i = 0; i < 8; ++i) {
            const ReceiverOutput::Enabled enabled = ReceiverOutput::enabledFor(layouts[i]);
            QString text = enabled.frameRate ? QStringLiteral("F") : QStringLiteral("-");
            for (bool channel : enabled.audioChannels) {
                text += channel ? QLatin1Char('1') : QLatin1Char('0');
            }
            QCOMPARE(text, expected[i]);
        }
    }

    // What a click sends, read back, shows the same buttons: the two directions agree.
    void everyChoiceSurvivesTheRoundTrip() {
        for (int layout = 0; layout < ReceiverOutput::kLayoutCount; ++layout) {
            for (int audio = 0; audio <= ReceiverOutput::kAudioOffId; ++audio) {
                for (int resolution = 0; resolution < 2; ++resolution) {
                    const bool single = layout < ReceiverOutput::kFirstTwoWindowLayoutId;
                    const bool shown = audio == ReceiverOutput::kAudioOffId ||
                                       ReceiverOutput::enabledFor(layout).audioChannels[audio];
                    const Choice choice{layout, 1, audio, resolution};
                    const auto write = ReceiverOutput::writeFor(choice, Click::Layout);
                    const Choice back = ReceiverOutput::choiceFor(write.display, single, {});
                    QCOMPARE(back.layout, layout);
                    QCOMPARE(back.frameRate, single ? 1 : -1);
                    QCOMPARE(back.audio, shown ? audio : ReceiverOutput::kAudioOffId);
                    QCOMPARE(back.resolution, resolution);
                }
            }
        }
    }

    // What the receiver reports that no button stands for leaves those buttons as they are.
    void reportsTheButtonsCannotShow() {
        const Choice current{5, 0, 1, 0};
        const Choice threeWindows =
            ReceiverOutput::choiceFor(reportedDisplay(3, 1, 0, "1080P60"), false, current);
        QCOMPARE(threeWindows.layout, 5);
        QCOMPARE(threeWindows.frameRate, 0);  // the frame rate is read for one window only
        QCOMPARE(threeWindows.audio, ReceiverOutput::kAudioOffId);
        QCOMPARE(
            ReceiverOutput::choiceFor(reportedDisplay(1, 7, 5, "1080P60"), true, current).layout,
            5);
        QCOMPARE(
            ReceiverOutput::choiceFor(reportedDisplay(1, 7, 5, "1080P60"), true, current).frameRate,
            1);
        QCOMPARE(ReceiverOutput::choiceFor(reportedDisplay(2, 3, 2, "x"), false, current).layout,
                 5);
        QCOMPARE(ReceiverOutput::choiceFor(reportedDisplay(2, 1, 2, "x"), false, current).layout,
                 4);
        QCOMPARE(ReceiverOutput::choiceFor(reportedDisplay(4, 1, 2, "x"), false, current).layout,
                 6);
        // Exactly "1080P60": one that goes on counts as 4K.
        QCOMPARE(ReceiverOutput::choiceFor(reportedDisplay(1, 1, 1, "1080P60x"), false, current)
                     .resolution,
                 1);
    }

    // A re-read waits for every write to be answered, and one that began before a click is not
    // shown; a refused or unanswered click puts the buttons back, unless a later one is on its
    // way.
    void rereadsAndWritesTakeTurns() {
        ReceiverOutput output;
        QVERIFY(!output.known());
        const Choice reported{0, 0, 0, 0};
        ReceiverOutput::Reading reading;
        reading.displayRead = true;
        reading.display = reportedDisplay(1, 1, 1, "1080P60");

        const auto first = output.startReread();
        QVERIFY(first.has_value());
        QVERIFY(!output.startReread());  // one at a time
        QCOMPARE(output.rereadAnswered(*first, reading, {}).value(), reported);
        QVERIFY(output.known());
        QCOMPARE(output.shown(), reported);

        const auto stale = output.startReread();
        const int click = output.writeSent();
        QVERIFY(!output.rereadAnswered(*stale, reading, {}));  // from before the click
        QVERIFY(!output.startReread());                        // the click is on its way
        const Choice clicked{4, 0, 0, 0};
        QVERIFY(!output.writeAnswered(click, clicked, DeviceAnswer::Done));
        QCOMPARE(output.shown(), clicked);

        const int replaced = output.writeSent();
        const int latest = output.writeSent();
        QVERIFY(!output.writeAnswered(replaced, {6, 0, 0, 0}, DeviceAnswer::Refused));
        QVERIFY(!output.startReread());
        QVERIFY(output.writeAnswered(latest, {5, 0, 0, 0}, DeviceAnswer::NoAnswer));
        QCOMPARE(output.shown(), clicked);

        ReceiverOutput::Reading failed;
        const auto afterClicks = output.startReread();
        QVERIFY(afterClicks.has_value());
        QVERIFY(!output.rereadAnswered(*afterClicks, failed, {}));
        QVERIFY(output.startReread().has_value());  // a failed one does not block the next
    }

    // On the wire: a two-window layout rewrites both encoders unchanged; a channel whose encoder
    // cannot be read is skipped and named; a refused layout touches no encoder.
    void exchangesOfAClickAndOfAReread() {
        FakeDevice receiver;
        receiver.setDefaultReply(korvex::test::Answer(OkResponse(
            "DISPLAY=[2:0,0,100,100]\r\nAUDIO=2\r\nRESOLUTION=1080P60\r\nCODEC=0\r\nWIDTH=1920\r\n"
            "HEIGHT=1080\r\nBITRATE=8000\r\nKEYGOP=120\r\nFRAMERATE=60\r\nRC=1\r\nQUALITY=3\r\n"
            "PROFILE=2\r\n")));
        QCOMPARE(KORVEX_Init(), 0);
        KorvexLoginInfo login{};
        std::strcpy(login.host, "127.0.0.1");
        login.port = receiver.port();
        KorvexSession* session = KORVEX_Login(&login, nullptr, nullptr);
        QVERIFY(session != nullptr);

        const ReceiverOutput::Reading reading = ReceiverOutput::read(session);
        QVERIFY(reading.displayRead && reading.frameRate60);
        QCOMPARE(windowsText(reading.display), QStringLiteral("2:0,0,100,100"));

        receiver.script(korvex::test::Answer(OkResponse()));
        receiver.script(korvex::test::Answer("HDMI/1.0 400 Bad Request\r\n\r\n"));
        const ReceiverOutput::WriteResult written =
            ReceiverOutput::write(session, ReceiverOutput::writeFor({4, 0, 0, 0}, Click::Layout));
        QCOMPARE(written.display, DeviceAnswer::Done);
        QCOMPARE(written.encodersNotSet, std::vector<int>{1});

        receiver.script(korvex::test::Answer("HDMI/1.0 403 Forbidden\r\n\r\n"));
        const ReceiverOutput::WriteResult refused = ReceiverOutput::write(
            session, ReceiverOutput::writeFor({2, 1, 2, 0}, Click::FrameRate));
        QCOMPARE(refused.display, DeviceAnswer::Refused);

        const ReceiverOutput::WriteResult frameRate = ReceiverOutput::write(
            session, ReceiverOutput::writeFor({2, 0, 2, 0}, Click::FrameRate));
        QCOMPARE(frameRate.display, DeviceAnswer::Done);
        KORVEX_Logout(session);
        KORVEX_Exit();

        const std::vector<std::string> expected = {
            "GET_DISPLAY CHN:0",  "GET_VIDEOENC CHN:2", "SET_DISPLAY CHN:0", "GET_VIDEOENC CHN:1",
            "GET_VIDEOENC CHN:2", "SET_VIDEOENC CHN:2", "SET_DISPLAY CHN:0", "SET_DISPLAY CHN:0",
            "GET_VIDEOENC CHN:3", "SET_VIDEOENC CHN:3"};
        QCOMPARE(words(receiver), expected);
        const std::string last = receiver.requests().back();
        QVERIFY(last.find("KEYGOP=60\r\nFRAMERATE=30\r\n") != std::string::npos);
    }
};

QTEST_GUILESS_MAIN(ReceiverOutputTest)
#include "receiver_output_test.moc"
