// Audio: AAC in ADTS form is decoded; a missing or silent sound server never holds the stream up.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "pulse_output.h"
#include "support/feed.h"
#include "support/test_sound_server.h"

using namespace lumadec_test;
using Clock = std::chrono::steady_clock;

namespace {

// The frame the program writes instead of real audio while the PC's sound is off.
std::vector<uint8_t> MuteAudioFrame() {
    std::vector<uint8_t> frame = {0xFF, 0xF1, 0x4C, 0x40, 0x10, 0x02, 0x80, 0x01,
                                  0x40, 0x22, 0x80, 0xA3, 0x7B, 0x20, 0x85};
    frame.resize(127, 0x2D);
    frame.push_back(0x2F);
    return frame;
}

// A loopback TCP port that accepts connections (in the kernel's backlog) and never answers.
class SilentServer {
  public:
    SilentServer() {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(fd_, reinterpret_cast<sockaddr*>(&address), length) == 0 && listen(fd_, 4) == 0 &&
            getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            port_ = ntohs(address.sin_port);
        }
    }
    ~SilentServer() { close(fd_); }
    int port() const { return port_; }

  private:
    int fd_ = -1;
    int port_ = 0;
};

class Sound : public ::testing::Test {
  protected:
    void SetUp() override {
        unsetenv("DISPLAY");
        setenv("PULSE_SERVER", "unix:/nonexistent/lumadec-test", 1);
    }
};

TEST_F(Sound, AacIsDecodedWithoutASoundServer) {
    std::string error;
    const auto audio = EncodeAac(48000, 2, 50, &error);
    ASSERT_EQ(audio.size(), 50u) << error;
    const LumadecVideoDescription video = Description(1280, 720);
    const LumadecAudioDescription description{48000, 2, 0, 0, 0};
    const auto start = Clock::now();
    LumadecPlayer* player = LUMADEC_OpenPlayer(0, &video, &description);
    ASSERT_NE(player, nullptr);
    for (const auto& frame : audio) {
        ASSERT_EQ(Write(player, frame), 0);
    }
    const LumadecStatistics s = Statistics(player);
    LUMADEC_ClosePlayer(player);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(s.audioFramesReceived, 50u);
    EXPECT_EQ(s.audioFramesDecoded, 50u);
    EXPECT_EQ(s.audioFramesPlayed, 0u);
    EXPECT_EQ(s.decodeErrors, 0u);
    EXPECT_EQ(s.soundState, LUMADEC_SOUND_UNAVAILABLE);
    EXPECT_EQ(s.framesReceived, 0u);
}

TEST_F(Sound, TheMuteFrameDecodes) {
    const auto mute = MuteAudioFrame();
    ASSERT_EQ(mute.size(), 128u);
    const LumadecVideoDescription video = Description(1920, 1080);
    const LumadecAudioDescription description{};
    LumadecPlayer* player = LUMADEC_OpenPlayer(0, &video, &description);
    ASSERT_NE(player, nullptr);
    for (int i = 0; i < 10; ++i) {
        LumadecFrame frame{LUMADEC_FRAME_AUDIO, 128, static_cast<uint64_t>(i) * 21, mute.data()};
        ASSERT_EQ(LUMADEC_WriteFrame(player, &frame), 0);
    }
    const LumadecStatistics s = Statistics(player);
    EXPECT_EQ(s.audioFramesDecoded, 10u);
    EXPECT_EQ(s.decodeErrors, 0u);
    LUMADEC_ClosePlayer(player);
}

TEST_F(Sound, AudioIsIgnoredWhenOpenedWithoutIt) {
    std::string error;
    const auto audio = EncodeAac(44100, 1, 5, &error);
    ASSERT_EQ(audio.size(), 5u) << error;
    const LumadecVideoDescription video = Description(1920, 1080);
    LumadecPlayer* player = LUMADEC_OpenPlayer(0, &video, nullptr);
    ASSERT_NE(player, nullptr);
    for (const auto& frame : audio) {
        ASSERT_EQ(Write(player, frame), 0);
    }
    const LumadecStatistics s = Statistics(player);
    EXPECT_EQ(s.audioFramesReceived, 5u);
    EXPECT_EQ(s.audioFramesDecoded, 0u);
    EXPECT_EQ(s.soundState, LUMADEC_SOUND_NONE);
    LUMADEC_ClosePlayer(player);
}

TEST_F(Sound, ASilentServerIsGivenUpWithinTheConnectWait) {
    SilentServer server;
    ASSERT_NE(server.port(), 0);
    setenv("PULSE_SERVER", ("tcp:127.0.0.1:" + std::to_string(server.port())).c_str(), 1);
    const auto start = Clock::now();
    lumadec::PulseOutput output(std::chrono::milliseconds(300));
    const float silence[2048] = {};
    auto longestCall = Clock::duration::zero();
    while (output.poll() == lumadec::PulseOutput::State::Connecting &&
           Clock::now() - start < std::chrono::seconds(5)) {
        const auto before = Clock::now();
        EXPECT_FALSE(output.play(silence, 1024, 2, 48000));
        longestCall = std::max(longestCall, Clock::now() - before);
        usleep(5000);
    }
    EXPECT_EQ(output.state(), lumadec::PulseOutput::State::Failed);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
    EXPECT_LT(longestCall, std::chrono::milliseconds(50));
}

