// watch: each change of the device's state, told once, with a timestamp.
#include <signal.h>

#include <cstring>

#include "support.h"

namespace korvexctl_test {
namespace {

// The JSON events of watch's stdout so far.
std::vector<Json> eventsOf(const ChildProcess& child) {
    std::vector<Json> events;
    std::string error;
    EXPECT_TRUE(parseJsonLines(child.out().substr(0, child.out().rfind('\n') + 1), events, error))
        << error;
    return events;
}

TEST(Watch, TellsAnswersLayoutChangesAndARestart) {
    devicesim::Behaviour behaviour;
    behaviour.resetSeconds = 1;
    RunningInstallation installation(behaviour, {"rx"});
    auto& rx = installation.device("rx");
    ChildProcess child(KORVEXCTL_PATH, {"--json", "--host", "127.0.0.1", "--port",
                                        std::to_string(installation.port("rx")), "--timeout", "500",
                                        "watch", "--interval", "200"});
    ASSERT_TRUE(child.waitForStdout("\"event\":\"display\"", 5000)) << child.out() << child.err();

    {
        std::lock_guard<std::mutex> lock(rx.state().mutex);
        DisplayConfig& display = rx.state().settings.display;
        display.count = 4;
        display.windows[0] = DisplayWindow{1, 0, 0, 50, 50};
        display.windows[1] = DisplayWindow{2, 50, 0, 50, 50};
        display.windows[2] = DisplayWindow{3, 0, 50, 50, 50};
        display.windows[3] = DisplayWindow{4, 50, 50, 50, 50};
        display.audio = 3;
    }
    ASSERT_TRUE(child.waitForStdout("\"layout\":\"quad\"", 3000)) << child.out();

    const Result reset = runKorvexctl(at(installation.port("rx"), {"reset"}));
    ASSERT_EQ(reset.status, 0) << reset.err;
    ASSERT_TRUE(child.waitForStdout("\"event\":\"stopped answering\"", 3000)) << child.out();
    ASSERT_TRUE(child.waitForStdout("\"event\":\"came back\"", 5000)) << child.out();
    child.signal(SIGINT);
    EXPECT_EQ(child.wait(5000), 0) << child.err();

    const std::vector<Json> events = eventsOf(child);
    std::vector<std::string> names;
    for (const Json& event : events) {
        names.push_back(event["event"].text);
        EXPECT_EQ(event["time"].text.size(), 23u) << event["time"].text;
        EXPECT_EQ(event["device"].text, "127.0.0.1:" + std::to_string(installation.port("rx")));
    }
    // Each change once, nothing while nothing changes.
    const std::vector<std::string> expected = {"answers", "display", "display", "stopped answering",
                                               "came back"};
    EXPECT_EQ(names, expected) << child.out();
    ASSERT_EQ(events.size(), expected.size());
    EXPECT_EQ(events[0]["sysinfo"]["model"].text, "HDMI-IP-RX");
    EXPECT_EQ(events[1]["display"]["layout"].text, "ch1");
    EXPECT_EQ(events[1]["display"]["audio"].integer(), 1);
    EXPECT_EQ(events[1]["display"]["resolution"].text, "1080P60");
    EXPECT_EQ(events[2]["display"]["layout"].text, "quad");
    EXPECT_EQ(events[2]["display"]["audio"].integer(), 3);
    ASSERT_EQ(events[2]["display"]["changed"].items.size(), 2u);
    EXPECT_EQ(events[2]["display"]["changed"][0].text, "layout");
    EXPECT_EQ(events[2]["display"]["changed"][1].text, "audio");
}

TEST(Watch, TextLinesForPeople) {
    RunningInstallation installation(devicesim::Behaviour(), {"rx", "tx1"});
    const Result rx = runKorvexctl(at(installation.port("rx"), {"watch", "--seconds", "1"}));
    EXPECT_EQ(rx.status, 0) << rx.err;
    EXPECT_NE(rx.out.find(" answers: HDMI-IP-RX V1.0.0"), std::string::npos) << rx.out;
    EXPECT_NE(rx.out.find(" layout ch1, audio 1, resolution 1080P60\n"), std::string::npos)
        << rx.out;
    // A transmitter has no display: only whether it answers.
    const Result tx = runKorvexctl(at(installation.port("tx1"), {"watch", "--seconds", "1"}));
    EXPECT_EQ(tx.status, 0) << tx.err;
    EXPECT_NE(tx.out.find(" answers: HDMI-IP-TX"), std::string::npos) << tx.out;
    EXPECT_EQ(tx.out.find("layout"), std::string::npos) << tx.out;
}

}  // namespace
}  // namespace korvexctl_test
