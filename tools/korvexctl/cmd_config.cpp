// info, get and set: the configuration records by name.
#include <cctype>
#include <cstdio>
#include <cstring>

#include "commands.h"
#include "device.h"
#include "records.h"

namespace korvexctl {

namespace {

std::string lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// The record named first on the command line, and the rest of the words.
const RecordKind& takeRecord(const std::string& command, const Arguments& arguments,
                             bool settableOnly, Arguments& rest) {
    const std::string allowed = recordNames(settableOnly);
    if (arguments.empty() || arguments[0].compare(0, 1, "-") == 0) {
        throw UsageError("name the record first (one of " + allowed + ")", command);
    }
    const RecordKind* kind = findRecord(arguments[0]);
    if (kind == nullptr) {
        throw UsageError("no record \"" + arguments[0] + "\" (one of " + allowed + ")", command);
    }
    if (settableOnly && kind->setCode == 0) {
        throw UsageError(std::string(kind->name) + " is read-only (settable: " + allowed + ")",
                         command);
    }
    rest.assign(arguments.begin() + 1, arguments.end());
    return *kind;
}

// Where the selector of a record puts its number.
struct Selection {
    bool given = false;
    int number = 0;
};

void addSelector(OptionParser& parser, const RecordKind& kind, const std::string& command,
                 Selection& selection) {
    switch (kind.selector) {
        case Selector::None:
            break;
        case Selector::Channel:
            parser.value("--channel", [&, command](const std::string& v) {
                selection.number = static_cast<int>(parseInteger(v, 0, 4, "--channel", command));
                selection.given = true;
            });
            break;
        case Selector::TtlPort:
            parser.value("--index", [&, command](const std::string& v) {
                selection.number = static_cast<int>(parseInteger(v, 1, 2, "--index", command));
                selection.given = true;
            });
            break;
        case Selector::RecvIndex:
            parser.value("--index", [&, command](const std::string& v) {
                selection.number = static_cast<int>(parseInteger(v, 0, 4, "--index", command));
                selection.given = true;
            });
            break;
    }
}

// Puts the selection into the record (chn) and returns the call's channel argument.
int applySelection(const RecordKind& kind, const Selection& selection, const std::string& command,
                   void* record) {
    switch (kind.selector) {
        case Selector::None:
            return 0;
        case Selector::Channel:
            return selection.number;  // 0 when not given: a transmitter's own channel
        case Selector::TtlPort:
            if (!selection.given) {
                throw UsageError("ttl needs --index N: the serial port, 1 or 2", command);
            }
            static_cast<TtlConfig*>(record)->chn = selection.number - 1;
            return 0;
        case Selector::RecvIndex:
            if (!selection.given) {
                throw UsageError("recv needs --index N: the receive channel, 0..4", command);
            }
            static_cast<ReceiveConfig*>(record)->chn = selection.number;
            return 0;
    }
    return 0;
}

std::string selectorHelp(const RecordKind& kind) {
    switch (kind.selector) {
        case Selector::Channel:
            return " [--channel N]";
        case Selector::TtlPort:
        case Selector::RecvIndex:
            return " --index N";
        case Selector::None:
            break;
    }
    return "";
}

// GET with a hint for the likeliest slip: the receiver answers for channels 1..4 only.
void readRecord(Device& device, const RecordKind& kind, const Selection& selection, int channel,
                void* record) {
    try {
        device.get(kind.getCode, kind.getCommand, record, kind.size, channel);
    } catch (const DeviceFailure& failure) {
        if (kind.selector == Selector::Channel && !selection.given) {
            throw DeviceFailure(std::string(failure.what()) +
                                " (a receiver needs the channel: --channel 1..4)");
        }
        throw;
    }
}

}  // namespace

std::string infoHelp() {
    return R"(Usage: korvexctl --host ADDR info

Reads the device's system information, video source and audio source (GET_SYSINFO,
GET_VIDEOSRC, GET_AUDIOSRC) and prints them together; with --json as one object
{"sysinfo":{...},"videosrc":{...},"audiosrc":{...}}. Exit status 1 when any of the three
was not answered (the others are still printed).
)";
}

int runInfo(const GlobalOptions& options, const Arguments& arguments) {
    OptionParser parser("info");
    Arguments positional;
    if (!parser.parse(arguments, positional)) {
        return printHelp(infoHelp());
    }
    if (!positional.empty()) {
        throw UsageError("unexpected \"" + positional[0] + "\"", "info");
    }
    Device device(options, "info");
    Value result;
    std::vector<std::string> failures;
    for (const char* name : {"sysinfo", "videosrc", "audiosrc"}) {
        const RecordKind& kind = *findRecord(name);
        RecordStorage record;
        try {
            device.get(kind.getCode, kind.getCommand, record.data(), kind.size);
            result.add(name, recordValue(kind, record.data()));
        } catch (const DeviceFailure& failure) {
            failures.push_back(failure.what());
        }
    }
    if (!result.names().empty()) {
        printResult(result, options.json);
    }
    if (failures.size() == 3) {
        throw DeviceFailure(device.name() + " did not answer (GET_SYSINFO, GET_VIDEOSRC and " +
                            "GET_AUDIOSRC failed: no device there, no answer within " +
                            std::to_string(options.timeoutMs) + " ms, or refused)");
    }
    for (const std::string& failure : failures) {
        std::fprintf(stderr, "korvexctl: %s\n", failure.c_str());
    }
    return failures.empty() ? kExitOk : kExitFailed;
}

