// The exported C interface: argument checks, the handles and the pictures they hand out.
#include <cerrno>
#include <new>

#include "Lumadec.h"
#include "player.h"
#include "recorder.h"

struct LumadecPlayer {
    std::unique_ptr<lumadec::Player> player;
};

struct LumadecRecorder {
    std::unique_ptr<lumadec::Recorder> recorder;
};

namespace {

lumadec::VideoCodec CodecOf(const LumadecVideoDescription& video) {
    return video.videoCodec == 1 ? lumadec::VideoCodec::Hevc : lumadec::VideoCodec::H264;
}

lumadec::RecorderMedia RecorderMediaOf(const LumadecVideoDescription& video, bool audio) {
    lumadec::RecorderMedia media;
    media.codec = CodecOf(video);
    media.width = video.width;
    media.height = video.height;
    media.audio = audio;
    return media;
}

}  // namespace

extern "C" {

LUMADEC_API LumadecPlayer* LUMADEC_OpenPlayer(uint64_t window, const LumadecVideoDescription* video,
                                              const LumadecAudioDescription* audio) {
    if (video == nullptr) {
        return nullptr;
    }
    lumadec::PlayerOptions options;
    options.window = window;
    options.codec = CodecOf(*video);
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

LUMADEC_API LumadecPicture* LUMADEC_GetPicture(const LumadecPlayer* player) {
    if (player == nullptr) {
        return nullptr;
    }
    AVFrame* frame = player->player->lastPicture();
    if (frame == nullptr) {
        return nullptr;
    }
    LumadecPicture* picture = new (std::nothrow) LumadecPicture{};
    if (picture != nullptr) {
        picture->width = frame->width;
        picture->height = frame->height;
        picture->stride = frame->width * 3;
        picture->pixels = new (std::nothrow)
            uint8_t[static_cast<size_t>(picture->stride) * static_cast<size_t>(frame->height)];
        lumadec::ImageTarget target;
        target.pixels = picture->pixels;
        target.stride = picture->stride;
        target.width = picture->width;
        target.height = picture->height;
        target.format = AV_PIX_FMT_RGB24;
        lumadec::PictureScaler scaler;
        if (picture->pixels == nullptr || !scaler.scale(*frame, target)) {
            LUMADEC_FreePicture(picture);
            picture = nullptr;
        }
    }
    av_frame_free(&frame);
    return picture;
}

LUMADEC_API void LUMADEC_FreePicture(LumadecPicture* picture) {
    if (picture != nullptr) {
        delete[] picture->pixels;
        delete picture;
    }
}

LUMADEC_API LumadecRecorder* LUMADEC_OpenRecording(const char* path,
                                                   const LumadecVideoDescription* video,
                                                   const LumadecAudioDescription* audio,
                                                   int32_t* error) {
    int failure = EINVAL;
    LumadecRecorder* handle = nullptr;
    if (path != nullptr && video != nullptr) {
        try {
            auto opened = std::make_unique<LumadecRecorder>();
            opened->recorder =
                lumadec::Recorder::open(path, RecorderMediaOf(*video, audio != nullptr),
                                        lumadec::RecorderLimits{}, failure);
            if (opened->recorder) {
                handle = opened.release();
            }
        } catch (const std::bad_alloc&) {
            failure = ENOMEM;
        }
    }
    if (error != nullptr) {
        *error = handle != nullptr ? 0 : failure;
    }
    return handle;
}

LUMADEC_API int LUMADEC_WriteRecording(LumadecRecorder* recorder, const LumadecFrame* frame) {
    if (recorder == nullptr || frame == nullptr || frame->data == nullptr || frame->length <= 0) {
        return -1;
    }
    try {
        return recorder->recorder->write(frame->type, frame->data, frame->length, frame->timestamp,
                                         lumadec::Clock::now())
                   ? 0
                   : -1;
    } catch (const std::bad_alloc&) {
        return -1;
    }
}

LUMADEC_API int LUMADEC_RecordingMediaInfo(LumadecRecorder* recorder,
                                           const LumadecVideoDescription* video) {
    if (recorder == nullptr || video == nullptr) {
        return -1;
    }
    recorder->recorder->mediaInformation(RecorderMediaOf(*video, false));
    return 0;
}

LUMADEC_API int LUMADEC_GetRecordingStatus(const LumadecRecorder* recorder,
                                           LumadecRecordingStatus* out) {
    if (recorder == nullptr || out == nullptr) {
        return -1;
    }
    *out = LumadecRecordingStatus();
    recorder->recorder->status(*out);
    return 0;
}

LUMADEC_API int LUMADEC_CloseRecording(LumadecRecorder* recorder) {
    if (recorder == nullptr) {
        return 0;
    }
    const bool complete = recorder->recorder->close();
    delete recorder;
    return complete ? 0 : -1;
}

}  // extern "C"
