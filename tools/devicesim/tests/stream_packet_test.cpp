// The packet header, the media information, fragmentation and the ADTS header, byte by byte.
#include <gtest/gtest.h>

#include <vector>

#include "audio_encoder.h"
#include "stream_packet.h"

namespace devicesim {
namespace {

TEST(PacketHeader, LittleEndianFields) {
    uint8_t header[kPacketHeaderSize];
    writePacketHeader(header, kPacketKeyFrame, kFirstFragment | kLastFragment, 0x01020304,
                      0xa0b0c0d0, 0x1122334455667788ull);
    const std::vector<uint8_t> expected = {0x20, 0x05, 0x16, 0x20, 0x13, 0,    0,    0,
                                           0x04, 0x03, 0x02, 0x01, 0xd0, 0xc0, 0xb0, 0xa0,
                                           0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11};
    EXPECT_EQ(std::vector<uint8_t>(header, header + kPacketHeaderSize), expected);
    writePacketHeader(header, kPacketMediaInfo, kFirstFragment, 20, 1, 0);
    EXPECT_EQ(header[4], 0xa1);
}

TEST(MediaInfo, DescribesVideoAndSound) {
    MediaDescription media;
    media.width = 1280;
    media.height = 720;
    media.videoCodec = 1;
    const auto payload = mediaInfoPayload(media);
    const std::vector<uint8_t> expected = {3, 0, 0,    0,    0x00, 0x05, 0xd0, 0x02, 1, 0,
                                           0, 0, 0x80, 0xbb, 16,   0,    0x31, 0x04, 0, 0};
    EXPECT_EQ(std::vector<uint8_t>(payload.begin(), payload.end()), expected);

    media.hasAudio = false;
    EXPECT_EQ(mediaInfoPayload(media)[0], 1);
    EXPECT_EQ(mediaInfoPayload(media)[12], 0);
}

struct Datagram {
    std::vector<uint8_t> bytes;
};

std::vector<Datagram> fragment(size_t length, uint32_t& sequence) {
    std::vector<uint8_t> frame(length);
    for (size_t i = 0; i < length; ++i) {
        frame[i] = static_cast<uint8_t>(i * 31);
    }
    std::vector<uint8_t> scratch(kMaxDatagramSize);
    std::vector<Datagram> datagrams;
    forEachDatagram(kPacketKeyFrame, 777, frame.data(), frame.size(), sequence, scratch.data(),
                    [&](const uint8_t* data, size_t size) {
                        datagrams.push_back(Datagram{{data, data + size}});
                        return true;
                    });
    return datagrams;
}

TEST(Fragments, FrameIsCutInto4072BytePiecesSharingItsTimestamp) {
    uint32_t sequence = 41;
    const std::vector<Datagram> datagrams = fragment(10000, sequence);
    ASSERT_EQ(datagrams.size(), 3u);
    EXPECT_EQ(sequence, 44u);
    const size_t pieces[] = {4072, 4072, 1856};
    const uint8_t bits[] = {0x11, 0x10, 0x12};
    std::vector<uint8_t> joined;
    for (size_t i = 0; i < 3; ++i) {
        const std::vector<uint8_t>& d = datagrams[i].bytes;
        ASSERT_EQ(d.size(), kPacketHeaderSize + pieces[i]);
        EXPECT_EQ(d[4], bits[i]);
        EXPECT_EQ(d[8] | d[9] << 8, static_cast<int>(pieces[i]));
        EXPECT_EQ(d[12], 41 + i);
        EXPECT_EQ(d[16] | d[17] << 8, 777);
        joined.insert(joined.end(), d.begin() + kPacketHeaderSize, d.end());
    }
    for (size_t i = 0; i < joined.size(); ++i) {
        ASSERT_EQ(joined[i], static_cast<uint8_t>(i * 31)) << i;
    }
}

TEST(Fragments, SmallAndExactFrames) {
    uint32_t sequence = 1;
    std::vector<Datagram> one = fragment(100, sequence);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].bytes[4], 0x13);
    std::vector<Datagram> exact = fragment(4072, sequence);
    ASSERT_EQ(exact.size(), 1u);
    EXPECT_EQ(exact[0].bytes.size(), kMaxDatagramSize);
    std::vector<Datagram> twoFull = fragment(8144, sequence);
    ASSERT_EQ(twoFull.size(), 2u);
    EXPECT_EQ(twoFull[1].bytes[4], 0x12);
    EXPECT_EQ(sequence, 5u);
}

// The player's own silent frame starts FF F1 4C 40 10: AAC LC, 48 kHz, mono, 128 bytes.
TEST(Adts, HeaderMatchesThePlayersFrameForm) {
    uint8_t header[kAdtsHeaderSize];
    writeAdtsHeader(header, adtsFrequencyIndex(48000), 1, 128);
    EXPECT_EQ(std::vector<uint8_t>(header, header + 5),
              (std::vector<uint8_t>{0xff, 0xf1, 0x4c, 0x40, 0x10}));
    EXPECT_EQ(header[5] >> 5, 0);
    writeAdtsHeader(header, adtsFrequencyIndex(44100), 2, 0x1abc);
    EXPECT_EQ(header[2], 0x50);
    EXPECT_EQ(header[3], 0x80 | (0x1abc >> 11));
    EXPECT_EQ(header[4], (0x1abc >> 3) & 0xff);
    EXPECT_EQ(header[5] >> 5, 0x1abc & 7);
    EXPECT_EQ(adtsFrequencyIndex(12345), -1);
}

}  // namespace
}  // namespace devicesim
