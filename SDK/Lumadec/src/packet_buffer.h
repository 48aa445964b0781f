// Padded, reference-counted input for libavcodec, reused from frame to frame.
#pragma once

#include <cstdint>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/buffer.h>
}

namespace lumadec {

// The stream's bytes are only lent to us for the duration of a call and carry no padding, so each
// access unit is copied into a buffer from a pool (with AV_INPUT_BUFFER_PADDING_SIZE zero bytes
// after it). Handing libavcodec a reference-counted buffer lets it keep a reference instead of
// allocating and copying a buffer of its own; the pool gets the buffer back once the decoder is
// done with it. The pool is re-made, larger, only when an access unit outgrows it.
class PacketBuffer {
  public:
    PacketBuffer();
    ~PacketBuffer();
    PacketBuffer(const PacketBuffer&) = delete;
    PacketBuffer& operator=(const PacketBuffer&) = delete;

    bool valid() const { return packet_ != nullptr; }

    // Fills the packet with a padded copy of `size` bytes. Returns nullptr when memory is short.
    // The packet stays ours; send it and call release() afterwards.
    AVPacket* fill(const uint8_t* data, int size);
    // Drops our reference to the last filled buffer (the decoder keeps its own if it needs one).
    void release();

    int poolSize() const { return poolSize_; }

  private:
    bool ensurePool(int size);

    AVPacket* packet_ = nullptr;
    AVBufferPool* pool_ = nullptr;
    int poolSize_ = 0;
};

// Sends `packet` to the decoder. When the decoder's output is full (EAGAIN), `drain` first takes
// what is ready, then the packet is sent again. Returns the final status of the send.
template <typename Drain>
int SendDraining(AVCodecContext* context, const AVPacket* packet, Drain&& drain) {
    int status = avcodec_send_packet(context, packet);
    if (status == AVERROR(EAGAIN)) {
        drain();
        status = avcodec_send_packet(context, packet);
    }
    return status;
}

}  // namespace lumadec
