// play: the live stream's counts, and files that libavcodec decodes as a player would.
#include <signal.h>

#include <fstream>

#include "file_decode.h"
#include "support.h"

namespace korvexctl_test {
namespace {

std::string tempPath(const std::string& name) {
    return ::testing::TempDir() + "korvexctl-" + std::to_string(::getpid()) + "-" + name;
}

// The summary object of a --json play.
Json summaryOf(const Result& result) {
    std::vector<Json> lines;
    std::string error;
    EXPECT_TRUE(parseJsonLines(result.out, lines, error)) << error;
    for (const Json& line : lines) {
        if (line.has("summary")) {
            return line["summary"];
        }
    }
    ADD_FAILURE() << "no summary in\n" << result.out;
    return Json();
}

// Waits until a --json play's running line has counted `minimum` video frames.
bool waitForFrames(ChildProcess& child, long long minimum, int timeoutMs) {
    return eventually(
        [&] {
            child.waitForStdout("\nnot in the output", 100);
            std::vector<Json> lines;
            std::string error;
            const std::string& out = child.out();
            parseJsonLines(out.substr(0, out.rfind('\n') + 1), lines, error);
            return !lines.empty() && lines.back()["stats"]["frames"].integer() >= minimum;
        },
        timeoutMs);
}

// Whether a running line counted a data-loss event.
bool lostSome(const std::string& out) {
    for (size_t at = out.find(" lost "); at != std::string::npos; at = out.find(" lost ", at + 1)) {
        if (at + 6 < out.size() && out[at + 6] >= '1' && out[at + 6] <= '9') {
            return true;
        }
    }
    return false;
}

TEST(Play, TcpStreamWritesFilesThatDecode) {
    devicesim::Behaviour behaviour;
    behaviour.loopSeconds = 1;
    RunningInstallation installation(behaviour, {"tx1"});
    const std::string video = tempPath("ch1.h264");
    const std::string audio = tempPath("ch1.aac");
    // Stopped with Ctrl-C once enough has come: how soon devicesim has its pictures encoded
    // depends on the machine.
    ChildProcess child(KORVEXCTL_PATH, {"--json", "--host", "127.0.0.1", "--port",
                                        std::to_string(installation.port("tx1")), "play",
                                        "--output", video, "--audio", audio});
    ASSERT_TRUE(waitForFrames(child, 45, 30000)) << child.out() << child.err();
    child.signal(SIGINT);
    Result result;
    result.status = child.wait(5000);
    result.out = child.out();
    result.err = child.err();
    EXPECT_EQ(result.status, 0) << result.err;
    std::vector<Json> lines;
    std::string error;
    ASSERT_TRUE(parseJsonLines(result.out, lines, error)) << error;
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0]["mediaInfo"]["width"].integer(), 1920) << result.out;
    EXPECT_EQ(lines[0]["mediaInfo"]["height"].integer(), 1080);
    EXPECT_EQ(lines[0]["mediaInfo"]["contentMask"].integer(), 3);
    const Json summary = summaryOf(result);
    EXPECT_GE(summary["frames"].integer(), 45) << result.out;
    EXPECT_GE(summary["keyFrames"].integer(), 1);
    EXPECT_GT(summary["audioFrames"].integer(), 20);
    EXPECT_GT(summary["bitrateKbps"].number, 0);
    EXPECT_EQ(summary["dataLost"].integer(), 0);
    EXPECT_EQ(summary["connections"].integer(), 1);
    EXPECT_EQ(summary["videoFramesWritten"].integer(), summary["frames"].integer())
        << "TCP frames start at a key frame";

    const FileDecode pictures = decodeFile(video, FileCodec::H264);
    ASSERT_TRUE(pictures.opened);
    EXPECT_EQ(pictures.errors, 0);
    EXPECT_EQ(pictures.decoded, summary["videoFramesWritten"].integer());
    EXPECT_EQ(pictures.width, 1920);
    EXPECT_EQ(pictures.height, 1080);
    EXPECT_EQ(pictures.sizeChanges, 0);

