#include "records.h"

#include <cctype>
#include <climits>
#include <cstring>

#include "command_line.h"

namespace korvexctl {

namespace {

constexpr long long kMin32 = INT32_MIN;
constexpr long long kMax32 = INT32_MAX;

RecordField number(const char* name, size_t offset, long long minimum, long long maximum,
                   const char* help) {
    return RecordField{name, FieldType::Integer, offset, 0, minimum, maximum, help};
}

RecordField text(const char* name, size_t offset, size_t capacity, const char* help) {
    return RecordField{name, FieldType::Text, offset, capacity, 0, 0, help};
}

std::string lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

}  // namespace

#define KVX_NUMBER(type, field, minimum, maximum, help) \
    number(#field, offsetof(type, field), minimum, maximum, help)
#define KVX_TEXT(type, field, help) text(#field, offsetof(type, field), sizeof(type::field), help)

const std::vector<RecordKind>& recordKinds() {
    static const std::vector<RecordKind> kinds = {
        {"sysinfo",
         "software and hardware versions, serial number and model (read-only)",
         CFG_GET_SYSINFO,
         "GET_SYSINFO",
         0,
         nullptr,
         sizeof(SystemInfo),
         Selector::None,
         {KVX_TEXT(SystemInfo, softVer, ""), KVX_TEXT(SystemInfo, hardVer, ""),
          KVX_TEXT(SystemInfo, serial, ""), KVX_TEXT(SystemInfo, model, "")}},
        {"videosrc",
         "the video source: picture size, frequency, scan (read-only)",
         CFG_GET_VIDEOSRC,
         "GET_VIDEOSRC",
         0,
         nullptr,
         sizeof(VideoSourceInfo),
         Selector::None,
         {KVX_NUMBER(VideoSourceInfo, width, kMin32, kMax32, ""),
          KVX_NUMBER(VideoSourceInfo, height, kMin32, kMax32, ""),
          KVX_NUMBER(VideoSourceInfo, freq, kMin32, kMax32, ""),
          KVX_NUMBER(VideoSourceInfo, scan, kMin32, kMax32, "")}},
        {"audiosrc",
         "the audio source: sample rate and channels (read-only)",
         CFG_GET_AUDIOSRC,
         "GET_AUDIOSRC",
         0,
         nullptr,
         sizeof(AudioSourceInfo),
         Selector::None,
         {KVX_NUMBER(AudioSourceInfo, samples, kMin32, kMax32, ""),
          KVX_NUMBER(AudioSourceInfo, channel, kMin32, kMax32, "")}},
        {"videoenc",
         "one channel's video encoder",
         CFG_GET_VIDEOENC,
         "GET_VIDEOENC",
         CFG_SET_VIDEOENC,
         "SET_VIDEOENC",
         sizeof(VideoEncodeConfig),
         Selector::Channel,
         {KVX_NUMBER(VideoEncodeConfig, codec, kMin32, kMax32, "video coding (0 H.264, 1 H.265)"),
          KVX_NUMBER(VideoEncodeConfig, width, 1, 65535, "picture width in pixels"),
          KVX_NUMBER(VideoEncodeConfig, height, 1, 65535, "picture height in pixels"),
          KVX_NUMBER(VideoEncodeConfig, frameRate, 1, 1000, "frames per second (30 or 60)"),
          KVX_NUMBER(VideoEncodeConfig, bitrate, 1, kMax32, "bit rate (kbit/s)"),
          KVX_NUMBER(VideoEncodeConfig, rc, kMin32, kMax32, "rate control mode"),
          KVX_NUMBER(VideoEncodeConfig, keyGop, 1, kMax32,
                     "frames from key frame to key frame (twice the frame rate)"),
          KVX_NUMBER(VideoEncodeConfig, quality, kMin32, kMax32, "quality level"),
          KVX_NUMBER(VideoEncodeConfig, profile, kMin32, kMax32, "coding profile")}},
        {"audioenc",
         "the audio encoder",
         CFG_GET_AUDIOENC,
         "GET_AUDIOENC",
         CFG_SET_AUDIOENC,
         "SET_AUDIOENC",
         sizeof(AudioEncodeConfig),
         Selector::None,
         {KVX_NUMBER(AudioEncodeConfig, enable, 0, 1, "0 off, 1 on"),
          KVX_NUMBER(AudioEncodeConfig, codec, kMin32, kMax32, "audio coding (0 AAC)"),
          KVX_NUMBER(AudioEncodeConfig, samples, 1, kMax32, "sample rate in Hz"),
          KVX_NUMBER(AudioEncodeConfig, channel, 1, 64, "channel count"),
          KVX_NUMBER(AudioEncodeConfig, bitWidth, 1, 64, "bits per sample"),
          KVX_NUMBER(AudioEncodeConfig, bitrate, 1, kMax32, "bit rate (kbit/s)")}},
        {"ttl",
         "one serial TTL port (--index 1 or 2)",
         CFG_GET_TTL,
         "GET_TTL",
         CFG_SET_TTL,
         "SET_TTL",
         sizeof(TtlConfig),
         Selector::TtlPort,
         {KVX_NUMBER(TtlConfig, chn, 0, 0, ""),
          KVX_NUMBER(TtlConfig, client, kMin32, kMax32, "client setting"),
          KVX_NUMBER(TtlConfig, mode, kMin32, kMax32, "port mode"),
          KVX_NUMBER(TtlConfig, baudrate, 1, kMax32,
                     "baud rate: 115200, 57600, 38400, 19200, 9600, ... 300"),
          KVX_NUMBER(TtlConfig, port, 0, 65535, "local network port"),
          KVX_NUMBER(TtlConfig, peerPort, 0, 65535, "peer's network port"),
          KVX_TEXT(TtlConfig, peerAddr, "peer's address")}},
        {"recv",
         "one channel's receive settings (--index N)",
         CFG_GET_RECV,
         "GET_RECV",
         CFG_SET_RECV,
         "RECV",
         sizeof(ReceiveConfig),
         Selector::RecvIndex,
         {KVX_NUMBER(ReceiveConfig, chn, 0, 0, ""),
          KVX_TEXT(ReceiveConfig, rendpt, "address to receive from"),
          KVX_NUMBER(ReceiveConfig, rport, 0, 65535, "port to receive on"),
          KVX_NUMBER(ReceiveConfig, transport, 0, 1, "0 or tcp, 1 or udp")}},
        {"display",
         "the receiver's HDMI output: layout, audio channel, resolution",
         CFG_GET_DISPLAY,
         "GET_DISPLAY",
         CFG_SET_DISPLAY,
         "SET_DISPLAY",
         sizeof(DisplayConfig),
         Selector::None,
         {KVX_NUMBER(DisplayConfig, audio, -1, 4, "the channel whose sound plays, 1..4, or none"),
          KVX_TEXT(DisplayConfig, resolution, "output mode: 1080P60 (1080p), 3840x2160P30 (4k)")}},
    };
    return kinds;
}

#undef KVX_NUMBER
#undef KVX_TEXT

const RecordKind* findRecord(const std::string& name) {
    for (const RecordKind& kind : recordKinds()) {
        if (name == kind.name) {
            return &kind;
        }
    }
    return nullptr;
}

std::string recordNames(bool settableOnly) {
    std::string names;
    for (const RecordKind& kind : recordKinds()) {
        if (!settableOnly || kind.setCode != 0) {
            names += (names.empty() ? "" : ", ") + std::string(kind.name);
        }
    }
    return names;
}

Value recordValue(const RecordKind& kind, const void* record) {
    const auto* bytes = static_cast<const unsigned char*>(record);
    Value value;
    for (const RecordField& field : kind.fields) {
        if (field.type == FieldType::Integer) {
            int32_t number = 0;
            std::memcpy(&number, bytes + field.offset, sizeof number);
            Value shown = Value::integer(number);
            if (kind.getCode == CFG_GET_DISPLAY && number == -1) {
                // The display's audio: keep the number for scripts, say what it means to people.
                shown.shownAs("none");
            }
            value.add(field.name, shown);
        } else {
            const char* start = reinterpret_cast<const char*>(bytes + field.offset);
            value.add(field.name, std::string(start, strnlen(start, field.capacity)));
        }
    }
    if (kind.getCode == CFG_GET_DISPLAY) {
        const auto& display = *static_cast<const DisplayConfig*>(record);
        const int count = display.count < 0 ? 0
                                            : (display.count > KORVEX_MAX_DISPLAY_WINDOWS
                                                   ? KORVEX_MAX_DISPLAY_WINDOWS
                                                   : display.count);
        Value windows = Value::list();
        std::string shown;
        for (int i = 0; i < count; ++i) {
            const DisplayWindow& w = display.windows[i];
            windows.append(Value()
                               .add("id", w.id)
                               .add("x", w.x)
                               .add("y", w.y)
                               .add("width", w.width)
                               .add("height", w.height)
                               .shownAs(windowText(w)));
            shown += (i > 0 ? " " : "") + windowText(w);
        }
        value.add("count", display.count);
        value.add("windows", windows.shownAs(shown.empty() ? "none" : shown));
        value.add("layout", layoutName(display));
    }
    return value;
}

void applyField(const RecordField& field, void* record, const std::string& text,
                const std::string& command) {
    auto* bytes = static_cast<unsigned char*>(record);
    const std::string option = "--" + lower(field.name);
    if (field.type == FieldType::Text) {
        if (text.size() > field.capacity - 1) {
            throw UsageError(option + ": \"" + text + "\" is longer than " +
                                 std::to_string(field.capacity - 1) + " characters",
                             command);
        }
        for (char c : text) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
                throw UsageError(option + ": control characters cannot be sent", command);
            }
        }
        std::memset(bytes + field.offset, 0, field.capacity);
        std::memcpy(bytes + field.offset, text.c_str(), text.size() + 1);
        return;
    }
    std::string value = text;
    // The few fields whose numbers have names.
    if (std::strcmp(field.name, "transport") == 0) {
        if (lower(text) == "tcp") {
            value = "0";
        } else if (lower(text) == "udp") {
            value = "1";
        }
    }
    const int32_t number =
        static_cast<int32_t>(parseInteger(value, field.minimum, field.maximum, option, command));
    std::memcpy(bytes + field.offset, &number, sizeof number);
}

