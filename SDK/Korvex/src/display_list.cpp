#include "display_list.h"

#include <cstdio>
#include <string_view>

#include "key_reader.h"

namespace korvex {

namespace {

constexpr size_t kEntrySize = 64;

// Reads "%d:%d,%d,%d,%d" from an entry that holds only digits, ':' and ','. Characters after the
// fifth number are ignored.
bool ParseEntry(const char* entry, DisplayWindow* window) {
    static constexpr char kSeparators[] = {':', ',', ',', ','};
    int32_t numbers[5];
    const char* p = entry;
    for (int i = 0; i < 5; ++i) {
        if (i > 0) {
            if (*p != kSeparators[i - 1]) {
                return false;
            }
            ++p;
        }
        const char* end = nullptr;
        numbers[i] = ParseInt32(p, &end);
        if (end == p) {
            return false;
        }
        p = end;
    }
    *window = DisplayWindow{numbers[0], numbers[1], numbers[2], numbers[3], numbers[4]};
    return true;
}

}  // namespace

bool FormatDisplayList(char* out, size_t capacity, const DisplayWindow* windows, int count) {
    if (count < 0 || count > KORVEX_MAX_DISPLAY_WINDOWS || capacity == 0) {
        return false;
    }
    size_t used = 0;
    out[0] = '\0';
    for (int i = 0; i < count; ++i) {
        const DisplayWindow& w = windows[i];
        int written = std::snprintf(out + used, capacity - used, "%s%d:%d,%d,%d,%d",
                                    i == 0 ? "" : " -a ", w.id, w.x, w.y, w.width, w.height);
        if (written < 0 || static_cast<size_t>(written) >= capacity - used) {
            return false;
        }
        used += static_cast<size_t>(written);
    }
    return true;
}

int ParseDisplayList(const char* value, DisplayWindow* windows) {
    char work[kDisplayListBufferSize] = {};
    const std::string_view text(value);
    const std::string_view line = text.substr(0, text.find("\r\n"));
    const size_t opened = line.find('[');
    if (opened != std::string_view::npos && line.find(']', opened) == std::string_view::npos) {
        return kUnclosedDisplayList;
    }
    // Cut to fit.
    (void)std::snprintf(work, sizeof work, "%.*s", static_cast<int>(line.size()), line.data());

    char slots[KORVEX_MAX_DISPLAY_WINDOWS][kEntrySize] = {};
    size_t slot = 0;
    size_t fill = 0;
    for (const char* p = work; *p != '\0' && *p != ']'; ++p) {
        if (*p == '-') {
            if (++slot == KORVEX_MAX_DISPLAY_WINDOWS) {
                break;  // entries past the fifth have no room in the record
            }
            fill = 0;
        } else if (((*p >= '0' && *p <= '9') || *p == ':' || *p == ',') && fill < kEntrySize - 1) {
            slots[slot][fill++] = *p;
        }
    }

    int count = 0;
    for (const char* entry : slots) {
        if (ParseEntry(entry, &windows[count])) {
            ++count;
        }
    }
    return count;
}

}  // namespace korvex
