// restore: a backup written back, record by record, where the devices differ from it.
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>

#include "backup_document.h"
#include "commands.h"
#include "device.h"
#include "output.h"
#include "platform.h"
#include "record_json.h"

namespace korvexctl {

namespace {

struct Change {
    std::string field;
    Json now;
    Json backup;
    std::string nowText;
    std::string backupText;
};

struct Tally {
    size_t records = 0;
    size_t differ = 0;
    size_t written = 0;
    size_t failed = 0;
};

// How text output shows a field's value: the display's windows by their layout's name.
std::string shownValue(const std::string& field, const Json& value, const void* record) {
    if (field != "windows") {
        return jsonText(value);
    }
    const auto& display = *static_cast<const DisplayConfig*>(record);
    std::string layout = layoutName(display);
    if (layout != "custom") {
        return layout;
    }
    std::string text;
    for (int i = 0; i < display.count && i < KORVEX_MAX_DISPLAY_WINDOWS; ++i) {
        text += (i > 0 ? " " : "") + windowText(display.windows[i]);
    }
    return text;
}

std::vector<Change> changesOf(const SavedRecord& saved, const void* current) {
    const Json now = recordJson(*saved.kind, current);
    const Json backup = recordJson(*saved.kind, saved.record.data());
    std::vector<Change> changes;
    for (const auto& item : backup.items()) {
        const Json& was = now.at(item.key());
        if (was != item.value()) {
            changes.push_back(Change{item.key(), was, item.value(),
                                     shownValue(item.key(), was, current),
                                     shownValue(item.key(), item.value(), saved.record.data())});
        }
    }
    return changes;
}

// What restore tells: lines for people, or with --json one object per record that differs or
// failed.
class RestoreReport {
  public:
    explicit RestoreReport(bool json) : json_(json) {}

    void device(const SavedDevice& saved, const SystemInfo& now) const {
        if (json_) {
            return;
        }
        std::string serial = "serial " + fieldText(now.serial);
        if (fieldText(now.serial) != fieldText(saved.info.serial)) {
            serial += ", the backup's " + fieldText(saved.info.serial);
        }
        std::printf("%s %s (%s): %zu records in the backup\n", saved.name().c_str(),
                    fieldText(now.model).c_str(), serial.c_str(), saved.records.size());
    }

    void unreachable(const SavedDevice& saved, const std::string& error) const {
        if (json_) {
            printLine(Json{{"device", saved.name()}, {"result", "failed"}, {"error", error}});
        } else {
            std::printf("%s: not restored: %s\n", saved.name().c_str(), error.c_str());
        }
    }

    void record(const SavedDevice& device, const SavedRecord& saved,
                const std::vector<Change>& changes, const std::string& result,
                const std::string& error = "") const {
        const std::string label = recordLabel(saved);
        if (!json_) {
            for (const Change& change : changes) {
                std::printf("  %s: %s %s -> %s\n", label.c_str(), change.field.c_str(),
                            change.nowText.c_str(), change.backupText.c_str());
            }
            const std::string shown = result == "dry run" ? "not written (dry run)" : result;
            std::printf("  %s: %s%s%s\n", label.c_str(), shown.c_str(), error.empty() ? "" : ": ",
                        error.c_str());
            return;
        }
        Json line = {{"device", device.name()}, {"record", saved.kind->name}};
        if (saved.selector >= 0) {
            line[saved.kind->selector == Selector::Channel ? "channel" : "index"] = saved.selector;
        }
        Json list = Json::array();
        for (const Change& change : changes) {
            list.push_back(
                {{"field", change.field}, {"now", change.now}, {"backup", change.backup}});
        }
        line["changes"] = list;
        line["result"] = result;
        if (!error.empty()) {
            line["error"] = error;
        }
        printLine(line);
    }

    void deviceDone(const Tally& tally, bool dryRun) const {
        if (json_) {
            return;
        }
        if (tally.differ == 0 && tally.failed == 0) {
            std::printf("  all %zu records as in the backup\n", tally.records);
        } else if (dryRun) {
            std::printf("  %zu of %zu records differ\n", tally.differ, tally.records);
        } else {
            std::printf("  %zu of %zu records differed: %zu restored, %zu failed\n", tally.differ,
                        tally.records, tally.written, tally.failed);
        }
    }

  private:
    static void printLine(const Json& line) { std::printf("%s\n", jsonText(line).c_str()); }

