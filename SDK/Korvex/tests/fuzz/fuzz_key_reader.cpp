// Feeds arbitrary answers to the key reader and through every Get command's field reading.
#include <cstddef>
#include <cstdint>
#include <string>

#include "key_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);  // zero-terminated copy
    static const char* const kKeys[] = {"WIDTH", "PORT", "PEER_ADDR", "RESOLUTION", "DISPLAY", "A"};
    for (const char* key : kKeys) {
        int32_t number;
        korvex::ReadNumberKey(text.c_str(), key, &number);
        char small[24];
        korvex::ReadTextKey(text.c_str(), key, small, sizeof small);
        char one[1];
        korvex::ReadTextKey(text.c_str(), key, one, sizeof one);
    }
    korvex::ParseInt32(text.c_str());
    return 0;
}