TEST_F(Sound, ASilentServerNeverHoldsUpFrames) {
    SilentServer server;
    ASSERT_NE(server.port(), 0);
    setenv("PULSE_SERVER", ("tcp:127.0.0.1:" + std::to_string(server.port())).c_str(), 1);
    std::string error;
    const auto audio = EncodeAac(48000, 2, 20, &error);
    ASSERT_EQ(audio.size(), 20u) << error;
    const LumadecVideoDescription video = Description(1280, 720);
    const LumadecAudioDescription description{48000, 2, 0, 0, 0};
    LumadecPlayer* player = LUMADEC_OpenPlayer(0, &video, &description);
    ASSERT_NE(player, nullptr);
    auto longestCall = Clock::duration::zero();
    for (const auto& frame : audio) {
        const auto before = Clock::now();
        ASSERT_EQ(Write(player, frame), 0);
        longestCall = std::max(longestCall, Clock::now() - before);
    }
    const LumadecStatistics s = Statistics(player);
    EXPECT_EQ(s.audioFramesDecoded, 20u);
    EXPECT_EQ(s.audioFramesPlayed, 0u);
    EXPECT_EQ(s.soundState, LUMADEC_SOUND_CONNECTING);
    EXPECT_LT(longestCall, std::chrono::milliseconds(100));
    const auto before = Clock::now();
    LUMADEC_ClosePlayer(player);
    EXPECT_LT(Clock::now() - before, std::chrono::milliseconds(100));
}

// Feeds audio at about twice real time, as a stream with some jitter would.
void FeedPaced(LumadecPlayer* player, const std::vector<EncodedFrame>& audio) {
    for (const auto& frame : audio) {
        ASSERT_EQ(Write(player, frame), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

TEST_F(Sound, PlaysThroughASoundServer) {
    TestSoundServer server;
    std::string error;
    if (!server.start(&error)) {
        GTEST_SKIP() << error;
    }
    const auto audio = EncodeAac(48000, 2, 40, &error);
    ASSERT_EQ(audio.size(), 40u) << error;
    const LumadecVideoDescription video = Description(1280, 720);
    const LumadecAudioDescription description{48000, 2, 0, 0, 0};
    LumadecPlayer* player = LUMADEC_OpenPlayer(0, &video, &description);
    ASSERT_NE(player, nullptr);
    FeedPaced(player, audio);
    const LumadecStatistics s = Statistics(player);
    EXPECT_EQ(s.soundState, LUMADEC_SOUND_PLAYING);
    EXPECT_EQ(s.audioFramesDecoded, 40u);
    // The first frames go while the playback stream is set up, then the server's queue
    // (80 ms, 3 frames) fills; how fast a null sink drains it is the server's business.
    EXPECT_GE(s.audioFramesPlayed, 3u);
    EXPECT_GT(s.soundLatencyUs, 0);
    EXPECT_LE(s.audioFramesPlayed, 40u);
    LUMADEC_ClosePlayer(player);
}

TEST_F(Sound, ASoundServerThatDiesLeavesVideoOnly) {
    TestSoundServer server;
    std::string error;
    if (!server.start(&error)) {
        GTEST_SKIP() << error;
    }
    const auto audio = EncodeAac(44100, 1, 30, &error);
    ASSERT_EQ(audio.size(), 30u) << error;
    VideoStreamOptions options;
    options.width = 320;
    options.height = 180;
    options.frames = 10;
    const auto video = Video(options);
    const LumadecVideoDescription description = Description(320, 180);
    const LumadecAudioDescription audioDescription{44100, 1, 0, 0, 0};
    LumadecPlayer* player = LUMADEC_OpenPlayer(0, &description, &audioDescription);
    ASSERT_NE(player, nullptr);
    FeedPaced(player, std::vector<EncodedFrame>(audio.begin(), audio.begin() + 15));
    EXPECT_GT(Statistics(player).audioFramesPlayed, 0u);
    server.kill();
    FeedPaced(player, std::vector<EncodedFrame>(audio.begin() + 15, audio.end()));
    for (const auto& frame : video) {
        ASSERT_EQ(Write(player, frame), 0);
    }
    const LumadecStatistics s = Statistics(player);
    EXPECT_EQ(s.soundState, LUMADEC_SOUND_UNAVAILABLE);
    EXPECT_EQ(s.audioFramesDecoded, 30u);
    EXPECT_GE(s.framesDecoded, 10u - kMaxDecoderDelay);
    LUMADEC_ClosePlayer(player);
}

}  // namespace
