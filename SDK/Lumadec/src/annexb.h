// A look into Annex B access units without decoding them.
#pragma once

#include <cstdint>

namespace lumadec {

enum class VideoCodec { H264, Hevc };

// True when the access unit holds a picture that decoding can start from: an IDR slice for H.264,
// an IRAP picture (BLA, IDR or CRA) for H.265. Scans the start codes only.
bool ContainsRandomAccessPicture(VideoCodec codec, const uint8_t* data, int size);

}  // namespace lumadec