std::string getHelp() {
    std::string text =
        "Usage: korvexctl --host ADDR get RECORD [--channel N | --index N]\n"
        "\n"
        "Reads one configuration record and prints its fields by their Korvex.h names.\n"
        "\n"
        "Records:\n";
    for (const RecordKind& kind : recordKinds()) {
        char line[160];
        std::snprintf(line, sizeof line, "  %-10s %-16s %s\n", kind.name,
                      selectorHelp(kind).c_str(), kind.summary);
        text += line;
    }
    text +=
        "\n"
        "Selectors:\n"
        "  videoenc --channel N   the encoder of channel N: 1..4 on the receiver, 0 (the\n"
        "                         default) for a transmitter's own channel\n"
        "  ttl --index N          serial port 1 or 2, counted as the desktop program counts them\n"
        "                         (sent as CHN N-1)\n"
        "  recv --index N         receive channel 0..4, sent as CHN N\n"
        "\n"
        "The display also shows its window list (ID:X,Y,W,H in percent) and the name of its\n"
        "layout (ch1..ch4, ch12, ch34, quad; custom for any other list, none for no window).\n";
    return text;
}

int runGet(const GlobalOptions& options, const Arguments& arguments) {
    if (!arguments.empty() && (arguments[0] == "--help" || arguments[0] == "-h")) {
        return printHelp(getHelp());
    }
    Arguments rest;
    const RecordKind& kind = takeRecord("get", arguments, false, rest);
    const std::string command = "get";
    OptionParser parser(command);
    Selection selection;
    addSelector(parser, kind, command, selection);
    Arguments positional;
    if (!parser.parse(rest, positional)) {
        return printHelp(getHelp());
    }
    if (!positional.empty()) {
        throw UsageError("unexpected \"" + positional[0] + "\"", command);
    }
    RecordStorage record;
    const int channel = applySelection(kind, selection, command, record.data());
    Device device(options, command);
    readRecord(device, kind, selection, channel, record.data());
    printResult(recordValue(kind, record.data()), options.json);
    return kExitOk;
}

std::string setHelp() {
    std::string text =
        "Usage: korvexctl --host ADDR set RECORD [SELECTOR] --FIELD VALUE [--FIELD VALUE ...]\n"
        "\n"
        "Changes only the fields named on the command line: reads the record, changes those\n"
        "fields and writes it back, so every other field keeps the value the device had. Then\n"
        "prints the record as written. Field options are the Korvex.h field names in any letter\n"
        "case (--keyGop, --keygop and --key-gop are the same). Values are checked before\n"
        "anything is sent; the device may still refuse a value (exit status 1).\n";
    for (const RecordKind& kind : recordKinds()) {
        if (kind.setCode == 0) {
            continue;
        }
        text += "\n  set " + std::string(kind.name) + selectorHelp(kind) + "   (" +
                kind.getCommand + " then " + kind.setCommand + ")\n";
        for (const RecordField& field : kind.fields) {
            if (isSelectorField(field)) {
                continue;
            }
            std::string option = "--" + lower(field.name);
            option += field.type == FieldType::Text ? " TEXT" : " N";
            std::string range;
            if (field.type == FieldType::Integer && field.minimum == INT32_MIN) {
                // Any whole number: the device decides.
            } else if (field.type == FieldType::Integer && field.maximum == INT32_MAX) {
                range = " [" + std::to_string(field.minimum) + " or more]";
            } else if (field.type == FieldType::Integer && field.minimum > INT32_MIN) {
                range = " [" + std::to_string(field.minimum) + ".." +
                        std::to_string(field.maximum) + "]";
            } else if (field.type == FieldType::Text) {
                range = " [up to " + std::to_string(field.capacity - 1) + " characters]";
            }
            if (kind.setCode == CFG_SET_DISPLAY && std::strcmp(field.name, "audio") == 0) {
                option = "--audio N|none";
                range.clear();
            }
            char line[200];
            std::snprintf(line, sizeof line, "    %-20s %s%s\n", option.c_str(), field.help,
                          range.c_str());
            text += line;
        }
        if (kind.setCode == CFG_SET_DISPLAY) {
            text +=
                "    --layout NAME        ch1, ch2, ch3, ch4 (one channel on the whole picture),\n"
                "                         ch12, ch34 (two side by side), quad (all four)\n"
                "    --window ID:X,Y,W,H  one window: channel 1..4, left, top, width, height in\n"
                "                         percent; repeat for up to 5 (replaces the list;\n"
                "                         not together with --layout)\n";
        }
    }
    text +=
        "\nExamples:\n"
        "  korvexctl --host tx3 set videoenc --framerate 60 --keygop 120\n"
        "  korvexctl --host rx set videoenc --channel 3 --framerate 60 --keygop 120\n"
        "  korvexctl --host rx set ttl --index 2 --baudrate 9600\n"
        "  korvexctl --host rx set display --layout quad --audio 2 --resolution 1080P60\n"
        "  korvexctl --host rx set display --window 1:0,0,50,100 --window 2:50,0,50,100\n";
    return text;
}

