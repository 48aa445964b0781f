// Feeds arbitrary datagrams through the UDP fragment assembler the way the receive loop does: each
// appended to the held bytes, the consumed ones removed, a full datagram buffer emptied. Frames
// must lie inside the assembly buffer and never exceed it.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "stream_packets.h"

namespace {

constexpr size_t kDatagramBufferSize = 4096;
// Small, so that frames outgrow it and the cutting path runs as well.
constexpr size_t kCapacity = 6000;
uint8_t gFrame[kCapacity];
uint8_t gDatagrams[kDatagramBufferSize];

int OnFrame(KorvexSession*, KorvexStream*, const KorvexFrameInfo* frame, void*) {
    if (frame->data != gFrame || frame->length <= 0 ||
        static_cast<size_t>(frame->length) > kCapacity) {
        __builtin_trap();
    }
    return 0;
}

int OnMediaInfo(KorvexSession*, KorvexStream*, const KorvexMediaInfo*, void*) {
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    korvex::StreamOutput output{nullptr, nullptr, OnMediaInfo, OnFrame, nullptr};
    korvex::FrameAssembly frame{gFrame, kCapacity};
    size_t held = 0;
    // Datagrams: a two-byte little-endian length, then that many bytes (cut at the input's end).
    while (size >= 2) {
        size_t length = static_cast<size_t>(data[0] | data[1] << 8);
        data += 2;
        size -= 2;
        if (length > size) {
            length = size;
        }
        if (length > kDatagramBufferSize - held) {
            held = 0;  // the loop ends the attempt on a datagram that does not fit
            frame.reset();
            continue;
        }
        std::memcpy(gDatagrams + held, data, length);
        data += length;
        size -= length;
        held += length;
        size_t consumed = korvex::AssembleUdpFragments(gDatagrams, held, frame, output);
        if (consumed > held || frame.fill > kCapacity) {
            __builtin_trap();
        }
        held -= consumed;
        std::memmove(gDatagrams, gDatagrams + consumed, held);
        if (held == kDatagramBufferSize) {
            held = 0;
        }
    }
    return 0;
}
