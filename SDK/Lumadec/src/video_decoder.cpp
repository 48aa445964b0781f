#include "video_decoder.h"

#include <algorithm>

extern "C" {
#include <libavutil/cpu.h>
}

#include "packet_buffer.h"

namespace lumadec {

namespace {
// After this many access units in a row that the decoder rejects, its references are suspect:
// start over from the next key frame rather than draw garbage built on garbage.
constexpr int kErrorsBeforeRestart = 8;
// Frame threads hold a picture back by one frame each: with four, a 4K H.265 stream keeps up on
// a desktop while the picture lags three frames at most.
constexpr int kMaxFrameThreads = 4;
constexpr int kMaxSliceThreads = 8;
}  // namespace

void VideoDecoder::applyLiveSettings(AVCodecContext* context, DecoderThreading threading) {
    // The processors this process may run on (a CPU affinity mask counts), not the machine's.
    const int cores = std::max(1, av_cpu_count());
    if (threading == DecoderThreading::Frame) {
        context->thread_count = std::min(cores, kMaxFrameThreads);
        context->thread_type = FF_THREAD_FRAME;
    } else {
        context->thread_count = std::min(cores, kMaxSliceThreads);
        context->thread_type = FF_THREAD_SLICE;
        // Every picture out as soon as it is decoded: a live encoder sends no reordered frames.
        context->flags |= AV_CODEC_FLAG_LOW_DELAY;
    }
}

std::unique_ptr<VideoDecoder> VideoDecoder::create(VideoCodec codec, int widthHint, int heightHint,
                                                   DecoderThreading threading) {
    std::unique_ptr<VideoDecoder> self(new VideoDecoder(codec, widthHint, heightHint));
    self->frame_ = av_frame_alloc();
    if (self->frame_ == nullptr || !self->open(threading)) {
        return nullptr;
    }
    return self;
}

bool VideoDecoder::open(DecoderThreading threading) {
    const AVCodec* decoder =
        avcodec_find_decoder(codec_ == VideoCodec::Hevc ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264);
    if (decoder == nullptr) {
        return false;
    }
    AVCodecContext* context = avcodec_alloc_context3(decoder);
    if (context == nullptr) {
        return false;
    }
    if (widthHint_ > 0 && heightHint_ > 0 && widthHint_ <= 16384 && heightHint_ <= 16384) {
        context->width = widthHint_;
        context->height = heightHint_;
    }
    applyLiveSettings(context, threading);
    context->skip_loop_filter = skipLoopFilter_ ? AVDISCARD_NONKEY : AVDISCARD_DEFAULT;
    if (avcodec_open2(context, decoder, nullptr) < 0) {
        avcodec_free_context(&context);
        return false;
    }
    avcodec_free_context(&context_);
    context_ = context;
    threading_ = threading;
    waitingForKeyFrame_ = true;
    consecutiveErrors_ = 0;
    heldBack_ = 0;
    return true;
}

VideoDecoder::~VideoDecoder() {
    avcodec_free_context(&context_);
    av_frame_free(&frame_);
}

bool VideoDecoder::reopen(DecoderThreading threading) {
    return open(threading);
}

int VideoDecoder::threadCount() const {
    return context_->thread_count;
}

void VideoDecoder::skipLoopFilter(bool skip) {
    skipLoopFilter_ = skip;
    context_->skip_loop_filter = skip ? AVDISCARD_NONKEY : AVDISCARD_DEFAULT;
}

int VideoDecoder::restart() {
    avcodec_flush_buffers(context_);
    waitingForKeyFrame_ = true;
    consecutiveErrors_ = 0;
    const int discarded = heldBack_;
    heldBack_ = 0;
    return discarded;
}

bool VideoDecoder::receivePictures(PictureSink& sink, int& pictures) {
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
        sink.onPicture(*frame_);
        av_frame_unref(frame_);
        ++pictures;
        heldBack_ = std::max(0, heldBack_ - 1);
    }
}

VideoDecodeResult VideoDecoder::decode(const AVPacket* packet, bool keyFrame, PictureSink& sink) {
    VideoDecodeResult result;
    if (waitingForKeyFrame_) {
        if (!keyFrame) {
            result.skipped = true;
            return result;
        }
        waitingForKeyFrame_ = false;
    }

    const int status = SendDraining(context_, packet, [&] {
        if (!receivePictures(sink, result.pictures)) {
            result.error = true;
        }
    });
    if (status == AVERROR_EOF) {
        // The decoder was drained; it takes input again after a flush, from a key frame.
        restart();
        result.error = true;
        return result;
    }
    if (status < 0) {
        result.error = true;
    } else {
        ++heldBack_;
    }
    // Pictures of earlier packets may be ready even when this one was refused.
    if (!receivePictures(sink, result.pictures)) {
        result.error = true;
    }

    if (result.error) {
        if (++consecutiveErrors_ >= kErrorsBeforeRestart) {
            restart();
        }
    } else {
        consecutiveErrors_ = 0;
    }
    return result;
}

}  // namespace lumadec
