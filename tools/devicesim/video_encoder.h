// Encodes a loop of the test picture with libx264 or libx265.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "media_loop.h"
#include "options.h"

namespace devicesim {

// Whether this libavcodec has the encoder for a video codec (0 H.264, 1 H.265).
bool videoEncoderAvailable(int videoCodec);

// Encodes `frameCount` pictures of the key's channel; the first is a key frame, and every picture
// gives exactly one access unit, in display order. Gives up when `abort` is set.
bool encodeVideoLoop(const LoopKey& key, int frameCount, Picture picture,
                     const std::atomic<bool>& abort, std::vector<EncodedFrame>& out,
                     std::string& error);

}  // namespace devicesim
