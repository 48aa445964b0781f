// Small helpers to feed encoded frames to a player through the public calls.
#ifndef LUMADEC_TESTS_FEED_H
#define LUMADEC_TESTS_FEED_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Lumadec.h"
#include "stream_encoder.h"

namespace lumadec_test {

// Frame threads hold back at most this many pictures (the decoder uses up to four threads).
constexpr uint64_t kMaxDecoderDelay = 3;

inline int Write(LumadecPlayer* player, const EncodedFrame& frame) {
    LumadecFrame record;
    record.type = frame.type;
    record.length = static_cast<int32_t>(frame.data.size());
    record.timestamp = frame.timestamp;
    record.data = frame.data.data();
    return LUMADEC_WriteFrame(player, &record);
}

inline LumadecStatistics Statistics(const LumadecPlayer* player) {
    LumadecStatistics statistics{};
    EXPECT_EQ(LUMADEC_GetStatistics(player, &statistics), 0);
    return statistics;
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

#endif