bool isSelectorField(const RecordField& field) {
    return std::strcmp(field.name, "chn") == 0;
}

const std::vector<DisplayLayout>& displayLayouts() {
    static const std::vector<DisplayLayout> layouts = {
        {"ch1", 1, {{1, 0, 0, 100, 100}}},
        {"ch2", 1, {{2, 0, 0, 100, 100}}},
        {"ch3", 1, {{3, 0, 0, 100, 100}}},
        {"ch4", 1, {{4, 0, 0, 100, 100}}},
        {"ch12", 2, {{1, 0, 0, 50, 100}, {2, 50, 0, 50, 100}}},
        {"ch34", 2, {{3, 0, 0, 50, 100}, {4, 50, 0, 50, 100}}},
        {"quad",
         4,
         {{1, 0, 0, 50, 50}, {2, 50, 0, 50, 50}, {3, 0, 50, 50, 50}, {4, 50, 50, 50, 50}}},
    };
    return layouts;
}

std::string layoutName(const DisplayConfig& display) {
    if (display.count == 0) {
        return "none";
    }
    for (const DisplayLayout& layout : displayLayouts()) {
        if (layout.count != display.count) {
            continue;
        }
        bool same = true;
        for (int i = 0; i < layout.count && same; ++i) {
            const DisplayWindow& a = layout.windows[i];
            const DisplayWindow& b = display.windows[i];
            same = a.id == b.id && a.x == b.x && a.y == b.y && a.width == b.width &&
                   a.height == b.height;
        }
        if (same) {
            return layout.name;
        }
    }
    return "custom";
}

