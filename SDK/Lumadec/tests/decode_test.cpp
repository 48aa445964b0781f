// Decoding through the public calls, without a window: counts, key frames, bad input.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "support/feed.h"

using namespace lumadec_test;

namespace {

class Decode : public ::testing::Test {
  protected:
    void SetUp() override {
        // Never reach a real desktop's display or sound from these tests.
        unsetenv("DISPLAY");
        setenv("PULSE_SERVER", "unix:/nonexistent/lumadec-test", 1);
    }
};

TEST_F(Decode, OpenNeedsAVideoDescription) {
    EXPECT_EQ(LUMADEC_OpenPlayer(0, nullptr, nullptr), nullptr);
}

TEST_F(Decode, MissingArgumentsAreRefused) {
    const LumadecVideoDescription video = Description(1920, 1080);
    LumadecPlayer* player = LUMADEC_OpenPlayer(0, &video, nullptr);
    ASSERT_NE(player, nullptr);
    const uint8_t byte = 0;
    LumadecFrame frame{1, 1, 0, &byte};
    EXPECT_EQ(LUMADEC_WriteFrame(nullptr, &frame), -1);
    EXPECT_EQ(LUMADEC_WriteFrame(player, nullptr), -1);
    frame.data = nullptr;
    EXPECT_EQ(LUMADEC_WriteFrame(player, &frame), -1);
    frame.data = &byte;
    frame.length = -5;
    EXPECT_EQ(LUMADEC_WriteFrame(player, &frame), -1);
    frame.length = 0;
    EXPECT_EQ(LUMADEC_WriteFrame(player, &frame), -1);
    LumadecStatistics statistics;
    EXPECT_EQ(LUMADEC_GetStatistics(nullptr, &statistics), -1);
    EXPECT_EQ(LUMADEC_GetStatistics(player, nullptr), -1);
    EXPECT_EQ(Statistics(player).framesReceived, 0u);
    EXPECT_EQ(LUMADEC_ClosePlayer(player), 0);
    EXPECT_EQ(LUMADEC_ClosePlayer(nullptr), 0);
}

TEST_F(Decode, H264StreamWithoutWindow) {
    VideoStreamOptions options;
    options.content = Content::Moving;
    options.frames = 40;
    options.keyFrameInterval = 20;
    const auto stream = Video(options);
    ASSERT_EQ(stream.size(), 40u);
    EXPECT_EQ(stream[0].type, 1);
    EXPECT_EQ(stream[20].type, 1);
    EXPECT_EQ(stream[1].type, 0);

    const LumadecVideoDescription video = Description(options.width, options.height);
    LumadecPlayer* player = LUMADEC_OpenPlayer(0, &video, nullptr);
    ASSERT_NE(player, nullptr);
    for (const auto& frame : stream) {
        ASSERT_EQ(Write(player, frame), 0);
    }
    const LumadecStatistics s = Statistics(player);
    EXPECT_EQ(s.framesReceived, 40u);
    EXPECT_LE(s.framesDecoded, 40u);
    EXPECT_GE(s.framesDecoded, 40u - kMaxDecoderDelay);
    EXPECT_EQ(s.framesDrawn, 0u);
    EXPECT_EQ(s.framesSkipped, 0u);
    EXPECT_EQ(s.decodeErrors, 0u);
    EXPECT_EQ(s.outputWidth, 0);
    EXPECT_EQ(s.outputHeight, 0);
    EXPECT_EQ(s.windowState, LUMADEC_WINDOW_NONE);
    EXPECT_EQ(s.soundState, LUMADEC_SOUND_NONE);
    EXPECT_EQ(LUMADEC_ClosePlayer(player), 0);
}

TEST_F(Decode, H265StreamWithoutWindow) {
    VideoStreamOptions options;
    options.hevc = true;
    options.width = 320;
    options.height = 240;
    options.content = Content::Moving;
    options.frames = 24;
    options.keyFrameInterval = 12;
    const auto stream = Video(options);
    ASSERT_EQ(stream.size(), 24u);
    EXPECT_EQ(stream[0].type, 1);
    EXPECT_EQ(stream[12].type, 1);

    const LumadecVideoDescription video = Description(options.width, options.height, true);
    LumadecPlayer* player = LUMADEC_OpenPlayer(0, &video, nullptr);
    ASSERT_NE(player, nullptr);
    for (const auto& frame : stream) {
        ASSERT_EQ(Write(player, frame), 0);
    }
    const LumadecStatistics s = Statistics(player);
    EXPECT_EQ(s.framesReceived, 24u);
    EXPECT_GE(s.framesDecoded, 24u - kMaxDecoderDelay);
    EXPECT_EQ(s.decodeErrors, 0u);
    LUMADEC_ClosePlayer(player);
}

// Joining a stream between key frames: nothing is decoded before the next one.
void CheckStartsAtKeyFrame(bool markKeyFrames) {
    VideoStreamOptions options;
    options.width = 320;
    options.height = 180;
    options.content = Content::Moving;
    options.frames = 50;
    options.keyFrameInterval = 20;
    auto stream = Video(options);
    ASSERT_EQ(stream.size(), 50u);
    if (!markKeyFrames) {
        // A device that does not mark key frames: the access units themselves tell.
        for (auto& frame : stream) {
            frame.type = 0;
        }
    }
    const LumadecVideoDescription video = Description(options.width, options.height);
    LumadecPlayer* player = LUMADEC_OpenPlayer(0, &video, nullptr);
    ASSERT_NE(player, nullptr);
    for (size_t i = 5; i < stream.size(); ++i) {
        ASSERT_EQ(Write(player, stream[i]), 0);
        if (i < 20) {
            ASSERT_EQ(Statistics(player).framesDecoded, 0u) << "frame " << i;
        }
    }
    const LumadecStatistics s = Statistics(player);
    EXPECT_EQ(s.framesReceived, 45u);
    EXPECT_EQ(s.framesSkipped, 15u);
    EXPECT_GE(s.framesDecoded, 30u - kMaxDecoderDelay);
    EXPECT_EQ(s.decodeErrors, 0u);
    LUMADEC_ClosePlayer(player);
}

TEST_F(Decode, StartsAtTheFirstMarkedKeyFrame) {
    CheckStartsAtKeyFrame(true);
}

TEST_F(Decode, StartsAtTheFirstIdrWhenNothingIsMarked) {
    CheckStartsAtKeyFrame(false);
}

TEST_F(Decode, GarbageIsCountedAndTheStreamRecovers) {
    const LumadecVideoDescription video = Description(320, 180);
    const LumadecAudioDescription audio{48000, 2, 0, 0, 0};
    LumadecPlayer* player = LUMADEC_OpenPlayer(0, &video, &audio);
    ASSERT_NE(player, nullptr);
    std::mt19937 random(7);
    std::vector<uint8_t> bytes(8192);
    const int32_t types[] = {0, 1, 2, 3, 5, -1, 10};
    for (int i = 0; i < 300; ++i) {
        const size_t size = 1 + random() % bytes.size();
        for (size_t j = 0; j < size; ++j) {
            bytes[j] = static_cast<uint8_t>(random());
        }
        if (i % 3 == 0) {
            // Start codes with IDR or ADTS-looking headers reach deeper into the decoders.
            bytes[0] = 0, bytes[1] = 0, bytes[2] = 0, bytes[3] = 1, bytes[4] = 0x65;
            if (size > 200)
                bytes[100] = 0, bytes[101] = 0, bytes[102] = 1, bytes[103] = 0x67;
        } else if (i % 3 == 1) {
            bytes[0] = 0xFF, bytes[1] = 0xF1;
        }
        LumadecFrame frame{types[random() % 7], static_cast<int32_t>(size),
                           static_cast<uint64_t>(i), bytes.data()};
        const int result = LUMADEC_WriteFrame(player, &frame);
        ASSERT_TRUE(result == 0 || result == -1);
        WaitUntilDecoded(player);
    }
    EXPECT_GT(Statistics(player).decodeErrors, 0u);

    // A good stream after the garbage is shown from its first key frame on.
    VideoStreamOptions options;
    options.width = 320;
    options.height = 180;
    options.frames = 20;
    options.keyFrameInterval = 20;
    options.content = Content::Moving;
    const auto stream = Video(options);
    const uint64_t before = Statistics(player).framesDecoded;
    int failures = 0;
    for (const auto& frame : stream) {
        failures += Write(player, frame) != 0;
    }
    EXPECT_GE(Statistics(player).framesDecoded - before, 20u - kMaxDecoderDelay - 2);
    EXPECT_LE(failures, 2);  // the first pictures may still meet garbage-filled references
    LUMADEC_ClosePlayer(player);
}

TEST_F(Decode, TruncatedAccessUnitsAreSurvived) {
    VideoStreamOptions options;
    options.width = 320;
    options.height = 180;
    options.frames = 30;
    options.keyFrameInterval = 10;
    options.content = Content::Moving;
    const auto stream = Video(options);
    const LumadecVideoDescription video = Description(options.width, options.height);
    LumadecPlayer* player = LUMADEC_OpenPlayer(0, &video, nullptr);
    ASSERT_NE(player, nullptr);
    for (const auto& whole : stream) {
        EncodedFrame cut = whole;
        cut.data.resize(cut.data.size() / 2 + 1);
        const int result = Write(player, cut);
        ASSERT_TRUE(result == 0 || result == -1);
    }
    const uint64_t received = Statistics(player).framesReceived;
    EXPECT_EQ(received, 30u);
    for (const auto& frame : stream) {
        Write(player, frame);
    }
    EXPECT_GE(Statistics(player).framesDecoded, 20u);
    LUMADEC_ClosePlayer(player);
}

TEST_F(Decode, H265DataInAnH264PlayerIsOnlyAnError) {
    VideoStreamOptions options;
    options.hevc = true;
    options.width = 320;
    options.height = 240;
    options.frames = 10;
    options.keyFrameInterval = 10;
    const auto stream = Video(options);
    const LumadecVideoDescription video = Description(options.width, options.height, false);
    LumadecPlayer* player = LUMADEC_OpenPlayer(0, &video, nullptr);
    ASSERT_NE(player, nullptr);
    for (const auto& frame : stream) {
        const int result = Write(player, frame);
        ASSERT_TRUE(result == 0 || result == -1);
    }
    EXPECT_EQ(Statistics(player).framesReceived, 10u);
    LUMADEC_ClosePlayer(player);
}

TEST_F(Decode, NoDisplayMeansDecodeOnly) {
    VideoStreamOptions options;
    options.width = 320;
    options.height = 180;
    options.frames = 10;
    const auto stream = Video(options);
    const LumadecVideoDescription video = Description(options.width, options.height);
    for (const char* display : {static_cast<const char*>(nullptr), ":4093"}) {
        if (display) {
            setenv("DISPLAY", display, 1);
        } else {
            unsetenv("DISPLAY");
        }
        LumadecPlayer* player = LUMADEC_OpenPlayer(0x200001, &video, nullptr);
        ASSERT_NE(player, nullptr);
        for (const auto& frame : stream) {
            ASSERT_EQ(Write(player, frame), 0);
        }
        const LumadecStatistics s = Statistics(player);
        EXPECT_GE(s.framesDecoded, 10u - kMaxDecoderDelay);
        EXPECT_EQ(s.framesDrawn, 0u);
        EXPECT_EQ(s.windowState, LUMADEC_WINDOW_NONE);
        LUMADEC_ClosePlayer(player);
    }
}

TEST_F(Decode, SeveralPlayersAtOnce) {
    VideoStreamOptions options;
    options.width = 320;
    options.height = 180;
    options.frames = 10;
    options.content = Content::Moving;
    const auto stream = Video(options);
    const LumadecVideoDescription video = Description(options.width, options.height);
    LumadecPlayer* players[3];
    for (auto& player : players) {
        player = LUMADEC_OpenPlayer(0, &video, nullptr);
        ASSERT_NE(player, nullptr);
    }
    for (const auto& frame : stream) {
        for (auto* player : players) {
            ASSERT_EQ(Write(player, frame), 0);
        }
    }
    for (auto* player : players) {
        EXPECT_GE(Statistics(player).framesDecoded, 10u - kMaxDecoderDelay);
        LUMADEC_ClosePlayer(player);
    }
}

// A snapshot is the last decoded picture at the stream's own size, in its colours; none before
// the first picture.
TEST_F(Decode, SnapshotOfTheLastPicture) {
    VideoStreamOptions options;
    options.width = 352;
    options.height = 288;
    options.frames = 6;
    options.colour = Rgb{200, 40, 90};
    const auto stream = Video(options);
    const LumadecVideoDescription video = Description(1920, 1080);
    LumadecPlayer* player = LUMADEC_OpenPlayer(0, &video, nullptr);
    ASSERT_NE(player, nullptr);
    EXPECT_EQ(LUMADEC_GetPicture(player), nullptr);
    EXPECT_EQ(LUMADEC_GetPicture(nullptr), nullptr);
    for (const auto& frame : stream) {
        ASSERT_EQ(Write(player, frame), 0);
    }
    LumadecPicture* picture = LUMADEC_GetPicture(player);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->width, 352);
    EXPECT_EQ(picture->height, 288);
    ASSERT_GE(picture->stride, 352 * 3);
    for (const auto& [x, y] : {std::pair{0, 0}, std::pair{351, 287}, std::pair{176, 144}}) {
        const uint8_t* pixel = picture->pixels + y * picture->stride + x * 3;
        EXPECT_NEAR(pixel[0], 200, 6) << x << "," << y;
        EXPECT_NEAR(pixel[1], 40, 6) << x << "," << y;
        EXPECT_NEAR(pixel[2], 90, 6) << x << "," << y;
    }
    LUMADEC_FreePicture(picture);
    LUMADEC_FreePicture(nullptr);
    LUMADEC_ClosePlayer(player);
}

}  // namespace
