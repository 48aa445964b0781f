// info, get and set against the emulated devices: what korvexctl prints is what the device holds,
// and a set changes the fields named and nothing else.
#include <cstring>

#include "support.h"

namespace korvexctl_test {
namespace {

TEST(Info, ShowsSystemVideoAndAudioSource) {
    RunningInstallation installation;
    const uint16_t rx = installation.port("rx");
    const Result text = runKorvexctl(at(rx, {"info"}));
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find("model    HDMI-IP-RX"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("videosrc"), std::string::npos);

    const Result json =
        runKorvexctl({"--json", "--host", "127.0.0.1", "--port", std::to_string(rx), "info"});
    EXPECT_EQ(json.status, 0) << json.err;
    const Json info = jsonOf(json);
    const SystemInfo system =
        settingsOf(installation.device("rx"), [](auto& s) { return s.system; });
    EXPECT_EQ(info["sysinfo"]["model"].text, system.model);
    EXPECT_EQ(info["sysinfo"]["serial"].text, system.serial);
    EXPECT_EQ(info["sysinfo"]["softVer"].text, system.softVer);
    EXPECT_EQ(info["videosrc"]["width"].integer(), 1920);
    EXPECT_EQ(info["videosrc"]["height"].integer(), 1080);
    EXPECT_EQ(info["audiosrc"]["samples"].integer(), 48000);
}

TEST(Get, EveryRecordParsesAsJsonWithTheDevicesValues) {
    RunningInstallation installation;
    const uint16_t rx = installation.port("rx");
    auto get = [&](std::initializer_list<std::string> words) {
        std::vector<std::string> arguments = {"--json", "--host",           "127.0.0.1",
                                              "--port", std::to_string(rx), "get"};
        arguments.insert(arguments.end(), words.begin(), words.end());
        const Result result = runKorvexctl(arguments);
        EXPECT_EQ(result.status, 0) << result.err;
        return jsonOf(result);
    };
    auto& device = installation.device("rx");
    {
        std::lock_guard<std::mutex> lock(device.state().mutex);
        auto& ttl = device.state().settings.ttl[1];
        ttl.mode = 2;
        ttl.baudrate = 38400;
        std::strcpy(ttl.peerAddr, "10.1.2.3");
    }
    const Json ttl = get({"ttl", "--index", "2"});
    EXPECT_EQ(ttl["chn"].integer(), 1);
    EXPECT_EQ(ttl["mode"].integer(), 2);
    EXPECT_EQ(ttl["baudrate"].integer(), 38400);
    EXPECT_EQ(ttl["port"].integer(), 9001);
    EXPECT_EQ(ttl["peerAddr"].text, "10.1.2.3");

    const Json video = get({"videoenc", "--channel", "3"});
    const VideoEncodeConfig channel3 = installation.simulator().installation().videoEncoder(3);
    EXPECT_EQ(video["frameRate"].integer(), channel3.frameRate);
    EXPECT_EQ(video["keyGop"].integer(), channel3.keyGop);
    EXPECT_EQ(video["bitrate"].integer(), channel3.bitrate);

    EXPECT_EQ(get({"audioenc"})["samples"].integer(), 48000);
    EXPECT_EQ(get({"recv", "--index", "2"})["rendpt"].text, "0.0.0.0");
    EXPECT_EQ(get({"sysinfo"})["model"].text, "HDMI-IP-RX");
    EXPECT_EQ(get({"videosrc"})["freq"].integer(), 60);
    EXPECT_EQ(get({"audiosrc"})["channel"].integer(), 2);

    const Json display = get({"display"});
    EXPECT_EQ(display["audio"].integer(), 1);
    EXPECT_EQ(display["resolution"].text, "1080P60");
    EXPECT_EQ(display["count"].integer(), 1);
    ASSERT_EQ(display["windows"].items.size(), 1u);
    EXPECT_EQ(display["windows"][0]["id"].integer(), 1);
    EXPECT_EQ(display["windows"][0]["width"].integer(), 100);
    EXPECT_EQ(display["layout"].text, "ch1");

    // A text the device holds in another encoding still gives valid JSON.
    {
        std::lock_guard<std::mutex> lock(device.state().mutex);
        std::strcpy(device.state().settings.system.model, "RX \"\xe9\" \xe4\xb8\xad");
    }
    EXPECT_EQ(get({"sysinfo"})["model"].text, "RX \"\xc3\xa9\" \xe4\xb8\xad");
}

TEST(Set, TtlChangesTheBaudRateOnly) {
    RunningInstallation installation;
    auto& rx = installation.device("rx");
    TtlConfig before{};
    {
        std::lock_guard<std::mutex> lock(rx.state().mutex);
        TtlConfig& ttl = rx.state().settings.ttl[1];
        ttl.client = 1;
        ttl.mode = 2;
        ttl.port = 9123;
        ttl.peerPort = 7000;
        std::strcpy(ttl.peerAddr, "10.1.2.3");
        before = ttl;
    }
    LogCapture log;
    const Result result = runKorvexctl(
        at(installation.port("rx"), {"set", "ttl", "--index", "2", "--baudrate", "9600"}));
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("baudrate  9600"), std::string::npos) << result.out;
    const TtlConfig after = settingsOf(rx, [](auto& s) { return s.ttl[1]; });
    EXPECT_EQ(after.baudrate, 9600);
    EXPECT_EQ(after.client, before.client);
    EXPECT_EQ(after.mode, before.mode);
    EXPECT_EQ(after.port, before.port);
    EXPECT_EQ(after.peerPort, before.peerPort);
    EXPECT_STREQ(after.peerAddr, before.peerAddr);
    EXPECT_EQ(settingsOf(rx, [](auto& s) { return s.ttl[0].baudrate; }), 115200);
    // Read, change, write: GET_TTL and SET_TTL for CHN 1.
    EXPECT_TRUE(logged(log, "GET_TTL CHN:1 -> 200 OK"));
    EXPECT_TRUE(logged(log,
                       "SET_TTL CHN:1 {CHN=1 | MODE=2 | CLIENT=1 | BAUDRATE=9600 | PORT=9123 | "
                       "PEER_PORT=7000 | PEER_ADDR=10.1.2.3} -> 200 OK"));
}

TEST(Set, VideoEncoderThroughTheReceiverChangesRateAndGopOnly) {
    RunningInstallation installation;
    auto& shared = installation.simulator().installation();
    VideoEncodeConfig before = shared.videoEncoder(3);
    before.bitrate = 3000;
    before.quality = 5;
    shared.setVideoEncoder(3, before);
    const Result result =
        runKorvexctl(at(installation.port("rx"), {"set", "videoenc", "--channel", "3",
                                                  "--framerate", "60", "--KeyGop", "120"}));
    EXPECT_EQ(result.status, 0) << result.err;
    const VideoEncodeConfig after = shared.videoEncoder(3);
    EXPECT_EQ(after.frameRate, 60);
    EXPECT_EQ(after.keyGop, 120);
    EXPECT_EQ(after.bitrate, 3000);
    EXPECT_EQ(after.quality, 5);
    EXPECT_EQ(after.codec, before.codec);
    EXPECT_EQ(after.width, before.width);
    EXPECT_EQ(after.profile, before.profile);
    EXPECT_EQ(shared.videoEncoder(2).frameRate, 30) << "other channels keep theirs";

    // A transmitter's own channel, with CHN 0.
    const Result own =
        runKorvexctl(at(installation.port("tx2"), {"set", "videoenc", "--bitrate", "2500"}));
    EXPECT_EQ(own.status, 0) << own.err;
    EXPECT_EQ(shared.videoEncoder(2).bitrate, 2500);
    EXPECT_EQ(shared.videoEncoder(2).frameRate, 30);
}

TEST(Set, AudioEncoderAndReceiveSettings) {
    RunningInstallation installation;
    auto& rx = installation.device("rx");
    const uint16_t port = installation.port("rx");
    EXPECT_EQ(
        runKorvexctl(at(port, {"set", "audioenc", "--bitrate", "128", "--channel", "2"})).status,
        0);
    const AudioEncodeConfig audio = settingsOf(rx, [](auto& s) { return s.audioEncoder; });
    EXPECT_EQ(audio.bitrate, 128);
    EXPECT_EQ(audio.channel, 2);
    EXPECT_EQ(audio.samples, 48000);
    EXPECT_EQ(audio.enable, 1);

    const Result recv = runKorvexctl(
        at(port, {"set", "recv", "--index", "3", "--transport", "udp", "--rport", "5004"}));
    EXPECT_EQ(recv.status, 0) << recv.err;
    const ReceiveConfig receive = settingsOf(rx, [](auto& s) { return s.receive[3]; });
    EXPECT_EQ(receive.transport, 1);
    EXPECT_EQ(receive.rport, 5004);
    EXPECT_STREQ(receive.rendpt, "0.0.0.0");
    EXPECT_EQ(settingsOf(rx, [](auto& s) { return s.receive[2].rport; }), 0);
}

TEST(Set, DisplayLayoutAudioResolutionAndWindows) {
    RunningInstallation installation;
    auto& rx = installation.device("rx");
    const uint16_t port = installation.port("rx");
    const Result quad =
        runKorvexctl({"--json", "--host", "127.0.0.1", "--port", std::to_string(port), "set",
                      "display", "--layout", "quad", "--audio", "2", "--resolution", "1080P60"});
    EXPECT_EQ(quad.status, 0) << quad.err;
    EXPECT_EQ(jsonOf(quad)["layout"].text, "quad");
    DisplayConfig display = settingsOf(rx, [](auto& s) { return s.display; });
    EXPECT_EQ(display.count, 4);
    EXPECT_EQ(display.audio, 2);
    EXPECT_STREQ(display.resolution, "1080P60");
    EXPECT_EQ(display.windows[3].id, 4);
    EXPECT_EQ(display.windows[3].x, 50);
    EXPECT_EQ(display.windows[3].y, 50);

    // Only the resolution: layout and audio stay.
    EXPECT_EQ(runKorvexctl(at(port, {"set", "display", "--resolution", "4k"})).status, 0);
    display = settingsOf(rx, [](auto& s) { return s.display; });
    EXPECT_STREQ(display.resolution, "3840x2160P30");
    EXPECT_EQ(display.count, 4);
    EXPECT_EQ(display.audio, 2);

    // Windows of one's own, and no sound.
    const Result windows = runKorvexctl(at(port, {"set", "display", "--window", "3:0,0,50,100",
                                                  "--window", "4:50,0,50,100", "--audio", "none"}));
    EXPECT_EQ(windows.status, 0) << windows.err;
    EXPECT_NE(windows.out.find("layout      ch34"), std::string::npos) << windows.out;
    EXPECT_NE(windows.out.find("audio       none"), std::string::npos) << windows.out;
    display = settingsOf(rx, [](auto& s) { return s.display; });
    EXPECT_EQ(display.count, 2);
    EXPECT_EQ(display.audio, -1);
    EXPECT_EQ(display.windows[0].id, 3);
    EXPECT_EQ(display.windows[1].x, 50);
    EXPECT_STREQ(display.resolution, "3840x2160P30");
}

}  // namespace
}  // namespace korvexctl_test
