// Live streams: received over TCP and UDP, parsed and decoded with libavcodec.
#include <gtest/gtest.h>

#include <cmath>
#include <future>

#include "running_installation.h"
#include "stream_capture.h"
#include "stream_decode.h"
#include "video_encoder.h"
#include "wire_client.h"

namespace devicesim_test {
namespace {

struct Timing {
    size_t video = 0;
    size_t audio = 0;
    size_t keyFrames = 0;
    double videoTimestampSeconds = 0;  // first to last video timestamp
    double videoArrivalSeconds = 0;    // first to last video arrival
    double audioStepUs = 0;            // mean timestamp step between sound frames
    bool videoRising = true;
    bool audioRising = true;
};

Timing timing(const StreamCapture& capture) {
    Timing t;
    const CapturedFrame* firstVideo = nullptr;
    const CapturedFrame* lastVideo = nullptr;
    const CapturedFrame* firstAudio = nullptr;
    const CapturedFrame* lastAudio = nullptr;
    for (const CapturedFrame& frame : capture.frames) {
        if (frame.type == 3) {
            ++t.audio;
            t.audioRising = t.audioRising && (!lastAudio || frame.timestamp > lastAudio->timestamp);
            firstAudio = firstAudio ? firstAudio : &frame;
            lastAudio = &frame;
            continue;
        }
        ++t.video;
        t.keyFrames += frame.type == 1 ? 1 : 0;
        t.videoRising = t.videoRising && (!lastVideo || frame.timestamp > lastVideo->timestamp);
        firstVideo = firstVideo ? firstVideo : &frame;
        lastVideo = &frame;
    }
    if (firstVideo != nullptr) {
        t.videoTimestampSeconds = (lastVideo->timestamp - firstVideo->timestamp) / 1e6;
        t.videoArrivalSeconds = (lastVideo->arrivalUs - firstVideo->arrivalUs) / 1e6;
    }
    if (t.audio > 1) {
        t.audioStepUs = static_cast<double>(lastAudio->timestamp - firstAudio->timestamp) /
                        static_cast<double>(t.audio - 1);
    }
    return t;
}

void setEncoder(uint16_t port, int chn, int codec, int width, int height, int fps) {
    const std::string body =
        "CODEC=" + std::to_string(codec) + "\r\nWIDTH=" + std::to_string(width) +
        "\r\nHEIGHT=" + std::to_string(height) +
        "\r\nBITRATE=2000\r\nKEYGOP=" + std::to_string(2 * fps) +
        "\r\nFRAMERATE=" + std::to_string(fps) + "\r\nRC=0\r\nQUALITY=3\r\nPROFILE=1\r\n";
    ASSERT_EQ(ask(port, request("SET_VIDEOENC", chn, body)), okAnswer());
}

devicesim::Behaviour shortLoops() {
    devicesim::Behaviour behaviour;
    behaviour.loopSeconds = 1;
    return behaviour;
}

TEST(Pictures, ADetailedPictureTakesTheBitRateAFlatOneLeaves) {
    devicesim::LoopKey key;
    key.width = 640;
    key.height = 360;
    key.fps = 30;
    key.bitrateKbps = 2000;
    const std::atomic<bool> abort{false};
    auto bytesOf = [&](devicesim::Picture picture) {
        std::vector<devicesim::EncodedFrame> loop;
        std::string error;
        EXPECT_TRUE(devicesim::encodeVideoLoop(key, 30, picture, abort, loop, error)) << error;
        size_t bytes = 0;
        for (const auto& frame : loop) {
            bytes += frame.data.size();
        }
        return bytes;
    };
    // One second at 2000 kbit/s is 250 kB.
    const size_t detailed = bytesOf(devicesim::Picture::Detailed);
    const size_t flat = bytesOf(devicesim::Picture::Flat);
    EXPECT_GT(detailed, 150000u);
    EXPECT_LT(flat * 4, detailed);
}

TEST(Stream, TcpCarriesH264At1080pAndAacInRealTime) {
    RunningInstallation installation(shortLoops(), {"tx1"});
    const StreamCapture capture = captureStream(installation.port("tx1"), false, 3000);

    EXPECT_EQ(capture.answer, okAnswer());
    EXPECT_FALSE(capture.deviceClosed);
    EXPECT_EQ(capture.junkBytes, 0u);
    EXPECT_EQ(capture.sequenceGaps, 0u);
    EXPECT_EQ(capture.wrongTcpBits, 0u);
    ASSERT_FALSE(capture.mediaInfos.empty());
    const MediaInfoFields info = readMediaInfo(capture.mediaInfos.front());
    EXPECT_EQ(info.contentMask, 3u);
    EXPECT_EQ(info.width, 1920);
    EXPECT_EQ(info.height, 1080);
    EXPECT_EQ(info.videoCodec, 0u);
    EXPECT_EQ(info.sampleRate, 48000);
    EXPECT_EQ(info.channels, 1u);
    EXPECT_EQ(info.frequencyIndex, 3u);
    EXPECT_EQ(info.profile, 1u);

    ASSERT_FALSE(capture.frames.empty());
    EXPECT_EQ(capture.frames.front().type, 1) << "the stream must open with a key frame";
    const Timing t = timing(capture);
    ASSERT_GE(t.video, 80u);
    EXPECT_TRUE(t.videoRising);
    EXPECT_TRUE(t.audioRising);
    // 30 pictures a second by their timestamps, sent in step with the clock.
    EXPECT_NEAR((t.video - 1) / t.videoTimestampSeconds, 30.0, 0.5);
    EXPECT_NEAR(t.videoArrivalSeconds, t.videoTimestampSeconds, 0.25);
    // A one-second loop of 30 pictures, each starting with a key frame and media information.
    EXPECT_EQ(t.keyFrames, (t.video + 29) / 30);
    EXPECT_GE(capture.mediaInfos.size(), t.keyFrames);
    // Sound frames of 1024 samples at 48 kHz, as many as the pictures' time needs.
    EXPECT_NEAR(t.audioStepUs, 1024 * 1e6 / 48000, 1.0);
    EXPECT_NEAR(static_cast<double>(t.audio) / t.video, 48000.0 / 1024 / 30, 0.05);

    const VideoDecode video = decodeVideo(capture.frames, info.videoCodec);
    EXPECT_EQ(video.errors, 0);
    EXPECT_EQ(video.pictures, video.frames);
    EXPECT_EQ(video.width, 1920);
    EXPECT_EQ(video.height, 1080);
    EXPECT_EQ(video.sizeChanges, 0);

    const AudioDecode audio = decodeAudio(capture.frames);
    EXPECT_EQ(audio.errors, 0);
    EXPECT_EQ(audio.sampleRate, 48000);
    EXPECT_EQ(audio.channels, 1);
    EXPECT_EQ(audio.samples, static_cast<long>(audio.frames) * 1024);
    EXPECT_NEAR(audio.toneHz, 375.0, 10.0);
}

TEST(Stream, UdpCarriesH265In4072ByteFragments) {
    RunningInstallation installation(shortLoops(), {"rx", "tx2"});
    setEncoder(installation.port("rx"), 2, 1, 1280, 720, 60);
    const StreamCapture capture = captureStream(installation.port("tx2"), true, 2500);

    EXPECT_EQ(capture.answer, okAnswer());
    EXPECT_FALSE(capture.deviceClosed);
    EXPECT_EQ(capture.junkBytes, 0u);
    EXPECT_EQ(capture.sequenceGaps, 0u);
    EXPECT_EQ(capture.brokenFrames, 0u);
    EXPECT_EQ(capture.timestampMismatch, 0u);
    EXPECT_LE(capture.maxDatagram, 4096u);
    EXPECT_EQ(capture.maxFragmentPayload, 4072u) << "key frames must need several datagrams";

    ASSERT_FALSE(capture.mediaInfos.empty());
    const MediaInfoFields info = readMediaInfo(capture.mediaInfos.front());
    EXPECT_EQ(info.videoCodec, 1u);
    EXPECT_EQ(info.width, 1280);
    EXPECT_EQ(info.height, 720);

    const Timing t = timing(capture);
    ASSERT_GE(t.video, 130u);
    EXPECT_NEAR((t.video - 1) / t.videoTimestampSeconds, 60.0, 1.0);
    EXPECT_NEAR(t.videoArrivalSeconds, t.videoTimestampSeconds, 0.25);

    const VideoDecode video = decodeVideo(capture.frames, info.videoCodec);
    EXPECT_EQ(video.errors, 0);
    EXPECT_EQ(video.pictures, video.frames);
    EXPECT_EQ(video.width, 1280);
    EXPECT_EQ(video.height, 720);

    const AudioDecode audio = decodeAudio(capture.frames);
    EXPECT_EQ(audio.errors, 0);
    EXPECT_GT(audio.frames, 60);
    EXPECT_NEAR(audio.toneHz, 468.75, 10.0);
}

// A new frame rate is taken at the next loop start, on the same connection.
TEST(Stream, FrameRateChangeTakesEffectWithoutReconnecting) {
    RunningInstallation installation(shortLoops(), {"rx", "tx1"});
    LogCapture log;
    setEncoder(installation.port("rx"), 1, 0, 352, 288, 30);
    std::atomic<bool> stop{false};
    std::atomic<bool> started{false};
    auto pending = std::async(std::launch::async, [&] {
        return captureStream(installation.port("tx1"), false, 3 * kFirstFrameTimeoutMs, &stop,
                             &started);
    });
    // Once the 30 fps loop plays, switch; the 60 fps loop is encoded first and taken at the
    // next loop start.
    EXPECT_TRUE(eventually([&] { return started.load(); }, kFirstFrameTimeoutMs));
    setEncoder(installation.port("rx"), 1, 0, 352, 288, 60);
    EXPECT_TRUE(eventually([&] { return log.contains("now plays CH1 H.264 352x288 60 fps"); },
                           2 * kFirstFrameTimeoutMs));
    // Pictures of the new loop, and with the old one's more than 60 in all.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    stop = true;
    const StreamCapture capture = pending.get();

    EXPECT_FALSE(capture.deviceClosed);
    std::vector<uint64_t> steps;
    const CapturedFrame* previous = nullptr;
    for (const CapturedFrame& frame : capture.frames) {
        if (frame.type != 3) {
            if (previous != nullptr) {
                steps.push_back(frame.timestamp - previous->timestamp);
            }
            previous = &frame;
        }
    }
    ASSERT_GT(steps.size(), 60u);
    EXPECT_NEAR(static_cast<double>(steps.front()), 33333, 1);
    EXPECT_NEAR(static_cast<double>(steps.back()), 16667, 1);
    const VideoDecode video = decodeVideo(capture.frames, 0);
    EXPECT_EQ(video.errors, 0);
    EXPECT_EQ(video.pictures, video.frames);
}

// Another codec or picture size needs a new decoder: the device ends the stream.
TEST(Stream, CodecChangeEndsTheStream) {
    RunningInstallation installation(shortLoops(), {"tx1"});
    setEncoder(installation.port("tx1"), 0, 0, 352, 288, 30);
    std::atomic<bool> started{false};
    auto pending = std::async(std::launch::async, [&] {
        return captureStream(installation.port("tx1"), false, 8000, nullptr, &started);
    });
    ASSERT_TRUE(eventually([&] { return started.load(); }, kFirstFrameTimeoutMs));
    setEncoder(installation.port("tx1"), 0, 1, 352, 288, 30);
    const auto changed = std::chrono::steady_clock::now();
    const StreamCapture capture = pending.get();
    EXPECT_TRUE(capture.deviceClosed);
    EXPECT_LT(std::chrono::steady_clock::now() - changed, std::chrono::milliseconds(2500));
}

TEST(Stream, ResetEndsTheStream) {
    devicesim::Behaviour behaviour = shortLoops();
    behaviour.resetSeconds = 1;
    RunningInstallation installation(behaviour, {"tx1"});
    setEncoder(installation.port("tx1"), 0, 0, 352, 288, 30);
    std::atomic<bool> started{false};
    auto pending = std::async(std::launch::async, [&] {
        return captureStream(installation.port("tx1"), false, 8000, nullptr, &started);
    });
    ASSERT_TRUE(eventually([&] { return started.load(); }, kFirstFrameTimeoutMs));
    EXPECT_EQ(ask(installation.port("tx1"), request("SYSTEM_RESET", 0)), okAnswer());
    const StreamCapture capture = pending.get();
    EXPECT_TRUE(capture.deviceClosed);
    EXPECT_GT(capture.frames.size(), 0u);
}

TEST(Stream, AudioOffLeavesAVideoOnlyStream) {
    RunningInstallation installation(shortLoops(), {"tx1"});
    setEncoder(installation.port("tx1"), 0, 0, 352, 288, 30);
    ASSERT_EQ(ask(installation.port("tx1"),
                  request("SET_AUDIOENC", 0,
                          "ENABLE=0\r\nCODEC=0\r\nSAMPLES=48000\r\nBITRATE=64\r\n"
                          "BITWIDTH=16\r\nCHANNEL=1\r\n")),
              okAnswer());
    const StreamCapture capture = captureStream(installation.port("tx1"), false, 1500);
    ASSERT_FALSE(capture.mediaInfos.empty());
    EXPECT_EQ(readMediaInfo(capture.mediaInfos.front()).contentMask, 1u);
    EXPECT_GT(timing(capture).video, 10u);
    EXPECT_EQ(timing(capture).audio, 0u);
}

TEST(Stream, PlayRequestsThatCannotBeServed) {
    devicesim::Behaviour refuse;
    refuse.refusePlay = true;
    RunningInstallation refusing(refuse, {"rx", "tx1"});
    const StreamCapture refused = captureStream(refusing.port("tx1"), false, 3000);
    EXPECT_EQ(statusLine(refused.answer), "HDMI/1.0 503 Service Unavailable");
    EXPECT_TRUE(refused.deviceClosed);
    EXPECT_TRUE(refused.frames.empty());

    const StreamCapture receiver = captureStream(refusing.port("rx"), false, 3000);
    EXPECT_EQ(statusLine(receiver.answer), "HDMI/1.0 404 Not Found");

    RunningInstallation installation(devicesim::Behaviour(), {"tx1"});
    const uint16_t tx = installation.port("tx1");
    const std::string udpWithoutPort =
        "PLAY HDMI/1.0\r\nAUTHORIZATION: BASIC \r\nCHN:0\r\nSTREAM:0\r\nTRANSPORT:1\r\n"
        "CONTENT-LENGTH:0\r\n\r\n";
    EXPECT_EQ(statusLine(ask(tx, udpWithoutPort)), "HDMI/1.0 400 Bad Request");
    const std::string otherChannel =
        "PLAY HDMI/1.0\r\nAUTHORIZATION: BASIC \r\nCHN:3\r\nSTREAM:0\r\nTRANSPORT:0\r\n"
        "CONTENT-LENGTH:0\r\n\r\n";
    EXPECT_EQ(statusLine(ask(tx, otherChannel)), "HDMI/1.0 404 Not Found");
}

TEST(StreamFaults, GarbageFollowsEveryPacketAndCannotLookLikeOne) {
    devicesim::Behaviour behaviour = shortLoops();
    behaviour.garbageBytes = 7;
    RunningInstallation installation(behaviour, {"tx1"});
    setEncoder(installation.port("tx1"), 0, 0, 352, 288, 30);
    const StreamCapture capture = captureStream(installation.port("tx1"), false, 2000);
    ASSERT_GT(capture.packets, 20u);
    EXPECT_GE(capture.junkBytes, 7 * (capture.packets - 1));
    EXPECT_LE(capture.junkBytes, 7 * capture.packets);
    EXPECT_EQ(capture.sequenceGaps, 0u);
    const VideoDecode video = decodeVideo(capture.frames, 0);
    EXPECT_EQ(video.errors, 0);
    EXPECT_EQ(video.width, 352);
}

TEST(StreamFaults, DroppedAndReorderedDatagramsShowInTheSequence) {
    devicesim::Behaviour drop = shortLoops();
    drop.udpDropEvery = 10;
    {
        RunningInstallation installation(drop, {"tx1"});
        setEncoder(installation.port("tx1"), 0, 0, 352, 288, 30);
        const StreamCapture capture = captureStream(installation.port("tx1"), true, 2000);
        ASSERT_GT(capture.packets, 40u);
        EXPECT_GE(capture.sequenceGaps, capture.packets / 10 - 1);
        EXPECT_EQ(capture.sequenceBackwards, 0u);
    }
    devicesim::Behaviour reorder = shortLoops();
    reorder.udpReorderEvery = 7;
    {
        RunningInstallation installation(reorder, {"tx1"});
        setEncoder(installation.port("tx1"), 0, 0, 352, 288, 30);
        const StreamCapture capture = captureStream(installation.port("tx1"), true, 2000);
        ASSERT_GT(capture.packets, 40u);
        EXPECT_GE(capture.sequenceBackwards, capture.packets / 7 - 1);
    }
}

TEST(StreamFaults, MediaInformationCanClaimAnotherSize) {
    devicesim::Behaviour behaviour = shortLoops();
    behaviour.mediaInfoWidth = 1024;
    behaviour.mediaInfoHeight = 768;
    RunningInstallation installation(behaviour, {"tx1"});
    setEncoder(installation.port("tx1"), 0, 0, 352, 288, 30);
    const StreamCapture capture = captureStream(installation.port("tx1"), false, 1500);
    ASSERT_FALSE(capture.mediaInfos.empty());
    const MediaInfoFields info = readMediaInfo(capture.mediaInfos.front());
    EXPECT_EQ(info.width, 1024);
    EXPECT_EQ(info.height, 768);
    EXPECT_EQ(decodeVideo(capture.frames, 0).width, 352);
}

TEST(StreamFaults, StreamFallsSilentButKeepsTheConnection) {
    devicesim::Behaviour behaviour = shortLoops();
    behaviour.silentAfterSeconds = 1;
    RunningInstallation installation(behaviour, {"tx1"});
    setEncoder(installation.port("tx1"), 0, 0, 352, 288, 30);
    const StreamCapture capture = captureStream(installation.port("tx1"), false, 3500);
    EXPECT_FALSE(capture.deviceClosed);
    ASSERT_FALSE(capture.frames.empty());
    const CapturedFrame& first = capture.frames.front();
    const CapturedFrame& last = capture.frames.back();
    EXPECT_NEAR((last.arrivalUs - first.arrivalUs) / 1e6, 1.0, 0.2);
}

}  // namespace
}  // namespace devicesim_test
