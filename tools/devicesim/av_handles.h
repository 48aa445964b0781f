// Owners for libavcodec objects, so every path frees them, and the encoders' one step.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
}

#include <functional>
#include <memory>
#include <string>

namespace devicesim {

struct CodecContextDeleter {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketDeleter {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};

using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;

inline std::string averrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// Sends `frame` to the encoder (nullptr: the end, so that it gives what it holds) and hands
// every packet that is ready to `take`. False, with `error` set, when the encoder fails.
inline bool encodeAndDrain(AVCodecContext* context, const AVFrame* frame, AVPacket* packet,
                           const std::function<void(const AVPacket&)>& take, std::string& error) {
    if (const int result = avcodec_send_frame(context, frame); result < 0) {
        error = "encoding failed: " + averrorText(result);
        return false;
    }
    for (;;) {
        const int result = avcodec_receive_packet(context, packet);
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) {
            return true;
        }
        if (result < 0) {
            error = "encoding failed: " + averrorText(result);
            return false;
        }
        take(*packet);
        av_packet_unref(packet);
    }
}

}  // namespace devicesim
