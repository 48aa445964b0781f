// The document of `korvexctl backup` and `restore`: the installation's devices, each with its
// SystemInfo and every configuration record it holds, and the time of the backup. A format name
// and a version say what the document is, so that a later korvexctl knows what it reads.
#pragma once

#include <string>
#include <vector>

#include "Korvex.h"
#include "records.h"

namespace korvexctl {

constexpr int kBackupVersion = 1;

// One record of a device.
struct SavedRecord {
    const RecordKind* kind = nullptr;
    // videoenc: the call's channel (1..4 through a receiver, 0 for a transmitter's own); ttl: the
    // port 1..2; recv: the channel 0..4; -1 for a record that is the only one of its kind.
    int selector = -1;
    RecordStorage record;  // the values; chn already set for ttl and recv
};

// How korvexctl get names the record: "display", "videoenc --channel 3", "ttl --index 2".
std::string recordLabel(const SavedRecord& saved);
// The channel argument of the record's GET and SET calls.
int recordChannel(const SavedRecord& saved);

struct SavedDevice {
    std::string host;  // address, as Korvex is given it
    int port = 0;
    bool receiver = false;  // a receiver has a display and reaches the channels' encoders
    SystemInfo info{};
    std::vector<SavedRecord> records;

    std::string name() const { return host + ":" + std::to_string(port); }
};

struct Backup {
    std::string created;  // UTC, ISO 8601
    std::vector<SavedDevice> devices;
};

// The records a backup reads from a receiver or from a transmitter, in that order, with their
// selectors (and chn) set and their values still zero.
std::vector<SavedRecord> recordsToSave(bool receiver);

// The document, indented, with a newline at its end.
std::string backupText(const Backup& backup);

// Reads a document. Throws UsageError (for restore) saying, by file name, line and member, why
// `text` is not one.
Backup readBackup(const std::string& text, const std::string& fileName);

}  // namespace korvexctl
