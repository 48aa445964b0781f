#include "video_decoder.h"

#include <algorithm>
#include <thread>

namespace lumadec {

namespace {
// After this many access units in a row that the decoder rejects, its references are suspect:
// start over from the next key frame rather than draw garbage built on garbage.
constexpr int kErrorsBeforeRestart = 8;
// Frame threads add one frame of delay each; four keep 4K H.265 real-time on a desktop without
// making a live picture lag noticeably.
constexpr unsigned kMaxDecoderThreads = 4;
}  // namespace

void VideoDecoder::ApplyLiveSettings(AVCodecContext* context) {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    context->thread_count = static_cast<int>(std::min(cores, kMaxDecoderThreads));
    context->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
}

std::unique_ptr<VideoDecoder> VideoDecoder::Create(VideoCodec codec, int widthHint,
                                                   int heightHint) {
    const AVCodec* decoder =
        avcodec_find_decoder(codec == VideoCodec::Hevc ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264);
    if (decoder == nullptr) {
        return nullptr;
    }
    std::unique_ptr<VideoDecoder> self(new VideoDecoder(codec));
    self->context_ = avcodec_alloc_context3(decoder);
    self->frame_ = av_frame_alloc();
    if (self->context_ == nullptr || self->frame_ == nullptr || !self->input_.valid()) {
        return nullptr;
    }
    if (widthHint > 0 && heightHint > 0 && widthHint <= 16384 && heightHint <= 16384) {
        self->context_->width = widthHint;
        self->context_->height = heightHint;
    }
    ApplyLiveSettings(self->context_);
    if (avcodec_open2(self->context_, decoder, nullptr) < 0) {
        return nullptr;
    }
    return self;
}

VideoDecoder::~VideoDecoder() {
    avcodec_free_context(&context_);
    av_frame_free(&frame_);
}

int VideoDecoder::threadCount() const {
    return context_->thread_count;
}

void VideoDecoder::Restart() {
    avcodec_flush_buffers(context_);
    waitingForKeyFrame_ = true;
    consecutiveErrors_ = 0;
}

bool VideoDecoder::ReceivePictures(PictureSink& sink, int& pictures) {
    for (;;) {
        const int status = avcodec_receive_frame(context_, frame_);
        if (status == AVERROR(EAGAIN)) {
            return true;  // needs more input
        }
        if (status == AVERROR_EOF) {
            // Only after a drain, which a live stream never asks for; be ready for input again.
            avcodec_flush_buffers(context_);
            return true;
        }
        if (status < 0) {
            return false;
        }
        sink.OnPicture(*frame_);
        av_frame_unref(frame_);
        ++pictures;
    }
}

VideoDecodeResult VideoDecoder::Decode(const uint8_t* data, int size, bool keyFrame,
                                       PictureSink& sink) {
    VideoDecodeResult result;
    if (waitingForKeyFrame_) {
        if (!keyFrame && !ContainsRandomAccessPicture(codec_, data, size)) {
            result.skipped = true;
            return result;
        }
        waitingForKeyFrame_ = false;
    }

    AVPacket* packet = input_.Fill(data, size);
    if (packet == nullptr) {
        result.error = true;
        return result;
    }
    const int status = SendDraining(context_, packet, [&] {
        if (!ReceivePictures(sink, result.pictures)) {
            result.error = true;
        }
    });
    input_.Release();

    if (status == AVERROR_EOF) {
        // The decoder was drained; it takes input again after a flush, from a key frame.
        Restart();
        result.error = true;
        return result;
    }
    if (status < 0) {
        result.error = true;
    }
    // Pictures of earlier packets may be ready even when this one was refused.
    if (!ReceivePictures(sink, result.pictures)) {
        result.error = true;
    }

    if (result.error) {
        if (++consecutiveErrors_ >= kErrorsBeforeRestart) {
            Restart();
        }
    } else {
        consecutiveErrors_ = 0;
    }
    return result;
}

}  // namespace lumadec
