#include "display_layout.h"

#include <cstring>
#include <vector>

#include "request.h"

namespace devicesim {

namespace {

struct OutputMode {
    const char* name;
    int width;
    int height;
    int rate;
};

const OutputMode kOutputModes[] = {
    {"1080P60", 1920, 1080, 60}, {"1080P50", 1920, 1080, 50},      {"1080P30", 1920, 1080, 30},
    {"720P60", 1280, 720, 60},   {"3840x2160P30", 3840, 2160, 30},
};

// Splits `text` at every occurrence of `separator`.
std::vector<std::string> split(const std::string& text, const std::string& separator) {
    std::vector<std::string> parts;
    size_t position = 0;
    for (;;) {
        const size_t next = text.find(separator, position);
        parts.push_back(text.substr(position, next - position));
        if (next == std::string::npos) {
            return parts;
        }
        position = next + separator.size();
    }
}

bool parseWindow(const std::string& text, DisplayWindow& out) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos) {
        return false;
    }
    const std::vector<std::string> edges = split(text.substr(colon + 1), ",");
    if (edges.size() != 4) {
        return false;
    }
    int32_t values[5];
    if (!parseInt32(text.substr(0, colon), values[0])) {
        return false;
    }
    for (int i = 0; i < 4; ++i) {
        if (!parseInt32(edges[i], values[i + 1])) {
            return false;
        }
    }
    out = DisplayWindow{values[0], values[1], values[2], values[3], values[4]};
    return true;
}

}  // namespace

bool parseWindowList(const std::string& text, DisplayConfig& out, std::string& error) {
    if (text.size() < 2 || text.front() != '[' || text.back() != ']') {
        error = "DISPLAY must be a bracketed window list";
        return false;
    }
    const std::string inner = text.substr(1, text.size() - 2);
    int count = 0;
    if (!inner.empty()) {
        const std::vector<std::string> entries = split(inner, " -a ");
        if (entries.size() > KORVEX_MAX_DISPLAY_WINDOWS) {
            error = "more than 5 windows";
            return false;
        }
        for (const std::string& entry : entries) {
            if (!parseWindow(entry, out.windows[count])) {
                error = "window \"" + entry + "\" is not ID:X,Y,WIDTH,HEIGHT";
                return false;
            }
            ++count;
        }
    }
    out.count = count;
    return true;
}

std::string formatWindowList(const DisplayConfig& config) {
    std::string text = "[";
    for (int i = 0; i < config.count && i < KORVEX_MAX_DISPLAY_WINDOWS; ++i) {
        const DisplayWindow& w = config.windows[i];
        if (i > 0) {
            text += " -a ";
        }
        text += std::to_string(w.id) + ":" + std::to_string(w.x) + "," + std::to_string(w.y) + "," +
                std::to_string(w.width) + "," + std::to_string(w.height);
    }
    return text + "]";
}

bool validateDisplay(const DisplayConfig& config, std::string& error) {
    if (config.count < 0 || config.count > KORVEX_MAX_DISPLAY_WINDOWS) {
        error = "window count must be 0..5";
        return false;
    }
    for (int i = 0; i < config.count; ++i) {
        const DisplayWindow& w = config.windows[i];
        if (w.id < 1 || w.id > 4) {
            error = "window " + std::to_string(i + 1) + " shows channel " + std::to_string(w.id) +
                    ", not 1..4";
            return false;
        }
        if (w.x < 0 || w.y < 0 || w.width <= 0 || w.height <= 0 || w.x > 100 - w.width ||
            w.y > 100 - w.height) {
            error = "window " + std::to_string(i + 1) + " lies outside the picture (percent)";
            return false;
        }
    }
    int width = 0;
    int height = 0;
    int rate = 0;
    if (!outputModeSize(config.resolution, width, height, rate)) {
        error = "unknown output mode \"" + std::string(config.resolution) + "\"";
        return false;
    }
    if (config.audio != -1 && (config.audio < 1 || config.audio > 4)) {
        error = "AUDIO must be 1..4 or -1";
        return false;
    }
    return true;
}

bool outputModeSize(const std::string& mode, int& width, int& height, int& rate) {
    for (const OutputMode& known : kOutputModes) {
        if (mode == known.name) {
            width = known.width;
            height = known.height;
            rate = known.rate;
            return true;
        }
    }
    return false;
}

std::string describeOutput(const DisplayConfig& config, int singleChannelRate) {
    std::string text = std::string(config.resolution) + ", sound ";
    text += config.audio >= 1 ? "CH" + std::to_string(config.audio) : std::string("off");
    if (config.count == 0) {
        return text + ", no picture";
    }
    if (config.count == 1 && config.windows[0].width == 100 && config.windows[0].height == 100) {
        return text + ", CH" + std::to_string(config.windows[0].id) + " full screen at " +
               std::to_string(singleChannelRate) + " fps";
    }
    text += ", windows";
    for (int i = 0; i < config.count; ++i) {
        const DisplayWindow& w = config.windows[i];
        text += " CH" + std::to_string(w.id) + " at " + std::to_string(w.x) + "," +
                std::to_string(w.y) + " " + std::to_string(w.width) + "x" +
                std::to_string(w.height) + "%";
    }
    return text;
}

}  // namespace devicesim
