#include "stream_decode.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include <cstring>

namespace devicesim_test {

namespace {

struct Decoder {
    explicit Decoder(AVCodecID id)
        : context(avcodec_alloc_context3(avcodec_find_decoder(id))),
          packet(av_packet_alloc()),
          frame(av_frame_alloc()) {
        if (avcodec_open2(context, avcodec_find_decoder(id), nullptr) < 0) {
            avcodec_free_context(&context);
        }
    }
    ~Decoder() {
        avcodec_free_context(&context);
        av_packet_free(&packet);
        av_frame_free(&frame);
    }

    // Sends one access unit (nullptr: end of stream) and hands every picture to `take`.
    template <typename Take>
    void feed(const std::vector<uint8_t>* data, int& errors, Take take) {
        if (context == nullptr) {
            ++errors;
            return;
        }
        int result = 0;
        if (data != nullptr) {
            padded.assign(data->begin(), data->end());
            padded.resize(data->size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
            packet->data = padded.data();
            packet->size = static_cast<int>(data->size());
            result = avcodec_send_packet(context, packet);
        } else {
            result = avcodec_send_packet(context, nullptr);
        }
        if (result < 0) {
            ++errors;
        }
        for (;;) {
            const int received = avcodec_receive_frame(context, frame);
            if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) {
                return;
            }
            if (received < 0) {
                ++errors;
                return;
            }
            take(frame);
            av_frame_unref(frame);
        }
    }

    AVCodecContext* context;
    AVPacket* packet;
    AVFrame* frame;
    std::vector<uint8_t> padded;
};

}  // namespace

VideoDecode decodeVideo(const std::vector<CapturedFrame>& frames, unsigned videoCodec) {
    VideoDecode result;
    Decoder decoder(videoCodec == 1 ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264);
    int firstWidth = 0;
    int firstHeight = 0;
    auto take = [&](const AVFrame* picture) {
        ++result.pictures;
        if (firstWidth == 0) {
            firstWidth = picture->width;
            firstHeight = picture->height;
        } else if (picture->width != firstWidth || picture->height != firstHeight) {
            ++result.sizeChanges;
        }
        result.width = picture->width;
        result.height = picture->height;
    };
    bool keySeen = false;
    for (const CapturedFrame& frame : frames) {
        if (frame.type == 3) {
            continue;
        }
        keySeen = keySeen || frame.type == 1;
        if (!keySeen) {
            continue;
        }
        ++result.frames;
        decoder.feed(&frame.data, result.errors, take);
    }
    decoder.feed(nullptr, result.errors, take);
    return result;
}

AudioDecode decodeAudio(const std::vector<CapturedFrame>& frames) {
    AudioDecode result;
    Decoder decoder(AV_CODEC_ID_AAC);
    long crossings = 0;
    float previous = 0;
    auto take = [&](const AVFrame* sound) {
        result.sampleRate = sound->sample_rate;
        result.channels = sound->ch_layout.nb_channels;
        result.samples += sound->nb_samples;
        if (sound->format != AV_SAMPLE_FMT_FLTP) {
            return;
        }
        const auto* samples = reinterpret_cast<const float*>(sound->data[0]);
        for (int i = 0; i < sound->nb_samples; ++i) {
            if ((previous < 0) != (samples[i] < 0)) {
                ++crossings;
            }
            previous = samples[i];
        }
    };
    for (const CapturedFrame& frame : frames) {
        if (frame.type != 3) {
            continue;
        }
        ++result.frames;
        decoder.feed(&frame.data, result.errors, take);
    }
    decoder.feed(nullptr, result.errors, take);
    if (result.samples > 0 && result.sampleRate > 0) {
        result.toneHz = crossings / 2.0 * result.sampleRate / result.samples;
    }
    return result;
}

}  // namespace devicesim_test
