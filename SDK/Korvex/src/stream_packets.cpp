#include "stream_packets.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "session.h"

namespace korvex {

namespace {

uint16_t Read16(const uint8_t* bytes) {
    return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

uint32_t Read32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

uint64_t Read64(const uint8_t* bytes) {
    return static_cast<uint64_t>(Read32(bytes)) | static_cast<uint64_t>(Read32(bytes + 4)) << 32;
}

struct PictureSize {
    int32_t width;
    int32_t height;
};

constexpr PictureSize kAcceptedPictureSizes[] = {
    {352, 288}, {720, 576}, {1280, 720}, {1920, 1080}, {3840, 2160}};

// Advances `position` to the next packet in bytes[position, fill), skipping bytes that cannot
// start one. True when a whole packet starts at `position` (its header is in `header`); false when
// the bytes end first, with `position` at the first byte that must be kept for later.
bool NextPacket(const uint8_t* bytes, size_t fill, size_t& position, PacketHeader& header) {
    while (position + kPacketHeaderSize <= fill) {
        header = ReadPacketHeader(bytes + position);
        if (header.magic != KORVEX_PACKET_MAGIC || header.length < 0) {
            ++position;
            continue;
        }
        return fill - position - kPacketHeaderSize >= static_cast<size_t>(header.length);
    }
    return false;
}

void Deliver(FrameAssembly& frame, const StreamOutput& output) {
    if (frame.fill == 0) {
        return;
    }
    if (frame.frameType == KORVEX_PACKET_MEDIA_INFO) {
        // A record cut short would be read past the frame: it carries nothing usable.
        if (frame.fill >= kMediaInfoSize) {
            output.mediaInfo(ReadMediaInfo(frame.buffer));
        }
    } else {
        output.frame(frame.frameType, frame.buffer, static_cast<int32_t>(frame.fill),
                     frame.frameTimestamp);
        ++frame.framesDelivered;
    }
    frame.fill = 0;
}

// Appends as much of the payload as the buffer still holds; the rest of an oversized frame is lost.
void Append(FrameAssembly& frame, const uint8_t* payload, size_t length,
            const StreamOutput& output) {
    size_t room = frame.capacity - frame.fill;
    if (length > room) {
        output.dataLost();
        length = room;
    }
    if (length > 0) {
        std::memcpy(frame.buffer + frame.fill, payload, length);
        frame.fill += length;
    }
}

}  // namespace

PacketHeader ReadPacketHeader(const uint8_t* bytes) {
    PacketHeader header;
    header.magic = Read32(bytes);
    header.type = bytes[4] >> 4;
    header.firstFragment = (bytes[4] & 0x01) != 0;
    header.lastFragment = (bytes[4] & 0x02) != 0;
    header.length = static_cast<int32_t>(Read32(bytes + 8));
    header.sequence = Read32(bytes + 12);
    header.timestamp = Read64(bytes + 16);
    return header;
}

KorvexMediaInfo ReadMediaInfo(const uint8_t* payload) {
    uint32_t audio = Read32(payload + 16);
    KorvexMediaInfo info;
    info.contentMask = static_cast<int32_t>(Read32(payload) & 0x0f);
    info.width = Read16(payload + 4);
    info.height = Read16(payload + 6);
    info.videoCodec = static_cast<int32_t>(Read32(payload + 8) & 0x0f);
    info.audioParam0 = Read16(payload + 12);
    info.audioParam1 = Read16(payload + 14);
    info.audioParam2 = static_cast<int32_t>(audio & 0x0f);
    info.audioParam3 = static_cast<int32_t>((audio >> 4) & 0x3f);
    info.audioParam4 = static_cast<int32_t>((audio >> 10) & 0x03);
    return info;
}

bool IsAcceptedPictureSize(int32_t width, int32_t height) {
    return std::any_of(
        std::begin(kAcceptedPictureSizes), std::end(kAcceptedPictureSizes),
        [&](PictureSize size) { return size.width == width && size.height == height; });
}

void StreamOutput::mediaInfo(const KorvexMediaInfo& info) const {
    if (onMediaInfo != nullptr) {
        onMediaInfo(session, stream, &info, user);
    }
}

void StreamOutput::frame(int32_t type, const uint8_t* data, int32_t length,
                         uint64_t timestamp) const {
    if (onFrame != nullptr) {
        KorvexFrameInfo info{type, length, timestamp, data};
        onFrame(session, stream, &info, user);
    }
}

void StreamOutput::dataLost() const {
    if (session != nullptr) {
        NotifySession(*session, KORVEX_STREAM_DATA_LOST);
    }
}

long ParseTcpPackets(const uint8_t* bytes, size_t fill, TcpParserState& state,
                     const StreamOutput& output) {
    size_t position = 0;
    PacketHeader header;
    while (NextPacket(bytes, fill, position, header)) {
        const uint8_t* payload = bytes + position + kPacketHeaderSize;
        if (header.type == KORVEX_PACKET_MEDIA_INFO) {
            // Only a record for a known picture size opens the connection for frames; without a
            // media-information callback nobody could set up a decoder, so none counts.
            if (output.onMediaInfo != nullptr &&
                static_cast<size_t>(header.length) >= kMediaInfoSize) {
                KorvexMediaInfo info = ReadMediaInfo(payload);
                if (IsAcceptedPictureSize(info.width, info.height)) {
                    output.mediaInfo(info);
                    state.mediaInfoSeen = true;
                }
            }
        } else {
            if (!state.mediaInfoSeen) {
                return kParserFailed;
            }
            if (header.type == KORVEX_PACKET_KEY_FRAME) {
                state.keyFrameSeen = true;
            }
            if (state.keyFrameSeen) {
                output.frame(header.type, payload, header.length, header.timestamp);
                ++state.framesDelivered;
            }
        }
        position += kPacketHeaderSize + static_cast<size_t>(header.length);
    }
    return static_cast<long>(position);
}

size_t AssembleUdpFragments(const uint8_t* bytes, size_t held, FrameAssembly& frame,
                            const StreamOutput& output) {
    size_t position = 0;
    PacketHeader header;
    while (NextPacket(bytes, held, position, header)) {
        // Unsigned arithmetic: the sequence wraps at 2^32.
        if (frame.lastSequence != 0 && header.sequence - frame.lastSequence != 1u) {
            output.dataLost();
        }
        if (header.firstFragment || header.timestamp != frame.frameTimestamp) {
            if (frame.fill > 0) {
                output.dataLost();  // the open frame never got its last fragment
                Deliver(frame, output);
            }
            frame.frameType = header.type;
            frame.frameTimestamp = header.timestamp;
        }
        Append(frame, bytes + position + kPacketHeaderSize, static_cast<size_t>(header.length),
               output);
        if (header.lastFragment) {
            Deliver(frame, output);
        }
        frame.lastSequence = header.sequence;
        position += kPacketHeaderSize + static_cast<size_t>(header.length);
    }
    return position;
}

void DatagramBuffer::take(size_t count, FrameAssembly& frame, const StreamOutput& output) {
    held += count;
    size_t consumed = AssembleUdpFragments(bytes, held, frame, output);
    held -= consumed;
    if (consumed > 0 && held > 0) {
        std::memmove(bytes, bytes + consumed, held);
    }
    if (held > kLargestDatagram) {
        held = 0;
    }
}

}  // namespace korvex
