#include "annexb.h"

namespace lumadec {

bool ContainsRandomAccessPicture(VideoCodec codec, const uint8_t* data, int size) {
    if (data == nullptr) {
        return false;
    }
    // Every NAL unit follows 00 00 01 (a four-byte start code ends in the same three bytes).
    for (int i = 0; i + 3 < size; ++i) {
        if (data[i] != 0 || data[i + 1] != 0 || data[i + 2] != 1) {
            continue;
        }
        const uint8_t header = data[i + 3];
        if (codec == VideoCodec::H264) {
            if ((header & 0x1f) == 5) {  // coded slice of an IDR picture
                return true;
            }
        } else {
            const int type = (header >> 1) & 0x3f;
            if (type >= 16 && type <= 21) {  // BLA_W_LP .. CRA_NUT
                return true;
            }
        }
        i += 2;
    }
    return false;
}

}  // namespace lumadec
