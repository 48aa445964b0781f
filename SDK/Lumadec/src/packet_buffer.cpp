#include "packet_buffer.h"

#include <climits>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace lumadec {

namespace {
// Big enough for a 1080p key frame at a high bit rate, so a normal stream never re-makes the pool.
constexpr int kInitialPoolSize = 1 << 20;
}  // namespace

PacketBuffer::PacketBuffer() {
    packet_ = av_packet_alloc();
}

PacketBuffer::~PacketBuffer() {
    av_packet_free(&packet_);
    // Frees the pool once the last buffer that a decoder still holds comes back.
    av_buffer_pool_uninit(&pool_);
}

bool PacketBuffer::ensurePool(int size) {
    if (pool_ != nullptr && size <= poolSize_) {
        return true;
    }
    int newSize = poolSize_ > 0 ? poolSize_ : kInitialPoolSize;
    while (newSize < size) {
        newSize = newSize > INT_MAX / 2 ? INT_MAX - AV_INPUT_BUFFER_PADDING_SIZE : newSize * 2;
    }
    AVBufferPool* pool = av_buffer_pool_init(newSize + AV_INPUT_BUFFER_PADDING_SIZE, nullptr);
    if (pool == nullptr) {
        return false;
    }
    av_buffer_pool_uninit(&pool_);
    pool_ = pool;
    poolSize_ = newSize;
    return true;
}

AVPacket* PacketBuffer::fill(const uint8_t* data, int size) {
    if (packet_ == nullptr || size < 0 || size > INT_MAX - 2 * AV_INPUT_BUFFER_PADDING_SIZE ||
        !ensurePool(size)) {
        return nullptr;
    }
    av_packet_unref(packet_);
    AVBufferRef* buffer = av_buffer_pool_get(pool_);
    if (buffer == nullptr) {
        return nullptr;
    }
    if (size > 0) {
        std::memcpy(buffer->data, data, static_cast<size_t>(size));
    }
    std::memset(buffer->data + size, 0, AV_INPUT_BUFFER_PADDING_SIZE);
    packet_->buf = buffer;
    packet_->data = buffer->data;
    packet_->size = size;
    return packet_;
}

void PacketBuffer::release() {
    if (packet_ != nullptr) {
        av_packet_unref(packet_);
    }
}

}  // namespace lumadec
