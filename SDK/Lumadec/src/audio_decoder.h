// AAC (ADTS) decoding to interleaved float samples.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "packet_buffer.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace lumadec {

// Interleaved 32-bit float samples, valid until the next Decode call.
struct AudioBlock {
    const float* samples = nullptr;
    int frames = 0;  // samples per channel
    int channels = 0;
    int sampleRate = 0;
};

class AudioSink {
  public:
    virtual void onAudio(const AudioBlock& block) = 0;

  protected:
    ~AudioSink() = default;
};

struct AudioDecodeResult {
    int blocks = 0;
    bool error = false;
};

class AudioDecoder {
  public:
    // Returns nullptr when libavcodec has no AAC decoder or memory is short.
    static std::unique_ptr<AudioDecoder> create();
    ~AudioDecoder();
    AudioDecoder(const AudioDecoder&) = delete;
    AudioDecoder& operator=(const AudioDecoder&) = delete;

    // Decodes one ADTS frame (the header tells rate and channels).
    AudioDecodeResult decode(const uint8_t* data, int size, AudioSink& sink);

  private:
    AudioDecoder() = default;
    bool interleave(const AVFrame& frame, AudioBlock& block);
    bool receiveBlocks(AudioSink& sink, int& blocks);

    AVCodecContext* context_ = nullptr;
    AVFrame* frame_ = nullptr;
    PacketBuffer input_;
    std::vector<float> interleaved_;  // grows to the largest frame, then stays
};

}  // namespace lumadec
