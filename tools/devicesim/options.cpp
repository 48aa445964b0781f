#include "options.h"

#include <arpa/inet.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <functional>
#include <map>

namespace devicesim {

namespace {

bool parseInteger(const std::string& text, long long minimum, long long maximum, long long& out) {
    if (text.empty() || (text[0] != '-' && (text[0] < '0' || text[0] > '9'))) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value < minimum || value > maximum) {
        return false;
    }
    out = value;
    return true;
}

bool parseSize(const std::string& text, int& width, int& height) {
    const size_t cross = text.find('x');
    long long w = 0;
    long long h = 0;
    if (cross == std::string::npos || !parseInteger(text.substr(0, cross), 1, 65535, w) ||
        !parseInteger(text.substr(cross + 1), 1, 65535, h)) {
        return false;
    }
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

bool parsePicture(const std::string& text, Picture& out) {
    if (text != "flat" && text != "detailed") {
        return false;
    }
    out = text == "flat" ? Picture::Flat : Picture::Detailed;
    return true;
}

bool parseOutcome(const std::string& text, UpgradeOutcome& out) {
    static const std::map<std::string, UpgradeOutcome> names = {
        {"ok", UpgradeOutcome::Ok},         {"fail", UpgradeOutcome::Fail},
        {"silent", UpgradeOutcome::Silent}, {"drop", UpgradeOutcome::Drop},
        {"cut", UpgradeOutcome::Cut},
    };
    const auto found = names.find(text);
    if (found == names.end()) {
        return false;
    }
    out = found->second;
    return true;
}

}  // namespace

std::string DeviceIdentity::name() const {
    return role == Role::Receiver ? "rx" : "tx" + std::to_string(channel);
}

bool parseDeviceIdentity(const std::string& text, DeviceIdentity& out, std::string& error) {
    const size_t at = text.find('@');
    if (at == std::string::npos) {
        error = "device \"" + text + "\": expected ROLE@ADDR[:PORT], e.g. tx1@127.0.0.1:15380";
        return false;
    }
    const std::string role = text.substr(0, at);
    DeviceIdentity identity;
    if (role == "rx") {
        identity.role = Role::Receiver;
        identity.channel = 0;
    } else if (role.size() == 3 && role.compare(0, 2, "tx") == 0 && role[2] >= '1' &&
               role[2] <= '4') {
        identity.role = Role::Transmitter;
        identity.channel = role[2] - '0';
    } else {
        error = "device \"" + text + "\": role must be rx or tx1..tx4";
        return false;
    }
    std::string rest = text.substr(at + 1);
    const size_t colon = rest.find(':');
    if (colon != std::string::npos) {
        long long port = 0;
        if (!parseInteger(rest.substr(colon + 1), 0, 65535, port)) {
            error = "device \"" + text + "\": port must be 0..65535";
            return false;
        }
        identity.port = static_cast<uint16_t>(port);
        rest.resize(colon);
    }
    in_addr parsed{};
    if (inet_pton(AF_INET, rest.c_str(), &parsed) != 1) {
        error = "device \"" + text + "\": \"" + rest + "\" is not a dotted IPv4 address";
        return false;
    }
    identity.address = rest;
    out = identity;
    return true;
}

namespace {

// One option of the command line: whether it takes a value, what it does with it (false: the
// value is wrong), and what it expects, for the error.
struct OptionEntry {
    bool takesValue;
    std::function<bool(const std::string&)> apply;
    const char* expected;
};

// The options by name, writing into `options` (and `error`, where they say more themselves).
std::map<std::string, OptionEntry> optionTable(Options& options, std::string& error) {
    Behaviour& b = options.behaviour;

    auto intOption = [](int& target, long long minimum, long long maximum) {
        return [&target, minimum, maximum](const std::string& value) {
            long long parsed = 0;
            if (!parseInteger(value, minimum, maximum, parsed)) {
                return false;
            }
            target = static_cast<int>(parsed);
            return true;
        };
    };
    auto flag = [](bool& target) {
        return [&target](const std::string&) { return target = true; };
    };

    return {
        {"--device",
         {true,
          [&](const std::string& value) {
              DeviceIdentity identity;
              if (!parseDeviceIdentity(value, identity, error)) {
                  return false;
              }
              for (const DeviceIdentity& other : options.devices) {
                  if (other.name() == identity.name()) {
                      error = "device " + identity.name() + " given twice";
                      return false;
                  }
              }
              options.devices.push_back(identity);
              return true;
          },
          nullptr}},
        {"--pid-file",
         {true,
          [&](const std::string& value) {
              options.pidFile = value;
              return !value.empty();
          },
          "a path"}},
        {"--loop-seconds", {true, intOption(b.loopSeconds, 1, 30), "1..30"}},
        {"--picture",
         {true, [&](const std::string& value) { return parsePicture(value, b.picture); },
          "flat or detailed"}},
        {"--reset-seconds", {true, intOption(b.resetSeconds, 0, 600), "0..600"}},
        {"--answer-delay-ms", {true, intOption(b.answerDelayMs, 0, 600000), "0..600000"}},
        {"--close-mid-answer", {false, flag(b.closeMidAnswer), nullptr}},
        {"--huge-content-length", {false, flag(b.hugeContentLength), nullptr}},
        {"--refuse-play", {false, flag(b.refusePlay), nullptr}},
        {"--garbage-bytes", {true, intOption(b.garbageBytes, 0, 4096), "0..4096"}},
        {"--silent-after", {true, intOption(b.silentAfterSeconds, 0, 86400), "0..86400 seconds"}},
        {"--mute-after", {true, intOption(b.muteAfterSeconds, 0, 86400), "0..86400 seconds"}},
        {"--udp-drop-every", {true, intOption(b.udpDropEvery, 0, 1000000), "0..1000000"}},
        {"--udp-reorder-every", {true, intOption(b.udpReorderEvery, 0, 1000000), "0..1000000"}},
        {"--media-info-size",
         {true,
          [&](const std::string& value) {
              return parseSize(value, b.mediaInfoWidth, b.mediaInfoHeight);
          },
          "WIDTHxHEIGHT"}},
        {"--upgrade-delay-ms", {true, intOption(b.upgradeDelayMs, 0, 600000), "0..600000"}},
        {"--upgrade-result",
         {true, [&](const std::string& value) { return parseOutcome(value, b.upgradeOutcome); },
          "ok, fail, silent, drop or cut"}},
        {"--upgrade-max-bytes",
         {true,
          [&](const std::string& value) {
              long long parsed = 0;
              if (!parseInteger(value, 0, LLONG_MAX, parsed)) {
                  return false;
              }
              b.upgradeMaxBytes = parsed;
              return true;
          },
          "a byte count"}},
        {"--help", {false, flag(options.help), nullptr}},
    };
}

}  // namespace

bool parseOptions(int argc, const char* const* argv, Options& out, std::string& error) {
    Options options;
    const std::map<std::string, OptionEntry> table = optionTable(options, error);

    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        std::string value;
        bool hasInlineValue = false;
        const size_t equals = argument.find('=');
        if (argument.compare(0, 2, "--") == 0 && equals != std::string::npos) {
            value = argument.substr(equals + 1);
            argument.resize(equals);
            hasInlineValue = true;
        }
        if (argument == "-h") {
            argument = "--help";
        }
        const auto entry = table.find(argument);
        if (entry == table.end()) {
            error = "unknown option \"" + argument + "\"";
            return false;
        }
        if (entry->second.takesValue && !hasInlineValue) {
            if (i + 1 >= argc) {
                error = argument + " needs a value";
                return false;
            }
            value = argv[++i];
        } else if (!entry->second.takesValue && hasInlineValue) {
            error = argument + " takes no value";
            return false;
        }
        if (!entry->second.apply(value)) {
            if (entry->second.expected != nullptr) {
                error = argument;
                error.append(": \"")
                    .append(value)
                    .append("\" is not ")
                    .append(entry->second.expected);
            }
            return false;
        }
    }
    if (!options.help && options.devices.empty()) {
        error = "no device given (use --device ROLE@ADDR[:PORT], see --help)";
        return false;
    }
    out = options;
    return true;
}

