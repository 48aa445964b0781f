#include "audio_encoder.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

#include <cmath>

#include "av_handles.h"

namespace devicesim {

namespace {

constexpr int kToneCyclesPerFrame[5] = {8, 8, 10, 12, 16};
// The first frames carry the encoder's priming and settling; the loop starts after them.
constexpr int kSettlingFrames = 4;
constexpr int kLoopFrames = 16;

}  // namespace

double toneFrequency(int channel, int sampleRate) {
    const int cycles = kToneCyclesPerFrame[channel >= 1 && channel <= 4 ? channel : 0];
    return static_cast<double>(cycles) * sampleRate / kAacFrameSamples;
}

void writeAdtsHeader(uint8_t* out, int frequencyIndex, int channels, size_t frameLength) {
    const unsigned profile = 1;       // AAC LC (audio object type 2, minus one)
    const unsigned fullness = 0x7ff;  // variable bit rate
    out[0] = 0xff;
    out[1] = 0xf1;  // sync, MPEG-4, layer 0, no CRC
    out[2] = static_cast<uint8_t>(profile << 6 | (frequencyIndex & 0xf) << 2 | (channels >> 2 & 1));
    out[3] = static_cast<uint8_t>((channels & 3) << 6 | (frameLength >> 11 & 3));
    out[4] = static_cast<uint8_t>(frameLength >> 3 & 0xff);
    out[5] = static_cast<uint8_t>((frameLength & 7) << 5 | fullness >> 6);
    out[6] = static_cast<uint8_t>((fullness & 0x3f) << 2);  // one raw data block
}

bool encodeAudioLoop(const LoopKey& key, std::vector<std::vector<uint8_t>>& out,
                     std::string& error) {
    const int frequencyIndex = adtsFrequencyIndex(key.sampleRate);
    const AVCodec* codec = avcodec_find_encoder_by_name("aac");
    if (codec == nullptr || frequencyIndex < 0) {
        error = codec == nullptr ? "the aac encoder is not in this libavcodec"
                                 : "no ADTS index for " + std::to_string(key.sampleRate) + " Hz";
        return false;
    }
    CodecContextPtr context(avcodec_alloc_context3(codec));
    FramePtr frame(av_frame_alloc());
    PacketPtr packet(av_packet_alloc());
    if (!context || !frame || !packet) {
        error = "out of memory";
        return false;
    }
    context->sample_fmt = AV_SAMPLE_FMT_FLTP;
    context->sample_rate = key.sampleRate;
    av_channel_layout_default(&context->ch_layout, key.audioChannels);
    context->bit_rate = static_cast<int64_t>(key.audioBitrateKbps) * 1000;
    context->profile = FF_PROFILE_AAC_LOW;
    context->time_base = AVRational{1, key.sampleRate};
    if (const int result = avcodec_open2(context.get(), codec, nullptr); result < 0) {
        error = "cannot open aac: " + averrorText(result);
        return false;
    }
    frame->format = context->sample_fmt;
    frame->sample_rate = key.sampleRate;
    frame->nb_samples = context->frame_size;
    if (av_channel_layout_copy(&frame->ch_layout, &context->ch_layout) < 0 ||
        av_frame_get_buffer(frame.get(), 0) < 0 || context->frame_size != kAacFrameSamples) {
        error = "no sound buffer";
        return false;
    }

    const double step = 2.0 * M_PI * toneFrequency(key.channel, key.sampleRate) / key.sampleRate;
    std::vector<std::vector<uint8_t>> frames;
    const auto take = [&](const AVPacket& encoded) {
        std::vector<uint8_t> adts(kAdtsHeaderSize + static_cast<size_t>(encoded.size));
        writeAdtsHeader(adts.data(), frequencyIndex, key.audioChannels, adts.size());
        std::copy(encoded.data, encoded.data + encoded.size, adts.begin() + kAdtsHeaderSize);
        frames.push_back(std::move(adts));
    };
    const int total = kSettlingFrames + kLoopFrames + kSettlingFrames;
    for (int i = 0; i < total; ++i) {
        if (av_frame_make_writable(frame.get()) < 0) {
            error = "sound buffer";
            return false;
        }
        for (int channel = 0; channel < key.audioChannels; ++channel) {
            auto* samples = reinterpret_cast<float*>(frame->data[channel]);
            for (int n = 0; n < kAacFrameSamples; ++n) {
                samples[n] = static_cast<float>(0.25 * std::sin(step * n));
            }
        }
        frame->pts = static_cast<int64_t>(i) * kAacFrameSamples;
        if (!encodeAndDrain(context.get(), frame.get(), packet.get(), take, error)) {
            return false;
        }
    }
    if (!encodeAndDrain(context.get(), nullptr, packet.get(), take, error)) {
        return false;
    }
    if (static_cast<int>(frames.size()) < kSettlingFrames + kLoopFrames) {
        error = "the aac encoder gave only " + std::to_string(frames.size()) + " frames";
        return false;
    }
    out.assign(frames.begin() + kSettlingFrames, frames.begin() + kSettlingFrames + kLoopFrames);
    return true;
}

}  // namespace devicesim