    const FileDecode sound = decodeFile(audio, FileCodec::Aac);
    ASSERT_TRUE(sound.opened);
    EXPECT_EQ(sound.errors, 0);
    EXPECT_EQ(sound.decoded, summary["audioFramesWritten"].integer());
    EXPECT_EQ(sound.sampleRate, 48000);
    EXPECT_EQ(sound.channels, 1);
    std::remove(video.c_str());
    std::remove(audio.c_str());
}

TEST(Play, H265OverUdpWithLostDatagrams) {
    devicesim::Behaviour behaviour;
    behaviour.loopSeconds = 1;
    behaviour.udpDropEvery = 50;
    RunningInstallation installation(behaviour, {"tx2"});
    VideoEncodeConfig h265 = installation.simulator().installation().videoEncoder(2);
    h265.codec = 1;
    h265.width = 352;
    h265.height = 288;
    installation.simulator().installation().setVideoEncoder(2, h265);
    const std::string video = tempPath("ch2.h265");
    ChildProcess child(KORVEXCTL_PATH,
                       at(installation.port("tx2"), {"play", "--udp", "--output", video}));
    // The running line, then Ctrl-C ends the play with its summary.
    ASSERT_TRUE(child.waitForStdout("frames ", 20000)) << child.err();
    ASSERT_TRUE(eventually(
        [&] {
            child.waitForStdout("\nnot in the output", 100);
            return lostSome(child.out());
        },
        30000))
        << child.out();
    child.signal(SIGINT);
    EXPECT_EQ(child.wait(5000), 0) << child.err();
    EXPECT_NE(child.out().find("videoCodec   1 (H.265)"), std::string::npos) << child.out();
    EXPECT_NE(child.out().find("width        352"), std::string::npos) << child.out();
    EXPECT_NE(child.out().find("on average"), std::string::npos) << child.out();
    EXPECT_NE(child.out().find("video frames to " + video), std::string::npos) << child.out();
    EXPECT_NE(child.err().find("stream started"), std::string::npos) << child.err();

    const FileDecode pictures = decodeFile(video, FileCodec::H265);
    ASSERT_TRUE(pictures.opened);
    EXPECT_GT(pictures.decoded, 10);
    EXPECT_EQ(pictures.width, 352);
    EXPECT_EQ(pictures.height, 288);
    std::remove(video.c_str());
}

// "--output -": standard output carries the video and nothing else (it decodes whole, from its
// first byte), every message and result goes to standard error.
TEST(Play, VideoToStandardOutputForAPipe) {
    devicesim::Behaviour behaviour;
    behaviour.loopSeconds = 1;
    RunningInstallation installation(behaviour, {"tx1"});
    const Result result = runKorvexctl(
        at(installation.port("tx1"), {"play", "--seconds", "3", "--output", "-"}), 30000);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.err.find("on average"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("video frames to standard output"), std::string::npos) << result.err;
    const std::string video = tempPath("stdout.h264");
    std::ofstream(video, std::ios::binary) << result.out;
    const FileDecode pictures = decodeFile(video, FileCodec::H264);
    ASSERT_TRUE(pictures.opened);
    EXPECT_GT(pictures.decoded, 10);
    EXPECT_EQ(pictures.errors, 0);
    EXPECT_EQ(pictures.width, 1920);
    std::remove(video.c_str());

    const Result audio = runKorvexctl(at(installation.port("tx1"), {"play", "--audio", "-"}));
    EXPECT_EQ(audio.status, 2) << audio.err;
}

TEST(Play, RefusedPlayGivesStatusOne) {
    devicesim::Behaviour refusing;
    refusing.refusePlay = true;
    RunningInstallation installation(refusing, {"tx1"});
    const Result result = runKorvexctl(at(installation.port("tx1"), {"play", "--seconds", "3"}));
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("refused PLAY"), std::string::npos) << result.err;
}

// A file that cannot be created ends the command before any stream is asked for.
TEST(Play, AnUnwritableFileGivesStatusOneAndNoPlay) {
    RunningInstallation installation(devicesim::Behaviour(), {"tx1"});
    const std::string video = tempPath("no-such-folder/ch1.h264");
    const Result result =
        runKorvexctl(at(installation.port("tx1"), {"play", "--seconds", "1", "--output", video}));
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("cannot write " + video + ": "), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("playing"), std::string::npos) << result.err;
}

}  // namespace
}  // namespace korvexctl_test
