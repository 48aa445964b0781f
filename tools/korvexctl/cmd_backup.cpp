// backup: every configuration record of the installation's devices, as one JSON document.
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <stdexcept>

#include "backup_document.h"
#include "commands.h"
#include "device.h"
#include "output.h"
#include "record_json.h"

namespace korvexctl {

namespace {

// The installation's devices by the names that resolveDeviceName knows.
const char* const kInstallation[] = {"rx", "tx1", "tx2", "tx3", "tx4"};

// The options that reach the device "ADDRESS-OR-NAME[:PORT]".
GlobalOptions deviceOptions(const GlobalOptions& options, const std::string& word) {
    GlobalOptions device = options;
    device.host = word;
    const size_t colon = word.rfind(':');
    if (colon != std::string::npos) {
        device.host = word.substr(0, colon);
        device.port = static_cast<int>(parseInteger(word.substr(colon + 1), 1, 65535,
                                                    "DEVICE " + word + ": the port", "backup"));
    }
    if (device.host.empty()) {
        throw UsageError("DEVICE \"" + word + "\" names no address", "backup");
    }
    return device;
}

std::string utcTimestamp() {
    const std::time_t now = std::time(nullptr);
    char text[32];
    // korvexctl has one thread, so gmtime's shared result is safe here.
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&now));
    return text;
}

// Every record of one device; DeviceFailure on the first one it does not give.
SavedDevice readDevice(Device& device) {
    SavedDevice saved;
    saved.host = device.options().host;
    saved.port = device.options().port;
    device.get(CFG_GET_SYSINFO, "GET_SYSINFO", &saved.info, sizeof saved.info);
    // Only a receiver has a display: a transmitter refuses GET_DISPLAY.
    DisplayConfig display{};
    saved.receiver = KORVEX_GetConfig(device.session(), CFG_GET_DISPLAY, &display, sizeof display,
                                      device.options().timeoutMs, 0) == 0;
    saved.records = recordsToSave(saved.receiver);
    for (SavedRecord& record : saved.records) {
        const RecordKind& kind = *record.kind;
        if (kind.getCode == CFG_GET_DISPLAY) {
            std::memcpy(record.record.data(), &display, sizeof display);
        } else {
            device.get(kind.getCode, kind.getCommand, record.record.data(), kind.size,
                       recordChannel(record));
        }
        try {
            recordJson(kind, record.record.data()).dump();
        } catch (const Json::type_error&) {
            throw DeviceFailure(device.name() + ": " + recordLabel(record) +
                                " holds a text that is not UTF-8, which JSON cannot keep exactly");
        }
    }
    return saved;
}

}  // namespace

std::string backupHelp() {
    return R"(Usage: korvexctl [--port N] [--timeout MS] backup [DEVICE ...] > FILE.json

Reads every configuration record of each DEVICE and writes them, with each device's
SystemInfo and the time (UTC), as one JSON document to standard output; korvexctl restore
writes it back. DEVICE is an address or host name, or one of the installation's names rx and
tx1..tx4, with an optional :PORT (default: --port, 15380). Without DEVICE (and without
--host) the installation's five devices: rx tx1 tx2 tx3 tx4.

Records read:
  from a receiver (a device that answers GET_DISPLAY): display, videoenc --channel 1..4
    (the channels' encoders, reached through the receiver), audioenc, ttl --index 1..2,
    recv --index 0..4
  from a transmitter: videoenc (its own channel), audioenc, ttl --index 1..2,
    recv --index 0..4

The document is written only when every record of every device was read. Otherwise nothing
is written, each failure is told on standard error and the exit status is 1. A line per
device on standard error tells what was read.

Examples:
  korvexctl backup > site.json
  korvexctl backup rx tx2 127.0.0.1:15381 > part.json
)";
}

int runBackup(const GlobalOptions& options, const Arguments& arguments) {
    const std::string command = "backup";
    OptionParser parser(command);
    Arguments words;
    if (!parser.parse(arguments, words)) {
        return printHelp(backupHelp());
    }
    if (!words.empty() && !options.host.empty()) {
        throw UsageError("--host and DEVICE both name devices: use one of them", command);
    }
    if (words.empty()) {
        words = options.host.empty() ? Arguments(std::begin(kInstallation), std::end(kInstallation))
                                     : Arguments{options.host};
    }
    // Every device is named and checked before the first is asked anything.
    std::vector<std::unique_ptr<Device>> devices;
    for (const std::string& word : words) {
        devices.push_back(std::make_unique<Device>(deviceOptions(options, word), command));
        for (size_t i = 0; i + 1 < devices.size(); ++i) {
            if (devices[i]->name() == devices.back()->name()) {
                throw UsageError(devices[i]->name() + " is named twice", command);
            }
        }
    }
    Backup backup;
    backup.created = utcTimestamp();
    std::vector<std::string> failures;
    for (const auto& device : devices) {
        try {
            backup.devices.push_back(readDevice(*device));
            const SavedDevice& saved = backup.devices.back();
            std::fprintf(stderr, "korvexctl: backup: %s %s (serial %s), %s, %zu records\n",
                         saved.name().c_str(), fieldText(saved.info.model).c_str(),
                         fieldText(saved.info.serial).c_str(),
                         saved.receiver ? "receiver" : "transmitter", saved.records.size());
        } catch (const DeviceFailure& failure) {
            failures.push_back(failure.what());
        }
    }
    for (const std::string& failure : failures) {
        std::fprintf(stderr, "korvexctl: backup: %s\n", failure.c_str());
    }
    if (!failures.empty()) {
        throw DeviceFailure("backup: nothing written: " + std::to_string(failures.size()) + " of " +
                            std::to_string(devices.size()) + " devices could not be read whole");
    }
    const std::string text = backupText(backup);
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() ||
        std::fflush(stdout) != 0) {
        throw std::runtime_error("backup: the document could not be written to standard output");
    }
    return kExitOk;
}

}  // namespace korvexctl