std::string usageText() {
    return R"(Usage: devicesim --device ROLE@ADDR[:PORT] [--device ...] [options]

Emulates HDMI/1.0 devices: a receiver (rx) and transmitters (tx1..tx4), each on its own
address and TCP port (default 15380; 0 picks a free port). Every request and its answer is
logged on stderr. SIGINT or SIGTERM stops it cleanly.

Devices:
  --device ROLE@ADDR[:PORT]   ROLE is rx or tx1..tx4, ADDR a local IPv4 address
  --pid-file PATH             write the process id there while running

Pictures:
  --picture P                 flat (default: caption, clock and a sweeping bar, cheap to code
                              and decode) or detailed (fine detail and noise that move every
                              frame, coded at the transmitter's bit rate, as a camera gives)
  --loop-seconds N            length of the encoded picture loop (default 2)

Timings:
  --reset-seconds N           silence after SYSTEM_RESET (default 5)
  --upgrade-delay-ms N        time to check an uploaded image before answering (default 2000)
  --upgrade-result R          ok (default), fail, silent, drop (close after the image)
                              or cut (close halfway through the image)
  --upgrade-max-bytes N       larger images are refused (default 268435456)

Faults, for tests:
  --answer-delay-ms N         wait N ms before every answer
  --close-mid-answer          send half of every answer, then close
  --huge-content-length       every answer claims CONTENT-LENGTH:1000000000
  --refuse-play               answer PLAY with 503
  --garbage-bytes N           N junk bytes after every stream packet (TCP) or frame (UDP)
  --silent-after S            streams stop sending after S seconds (connection kept open)
  --mute-after S              from S seconds after start, no request is answered: the device
                              reads it and holds the connection until the client gives up
  --udp-drop-every N          drop every Nth stream datagram
  --udp-reorder-every N       send every Nth stream datagram after the next one
  --media-info-size WxH       claim this picture size in media information
  --help                      this text
)";
}

}  // namespace devicesim