    bool json_;
};

// Reads one record from the device and, where it differs, writes the backup's values.
void restoreRecord(Device& device, const SavedDevice& owner, const SavedRecord& saved, bool dryRun,
                   const RestoreReport& report, Tally& tally) {
    const RecordKind& kind = *saved.kind;
    RecordStorage current = saved.record;  // chn as the backup selects it
    try {
        device.get(kind.getCode, kind.getCommand, current.data(), kind.size, recordChannel(saved));
    } catch (const DeviceFailure& failure) {
        ++tally.failed;
        report.record(owner, saved, {}, "failed", failure.what());
        return;
    }
    const std::vector<Change> changes = changesOf(saved, current.data());
    if (changes.empty()) {
        return;
    }
    ++tally.differ;
    if (dryRun) {
        report.record(owner, saved, changes, "dry run");
        return;
    }
    RecordStorage values = saved.record;
    try {
        device.set(kind.setCode, kind.setCommand, values.data(), kind.size, recordChannel(saved));
    } catch (const DeviceFailure&) {
        ++tally.failed;
        report.record(owner, saved, changes, "failed",
                      device.name() + " answered " + kind.getCommand + " but did not accept " +
                          kind.setCommand + ": it refused the backup's values, or stopped " +
                          "answering (" + std::to_string(device.options().timeoutMs) + " ms)");
        return;
    }
    ++tally.written;
    report.record(owner, saved, changes, "restored");
}

// A device of the backup, and what it answered when asked for its model.
struct Target {
    std::unique_ptr<Device> device;
    SystemInfo info{};
    std::string unreachable;  // why it did not answer, or empty
};

// Asks every device for its model before anything is written; DeviceFailure when a model differs
// from the backup's and that is not forced.
std::vector<Target> askModels(const GlobalOptions& options, const Backup& backup, bool force) {
    std::vector<Target> targets(backup.devices.size());
    std::vector<std::string> otherModels;
    for (size_t i = 0; i < backup.devices.size(); ++i) {
        const SavedDevice& saved = backup.devices[i];
        GlobalOptions address = options;
        address.host = saved.host;
        address.port = saved.port;
        Target& target = targets[i];
        target.device = std::make_unique<Device>(address, "restore");
        try {
            target.device->get(CFG_GET_SYSINFO, "GET_SYSINFO", &target.info, sizeof target.info);
        } catch (const DeviceFailure& failure) {
            target.unreachable = failure.what();
            continue;
        }
        // Compared as JSON keeps them: bytes that are not UTF-8 count as U+FFFD on both sides.
        const std::string model = fieldText(target.info.model);
        if (jsonText(Json(model)) != jsonText(Json(fieldText(saved.info.model)))) {
            otherModels.push_back(saved.name() + " is a " + model + ", the backup is of a " +
                                  fieldText(saved.info.model));
        }
    }
    if (!otherModels.empty() && !force) {
        for (const std::string& text : otherModels) {
            std::fprintf(stderr, "korvexctl: restore: %s\n", text.c_str());
        }
        throw DeviceFailure(
            "restore: nothing written: the model differs from the backup's (--force restores "
            "anyway)");
    }
    return targets;
}

std::string readDocument(const std::string& path) {
    uint64_t bytes = 0;
    const std::string problem = platform::readableFileProblem(path, bytes);
    if (!problem.empty()) {
        throw UsageError(path + ": " + problem, "restore");
    }
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in) {
        throw UsageError(path + ": cannot be read", "restore");
    }
    return text.str();
}

}  // namespace

std::string restoreHelp() {
    return R"(Usage: korvexctl [--timeout MS] [--json] restore FILE [--dry-run] [--force]

Writes a backup of korvexctl backup back to the devices it names (their addresses and
ports are in FILE). For each device it reads every record the backup holds, prints each
field that differs (the device's value -> the backup's), and writes only the records that
differ, with one result line per record: restored, or failed and why. The other records are
still written when one fails.

  --dry-run   read and compare only: print what differs, write nothing
  --force     restore also to a device whose model differs from the backup's; without it
              such a device stops the restore before anything is written

Each device's model is read first. The encoders of the channels are reached both through
the receiver (videoenc --channel N) and on their transmitters, so a changed encoder shows
under both; once it is restored through the receiver, the transmitter's matches.

Exit status: 0 every record that differed was written (with --dry-run: every record was
read); 1 a device did not answer, a record could not be read or was refused, or a model
differs without --force; 2 FILE is not a korvexctl backup (the message names its line and
member), or the command line is wrong.

With --json, one object per line for each record that differs or failed:
{"device":"192.168.2.88:15380","record":"ttl","index":2,"changes":[{"field":"baudrate",
"now":9600,"backup":115200}],"result":"restored"}; result is restored, dry run or failed
(then with "error"), and a device that does not answer is {"device":...,"result":"failed",
"error":...}.
)";
}

int runRestore(const GlobalOptions& options, const Arguments& arguments) {
    const std::string command = "restore";
    OptionParser parser(command);
    bool dryRun = false;
    bool force = false;
    parser.flag("--dry-run", [&] { dryRun = true; });
    parser.flag("--force", [&] { force = true; });
    Arguments positional;
    if (!parser.parse(arguments, positional)) {
        return printHelp(restoreHelp());
    }
    if (positional.size() != 1) {
        throw UsageError(
            positional.empty() ? "name the backup FILE" : "unexpected \"" + positional[1] + "\"",
            command);
    }
    if (!options.host.empty()) {
        throw UsageError("--host does not apply: restore writes to the devices the backup names",
                         command);
    }
    const Backup backup = readBackup(readDocument(positional[0]), positional[0]);

    std::vector<Target> targets = askModels(options, backup, force);

    const RestoreReport report(options.json);
    Tally total;
    for (size_t i = 0; i < backup.devices.size(); ++i) {
        const SavedDevice& saved = backup.devices[i];
        Tally tally;
        tally.records = saved.records.size();
        if (!targets[i].unreachable.empty()) {
            report.unreachable(saved, targets[i].unreachable);
            tally.failed = tally.records;
        } else {
            report.device(saved, targets[i].info);
            for (const SavedRecord& record : saved.records) {
                restoreRecord(*targets[i].device, saved, record, dryRun, report, tally);
            }
            report.deviceDone(tally, dryRun);
        }
        total.records += tally.records;
        total.differ += tally.differ;
        total.written += tally.written;
        total.failed += tally.failed;
    }
    if (!options.json) {
        if (dryRun) {
            std::printf("dry run: %zu of %zu records differ; nothing was written\n", total.differ,
                        total.records);
        } else {
            std::printf("restore: %zu of %zu records differed; %zu restored\n", total.differ,
                        total.records, total.written);
        }
    }
    std::fflush(stdout);
    if (total.failed > 0) {
        throw DeviceFailure("restore: " + std::to_string(total.failed) + " of " +
                            std::to_string(total.records) + " records failed (above)");
    }
    return kExitOk;
}

}  // namespace korvexctl
