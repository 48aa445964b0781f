// Feeds arbitrary bytes through the TCP packet parser the way the receive loop does: in chunks,
// keeping the unconsumed rest, dropping a full buffer. Every frame must lie inside the received
// bytes and nothing may be consumed beyond them.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "stream_packets.h"

namespace {

// Small, so that packets outgrow it and the dropping path runs as well.
constexpr size_t kCapacity = 8192;
uint8_t gBuffer[kCapacity];
size_t gFill;

int OnFrame(KorvexSession*, KorvexStream*, const KorvexFrameInfo* frame, void*) {
    if (frame->length < 0 || frame->data < gBuffer ||
        frame->data + frame->length > gBuffer + gFill) {
        __builtin_trap();
    }
    return 0;
}

int OnMediaInfo(KorvexSession*, KorvexStream*, const KorvexMediaInfo* info, void*) {
    if (!korvex::IsAcceptedPictureSize(info->width, info->height)) {
        __builtin_trap();
    }
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    // First byte: which callbacks are set, and the chunk size the bytes arrive in.
    const uint8_t mode = data[0];
    korvex::StreamOutput output{nullptr, nullptr, (mode & 1) ? OnMediaInfo : nullptr,
                                (mode & 2) ? OnFrame : nullptr, nullptr};
    const size_t chunk = 1 + (mode >> 2) * 97;
    ++data;
    --size;
    korvex::TcpParserState state;
    gFill = 0;
    while (size > 0) {
        size_t count = chunk < size ? chunk : size;
        if (count > kCapacity - gFill) {
            count = kCapacity - gFill;
        }
        std::memcpy(gBuffer + gFill, data, count);
        data += count;
        size -= count;
        gFill += count;
        long consumed = korvex::ParseTcpPackets(gBuffer, gFill, state, output);
        if (consumed == korvex::kParserFailed) {
            state = korvex::TcpParserState();  // a new connection
            gFill = 0;
            continue;
        }
        if (consumed < 0 || static_cast<size_t>(consumed) > gFill) {
            __builtin_trap();
        }
        gFill -= static_cast<size_t>(consumed);
        std::memmove(gBuffer, gBuffer + consumed, gFill);
        if (gFill == kCapacity) {
            gFill = 0;
        }
    }
    return 0;
}
