// Small helpers to feed encoded frames to a player through the public calls.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "Lumadec.h"
#include "stream_encoder.h"

namespace lumadec_test {

// Frame threads, should a player choose them, hold back at most this many pictures (the decoder
// uses up to four threads).
constexpr uint64_t kMaxDecoderDelay = 3;

inline LumadecStatistics Statistics(const LumadecPlayer* player) {
    LumadecStatistics statistics{};
    EXPECT_EQ(LUMADEC_GetStatistics(player, &statistics), 0);
    return statistics;
}

// Polls `condition` until it holds; false when it still does not after `timeout`.
template <typename Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Waits until the player's thread has done with every video frame it took.
inline void WaitUntilDecoded(const LumadecPlayer* player) {
    ASSERT_TRUE(WaitFor([&] { return Statistics(player).framesPending == 0; }))
        << "the decoder does not finish";
}

// Writes one frame and waits until the player has done with it: the frames of a test reach the
// decoder as a stream that it keeps up with, so none is dropped.
inline int Write(LumadecPlayer* player, const EncodedFrame& frame) {
    LumadecFrame record;
    record.type = frame.type;
    record.length = static_cast<int32_t>(frame.data.size());
    record.timestamp = frame.timestamp;
    record.data = frame.data.data();
    const int result = LUMADEC_WriteFrame(player, &record);
    WaitUntilDecoded(player);
    return result;
}

inline std::vector<EncodedFrame> Video(const VideoStreamOptions& options) {
    std::string error;
    std::vector<EncodedFrame> frames = EncodeVideo(options, &error);
    EXPECT_FALSE(frames.empty()) << error;
    return frames;
}

inline LumadecVideoDescription Description(int width, int height, bool hevc = false) {
    return LumadecVideoDescription{width, height, hevc ? 1 : 0};
}

}  // namespace lumadec_test
