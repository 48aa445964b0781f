// Decodes captured stream frames with libavcodec, as a player would.
#pragma once

#include <vector>

#include "stream_capture.h"

namespace devicesim_test {

struct VideoDecode {
    int frames = 0;    // video frames handed to the decoder (from the first key frame on)
    int pictures = 0;  // pictures out of the decoder
    int errors = 0;    // packets or pictures the decoder rejected
    int width = 0;     // size of the last picture
    int height = 0;
    int sizeChanges = 0;  // pictures whose size differs from the first one
};

// `videoCodec`: 1 H.265, anything else H.264, as in the media information.
VideoDecode decodeVideo(const std::vector<CapturedFrame>& frames, unsigned videoCodec);

struct AudioDecode {
    int frames = 0;
    int errors = 0;
    long samples = 0;  // per channel
    int sampleRate = 0;
    int channels = 0;
    double toneHz = 0;  // from zero crossings of the first channel
};

AudioDecode decodeAudio(const std::vector<CapturedFrame>& frames);

}  // namespace devicesim_test
