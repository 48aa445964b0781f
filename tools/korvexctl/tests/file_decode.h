// Decodes a file the way a player opens an elementary stream: libavcodec's parser cuts the bytes
// into packets (Annex B access units, ADTS frames) and the decoder turns them into pictures or
// sound. Written apart from korvexctl, so that both do not share a mistake.
#pragma once

#include <string>

namespace korvexctl_test {

struct FileDecode {
    bool opened = false;
    int packets = 0;  // what the parser found
    int decoded = 0;  // pictures, or audio frames
    int errors = 0;   // packets or frames the decoder rejected
    int width = 0;    // video: the size of the pictures
    int height = 0;
    int sizeChanges = 0;
    int sampleRate = 0;  // audio
    int channels = 0;
};

enum class FileCodec { H264, H265, Aac };

FileDecode decodeFile(const std::string& path, FileCodec codec);

}  // namespace korvexctl_test
