// korvexctl: the Korvex SDK from the command line. The global options, the command table, the
// help texts and the exit status of every path.
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"

#ifndef KORVEXCTL_VERSION
#define KORVEXCTL_VERSION "0"
#endif

namespace korvexctl {

const std::vector<Command>& commands() {
    static const std::vector<Command> table = {
        {"info", "info", "system information, video source and audio source", infoHelp, runInfo},
        {"get", "get RECORD", "read a configuration record", getHelp, runGet},
        {"set", "set RECORD --FIELD VALUE...", "change the fields named (read, change, write)",
         setHelp, runSet},
        {"reset", "reset", "restart the device", resetHelp, runReset},
        {"key", "key CODE", "send a remote-control key", keyHelp, runKey},
        {"actuator", "actuator --id N ACTION", "goto PERCENT, inc, dec or stop a PWM actuator",
         actuatorHelp, runActuator},
        {"upgrade", "upgrade FILE", "upload firmware; the device's verdict is the exit status",
         upgradeHelp, runUpgrade},
        {"play", "play [--udp] ...", "receive the live stream; write .h264/.h265 and .aac",
         playHelp, runPlay},
        {"watch", "watch", "poll the device and tell each change of state", watchHelp, runWatch},
        {"backup", "backup [DEVICE...]", "every record of the installation as one JSON document",
         backupHelp, runBackup},
        {"restore", "restore FILE [--dry-run]", "write back the records that differ from a backup",
         restoreHelp, runRestore},
    };
    return table;
}

const Command* findCommand(const std::string& name) {
    for (const Command& command : commands()) {
        if (name == command.name) {
            return &command;
        }
    }
    return nullptr;
}

std::string programHelp() {
    std::string text =
        "Usage: korvexctl [--host ADDR] [--port N] [--timeout MS] [--json] COMMAND [ARGS...]\n"
        "\n"
        "Controls one device of an HDMI-over-IP installation (receiver or transmitter) over\n"
        "its HDMI/1.0 control port, through the Korvex library; backup and restore keep the\n"
        "settings of a whole installation.\n"
        "\n"
        "Options (before the command):\n"
        "  --host ADDR    the device: an IPv4 address or host name, or one of the installation's\n"
        "                 names rx (192.168.2.88), tx1..tx4 (192.168.2.220..223, CH1..CH4).\n"
        "                 Required but by backup and restore: there is no default device, so\n"
        "                 that nothing is sent to a device nobody named.\n"
        "  --port N       control port, 1..65535 (default 15380)\n"
        "  --timeout MS   wait for each send and each receive of the configuration requests\n"
        "                 of info, get, set, actuator, watch, backup and restore, 1..600000\n"
        "                 (default 2000); connecting always waits up to 3000 ms, and reset,\n"
        "                 key, upgrade and play keep the waits of the Korvex library\n"
        "  --json         results as JSON, one object per line, fields by their Korvex.h names\n"
        "  --help, -h     this text; korvexctl COMMAND --help (or korvexctl help COMMAND)\n"
        "                 tells about one command\n"
        "  --version      the program's version\n"
        "\n"
        "Commands:\n";
    for (const Command& command : commands()) {
        char line[160];
        std::snprintf(line, sizeof line, "  %-28s %s\n", command.synopsis, command.summary);
        text += line;
    }
    text +=
        "\n"
        "Results go to standard output, diagnostics to standard error.\n"
        "Exit status: 0 done; 1 the device failed, refused or did not answer; 2 the command\n"
        "line is wrong (then nothing was sent).\n"
        "\n"
        "Examples:\n"
        "  korvexctl --host rx info\n"
        "  korvexctl --host rx --json get display\n"
        "  korvexctl --host rx set display --layout quad --audio 2\n"
        "  korvexctl --host tx2 play --seconds 10 --output ch2.h264 --audio ch2.aac\n"
        "  korvexctl backup > site.json; korvexctl restore site.json --dry-run\n";
    return text;
}

int printHelp(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    return kExitOk;
}

namespace {

bool isGlobalOption(const std::string& name) {
    return name == "--host" || name == "--port" || name == "--timeout" || name == "--json" ||
           name == "--version";
}

// Takes the value of a global option that takes one (--json takes none).
void setGlobalOption(GlobalOptions& options, const std::string& name, const std::string& value) {
    if (name == "--host") {
        if (value.empty()) {
            throw UsageError("--host needs an address");
        }
        options.host = value;
    } else if (name == "--port") {
        options.port = static_cast<int>(parseInteger(value, 1, 65535, "--port", ""));
    } else if (name == "--timeout") {
        options.timeoutMs = static_cast<int>(parseInteger(value, 1, 600000, "--timeout", ""));
    } else if (name == "--json") {
        options.json = true;
    }
}

// Runs the command; its usage errors name it.
int runCommand(const Command& command, const GlobalOptions& options,
               const std::vector<std::string>& rest) {
    const std::string name = command.name;
    try {
        return command.run(options, rest);
    } catch (const UsageError& error) {
        // A global option after the command is a common slip: say where it goes.
        const std::string message = error.what();
        const std::string unknown = "unknown option ";
        if (message.compare(0, unknown.size(), unknown) == 0 &&
            isGlobalOption(message.substr(unknown.size()))) {
            throw UsageError(message + " for " + name + ": " + message.substr(unknown.size()) +
                                 " is a global option and goes before the command (korvexctl " +
                                 message.substr(unknown.size()) + " ... " + name + " ...)",
                             error.command().empty() ? name : error.command());
        }
        throw UsageError(message, error.command().empty() ? name : error.command());
    }
}

int run(const std::vector<std::string>& words) {
    GlobalOptions options;
    size_t i = 0;
    for (; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word.compare(0, 1, "-") != 0) {
            break;
        }
        std::string name = word;
        std::string value;
        const size_t equals = word.find('=');
        const bool inlineValue = equals != std::string::npos;
        if (inlineValue) {
            name = word.substr(0, equals);
            value = word.substr(equals + 1);
        }
        const bool takesValue = name == "--host" || name == "--port" || name == "--timeout";
        if (name == "--help" || name == "-h") {
            return printHelp(programHelp());
        }
        if (name == "--version") {
            std::printf("korvexctl %s\n", KORVEXCTL_VERSION);
            return kExitOk;
        }
        if (!isGlobalOption(name)) {
            throw UsageError("unknown option " + name);
        }
        if (takesValue && !inlineValue) {
            if (i + 1 >= words.size()) {
                throw UsageError(name + " needs a value");
            }
            value = words[++i];
        } else if (!takesValue && inlineValue) {
            throw UsageError(name + " takes no value");
        }
        setGlobalOption(options, name, value);
    }
    if (i == words.size()) {
        throw UsageError("no command given");
    }
    const std::string& name = words[i];
    std::vector<std::string> rest(words.begin() + static_cast<long>(i) + 1, words.end());
    if (name == "help") {
        if (rest.empty()) {
            return printHelp(programHelp());
        }
        const Command* command = findCommand(rest[0]);
        if (command == nullptr) {
            throw UsageError("no command \"" + rest[0] + "\"");
        }
        return printHelp(command->help());
    }
    const Command* command = findCommand(name);
    if (command == nullptr) {
        std::string known;
        for (const Command& each : commands()) {
            known += (known.empty() ? "" : ", ") + std::string(each.name);
        }
        throw UsageError("no command \"" + name + "\" (commands: " + known + ")");
    }
    return runCommand(*command, options, rest);
}

}  // namespace

}  // namespace korvexctl

int main(int argc, char** argv) {
    using namespace korvexctl;
    const std::vector<std::string> words(argv + 1, argv + argc);
    try {
        return run(words);
    } catch (const UsageError& error) {
        const std::string& command = error.command();
        std::fprintf(stderr, "korvexctl: %s%s%s\n", command.c_str(), command.empty() ? "" : ": ",
                     error.what());
        std::fprintf(stderr, "Try 'korvexctl %s%s--help'.\n", command.c_str(),
                     command.empty() ? "" : " ");
        return kExitUsage;
    } catch (const DeviceFailure& failure) {
        std::fflush(stdout);
        std::fprintf(stderr, "korvexctl: %s\n", failure.what());
        return kExitFailed;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "korvexctl: %s\n", error.what());
        return kExitFailed;
    }
}
