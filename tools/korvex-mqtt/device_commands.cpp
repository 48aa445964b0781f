#include "device_commands.h"

#include <algorithm>
#include <cstring>

#include "device_answer.h"

namespace korvex_mqtt {

namespace {

using korvexctl::displayLayouts;
using korvexctl::wholeNumber;

// The window's waits for each request.
constexpr int kDisplayReadTimeoutMs = 1000;
constexpr int kDisplayWriteTimeoutMs = 2000;
constexpr int kEncoderReadTimeoutMs = 1000;
constexpr int kEncoderWriteTimeoutMs = 3000;
constexpr int kTtlReadTimeoutMs = 1000;
constexpr int kTtlWriteTimeoutMs = 2000;
constexpr int kActuatorTimeoutMs = 2000;
constexpr int kResetTimeoutMs = 1000;  // Korvex's own receive wait of SYSTEM_RESET

// The window's TTLControl rates.
const int kBaudRates[] = {115200, 57600, 38400, 19200, 9600, 4800, 2400, 1200, 300};

const char kResolution1080[] = "1080P60";
const char kResolution4k[] = "3840x2160P30";

const char kCommands[] = "layout, audio, resolution, frameRate, ttl, actuator, reset, id";

// An object that must hold exactly `names`, whole numbers in the ranges given, into `out`.
bool readNumbers(const Json& object, const char* what,
                 std::initializer_list<std::pair<const char*, std::pair<int, int>>> names,
                 std::vector<int>& out, std::string& error) {
    std::string shape;
    for (const auto& name : names) {
        shape += (shape.empty() ? "\"" : ", \"") + std::string(name.first) + "\": N";
    }
    for (const auto& name : names) {
        long long value = 0;
        if (!object.is_object() || object.size() != names.size() || !object.contains(name.first)) {
            error = std::string(what) + " is not {" + shape + "}";
            return false;
        }
        if (!wholeNumber(object[name.first], name.second.first, name.second.second, value)) {
            error = std::string(what) + "." + name.first + ": " + object[name.first].dump() +
                    " is out of range (allowed: " + std::to_string(name.second.first) + ".." +
                    std::to_string(name.second.second) + ")";
            return false;
        }
        out.push_back(static_cast<int>(value));
    }
    return true;
}

bool parseAudio(const Json& value, int& out, std::string& error) {
    const std::string text = value.is_string() ? value.get<std::string>() : "";
    long long number = 0;
    if (text == "none" || (wholeNumber(value, -1, -1, number))) {
        out = -1;
    } else if (wholeNumber(value, 1, 4, number)) {
        out = static_cast<int>(number);
    } else if (text.size() == 3 && text.compare(0, 2, "ch") == 0 && text[2] >= '1' &&
               text[2] <= '4') {
        out = text[2] - '0';
    } else {
        error = "audio: " + value.dump() + " is out of range (allowed: 1..4, ch1..ch4, none, -1)";
        return false;
    }
    return true;
}

bool parseDisplayMember(const std::string& key, const Json& value, DeviceCommand& out,
                        std::string& error) {
    if (key == "layout") {
        for (const auto& layout : displayLayouts()) {
            if (value.is_string() && value.get<std::string>() == layout.name) {
                out.layout = layout.name;
                return true;
            }
        }
        error = "layout: " + value.dump() +
                " is out of range (allowed: ch1, ch2, ch3, ch4, ch12, ch34, quad)";
        return false;
    }
    if (key == "audio") {
        int audio = 0;
        const bool ok = parseAudio(value, audio, error);
        out.audio = audio;
        return ok;
    }
    if (key == "resolution") {
        const std::string text =
            value.is_string() ? korvexctl::resolutionText(value.get<std::string>()) : "";
        if (text != kResolution1080 && text != kResolution4k) {
            error = "resolution: " + value.dump() +
                    " is out of range (allowed: 1080P60 or 1080p, 3840x2160P30 or 4k)";
            return false;
        }
        out.resolution = text;
        return true;
    }
    long long rate = 0;
    if (!wholeNumber(value, 30, 60, rate) || (rate != 30 && rate != 60)) {
        error = "frameRate: " + value.dump() + " is out of range (allowed: 30, 60)";
        return false;
    }
    out.frameRate = static_cast<int>(rate);
    return true;
}

bool parseMember(const std::string& key, const Json& value, DeviceCommand& out,
                 std::string& error) {
    std::vector<int> numbers;
    if (key == "layout" || key == "audio" || key == "resolution" || key == "frameRate") {
        out.kind = DeviceCommand::Kind::Display;
        return parseDisplayMember(key, value, out, error);
    }
    if (key == "ttl") {
        out.kind = DeviceCommand::Kind::Ttl;
        if (!readNumbers(value, "ttl", {{"index", {1, 2}}, {"baudrate", {300, 115200}}}, numbers,
                         error)) {
            return false;
        }
        out.ttlIndex = numbers[0];
        out.baudrate = numbers[1];
        if (std::find(std::begin(kBaudRates), std::end(kBaudRates), out.baudrate) ==
            std::end(kBaudRates)) {
            error = "ttl.baudrate: " + std::to_string(out.baudrate) +
                    " is out of range (allowed: 115200, 57600, 38400, 19200, 9600, 4800, 2400, "
                    "1200, 300)";
            return false;
        }
        return true;
    }
    if (key == "actuator") {
        out.kind = DeviceCommand::Kind::Actuator;
        if (!readNumbers(value, "actuator",
                         {{"id", {0, korvexctl::kActuatorLastId}}, {"goto", {0, 100}}}, numbers,
                         error)) {
            return false;
        }
        out.actuatorId = numbers[0];
        out.percent = numbers[1];
        return true;
    }
    if (key == "reset") {
        out.kind = DeviceCommand::Kind::Reset;
        if (value != true) {
            error = "reset: " + value.dump() + " is out of range (allowed: true)";
            return false;
        }
        return true;
    }
    error = "unknown field \"" + key + "\" (allowed: " + kCommands + ")";
    return false;
}

CommandResult answered(DeviceAnswer answer, const char* step) {
    CommandResult result;
    result.result = answer == DeviceAnswer::Done      ? "done"
                    : answer == DeviceAnswer::Refused ? "refused"
                                                      : "no answer";
    if (answer != DeviceAnswer::Done) {
        result.step = step;
    }
    return result;
}

// A command that the device's present state makes none: nothing is sent.
CommandResult badCommand(const std::string& why) {
    CommandResult result;
    result.result = "error";
    result.error = why;
    return result;
}

// The receiver's output as the window sends it: everything it shows, with the changes asked.
CommandResult prepareDisplay(const DeviceCommand& command, DisplayConfig& display) {
    if (command.layout) {
        for (const auto& layout : displayLayouts()) {
            if (*command.layout == layout.name) {
                std::memset(display.windows, 0, sizeof display.windows);
                display.count = layout.count;
                std::copy(layout.windows, layout.windows + layout.count, display.windows);
            }
        }
    }
    const int count = std::min(std::max(display.count, 0), KORVEX_MAX_DISPLAY_WINDOWS);
    auto shown = [&](int channel) {
        return std::any_of(display.windows, display.windows + count,
                           [&](const DisplayWindow& w) { return w.id == channel; });
    };
    // The window's rule: only a channel on the screen can be heard.
    if (display.audio < 1 || display.audio > 4 || !shown(display.audio)) {
        display.audio = -1;
    }
    if (command.audio) {
        if (*command.audio != -1 && !shown(*command.audio)) {
            return badCommand("audio: channel " + std::to_string(*command.audio) +
                              " is not on the output (layout " + korvexctl::layoutName(display) +
                              ")");
        }
        display.audio = *command.audio;
    }
    if (command.resolution) {
        std::memset(display.resolution, 0, sizeof display.resolution);
        command.resolution->copy(display.resolution, sizeof display.resolution - 1);
    }
    if (command.frameRate && display.count != 1) {
        return badCommand("frameRate: the layout shows " + std::to_string(display.count) +
                          " windows; a frame rate is set for a channel shown alone");
    }
    return CommandResult{"done", "", "", {}};
}

// After a layout or a frame rate, the window writes the shown channels' encoders through the
// receiver: unchanged for two or four windows, with the new rate for one.
CommandResult writeEncoders(KorvexSession* session, const DeviceCommand& command,
                            const DisplayConfig& display) {
    CommandResult result = answered(DeviceAnswer::Done, "");
    for (int i = 0; i < display.count; ++i) {
        const int channel = display.windows[i].id;
        VideoEncodeConfig encoder{};
        DeviceAnswer answer = askDevice(kEncoderReadTimeoutMs, [&] {
            return KORVEX_GetConfig(session, CFG_GET_VIDEOENC, &encoder, sizeof encoder,
                                    kEncoderReadTimeoutMs, channel);
        });
        const char* step = "GET_VIDEOENC";
        if (answer == DeviceAnswer::Done) {
            if (command.frameRate) {
                encoder.frameRate = *command.frameRate;
                encoder.keyGop = *command.frameRate * 2;
            }
            step = "SET_VIDEOENC";
            answer = askDevice(kEncoderWriteTimeoutMs, [&] {
                return KORVEX_SetConfig(session, CFG_SET_VIDEOENC, &encoder, sizeof encoder,
                                        kEncoderWriteTimeoutMs, channel);
            });
        }
        if (answer != DeviceAnswer::Done) {
            result.encodersNotSet.push_back(channel);
            if (command.frameRate) {
                // The rate is the command: its encoder's answer is the command's.
                const std::vector<int> notSet = result.encodersNotSet;
                result = answered(answer, step);
                result.encodersNotSet = notSet;
            }
        }
    }
    return result;
}

CommandResult runDisplay(KorvexSession* session, const DeviceCommand& command) {
    DisplayConfig display{};
    const DeviceAnswer read = askDevice(kDisplayReadTimeoutMs, [&] {
        return KORVEX_GetConfig(session, CFG_GET_DISPLAY, &display, sizeof display,
                                kDisplayReadTimeoutMs, 0);
    });
    if (read != DeviceAnswer::Done) {
        return answered(read, "GET_DISPLAY");
    }
    CommandResult prepared = prepareDisplay(command, display);
    if (prepared.result != "done") {
        return prepared;
    }
    const DeviceAnswer written = askDevice(kDisplayWriteTimeoutMs, [&] {
        return KORVEX_SetConfig(session, CFG_SET_DISPLAY, &display, sizeof display,
                                kDisplayWriteTimeoutMs, 0);
    });
    if (written != DeviceAnswer::Done || !(command.layout || command.frameRate) ||
        (display.count == 1 && !command.frameRate)) {
        return answered(written, "SET_DISPLAY");
    }
    return writeEncoders(session, command, display);
}

CommandResult runTtl(KorvexSession* session, const DeviceCommand& command) {
    TtlConfig ttl{};
    ttl.chn = command.ttlIndex - 1;
    const DeviceAnswer read = askDevice(kTtlReadTimeoutMs, [&] {
        return KORVEX_GetConfig(session, CFG_GET_TTL, &ttl, sizeof ttl, kTtlReadTimeoutMs, 0);
    });
    if (read != DeviceAnswer::Done) {
        return answered(read, "GET_TTL");
    }
    // Every other value goes back as read: only the rate changes.
    ttl.baudrate = command.baudrate;
    return answered(askDevice(kTtlWriteTimeoutMs,
                              [&] {
                                  return KORVEX_SetConfig(session, CFG_SET_TTL, &ttl, sizeof ttl,
                                                          kTtlWriteTimeoutMs, 0);
                              }),
                    "SET_TTL");
}

}  // namespace

bool parseCommand(const std::string& payload, DeviceCommand& out, std::string& error) {
    out = DeviceCommand();
    try {
        out.request = Json::parse(payload);
    } catch (const Json::parse_error&) {
        out.request = payload;
        error = "not JSON";
        return false;
    }
    if (!out.request.is_object() || out.request.empty()) {
        error = std::string("not a JSON object with a command (") + kCommands + ")";
        return false;
    }
    out.id = out.request.contains("id") ? out.request["id"] : Json();
    int groups = 0;
    bool display = false;
    for (const auto& item : out.request.items()) {
        if (item.key() == "id") {
            continue;
        }
        if (!parseMember(item.key(), item.value(), out, error)) {
            return false;
        }
        const bool isDisplay = out.kind == DeviceCommand::Kind::Display;
        groups += isDisplay && display ? 0 : 1;
        display = display || isDisplay;
    }
    if (groups != 1) {
        error = groups == 0 ? std::string("no command (") + kCommands + ")"
                            : "ttl, actuator and reset each go alone; layout, audio, resolution "
                              "and frameRate may go together";
        return false;
    }
    return true;
}

CommandResult runCommand(KorvexSession* session, const DeviceCommand& command) {
    switch (command.kind) {
        case DeviceCommand::Kind::Display:
            return runDisplay(session, command);
        case DeviceCommand::Kind::Ttl:
            return runTtl(session, command);
        case DeviceCommand::Kind::Actuator: {
            ActuatorMoveRequest move{command.actuatorId, KORVEX_ACTUATOR_GOTO,
                                     KORVEX_ACTUATOR_ANGLE(command.percent)};
            return answered(askDevice(kActuatorTimeoutMs,
                                      [&] {
                                          return KORVEX_SetConfig(session, CFG_ACTUATOR_MOVE, &move,
                                                                  sizeof move, kActuatorTimeoutMs,
                                                                  0);
                                      }),
                            "ACTUATOR_MOVE");
        }
        case DeviceCommand::Kind::Reset:
            break;
    }
    return answered(askDevice(kResetTimeoutMs, [&] { return KORVEX_Reset(session); }),
                    "SYSTEM_RESET");
}

Json resultJson(const DeviceCommand& command, const CommandResult& result) {
    Json message = Json::object();
    if (!command.id.is_null()) {
        message["id"] = command.id;
    }
    message["request"] = command.request;
    message["result"] = result.result;
    if (!result.step.empty()) {
        message["step"] = result.step;
    }
    if (!result.error.empty()) {
        message["error"] = result.error;
    }
    if (!result.encodersNotSet.empty()) {
        message["encodersNotSet"] = result.encodersNotSet;
    }
    return message;
}

}  // namespace korvex_mqtt
