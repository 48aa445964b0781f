// Stream packets: a 24-byte little-endian header (magic, type and fragment bits, payload length,
// sequence number, timestamp) and the payload. Over TCP a packet carries a whole frame; over UDP a
// frame is cut into datagrams of at most 4072 payload bytes that share the frame's timestamp.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace devicesim {

constexpr size_t kPacketHeaderSize = 24;
constexpr size_t kMaxDatagramSize = 4096;
constexpr size_t kMaxFragmentPayload = kMaxDatagramSize - kPacketHeaderSize;  // 4072
constexpr size_t kMediaInfoSize = 20;

constexpr int kPacketKeyFrame = 1;
constexpr int kPacketVideoFrame = 2;  // a video frame that is not a key frame
constexpr int kPacketAudio = 3;
constexpr int kPacketMediaInfo = 10;

constexpr uint8_t kFirstFragment = 0x1;
constexpr uint8_t kLastFragment = 0x2;

void writePacketHeader(uint8_t* out, int type, uint8_t fragmentBits, uint32_t payloadLength,
                       uint32_t sequence, uint64_t timestamp);

// What a stream carries, as told by its media-information packet.
//   audio values: 0 = sample rate in Hz, 1 = bits per sample, 2 = channel count,
//                 3 = sampling-frequency index of the ADTS header, 4 = AAC profile (1 = LC)
struct MediaDescription {
    bool hasAudio = true;
    int width = 1920;
    int height = 1080;
    int videoCodec = 0;  // 1 = H.265, 0 = H.264
    int sampleRate = 48000;
    int bitsPerSample = 16;
    int audioChannels = 1;
};

std::array<uint8_t, kMediaInfoSize> mediaInfoPayload(const MediaDescription& media);

// The ADTS sampling-frequency index of a sample rate; -1 when ADTS has none for it.
int adtsFrequencyIndex(int sampleRate);

// Cuts one frame into datagrams (header + at most 4072 payload bytes each), numbering them from
// `sequence` on, and hands each to `send` in order. `scratch` must hold kMaxDatagramSize bytes.
// Stops and returns false as soon as `send` does.
bool forEachDatagram(int type, uint64_t timestamp, const uint8_t* data, size_t length,
                     uint32_t& sequence, uint8_t* scratch,
                     const std::function<bool(const uint8_t*, size_t)>& send);

}  // namespace devicesim
