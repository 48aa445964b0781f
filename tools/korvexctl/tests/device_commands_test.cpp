// reset, key, actuator and upgrade against the emulated devices.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "support.h"

namespace korvexctl_test {
namespace {

std::string writeImage(size_t bytes) {
    const std::string path = ::testing::TempDir() + "korvexctl-image-" +
                             std::to_string(::getpid()) + "-" + std::to_string(bytes) + ".bin";
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    for (size_t i = 0; i < bytes; ++i) {
        file.put(static_cast<char>(i * 7 + 3));
    }
    return path;
}

TEST(Reset, TheDeviceRestarts) {
    devicesim::Behaviour quickReboot;
    quickReboot.resetSeconds = 3;
    RunningInstallation installation(quickReboot, {"rx"});
    LogCapture log;
    const Result result = runKorvexctl({"--json", "--host", "127.0.0.1", "--port",
                                        std::to_string(installation.port("rx")), "reset"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(jsonOf(result)["ok"].boolean);
    EXPECT_TRUE(eventually([&] { return log.contains("rx: rebooting"); }, 3000));
    // While it reboots it does not answer.
    EXPECT_EQ(runKorvexctl(at(installation.port("rx"), {"reset"})).status, 1);
}

TEST(Key, CodesGoThroughUnchanged) {
    RunningInstallation installation(devicesim::Behaviour(), {"tx1"});
    LogCapture log;
    const uint16_t tx = installation.port("tx1");
    const Result five = runKorvexctl(at(tx, {"key", "5"}));
    EXPECT_EQ(five.status, 0) << five.err;
    EXPECT_NE(five.out.find("accepted key 5"), std::string::npos);
    EXPECT_EQ(runKorvexctl(at(tx, {"key", "-1"})).status, 0);
    EXPECT_TRUE(logged(log, "NET_KEYBOARD CHN:0 {KEY=5} -> 200 OK"));
    EXPECT_TRUE(logged(log, "NET_KEYBOARD CHN:0 {KEY=-1} -> 200 OK"));
}

TEST(Actuator, GotoUsesTheWindowsMappingAndStepsEndWithAStop) {
    RunningInstallation installation(devicesim::Behaviour(), {"tx1"});
    auto& tx = installation.device("tx1");
    const uint16_t port = installation.port("tx1");
    LogCapture log;
    const Result half = runKorvexctl(at(port, {"actuator", "--id", "2", "goto", "50"}));
    EXPECT_EQ(half.status, 0) << half.err;
    EXPECT_NE(half.out.find("ANGLE 87"), std::string::npos) << half.out;
    EXPECT_EQ(settingsOf(tx, [](auto& s) { return s.actuator[2]; }), 87);
    EXPECT_EQ(runKorvexctl(at(port, {"actuator", "--id", "2", "goto", "0"})).status, 0);
    EXPECT_EQ(settingsOf(tx, [](auto& s) { return s.actuator[2]; }), 42);
    EXPECT_EQ(runKorvexctl(at(port, {"actuator", "--id", "2", "goto", "100"})).status, 0);
    EXPECT_EQ(settingsOf(tx, [](auto& s) { return s.actuator[2]; }), 132);

    const Result up = runKorvexctl({"--json", "--host", "127.0.0.1", "--port", std::to_string(port),
                                    "actuator", "--id", "0", "inc", "--hold", "100"});
    EXPECT_EQ(up.status, 0) << up.err;
    const long long steps = jsonOf(up)["steps"].integer();
    EXPECT_GE(steps, 2);
    EXPECT_EQ(settingsOf(tx, [](auto& s) { return s.actuator[0]; }), 87 + steps);
    EXPECT_TRUE(logged(log, "{ID=0 | ORIENT=2 | ANGLE=0} -> 200 OK"));
    EXPECT_TRUE(logged(log, "{ID=0 | ORIENT=0 | ANGLE=0} -> 200 OK; actuator 0 stopped"));

    EXPECT_EQ(runKorvexctl(at(port, {"actuator", "--id", "1", "dec"})).status, 0);
    EXPECT_EQ(settingsOf(tx, [](auto& s) { return s.actuator[1]; }), 86);
    EXPECT_EQ(runKorvexctl(at(port, {"actuator", "--id", "1", "stop"})).status, 0);
}

TEST(Upgrade, TheDevicesVerdictIsTheExitStatus) {
    devicesim::Behaviour quick;
    quick.upgradeDelayMs = 100;
    RunningInstallation installation(quick, {"tx1"});
    const std::string image = writeImage(40000);
    const Result ok = runKorvexctl(at(installation.port("tx1"), {"upgrade", image}));
    EXPECT_EQ(ok.status, 0) << ok.err;
    // Not a terminal: one plain line per percentage, as 16384-byte chunks give them.
    EXPECT_NE(ok.out.find("upgrade: 40%\nupgrade: 81%\nupgrade: 100%\n"), std::string::npos)
        << ok.out;
    EXPECT_NE(ok.out.find("accepted the image"), std::string::npos) << ok.out;
    EXPECT_EQ(ok.out.find('\r'), std::string::npos);
    const std::string version = settingsOf(installation.device("tx1"),
                                           [](auto& s) { return std::string(s.system.softVer); });
    EXPECT_EQ(version.compare(0, 4, "UPG-"), 0) << version;

    const Result json = runKorvexctl({"--json", "--host", "127.0.0.1", "--port",
                                      std::to_string(installation.port("tx1")), "upgrade", image});
    EXPECT_EQ(json.status, 0) << json.err;
    std::vector<Json> events;
    std::string error;
    ASSERT_TRUE(parseJsonLines(json.out, events, error)) << error;
    ASSERT_EQ(events.size(), 6u) << json.out;
    EXPECT_EQ(events[0]["event"].text, "started");
    EXPECT_EQ(events[0]["bytes"].integer(), 40000);
    EXPECT_EQ(events[1]["percent"].integer(), 40);
    EXPECT_EQ(events[3]["percent"].integer(), 100);
    EXPECT_EQ(events[4]["event"].text, "sent");
    EXPECT_EQ(events[5]["event"].text, "succeeded");
    std::remove(image.c_str());
}

TEST(Upgrade, ARejectedImageGivesStatusOne) {
    devicesim::Behaviour rejecting;
    rejecting.upgradeDelayMs = 100;
    rejecting.upgradeOutcome = devicesim::UpgradeOutcome::Fail;
    RunningInstallation installation(rejecting, {"tx1"});
    const std::string image = writeImage(20000);
    const Result result = runKorvexctl(at(installation.port("tx1"), {"upgrade", image}));
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.out.find("upgrade: 100%"), std::string::npos) << result.out;
    EXPECT_NE(result.err.find("did not accept the image"), std::string::npos) << result.err;
    EXPECT_STREQ(settingsOf(installation.device("tx1"),
                            [](auto& s) { return std::string(s.system.softVer); })
                     .c_str(),
                 "V1.0.0");
    std::remove(image.c_str());
}

TEST(Upgrade, CtrlCOnceTheImageIsSentEndsOnlyTheWaitForTheVerdict) {
    devicesim::Behaviour slowCheck;
    slowCheck.upgradeDelayMs = 5000;
    RunningInstallation installation(slowCheck, {"tx1"});
    LogCapture log;
    const std::string image = writeImage(40000);
    ChildProcess child(KORVEXCTL_PATH, at(installation.port("tx1"), {"upgrade", image}));
    ASSERT_TRUE(child.waitForStdout("waiting for the device's verdict", 5000)) << child.out();
    child.signal(SIGINT);
    EXPECT_EQ(child.wait(3000), 130) << child.err();
    EXPECT_NE(child.err().find("its verdict is unknown"), std::string::npos) << child.err();
    // The device has the whole image.
    EXPECT_TRUE(logged(log, "UPGRADE received 40000 bytes"));
    std::remove(image.c_str());
}

TEST(Upgrade, PathsThatAreNoReadableFileAreRefusedSayingWhatTheyAre) {
    RunningInstallation installation({}, {"tx1"});
    LogCapture log;
    const std::string folder =
        ::testing::TempDir() + "korvexctl-paths-" + std::to_string(::getpid());
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(::mkfifo((folder + "/fifo").c_str(), 0600), 0);
    ASSERT_EQ(::symlink((folder + "/b").c_str(), (folder + "/a").c_str()), 0);
    ASSERT_EQ(::symlink((folder + "/a").c_str(), (folder + "/b").c_str()), 0);
    std::vector<std::pair<std::string, std::string>> cases = {
        {folder, "is a directory"},
        {"/dev/zero", "is not a regular file"},
        {folder + "/fifo", "is not a regular file"},
        {folder + "/a", "is a loop of symbolic links"},
        {folder + "/missing", "no such file"},
    };
    const std::string locked = writeImage(100);
    ::chmod(locked.c_str(), 0);
    if (::geteuid() != 0) {  // root reads it all the same
        cases.emplace_back(locked, "cannot be read (permission denied)");
    }
    for (const auto& [path, says] : cases) {
        const Result result = runKorvexctl(at(installation.port("tx1"), {"upgrade", path}));
        EXPECT_EQ(result.status, 2) << path;
        EXPECT_NE(result.err.find(path + ": " + says), std::string::npos) << result.err;
    }
    EXPECT_FALSE(log.contains("tx1 127.0.0.1:"));
    std::remove(locked.c_str());
    for (const char* name : {"/fifo", "/a", "/b", ""}) {
        std::remove((folder + name).c_str());
    }
}

TEST(Upgrade, ProgressBarOnATerminal) {
    devicesim::Behaviour quick;
    quick.upgradeDelayMs = 100;
    RunningInstallation installation(quick, {"tx1"});
    const std::string image = writeImage(40000);
    ChildProcess child(KORVEXCTL_PATH, at(installation.port("tx1"), {"upgrade", image}),
                       ChildProcess::Output::Terminal);
    EXPECT_EQ(child.wait(10000), 0) << child.out();
    EXPECT_NE(child.out().find("\r[################################........]  81%"),
              std::string::npos)
        << child.out();
    EXPECT_NE(child.out().find("\r[########################################] 100%"),
              std::string::npos)
        << child.out();
    EXPECT_EQ(child.out().find("upgrade: 40%"), std::string::npos);
    std::remove(image.c_str());
}

}  // namespace
}  // namespace korvexctl_test
