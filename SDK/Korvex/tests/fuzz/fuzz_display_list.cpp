// Feeds arbitrary DISPLAY values to the list reader and checks what it accepts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "display_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    DisplayWindow windows[KORVEX_MAX_DISPLAY_WINDOWS];
    int count = korvex::ParseDisplayList(text.c_str(), windows);
    if (count == korvex::kUnclosedDisplayList) {
        return 0;
    }
    if (count < 0 || count > KORVEX_MAX_DISPLAY_WINDOWS) {
        std::abort();
    }
    // What was accepted can be written again, and the written list reads back the same.
    char list[korvex::kDisplayListBufferSize];
    if (!korvex::FormatDisplayList(list, sizeof list, windows, count)) {
        std::abort();
    }
    DisplayWindow again[KORVEX_MAX_DISPLAY_WINDOWS];
    if (korvex::ParseDisplayList(list, again) != count) {
        std::abort();
    }
    return 0;
}
