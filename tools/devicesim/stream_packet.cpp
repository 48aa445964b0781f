#include "stream_packet.h"

#include <cstring>

#include "Korvex.h"

namespace devicesim {

namespace {

void put16(uint8_t* out, uint32_t value) {
    out[0] = static_cast<uint8_t>(value);
    out[1] = static_cast<uint8_t>(value >> 8);
}

void put32(uint8_t* out, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

void put64(uint8_t* out, uint64_t value) {
    for (int i = 0; i < 8; ++i) {
        out[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

}  // namespace

void writePacketHeader(uint8_t* out, int type, uint8_t fragmentBits, uint32_t payloadLength,
                       uint32_t sequence, uint64_t timestamp) {
    put32(out, KORVEX_PACKET_MAGIC);
    out[4] = static_cast<uint8_t>((type & 0xf) << 4 | (fragmentBits & 0x3));
    out[5] = out[6] = out[7] = 0;
    put32(out + 8, payloadLength);
    put32(out + 12, sequence);
    put64(out + 16, timestamp);
}

int adtsFrequencyIndex(int sampleRate) {
    static const int kRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                 22050, 16000, 12000, 11025, 8000,  7350};
    for (int i = 0; i < static_cast<int>(sizeof kRates / sizeof kRates[0]); ++i) {
        if (kRates[i] == sampleRate) {
            return i;
        }
    }
    return -1;
}

std::array<uint8_t, kMediaInfoSize> mediaInfoPayload(const MediaDescription& media) {
    std::array<uint8_t, kMediaInfoSize> payload{};
    put32(&payload[0], media.hasAudio ? 3u : 1u);
    put16(&payload[4], static_cast<uint32_t>(media.width));
    put16(&payload[6], static_cast<uint32_t>(media.height));
    put32(&payload[8], static_cast<uint32_t>(media.videoCodec) & 0xfu);
    if (media.hasAudio) {
        put16(&payload[12], static_cast<uint32_t>(media.sampleRate));
        put16(&payload[14], static_cast<uint32_t>(media.bitsPerSample));
        const uint32_t frequencyIndex = static_cast<uint32_t>(adtsFrequencyIndex(media.sampleRate));
        const uint32_t aacLowComplexity = 1;
        put32(&payload[16], (static_cast<uint32_t>(media.audioChannels) & 0xfu) |
                                (frequencyIndex & 0x3fu) << 4 | aacLowComplexity << 10);
    }
    return payload;
}

bool forEachDatagram(int type, uint64_t timestamp, const uint8_t* data, size_t length,
                     uint32_t& sequence, uint8_t* scratch,
                     const std::function<bool(const uint8_t*, size_t)>& send) {
    size_t offset = 0;
    do {
        const size_t piece =
            length - offset < kMaxFragmentPayload ? length - offset : kMaxFragmentPayload;
        uint8_t bits = 0;
        if (offset == 0) {
            bits |= kFirstFragment;
        }
        if (offset + piece == length) {
            bits |= kLastFragment;
        }
        writePacketHeader(scratch, type, bits, static_cast<uint32_t>(piece), sequence++, timestamp);
        if (piece > 0) {
            std::memcpy(scratch + kPacketHeaderSize, data + offset, piece);
        }
        if (!send(scratch, kPacketHeaderSize + piece)) {
            return false;
        }
        offset += piece;
    } while (offset < length);
    return true;
}

}  // namespace devicesim
