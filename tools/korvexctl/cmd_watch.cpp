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
    void tell(const std::string& event, const std::string& text, const Value& details = Value()) {
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

// What watch has seen of the device, and the changes it tells at each poll.
class DeviceWatch {
  public:
    DeviceWatch(const Device& device, WatchReport& report)
        : device_(device),
          report_(report),
          sysinfoKind_(*findRecord("sysinfo")),
          displayKind_(*findRecord("display")) {}

    void poll() {
        // Only a receiver has a display; a transmitter refuses GET_DISPLAY, and then there is
        // simply nothing more to watch.
        if (pollSysinfo()) {
            pollDisplay();
        }
    }

  private:
    // Whether the device answered.
    bool pollSysinfo() {
        SystemInfo info{};
        if (KORVEX_GetConfig(device_.session(), CFG_GET_SYSINFO, &info, sizeof info,
                             device_.options().timeoutMs, 0) != 0) {
            if (!answering_.has_value()) {
                report_.tell("silent", "does not answer");
            } else if (*answering_) {
                report_.tell("stopped answering", "stopped answering");
            }
            answering_ = false;
            return false;
        }
        const Value sysinfo = Value().add("sysinfo", recordValue(sysinfoKind_, &info));
        if (!answering_.has_value()) {
            report_.tell("answers", "answers: " + sysinfoText(info), sysinfo);
        } else if (!*answering_) {
            report_.tell("came back", "came back: " + sysinfoText(info), sysinfo);
        } else if (lastInfo_ && std::memcmp(&*lastInfo_, &info, sizeof info) != 0) {
            report_.tell("sysinfo", "system information now " + sysinfoText(info), sysinfo);
        }
        answering_ = true;
        lastInfo_ = info;
        return true;
    }

    void pollDisplay() {
        DisplayConfig config{};
        if (KORVEX_GetConfig(device_.session(), CFG_GET_DISPLAY, &config, sizeof config,
                             device_.options().timeoutMs, 0) != 0) {
            return;
        }
        const DisplayState now = displayState(config);
        if (lastDisplay_ && *lastDisplay_ == now) {
            return;
        }
        std::string text;
        Value changed = Value::list();
        auto change = [&](const char* name, const std::string& before, const std::string& after) {
            if (!lastDisplay_) {
                text += std::string(text.empty() ? "" : ", ") + name + " " + after;
            } else if (before != after) {
                text +=
                    std::string(text.empty() ? "" : ", ") + name + " " + before + " -> " + after;
                changed.append(Value::text(name));
            }
        };
        change("layout", lastDisplay_ ? lastDisplay_->layout : "", now.layout);
        change("audio", lastDisplay_ ? audioText(lastDisplay_->audio) : "", audioText(now.audio));
        change("resolution", lastDisplay_ ? lastDisplay_->resolution : "", now.resolution);
        Value details = recordValue(displayKind_, &config);
        details.add("changed", changed);
        report_.tell("display", text, Value().add("display", details));
        lastDisplay_ = now;
    }

    const Device& device_;
    WatchReport& report_;
    const RecordKind& sysinfoKind_;
    const RecordKind& displayKind_;
    std::optional<bool> answering_;
    std::optional<SystemInfo> lastInfo_;
    std::optional<DisplayState> lastDisplay_;
};

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
    DeviceWatch watch(device, report);
    platform::setInterruptMode(platform::InterruptMode::Stop);
    const auto deadline = Clock::now() + std::chrono::seconds(seconds);
    auto stopped = [&] {
        return platform::interruptRequested() || (seconds > 0 && Clock::now() >= deadline);
    };
    auto due = Clock::now();
    for (;;) {
        // The wait is cut into short steps so that Ctrl-C and the deadline take effect at once.
        while (Clock::now() < due) {
            if (stopped()) {
                return kExitOk;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(kWakeMs));
        }
        if (stopped()) {
            return kExitOk;
        }
        due = Clock::now() + std::chrono::milliseconds(intervalMs);
        watch.poll();
    }
}

}  // namespace korvexctl
