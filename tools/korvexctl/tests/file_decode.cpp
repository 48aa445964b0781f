#include "file_decode.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include <fstream>
#include <iterator>
#include <vector>

namespace korvexctl_test {

FileDecode decodeFile(const std::string& path, FileCodec codec) {
    FileDecode result;
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return result;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                               std::istreambuf_iterator<char>());
    const AVCodecID id = codec == FileCodec::H264   ? AV_CODEC_ID_H264
                         : codec == FileCodec::H265 ? AV_CODEC_ID_HEVC
                                                    : AV_CODEC_ID_AAC;
    const AVCodec* decoder = avcodec_find_decoder(id);
    AVCodecContext* context = avcodec_alloc_context3(decoder);
    AVCodecParserContext* parser = av_parser_init(id);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    if (decoder == nullptr || context == nullptr || parser == nullptr || packet == nullptr ||
        frame == nullptr || avcodec_open2(context, decoder, nullptr) < 0) {
        avcodec_free_context(&context);
        if (parser != nullptr) {
            av_parser_close(parser);
        }
        av_packet_free(&packet);
        av_frame_free(&frame);
        return result;
    }
    result.opened = true;

    auto take = [&]() {
        for (;;) {
            const int received = avcodec_receive_frame(context, frame);
            if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) {
                return;
            }
            if (received < 0) {
                ++result.errors;
                return;
            }
            ++result.decoded;
            if (codec == FileCodec::Aac) {
                result.sampleRate = frame->sample_rate;
                result.channels = frame->ch_layout.nb_channels;
            } else {
                if (result.width != 0 &&
                    (frame->width != result.width || frame->height != result.height)) {
                    ++result.sizeChanges;
                }
                result.width = frame->width;
                result.height = frame->height;
            }
            av_frame_unref(frame);
        }
    };
    auto send = [&](AVPacket* p) {
        if (avcodec_send_packet(context, p) < 0) {
            ++result.errors;
        }
        take();
    };

    // The parser reads ahead: padding keeps it inside the buffer.
    const size_t size = bytes.size();
    bytes.resize(size + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    size_t offset = 0;
    bool flushed = false;
    while (!flushed) {
        const int left = static_cast<int>(size - offset);
        uint8_t* data = nullptr;
        int length = 0;
        const int used = av_parser_parse2(parser, context, &data, &length,
                                          left > 0 ? bytes.data() + offset : nullptr, left,
                                          AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        if (used < 0) {
            ++result.errors;
            break;
        }
        offset += static_cast<size_t>(used);
        if (length > 0) {
            ++result.packets;
            packet->data = data;
            packet->size = length;
            send(packet);
        }
        if (left == 0 && length == 0) {
            flushed = true;
        }
    }
    send(nullptr);

    av_parser_close(parser);
    avcodec_free_context(&context);
    av_packet_free(&packet);
    av_frame_free(&frame);
    return result;
}

}  // namespace korvexctl_test
