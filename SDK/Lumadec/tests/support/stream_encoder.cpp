#include "stream_encoder.h"

#include <algorithm>
#include <cmath>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
}

namespace lumadec_test {

namespace {

struct CodecContextDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
using CodecContext = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using Frame = std::unique_ptr<AVFrame, FrameDeleter>;
using Packet = std::unique_ptr<AVPacket, PacketDeleter>;

int Clamp(int v, int lo, int hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

void FillPicture(AVFrame& frame, const VideoStreamOptions& options, int index) {
    const int w = frame.width, h = frame.height;
    if (options.content == Content::Solid) {
        int y, u, v;
        RgbToYuv709(options.colour, y, u, v);
        for (int row = 0; row < h; ++row) {
            std::fill_n(frame.data[0] + row * frame.linesize[0], w, static_cast<uint8_t>(y));
        }
        for (int row = 0; row < h / 2; ++row) {
            std::fill_n(frame.data[1] + row * frame.linesize[1], w / 2, static_cast<uint8_t>(u));
            std::fill_n(frame.data[2] + row * frame.linesize[2], w / 2, static_cast<uint8_t>(v));
        }
        return;
    }
    // Moving: a diagonal luma gradient that scrolls, eight vertical bars that slide, and a fine
    // checker texture so that the encoder has real detail to code.
    const int shift = index * 4;
    for (int row = 0; row < h; ++row) {
        uint8_t* line = frame.data[0] + row * frame.linesize[0];
        for (int x = 0; x < w; ++x) {
            int value = 16 + ((x + row + shift) * 219 / (w + h)) % 220;
            if (((x + shift) / (w / 8 > 0 ? w / 8 : 1)) % 2 == 0) {
                value = 235 - value + 16;
            }
            if (((x >> 1) ^ (row >> 1)) & 1) {
                value += 6;
            }
            line[x] = static_cast<uint8_t>(Clamp(value, 16, 235));
        }
    }
    for (int row = 0; row < h / 2; ++row) {
        uint8_t* cb = frame.data[1] + row * frame.linesize[1];
        uint8_t* cr = frame.data[2] + row * frame.linesize[2];
        for (int x = 0; x < w / 2; ++x) {
            cb[x] = static_cast<uint8_t>(Clamp(128 + ((x + shift) % 128) - 64, 16, 240));
            cr[x] = static_cast<uint8_t>(Clamp(128 + ((row + shift) % 128) - 64, 16, 240));
        }
    }
}

void Collect(AVCodecContext* context, AVPacket* packet, int type, std::vector<EncodedFrame>& out) {
    while (avcodec_receive_packet(context, packet) == 0) {
        EncodedFrame frame;
        frame.type = type >= 0 ? type : ((packet->flags & AV_PKT_FLAG_KEY) ? 1 : 0);
        frame.timestamp = static_cast<uint64_t>(packet->pts);
        frame.data.assign(packet->data, packet->data + packet->size);
        out.push_back(std::move(frame));
        av_packet_unref(packet);
    }
}

}  // namespace

void RgbToYuv709(const Rgb& c, int& y, int& u, int& v) {
    const double r = c.r / 255.0, g = c.g / 255.0, b = c.b / 255.0;
    const double luma = 0.2126 * r + 0.7152 * g + 0.0722 * b;
    y = Clamp(static_cast<int>(std::lround(16 + 219 * luma)), 16, 235);
    u = Clamp(static_cast<int>(std::lround(128 + 224 * (b - luma) / 1.8556)), 16, 240);
    v = Clamp(static_cast<int>(std::lround(128 + 224 * (r - luma) / 1.5748)), 16, 240);
}

std::vector<EncodedFrame> EncodeVideo(const VideoStreamOptions& options, std::string* error) {
    std::vector<EncodedFrame> out;
    const char* name = options.hevc ? "libx265" : "libx264";
    const AVCodec* encoder = avcodec_find_encoder_by_name(name);
    if (encoder == nullptr) {
        if (error)
            *error = std::string(name) + " is not in this libavcodec";
        return out;
    }
    CodecContext context(avcodec_alloc_context3(encoder));
    context->width = options.width;
    context->height = options.height;
    context->pix_fmt = AV_PIX_FMT_YUV420P;
    context->time_base = AVRational{1, options.framesPerSecond};
    context->framerate = AVRational{options.framesPerSecond, 1};
    context->gop_size = options.keyFrameInterval;
    context->max_b_frames = 0;
    context->colorspace = AVCOL_SPC_BT709;
    context->color_primaries = AVCOL_PRI_BT709;
    context->color_trc = AVCOL_TRC_BT709;
    context->color_range = AVCOL_RANGE_MPEG;
    av_opt_set(context->priv_data, "preset", "ultrafast", 0);
    av_opt_set(context->priv_data, "tune", "zerolatency", 0);
    if (options.hevc) {
        // Parameter sets before every key frame (a live stream can be joined at any of them),
        // a fixed key frame interval, and a quiet encoder.
        const std::string params =
            "log-level=error:repeat-headers=1:keyint=" + std::to_string(options.keyFrameInterval) +
            ":min-keyint=" + std::to_string(options.keyFrameInterval) + ":scenecut=0:open-gop=0";
        av_opt_set(context->priv_data, "x265-params", params.c_str(), 0);
    } else {
        av_opt_set(context->priv_data, "x264-params", "scenecut=0", 0);
        context->keyint_min = options.keyFrameInterval;
    }
    if (avcodec_open2(context.get(), encoder, nullptr) < 0) {
        if (error)
            *error = std::string("cannot open ") + name;
        return out;
    }
    Frame frame(av_frame_alloc());
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = options.width;
    frame->height = options.height;
    Packet packet(av_packet_alloc());
    if (av_frame_get_buffer(frame.get(), 0) < 0) {
        if (error)
            *error = "no memory";
        return out;
    }
    for (int i = 0; i < options.frames; ++i) {
        av_frame_make_writable(frame.get());
        FillPicture(*frame, options, i);
        frame->pts = i;
        frame->pict_type =
            i % options.keyFrameInterval == 0 ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
        if (avcodec_send_frame(context.get(), frame.get()) < 0) {
            if (error)
                *error = "encoding failed";
            return {};
        }
        Collect(context.get(), packet.get(), -1, out);
    }
    avcodec_send_frame(context.get(), nullptr);
    Collect(context.get(), packet.get(), -1, out);
    return out;
}

std::vector<EncodedFrame> EncodeAac(int sampleRate, int channels, int frames, std::string* error) {
    std::vector<EncodedFrame> out;
    const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (encoder == nullptr) {
        if (error)
            *error = "no AAC encoder";
        return out;
    }
    CodecContext context(avcodec_alloc_context3(encoder));
    context->sample_rate = sampleRate;
    context->sample_fmt = AV_SAMPLE_FMT_FLTP;
    av_channel_layout_default(&context->ch_layout, channels);
    context->bit_rate = 64000 * channels;
    context->time_base = AVRational{1, sampleRate};
    if (avcodec_open2(context.get(), encoder, nullptr) < 0) {
        if (error)
            *error = "cannot open the AAC encoder";
        return out;
    }
    static const int kRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                 22050, 16000, 12000, 11025, 8000,  7350};
    int rateIndex = 15;
    for (int i = 0; i < 13; ++i) {
        if (kRates[i] == sampleRate)
            rateIndex = i;
    }
    Frame frame(av_frame_alloc());
    frame->format = AV_SAMPLE_FMT_FLTP;
    frame->nb_samples = context->frame_size;
    frame->sample_rate = sampleRate;
    av_channel_layout_copy(&frame->ch_layout, &context->ch_layout);
    av_frame_get_buffer(frame.get(), 0);
    Packet packet(av_packet_alloc());
    std::vector<EncodedFrame> raw;
    int64_t sample = 0;
    for (int i = 0; i < frames + 2; ++i) {
        av_frame_make_writable(frame.get());
        for (int c = 0; c < channels; ++c) {
            float* data = reinterpret_cast<float*>(frame->extended_data[c]);
            for (int s = 0; s < frame->nb_samples; ++s) {
                data[s] = 0.25f * static_cast<float>(
                                      std::sin(2 * M_PI * 440.0 * (sample + s) / sampleRate));
            }
        }
        frame->pts = sample;
        sample += frame->nb_samples;
        avcodec_send_frame(context.get(), frame.get());
        Collect(context.get(), packet.get(), 3, raw);
    }
    avcodec_send_frame(context.get(), nullptr);
    Collect(context.get(), packet.get(), 3, raw);
    // The encoder gives raw AAC blocks: put each behind an ADTS header.
    for (auto& block : raw) {
        if (static_cast<int>(out.size()) == frames)
            break;
        const int length = static_cast<int>(block.data.size()) + 7;
        EncodedFrame adts;
        adts.type = 3;
        adts.timestamp = block.timestamp;
        adts.data = {0xFF,
                     0xF1,  // sync, MPEG-4, no CRC
                     static_cast<uint8_t>((1 << 6) | (rateIndex << 2) | (channels >> 2)),  // LC
                     static_cast<uint8_t>(((channels & 3) << 6) | (length >> 11)),
                     static_cast<uint8_t>((length >> 3) & 0xFF),
                     static_cast<uint8_t>(((length & 7) << 5) | 0x1F),
                     0xFC};
        adts.data.insert(adts.data.end(), block.data.begin(), block.data.end());
        out.push_back(std::move(adts));
    }
    return out;
}

}  // namespace lumadec_test
