#include "sha256.h"

extern "C" {
#include <libavutil/mem.h>
#include <libavutil/sha.h>
}

#include <new>

namespace devicesim {

Sha256::Sha256() : context_(av_sha_alloc()) {
    if (context_ == nullptr || av_sha_init(context_, 256) < 0) {
        av_free(context_);
        throw std::bad_alloc();
    }
}

Sha256::~Sha256() {
    av_free(context_);
}

void Sha256::update(const void* data, size_t length) {
    av_sha_update(context_, static_cast<const uint8_t*>(data), length);
}

std::string Sha256::finishHex() {
    uint8_t digest[32];
    av_sha_final(context_, digest);
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (uint8_t byte : digest) {
        text += kHex[byte >> 4];
        text += kHex[byte & 0xf];
    }
    return text;
}

}  // namespace devicesim
