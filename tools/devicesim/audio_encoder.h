// Encodes a tone per channel with libavcodec's AAC encoder into ADTS frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "media_loop.h"

namespace devicesim {

constexpr int kAacFrameSamples = 1024;
constexpr size_t kAdtsHeaderSize = 7;

// Tone of a channel: a whole number of cycles per AAC frame, so every frame holds the same signal
// and a loop of frames repeats without a click. 375, 469, 563 and 750 Hz at 48 kHz.
double toneFrequency(int channel, int sampleRate);

// The 7-byte ADTS header (MPEG-4, AAC LC, no CRC) of a frame of `frameLength` bytes, header
// included.
void writeAdtsHeader(uint8_t* out, int frequencyIndex, int channels, size_t frameLength);

// A short loop of ADTS frames of the key's tone, taken after the encoder has settled.
bool encodeAudioLoop(const LoopKey& key, std::vector<std::vector<uint8_t>>& out,
                     std::string& error);

}  // namespace devicesim
