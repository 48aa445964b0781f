// Feeds arbitrary datagrams through the UDP fragment assembler the way the receive loop does: each
// one written behind the held bytes of the datagram buffer and taken in, one over the largest size
// ending the attempt. Frames must lie inside the assembly buffer and never exceed it, and the held
// bytes must always leave room for a largest datagram.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "stream_packets.h"

namespace {

// Small, so that frames outgrow it and the cutting path runs as well.
constexpr size_t kCapacity = 6000;
uint8_t gFrame[kCapacity];
korvex::DatagramBuffer gDatagrams;

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
    gDatagrams.held = 0;
    // Datagrams: a two-byte little-endian length, then that many bytes (cut at the input's end).
    while (size >= 2) {
        size_t length = static_cast<size_t>(data[0] | data[1] << 8);
        data += 2;
        size -= 2;
        if (length > size) {
            length = size;
        }
        const uint8_t* datagram = data;
        data += length;
        size -= length;
        if (length > korvex::kLargestDatagram) {
            gDatagrams.held = 0;  // the receive fails and the attempt ends
            frame = korvex::FrameAssembly{gFrame, kCapacity};
            continue;
        }
        std::memcpy(gDatagrams.next(), datagram, length);
        gDatagrams.take(length, frame, output);
        if (gDatagrams.held > korvex::kLargestDatagram || frame.fill > kCapacity) {
            __builtin_trap();
        }
    }
    return 0;
}
