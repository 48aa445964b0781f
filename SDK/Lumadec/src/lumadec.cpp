// The exported C interface: argument checks and the handle, nothing else.
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <new>

#include "Lumadec.h"
#include "player.h"

struct LumadecPlayer {
    std::unique_ptr<lumadec::Player> player;
};

extern "C" {

LUMADEC_API LumadecPlayer* LUMADEC_OpenPlayer(uint64_t window, const LumadecVideoDescription* video,
                                              const LumadecAudioDescription* audio) {
    if (video == nullptr) {
        return nullptr;
    }
    lumadec::PlayerOptions options;
    options.window = window;
    options.codec = video->videoCodec == 1 ? lumadec::VideoCodec::Hevc : lumadec::VideoCodec::H264;
    options.width = video->width;
    options.height = video->height;
    // The audio values themselves are not needed: every ADTS header names its rate and channels.
    options.audio = audio != nullptr;
    try {
        auto handle = std::make_unique<LumadecPlayer>();
        handle->player = lumadec::Player::create(std::move(options));
        if (!handle->player) {
            return nullptr;
        }
        return handle.release();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

LUMADEC_API int LUMADEC_WriteFrame(LumadecPlayer* player, const LumadecFrame* frame) {
    if (player == nullptr || frame == nullptr) {
        return -1;
    }
    try {
        return player->player->writeFrame(frame->type, frame->data, frame->length,
                                          lumadec::Clock::now());
    } catch (const std::bad_alloc&) {
        return -1;
    }
}

LUMADEC_API int LUMADEC_ClosePlayer(LumadecPlayer* player) {
    delete player;
#ifdef __GLIBC__
    // The decoder's threads freed its pictures into the allocator's per-thread arenas, which keep
    // the pages: hand them back, or a program that switches channels for hours keeps growing.
    malloc_trim(0);
#endif
    return 0;
}

LUMADEC_API int LUMADEC_GetStatistics(const LumadecPlayer* player, LumadecStatistics* out) {
    if (player == nullptr || out == nullptr) {
        return -1;
    }
    *out = LumadecStatistics();
    player->player->getStatistics(*out);
    return 0;
}

}  // extern "C"
