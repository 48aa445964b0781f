// watch: polls the device as the desktop program's receiver monitor does (GET_SYSINFO about
// every 3 s) and tells each change of state with a timestamp: whether it answers, its system
// information, and the receiver's layout, audio and resolution.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <thread>

#include "commands.h"
#include "device.h"
#include "output.h"
#include "platform.h"
#include "records.h"

namespace korvexctl {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kDefaultIntervalMs = 3000;
constexpr int kWakeMs = 50;

struct DisplayState {
    std::string layout;  // a layout name, or the window list of a custom one
    int audio = 0;
    std::string resolution;
    DisplayConfig config{};

    bool operator==(const DisplayState& other) const {
        return layout == other.layout && audio == other.audio && resolution == other.resolution;
    }
};

DisplayState displayState(const DisplayConfig& config) {
    DisplayState state;
    state.config = config;
    state.layout = layoutName(config);
    if (state.layout == "custom") {
        state.layout.clear();
        for (int i = 0; i < config.count && i < KORVEX_MAX_DISPLAY_WINDOWS; ++i) {
            state.layout += (i > 0 ? " " : "") + windowText(config.windows[i]);
        }
    }
    state.audio = config.audio;
    state.resolution = fieldText(config.resolution);
    return state;
}

std::string audioText(int audio) {
    return audio == -1 ? "none" : std::to_string(audio);
}

class WatchReport {
  public:
    WatchReport(bool json, std::string device) : json_(json), device_(std::move(device)) {}

    // One change: `text` for people, `details` (an object) for scripts.
    void tell(const std::string& event, const std::string& text, Value details = Value()) {
        const std::string time = localTimestamp();
        if (json_) {
            Value line;
            line.add("time", time).add("device", device_).add("event", event);
            for (size_t i = 0; i < details.names().size(); ++i) {
                line.add(details.names()[i], details.values()[i]);
            }
            printResult(line, true);
        } else {
            std::printf("%s  %s %s\n", time.c_str(), device_.c_str(), text.c_str());
            std::fflush(stdout);
        }
    }

  private:
    bool json_;
    std::string device_;
};

std::string sysinfoText(const SystemInfo& s) {
    return fieldText(s.model) + " " + fieldText(s.softVer) + " (hardware " + fieldText(s.hardVer) +
           ", serial " + fieldText(s.serial) + ")";
}

}  // namespace

std::string watchHelp() {
    return R"(Usage: korvexctl --host ADDR watch [--interval MS] [--seconds N]

Polls the device like the desktop program's receiver monitor, GET_SYSINFO about every 3 s,
and prints each change of state with a timestamp: it answers (with its model and versions),
stops answering, comes back, its system information changes (after an upgrade), and, on a
receiver (GET_DISPLAY), its layout, audio channel and output resolution when they change.
Nothing is printed while nothing changes. Ctrl-C ends it (exit status 0).

  --interval MS   time from poll to poll, 100..3600000 (default 3000)
  --seconds N     stop after N seconds, 1..86400 (default: until Ctrl-C)

--timeout applies to each request. With --json, one object per change:
{"time":"...","device":"...","event":"answers","sysinfo":{...}} and so on; the events are
answers, silent, stopped answering, came back, sysinfo and display.
)";
}

int runWatch(const GlobalOptions& options, const Arguments& arguments) {
    const std::string command = "watch";
    OptionParser parser(command);
    int intervalMs = kDefaultIntervalMs;
    int seconds = 0;
    parser.value("--interval", [&](const std::string& v) {
        intervalMs = static_cast<int>(parseInteger(v, 100, 3600000, "--interval", command));
    });
    parser.value("--seconds", [&](const std::string& v) {
        seconds = static_cast<int>(parseInteger(v, 1, 86400, "--seconds", command));
    });
    Arguments positional;
    if (!parser.parse(arguments, positional)) {
        return printHelp(watchHelp());
    }
    if (!positional.empty()) {
        throw UsageError("unexpected \"" + positional[0] + "\"", command);
    }

    Device device(options, command);
    WatchReport report(options.json, device.name());
    platform::setInterruptMode(platform::InterruptMode::Stop);
    const RecordKind& sysinfoKind = *findRecord("sysinfo");
    const RecordKind& displayKind = *findRecord("display");
    const auto begin = Clock::now();
    const auto deadline = begin + std::chrono::seconds(seconds);

    std::optional<bool> answering;
    std::optional<SystemInfo> lastInfo;
    std::optional<DisplayState> lastDisplay;
    auto due = begin;
    for (;;) {
        // The wait is cut into short steps so that Ctrl-C and the deadline take effect at once.
        while (Clock::now() < due) {
            if (platform::interruptRequested() || (seconds > 0 && Clock::now() >= deadline)) {
                return kExitOk;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(kWakeMs));
        }
        if (platform::interruptRequested() || (seconds > 0 && Clock::now() >= deadline)) {
            return kExitOk;
        }
        const auto pollStart = Clock::now();
        due = pollStart + std::chrono::milliseconds(intervalMs);

        SystemInfo info{};
        const bool answered = KORVEX_GetConfig(device.session(), CFG_GET_SYSINFO, &info,
                                               sizeof info, options.timeoutMs, 0) == 0;
        if (!answered) {
            if (!answering.has_value()) {
                report.tell("silent", "does not answer");
            } else if (*answering) {
                report.tell("stopped answering", "stopped answering");
            }
            answering = false;
            continue;
        }
        const Value infoValue = recordValue(sysinfoKind, &info);
        if (!answering.has_value()) {
            report.tell("answers", "answers: " + sysinfoText(info),
                        Value().add("sysinfo", infoValue));
        } else if (!*answering) {
            report.tell("came back", "came back: " + sysinfoText(info),
                        Value().add("sysinfo", infoValue));
        } else if (lastInfo && std::memcmp(&*lastInfo, &info, sizeof info) != 0) {
            report.tell("sysinfo", "system information now " + sysinfoText(info),
                        Value().add("sysinfo", infoValue));
        }
        answering = true;
        lastInfo = info;

        // Only a receiver has a display; a transmitter refuses GET_DISPLAY, and then there is
        // simply nothing more to watch.
        DisplayConfig config{};
        if (KORVEX_GetConfig(device.session(), CFG_GET_DISPLAY, &config, sizeof config,
                             options.timeoutMs, 0) != 0) {
            continue;
        }
        const DisplayState now = displayState(config);
        if (lastDisplay && *lastDisplay == now) {
            continue;
        }
        std::string text;
        Value changed = Value::list();
        auto change = [&](const char* name, const std::string& before, const std::string& after) {
            if (!lastDisplay) {
                text += std::string(text.empty() ? "" : ", ") + name + " " + after;
            } else if (before != after) {
                text +=
                    std::string(text.empty() ? "" : ", ") + name + " " + before + " -> " + after;
                changed.append(Value::text(name));
            }
        };
        change("layout", lastDisplay ? lastDisplay->layout : "", now.layout);
        change("audio", lastDisplay ? audioText(lastDisplay->audio) : "", audioText(now.audio));
        change("resolution", lastDisplay ? lastDisplay->resolution : "", now.resolution);
        Value details = recordValue(displayKind, &config);
        details.add("changed", changed);
        report.tell("display", text, Value().add("display", details));
        lastDisplay = now;
    }
}

}  // namespace korvexctl