namespace {

// What a set's options ask for: field values as the command line gives them, tried on a scratch
// record at once so that a bad value stops the command before anything is sent; for the
// display, a named layout or a window list.
struct SetRequest {
    RecordStorage scratch;
    std::vector<std::pair<const RecordField*, std::string>> changes;
    std::string layout;
    std::vector<DisplayWindow> windows;
};

void addFieldOptions(OptionParser& parser, const RecordKind& kind, const std::string& command,
                     SetRequest& request) {
    const bool display = kind.setCode == CFG_SET_DISPLAY;
    for (const RecordField& field : kind.fields) {
        if (isSelectorField(field)) {
            continue;
        }
        const RecordField* target = &field;
        parser.value(
            "--" + lower(field.name), [&request, display, target, command](const std::string& v) {
                auto& changes = request.changes;
                if (display && std::strcmp(target->name, "audio") == 0) {
                    changes.emplace_back(target, std::to_string(parseDisplayAudio(v, command)));
                } else if (display && std::strcmp(target->name, "resolution") == 0) {
                    changes.emplace_back(target, resolutionText(v));
                } else {
                    changes.emplace_back(target, v);
                }
                applyField(*target, request.scratch.data(), changes.back().second, command);
            });
    }
}

void addWindowOptions(OptionParser& parser, const std::string& command, SetRequest& request) {
    parser.value("--layout", [&request, command](const std::string& v) {
        for (const DisplayLayout& known : displayLayouts()) {
            if (lower(v) == known.name) {
                request.layout = known.name;
                return;
            }
        }
        throw UsageError(
            "--layout: no layout \"" + v + "\" (allowed: ch1, ch2, ch3, ch4, ch12, ch34, quad)",
            command);
    });
    parser.value("--window", [&request, command](const std::string& v) {
        if (request.windows.size() == KORVEX_MAX_DISPLAY_WINDOWS) {
            throw UsageError("--window: at most 5 windows", command);
        }
        request.windows.push_back(parseWindow(v, command));
    });
}

// The request's window list in place of the display's.
void applyWindows(const SetRequest& request, DisplayConfig& config) {
    std::memset(config.windows, 0, sizeof config.windows);
    config.count = 0;
    if (!request.layout.empty()) {
        for (const DisplayLayout& known : displayLayouts()) {
            if (request.layout == known.name) {
                config.count = known.count;
                std::memcpy(config.windows, known.windows,
                            sizeof(DisplayWindow) * static_cast<size_t>(known.count));
            }
        }
    } else {
        for (const DisplayWindow& window : request.windows) {
            config.windows[config.count++] = window;
        }
    }
}

}  // namespace

int runSet(const GlobalOptions& options, const Arguments& arguments) {
    if (!arguments.empty() && (arguments[0] == "--help" || arguments[0] == "-h")) {
        return printHelp(setHelp());
    }
    Arguments rest;
    const RecordKind& kind = takeRecord("set", arguments, true, rest);
    const std::string command = "set";
    OptionParser parser(command, true);
    Selection selection;
    addSelector(parser, kind, command, selection);
    SetRequest request;
    addFieldOptions(parser, kind, command, request);
    const bool display = kind.setCode == CFG_SET_DISPLAY;
    if (display) {
        addWindowOptions(parser, command, request);
    }
    Arguments positional;
    if (!parser.parse(rest, positional)) {
        return printHelp(setHelp());
    }
    if (!positional.empty()) {
        throw UsageError("unexpected \"" + positional[0] + "\"", command);
    }
    const bool windowsGiven = !request.layout.empty() || !request.windows.empty();
    if (!request.layout.empty() && !request.windows.empty()) {
        throw UsageError("--layout and --window both give the window list: use one of them",
                         command);
    }
    if (request.changes.empty() && !windowsGiven) {
        throw UsageError("name at least one field to change (see korvexctl set --help)", command);
    }

    RecordStorage record;
    const int channel = applySelection(kind, selection, command, record.data());
    Device device(options, command);
    readRecord(device, kind, selection, channel, record.data());
    for (const auto& change : request.changes) {
        applyField(*change.first, record.data(), change.second, command);
    }
    if (display && windowsGiven) {
        applyWindows(request, *static_cast<DisplayConfig*>(record.data()));
    }
    try {
        device.set(kind.setCode, kind.setCommand, record.data(), kind.size, channel);
    } catch (const DeviceFailure&) {
        // It has just answered the read, so the values are the likely reason.
        throw DeviceFailure(device.name() + " answered " + kind.getCommand +
                            " but did not accept " + kind.setCommand +
                            ": it refused the new values, or stopped answering (" +
                            std::to_string(options.timeoutMs) + " ms)");
    }
    printResult(recordValue(kind, record.data()), options.json);
    return kExitOk;
}

}  // namespace korvexctl
