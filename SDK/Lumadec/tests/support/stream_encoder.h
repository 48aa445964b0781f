// Short H.264 / H.265 / AAC streams made with libavcodec's encoders, for tests and benchmarks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lumadec_test {

// One frame as the stream library hands it over: type 1 key frame, 0 other video, 3 audio.
struct EncodedFrame {
    int32_t type = 0;
    uint64_t timestamp = 0;
    std::vector<uint8_t> data;
};

struct Rgb {
    int r = 0;
    int g = 0;
    int b = 0;
};

enum class Content {
    Solid,   // the whole picture one colour
    Moving,  // bars and a gradient that move from frame to frame, with fine detail
};

struct VideoStreamOptions {
    bool hevc = false;
    int width = 640;
    int height = 360;
    int framesPerSecond = 30;
    int frames = 30;
    int keyFrameInterval = 30;  // a key frame every this many frames, starting with the first
    Content content = Content::Solid;
    Rgb colour;  // for Solid
};

// Encodes the stream; every access unit is in Annex B form and every key frame carries its
// parameter sets. Returns an empty list (and sets `error`) when the encoder is missing.
std::vector<EncodedFrame> EncodeVideo(const VideoStreamOptions& options, std::string* error);

// Encodes a sine tone as AAC-LC in ADTS form, one frame (1024 samples) per entry.
std::vector<EncodedFrame> EncodeAac(int sampleRate, int channels, int frames, std::string* error);

// Turns an RGB colour into the limited-range BT.709 Y'CbCr that the test streams carry.
void RgbToYuv709(const Rgb& colour, int& y, int& u, int& v);

}  // namespace lumadec_test
