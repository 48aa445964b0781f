#include "video_encoder.h"

extern "C" {
#include <libavutil/dict.h>
}

#include "av_handles.h"
#include "device_state.h"
#include "test_picture.h"

namespace devicesim {

namespace {

const char* encoderName(int videoCodec) {
    return videoCodec == kVideoCodecH265 ? "libx265" : "libx264";
}

// An encoder for the key's settings, or nullptr with `error` set.
CodecContextPtr openVideoEncoder(const LoopKey& key, std::string& error) {
    const AVCodec* codec = avcodec_find_encoder_by_name(encoderName(key.videoCodec));
    if (codec == nullptr) {
        error = std::string(encoderName(key.videoCodec)) + " is not in this libavcodec";
        return nullptr;
    }
    CodecContextPtr context(avcodec_alloc_context3(codec));
    if (!context) {
        error = "out of memory";
        return nullptr;
    }
    context->width = key.width;
    context->height = key.height;
    context->time_base = AVRational{1, key.fps};
    context->framerate = AVRational{key.fps, 1};
    context->pix_fmt = AV_PIX_FMT_YUV420P;
    context->gop_size = key.keyGop;
    // Without B-frames every picture leaves the encoder as one access unit in display order, so
    // the loop can be cut and repeated anywhere after a key frame.
    context->max_b_frames = 0;
    // Constant bit rate with a buffer of four pictures, as a low-latency hardware encoder keeps:
    // a key frame may take no more than a few pictures' share of the rate.
    context->bit_rate = static_cast<int64_t>(key.bitrateKbps) * 1000;
    context->rc_max_rate = context->bit_rate;
    context->rc_buffer_size = static_cast<int>(context->bit_rate * 4 / key.fps);
    context->thread_count = 2;

    AVDictionary* options = nullptr;
    av_dict_set(&options, "preset", "ultrafast", 0);
    av_dict_set(&options, "tune", "zerolatency", 0);
    av_dict_set(&options, "forced-idr", "1", 0);
    if (key.videoCodec == kVideoCodecH265) {
        av_dict_set(&options, "x265-params", "log-level=error:open-gop=0:repeat-headers=1", 0);
    }
    const int opened = avcodec_open2(context.get(), codec, &options);
    av_dict_free(&options);
    if (opened < 0) {
        error = std::string("cannot open ") + codec->name + ": " + averrorText(opened);
        return nullptr;
    }
    return context;
}

}  // namespace

bool videoEncoderAvailable(int videoCodec) {
    return avcodec_find_encoder_by_name(encoderName(videoCodec)) != nullptr;
}

bool encodeVideoLoop(const LoopKey& key, int frameCount, Picture picture,
                     const std::atomic<bool>& abort, std::vector<EncodedFrame>& out,
                     std::string& error) {
    CodecContextPtr context = openVideoEncoder(key, error);
    FramePtr frame(av_frame_alloc());
    PacketPtr packet(av_packet_alloc());
    if (!context || !frame || !packet) {
        error = error.empty() ? "out of memory" : error;
        return false;
    }
    frame->format = context->pix_fmt;
    frame->width = key.width;
    frame->height = key.height;
    if (const int result = av_frame_get_buffer(frame.get(), 0); result < 0) {
        error = "no picture buffer: " + averrorText(result);
        return false;
    }
    const std::string caption =
        std::string(key.videoCodec == kVideoCodecH265 ? "H.265 " : "H.264 ") +
        std::to_string(key.width) + "x" + std::to_string(key.height) + " " +
        std::to_string(key.fps) + "FPS";
    const TestPicture source(key.width, key.height, key.channel, key.fps, frameCount, caption,
                             picture);

    out.clear();
    const auto take = [&](const AVPacket& encoded) {
        EncodedFrame accessUnit;
        accessUnit.type = (encoded.flags & AV_PKT_FLAG_KEY) ? kPacketKeyFrame : kPacketVideoFrame;
        accessUnit.data.assign(encoded.data, encoded.data + encoded.size);
        out.push_back(std::move(accessUnit));
    };
    for (int i = 0; i < frameCount; ++i) {
        if (abort) {
            error = "stopped";
            return false;
        }
        if (const int result = av_frame_make_writable(frame.get()); result < 0) {
            error = "picture buffer: " + averrorText(result);
            return false;
        }
        source.draw(i, frame->data, frame->linesize);
        frame->pts = i;
        frame->pict_type = i == 0 ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
        if (!encodeAndDrain(context.get(), frame.get(), packet.get(), take, error)) {
            return false;
        }
    }
    if (!encodeAndDrain(context.get(), nullptr, packet.get(), take, error)) {
        return false;
    }
    if (static_cast<int>(out.size()) != frameCount || out.front().type != kPacketKeyFrame) {
        error = "the encoder gave " + std::to_string(out.size()) + " access units for " +
                std::to_string(frameCount) + " pictures";
        return false;
    }
    return true;
}

}  // namespace devicesim
