#include "audio_decoder.h"

#include <algorithm>

namespace lumadec {

namespace {
// PulseAudio's own limit; more than this is not a stream we can play.
constexpr int kMaxChannels = 32;
}  // namespace

std::unique_ptr<AudioDecoder> AudioDecoder::create() {
    const AVCodec* decoder = avcodec_find_decoder(AV_CODEC_ID_AAC);
    if (decoder == nullptr) {
        return nullptr;
    }
    std::unique_ptr<AudioDecoder> self(new AudioDecoder());
    self->context_ = avcodec_alloc_context3(decoder);
    self->frame_ = av_frame_alloc();
    if (self->context_ == nullptr || self->frame_ == nullptr || !self->input_.valid()) {
        return nullptr;
    }
    // Without extradata the AAC decoder reads rate and channels from each ADTS header.
    if (avcodec_open2(self->context_, decoder, nullptr) < 0) {
        return nullptr;
    }
    return self;
}

AudioDecoder::~AudioDecoder() {
    avcodec_free_context(&context_);
    av_frame_free(&frame_);
}

bool AudioDecoder::interleave(const AVFrame& frame, AudioBlock& block) {
    const int channels = frame.ch_layout.nb_channels;
    const int frames = frame.nb_samples;
    if (channels <= 0 || channels > kMaxChannels || frames <= 0 || frame.sample_rate <= 0) {
        return false;
    }
    const size_t total = static_cast<size_t>(channels) * static_cast<size_t>(frames);
    if (interleaved_.size() < total) {
        interleaved_.resize(total);
    }
    float* out = interleaved_.data();
    switch (frame.format) {
        case AV_SAMPLE_FMT_FLTP:
            for (int c = 0; c < channels; ++c) {
                const float* in = reinterpret_cast<const float*>(frame.extended_data[c]);
                for (int i = 0; i < frames; ++i) {
                    out[static_cast<size_t>(i) * channels + c] = in[i];
                }
            }
            break;
        case AV_SAMPLE_FMT_FLT: {
            const float* in = reinterpret_cast<const float*>(frame.extended_data[0]);
            std::copy(in, in + total, out);
            break;
        }
        case AV_SAMPLE_FMT_S16P:
            for (int c = 0; c < channels; ++c) {
                const int16_t* in = reinterpret_cast<const int16_t*>(frame.extended_data[c]);
                for (int i = 0; i < frames; ++i) {
                    out[static_cast<size_t>(i) * channels + c] =
                        static_cast<float>(in[i]) / 32768.0f;
                }
            }
            break;
        default:
            return false;  // the AAC decoders give planar float; nothing else is expected
    }
    block.samples = out;
    block.frames = frames;
    block.channels = channels;
    block.sampleRate = frame.sample_rate;
    return true;
}

bool AudioDecoder::receiveBlocks(AudioSink& sink, int& blocks) {
    bool ok = true;
    for (;;) {
        const int status = avcodec_receive_frame(context_, frame_);
        if (status == AVERROR(EAGAIN)) {
            return ok;  // needs more input
        }
        if (status == AVERROR_EOF) {
            avcodec_flush_buffers(context_);
            return ok;
        }
        if (status < 0) {
            return false;
        }
        AudioBlock block;
        if (interleave(*frame_, block)) {
            sink.onAudio(block);
            ++blocks;
        } else {
            ok = false;
        }
        av_frame_unref(frame_);
    }
}

AudioDecodeResult AudioDecoder::decode(const uint8_t* data, int size, AudioSink& sink) {
    AudioDecodeResult result;
    AVPacket* packet = input_.fill(data, size);
    if (packet == nullptr) {
        result.error = true;
        return result;
    }
    const int status = SendDraining(context_, packet, [&] {
        if (!receiveBlocks(sink, result.blocks)) {
            result.error = true;
        }
    });
    input_.release();
    if (status == AVERROR_EOF) {
        avcodec_flush_buffers(context_);
        result.error = true;
        return result;
    }
    if (status < 0) {
        result.error = true;
    }
    if (!receiveBlocks(sink, result.blocks)) {
        result.error = true;
    }
    return result;
}

}  // namespace lumadec