std::string windowText(const DisplayWindow& w) {
    return std::to_string(w.id) + ":" + std::to_string(w.x) + "," + std::to_string(w.y) + "," +
           std::to_string(w.width) + "," + std::to_string(w.height);
}

DisplayWindow parseWindow(const std::string& text, const std::string& command) {
    const std::string shape = "--window: \"" + text +
                              "\" is not ID:X,Y,W,H (channel 1..4, then left, top, width and " +
                              "height in percent 0..100, e.g. 2:50,0,50,100)";
    std::vector<std::string> parts;
    std::string current;
    for (char c : text) {
        if ((c == ':' && parts.empty()) || (c == ',' && !parts.empty())) {
            parts.push_back(current);
            current.clear();
        } else if (std::isdigit(static_cast<unsigned char>(c))) {
            current += c;
        } else {
            throw UsageError(shape, command);
        }
    }
    parts.push_back(current);
    if (parts.size() != 5) {
        throw UsageError(shape, command);
    }
    for (const std::string& part : parts) {
        if (part.empty() || part.size() > 3) {
            throw UsageError(shape, command);
        }
    }
    DisplayWindow window{};
    window.id = static_cast<int32_t>(parseInteger(parts[0], 1, 4, "--window channel", command));
    window.x = static_cast<int32_t>(parseInteger(parts[1], 0, 100, "--window X", command));
    window.y = static_cast<int32_t>(parseInteger(parts[2], 0, 100, "--window Y", command));
    window.width = static_cast<int32_t>(parseInteger(parts[3], 0, 100, "--window W", command));
    window.height = static_cast<int32_t>(parseInteger(parts[4], 0, 100, "--window H", command));
    return window;
}

std::string resolutionText(const std::string& text) {
    const std::string key = lower(text);
    if (key == "1080p" || key == "1080p60" || key == "1920x1080p60") {
        return "1080P60";
    }
    if (key == "4k" || key == "4k30" || key == "2160p" || key == "2160p30" ||
        key == "3840x2160p30") {
        return "3840x2160P30";
    }
    return text;
}

int parseDisplayAudio(const std::string& text, const std::string& command) {
    if (lower(text) == "none") {
        return -1;
    }
    const long long value = parseInteger(text, -1, 4, "--audio", command);
    if (value == 0) {
        throw UsageError("--audio: 0 is no channel (allowed: 1..4, or none)", command);
    }
    return static_cast<int>(value);
}

}  // namespace korvexctl
