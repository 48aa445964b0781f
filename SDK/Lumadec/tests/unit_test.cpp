// The pieces under the player: key-frame scan, picture fitting, padded input.
#include <gtest/gtest.h>

#include <cstring>

#include "annexb.h"
#include "packet_buffer.h"
#include "picture_scaler.h"

using lumadec::ContainsRandomAccessPicture;
using lumadec::FitPicture;
using lumadec::Rect;
using lumadec::VideoCodec;

namespace {

TEST(AnnexB, FindsAnH264IdrSliceBehindParameterSets) {
    const uint8_t idr[] = {0, 0, 0, 1, 0x67, 0x42, 0, 0, 1, 0x68, 0xce, 0, 0, 1, 0x65, 0x88};
    const uint8_t nonIdr[] = {0, 0, 0, 1, 0x41, 0x9a, 0x02, 0, 0, 1, 0x06, 0x05};
    EXPECT_TRUE(ContainsRandomAccessPicture(VideoCodec::H264, idr, sizeof idr));
    EXPECT_FALSE(ContainsRandomAccessPicture(VideoCodec::H264, nonIdr, sizeof nonIdr));
    // A start code in the last bytes without a NAL header is not read past the end.
    const uint8_t cut[] = {0x41, 0, 0, 1};
    EXPECT_FALSE(ContainsRandomAccessPicture(VideoCodec::H264, cut, sizeof cut));
    EXPECT_FALSE(ContainsRandomAccessPicture(VideoCodec::H264, nullptr, 10));
}

TEST(AnnexB, FindsHevcIrapPictures) {
    const uint8_t idr[] = {0, 0, 1, 0x40, 0x01, 0, 0, 1, 0x26, 0x01, 0xaf};  // VPS, IDR_W_RADL
    const uint8_t cra[] = {0, 0, 1, 0x2a, 0x01, 0xaf};                       // CRA_NUT
    const uint8_t trail[] = {0, 0, 1, 0x02, 0x01, 0xd0};                     // TRAIL_R
    EXPECT_TRUE(ContainsRandomAccessPicture(VideoCodec::Hevc, idr, sizeof idr));
    EXPECT_TRUE(ContainsRandomAccessPicture(VideoCodec::Hevc, cra, sizeof cra));
    EXPECT_FALSE(ContainsRandomAccessPicture(VideoCodec::Hevc, trail, sizeof trail));
    // The same bytes mean something else in H.264.
    EXPECT_FALSE(ContainsRandomAccessPicture(VideoCodec::H264, trail, sizeof trail));
}

TEST(FitPicture, LetterboxesAWidePictureInATallerArea) {
    const Rect r = FitPicture(1920, 1080, AVRational{0, 1}, 320, 240);
    EXPECT_EQ(r.x, 0);
    EXPECT_EQ(r.y, 30);
    EXPECT_EQ(r.width, 320);
    EXPECT_EQ(r.height, 180);
}

TEST(FitPicture, PillarboxesANarrowPictureInAWiderArea) {
    const Rect r = FitPicture(320, 240, AVRational{1, 1}, 640, 360);
    EXPECT_EQ(r.x, 80);
    EXPECT_EQ(r.y, 0);
    EXPECT_EQ(r.width, 480);
    EXPECT_EQ(r.height, 360);
}

TEST(FitPicture, UsesTheSampleAspectRatio) {
    // 720x576 with 16:15 pixels is a 4:3 picture: it fills a 768x576 area.
    const Rect r = FitPicture(720, 576, AVRational{16, 15}, 768, 576);
    EXPECT_EQ(r.width, 768);
    EXPECT_EQ(r.height, 576);
}

TEST(FitPicture, NothingToFitGivesNothing) {
    EXPECT_EQ(FitPicture(0, 1080, AVRational{0, 1}, 100, 100).width, 0);
    EXPECT_EQ(FitPicture(1920, 1080, AVRational{0, 1}, 0, 100).width, 0);
    // A one-pixel-high area still gets a picture of at least one pixel.
    const Rect r = FitPicture(1920, 1080, AVRational{0, 1}, 1, 1);
    EXPECT_EQ(r.width, 1);
    EXPECT_EQ(r.height, 1);
}

TEST(PacketBuffer, PadsWithZerosAndKeepsItsPool) {
    lumadec::PacketBuffer buffer;
    std::vector<uint8_t> bytes(1000, 0xAB);
    AVPacket* packet = buffer.fill(bytes.data(), static_cast<int>(bytes.size()));
    ASSERT_NE(packet, nullptr);
    ASSERT_NE(packet->buf, nullptr);
    EXPECT_EQ(packet->size, 1000);
    EXPECT_EQ(std::memcmp(packet->data, bytes.data(), bytes.size()), 0);
    for (int i = 0; i < AV_INPUT_BUFFER_PADDING_SIZE; ++i) {
        ASSERT_EQ(packet->data[1000 + i], 0);
    }
    const int poolSize = buffer.poolSize();
    buffer.release();
    for (int i = 0; i < 100; ++i) {
        ASSERT_NE(buffer.fill(bytes.data(), 500), nullptr);
        buffer.release();
    }
    EXPECT_EQ(buffer.poolSize(), poolSize);
    // A larger access unit grows the pool once.
    std::vector<uint8_t> big(static_cast<size_t>(poolSize) + 1, 1);
    packet = buffer.fill(big.data(), static_cast<int>(big.size()));
    ASSERT_NE(packet, nullptr);
    EXPECT_GT(buffer.poolSize(), poolSize);
    EXPECT_EQ(packet->data[big.size()], 0);
}

}  // namespace
