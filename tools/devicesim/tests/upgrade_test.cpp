// Firmware uploads: the image is read to its last byte, hashed, and answered as configured.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "running_installation.h"
#include "sha256.h"
#include "wire_client.h"

namespace devicesim_test {
namespace {

// 40000 bytes; its SHA-256 was computed with sha256sum.
std::string knownImage() {
    std::string image(40000, '\0');
    for (size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<char>((i * 7 + i / 256) & 0xff);
    }
    return image;
}
const char kKnownImageSha256[] = "c4d362cd2c9a18d81832e2c27f8816fa9f0befd09b75ca7d66037828d349f5df";

std::string upgradeHead(size_t length) {
    return "UPGRADE HDMI/1.0\r\nAUTHORIZATION: BASIC \r\nCONTENT-LENGTH:" + std::to_string(length) +
           "\r\n\r\n";
}

// Sends the head, then the image in the client library's 16384-byte chunks.
int startUpload(uint16_t port, const std::string& image) {
    const int fd = connectLoopback(port, 3000);
    if (fd < 0 || !sendText(fd, upgradeHead(image.size()))) {
        return -1;
    }
    for (size_t offset = 0; offset < image.size(); offset += 16384) {
        if (!sendText(fd, image.substr(offset, 16384))) {
            break;
        }
    }
    return fd;
}

TEST(Sha256, KnownDigests) {
    devicesim::Sha256 empty;
    EXPECT_EQ(empty.finishHex(),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    devicesim::Sha256 split;
    split.update("a", 1);
    split.update("bc", 2);
    EXPECT_EQ(split.finishHex(),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(Upgrade, ImageIsHashedCheckedAndInstalled) {
    LogCapture log;
    devicesim::Behaviour behaviour;
    behaviour.upgradeDelayMs = 300;
    RunningInstallation installation(behaviour, {"tx1"});
    const uint16_t tx = installation.port("tx1");

    const int fd = startUpload(tx, knownImage());
    ASSERT_GE(fd, 0);
    const auto sent = std::chrono::steady_clock::now();
    bool closed = false;
    EXPECT_EQ(readUntilClosed(fd, 5000, &closed), okAnswer());
    EXPECT_TRUE(closed);
    EXPECT_GE(std::chrono::steady_clock::now() - sent, std::chrono::milliseconds(250));
    ::close(fd);

    EXPECT_TRUE(log.contains(std::string("UPGRADE received 40000 bytes")));
    EXPECT_TRUE(log.contains(std::string("SHA-256 ") + kKnownImageSha256));
    EXPECT_EQ(ask(tx, request("GET_SYSINFO", 0)),
              okAnswer("SOFTVER=UPG-c4d362cd2c9a18d8\r\nHARDVER=H1.0\r\nSERIAL=DSIM-TX1-1\r\n"
                       "MODEL=HDMI-IP-TX\r\n"));
}

TEST(Upgrade, EmptyImageIsAnswered) {
    LogCapture log;
    devicesim::Behaviour behaviour;
    behaviour.upgradeDelayMs = 0;
    RunningInstallation installation(behaviour, {"rx"});
    EXPECT_EQ(ask(installation.port("rx"), upgradeHead(0)), okAnswer());
    EXPECT_TRUE(log.contains("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"));
}

TEST(Upgrade, ConfiguredFailures) {
    devicesim::Behaviour behaviour;
    behaviour.upgradeDelayMs = 0;

    behaviour.upgradeOutcome = devicesim::UpgradeOutcome::Fail;
    {
        RunningInstallation installation(behaviour, {"tx1"});
        const int fd = startUpload(installation.port("tx1"), knownImage());
        ASSERT_GE(fd, 0);
        EXPECT_EQ(statusLine(readUntilClosed(fd, 5000)), "HDMI/1.0 500 Internal Error");
        ::close(fd);
    }
    behaviour.upgradeOutcome = devicesim::UpgradeOutcome::Drop;
    {
        RunningInstallation installation(behaviour, {"tx1"});
        const int fd = startUpload(installation.port("tx1"), knownImage());
        ASSERT_GE(fd, 0);
        bool closed = false;
        EXPECT_EQ(readUntilClosed(fd, 5000, &closed), "");
        EXPECT_TRUE(closed);
        ::close(fd);
    }
    behaviour.upgradeMaxBytes = 1000;
    behaviour.upgradeOutcome = devicesim::UpgradeOutcome::Ok;
    {
        RunningInstallation installation(behaviour, {"tx1"});
        EXPECT_EQ(statusLine(ask(installation.port("tx1"), upgradeHead(5000))),
                  "HDMI/1.0 413 Payload Too Large");
    }
}

TEST(Upgrade, CutDropsTheLineHalfway) {
    LogCapture log;
    devicesim::Behaviour behaviour;
    behaviour.upgradeOutcome = devicesim::UpgradeOutcome::Cut;
    RunningInstallation installation(behaviour, {"tx1"});
    const int fd = connectLoopback(installation.port("tx1"), 3000);
    ASSERT_GE(fd, 0);
    const std::string image(400000, 'x');
    sendText(fd, upgradeHead(image.size()) + image.substr(0, 250000));
    bool closed = false;
    EXPECT_EQ(readUntilClosed(fd, 5000, &closed), "");
    EXPECT_TRUE(closed);
    ::close(fd);
    EXPECT_TRUE(eventually([&] { return log.contains("cut after 200000 of 400000 bytes"); }, 2000));
}

TEST(Upgrade, SilentHoldsTheLineUntilTheClientGivesUp) {
    LogCapture log;
    devicesim::Behaviour behaviour;
    behaviour.upgradeDelayMs = 0;
    behaviour.upgradeOutcome = devicesim::UpgradeOutcome::Silent;
    RunningInstallation installation(behaviour, {"tx1"});
    const int fd = startUpload(installation.port("tx1"), knownImage());
    ASSERT_GE(fd, 0);
    bool closed = true;
    EXPECT_EQ(readUntilClosed(fd, 1200, &closed), "");
    EXPECT_FALSE(closed);
    ::close(fd);
    EXPECT_TRUE(eventually([&] { return log.contains("no answer as asked"); }, 3000));
}

TEST(Upgrade, IncompleteImageGetsNoAnswer) {
    LogCapture log;
    RunningInstallation installation(devicesim::Behaviour(), {"tx1"});
    const int fd = connectLoopback(installation.port("tx1"), 3000);
    ASSERT_GE(fd, 0);
    sendText(fd, upgradeHead(1000) + std::string(500, 'y'));
    ::shutdown(fd, SHUT_WR);
    bool closed = false;
    EXPECT_EQ(readUntilClosed(fd, 5000, &closed), "");
    EXPECT_TRUE(closed);
    ::close(fd);
    EXPECT_TRUE(
        eventually([&] { return log.contains("image incomplete after 500 of 1000 bytes"); }, 2000));
}

}  // namespace
}  // namespace devicesim_test
