// The program hands the stream library's records to Lumadec by pointer: the layouts must match.
#include <gtest/gtest.h>

#include <cstddef>

#include "Korvex.h"
#include "Lumadec.h"

namespace {

static_assert(sizeof(LumadecFrame) == sizeof(KorvexFrameInfo), "frame record size");
static_assert(offsetof(LumadecFrame, type) == offsetof(KorvexFrameInfo, type), "type");
static_assert(offsetof(LumadecFrame, length) == offsetof(KorvexFrameInfo, length), "length");
static_assert(offsetof(LumadecFrame, timestamp) == offsetof(KorvexFrameInfo, timestamp),
              "timestamp");
static_assert(offsetof(LumadecFrame, data) == offsetof(KorvexFrameInfo, data), "data");

// The video description starts at `width` inside the media information, the audio one at
// `audioParam0`.
static_assert(sizeof(LumadecVideoDescription) == 3 * sizeof(int32_t), "video description");
static_assert(offsetof(KorvexMediaInfo, height) - offsetof(KorvexMediaInfo, width) ==
                  offsetof(LumadecVideoDescription, height),
              "height");
static_assert(offsetof(KorvexMediaInfo, videoCodec) - offsetof(KorvexMediaInfo, width) ==
                  offsetof(LumadecVideoDescription, videoCodec),
              "videoCodec");
static_assert(sizeof(LumadecAudioDescription) == 5 * sizeof(int32_t), "audio description");
static_assert(offsetof(KorvexMediaInfo, audioParam4) - offsetof(KorvexMediaInfo, audioParam0) ==
                  offsetof(LumadecAudioDescription, param4),
              "audio values");

TEST(Layout, MediaInformationCastsToTheDescriptions) {
    KorvexMediaInfo info{};
    info.contentMask = 3;
    info.width = 1920;
    info.height = 1080;
    info.videoCodec = 1;
    info.audioParam0 = 48000;
    info.audioParam4 = 2;
    const auto* video = reinterpret_cast<const LumadecVideoDescription*>(&info.width);
    const auto* audio = reinterpret_cast<const LumadecAudioDescription*>(&info.audioParam0);
    EXPECT_EQ(video->width, 1920);
    EXPECT_EQ(video->height, 1080);
    EXPECT_EQ(video->videoCodec, 1);
    EXPECT_EQ(audio->param0, 48000);
    EXPECT_EQ(audio->param4, 2);
}

}  // namespace
