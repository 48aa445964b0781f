#include "backup_document.h"

#include <cstring>
#include <iterator>
#include <map>

#include "command_line.h"
#include "record_json.h"

namespace korvexctl {

namespace {

const char kFormat[] = "korvex-backup";

// The member that names a record's selector in the document, or nullptr.
const char* selectorMember(const RecordKind& kind) {
    switch (kind.selector) {
        case Selector::Channel:
            return "channel";
        case Selector::TtlPort:
        case Selector::RecvIndex:
            return "index";
        case Selector::None:
            break;
    }
    return nullptr;
}

// Puts a selector into the record's chn, as korvexctl get does with --index.
void applySelector(SavedRecord& saved) {
    if (saved.kind->selector == Selector::TtlPort) {
        static_cast<TtlConfig*>(saved.record.data())->chn = saved.selector - 1;
    } else if (saved.kind->selector == Selector::RecvIndex) {
        static_cast<ReceiveConfig*>(saved.record.data())->chn = saved.selector;
    }
}

// The range of each kind's selector.
void selectorRange(const RecordKind& kind, int& minimum, int& maximum) {
    minimum = kind.selector == Selector::TtlPort ? 1 : 0;
    maximum = kind.selector == Selector::TtlPort ? 2 : 4;
}

// Walks the text as the JSON parser reads it and counts its lines, so that the parser's callback
// knows the line of every member it reports.
class LineCountingIterator {
  public:
    using iterator_category = std::input_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;

    LineCountingIterator(const char* at, int* line) : at_(at), line_(line) {}
    reference operator*() const { return *at_; }
    LineCountingIterator& operator++() {
        *line_ += *at_ == '\n' ? 1 : 0;
        ++at_;
        return *this;
    }
    // NOLINTNEXTLINE(cert-dcl21-cpp): an input iterator's post-increment, as the standard's are
    LineCountingIterator operator++(int) {
        LineCountingIterator before = *this;
        ++*this;
        return before;
    }
    bool operator==(const LineCountingIterator& other) const { return at_ == other.at_; }
    bool operator!=(const LineCountingIterator& other) const { return at_ != other.at_; }

  private:
    const char* at_;
    int* line_;
};

// A parsed document with the line of every member and list item, by its path
// ("devices[1].records[3].fields.baudrate").
// Json's destructor may allocate (it takes nested values apart without recursion); running out
// of memory there ends the program, as it would anywhere.
// NOLINTNEXTLINE(bugprone-exception-escape)
struct LocatedJson {
    Json value;
    std::map<std::string, int> lines;

    // The line of `path`, or of the nearest enclosing value that the document has.
    int lineOf(std::string path) const {
        for (;;) {
            const auto found = lines.find(path);
            if (found != lines.end() || path.empty()) {
                return found != lines.end() ? found->second : 1;
            }
            path.erase(path.find_last_of(".[") == std::string::npos ? 0 : path.find_last_of(".["));
        }
    }
};

struct Frame {
    bool list = false;
    std::string key;
    int index = -1;
};

std::string pathOf(const std::vector<Frame>& frames) {
    std::string path;
    for (const Frame& frame : frames) {
        if (frame.list && frame.index >= 0) {
            path += "[" + std::to_string(frame.index) + "]";
        } else if (!frame.list && !frame.key.empty()) {
            path += (path.empty() ? "" : ".") + frame.key;
        }
    }
    return path;
}

// Parses `text`; a syntax error is thrown as nlohmann's parse_error (which names line and column).
LocatedJson parseLocated(const std::string& text) {
    LocatedJson located;
    int line = 1;
    std::vector<Frame> frames;
    auto enterItem = [&] {
        if (!frames.empty() && frames.back().list) {
            ++frames.back().index;
            located.lines[pathOf(frames)] = line;
        }
    };
    const Json::parser_callback_t callback = [&](int, Json::parse_event_t event, Json& parsed) {
        switch (event) {
            case Json::parse_event_t::key:
                frames.back().key = parsed.get<std::string>();
                located.lines[pathOf(frames)] = line;
                break;
            case Json::parse_event_t::object_start:
            case Json::parse_event_t::array_start:
                enterItem();
                frames.push_back(Frame{event == Json::parse_event_t::array_start, "", -1});
                break;
            case Json::parse_event_t::object_end:
            case Json::parse_event_t::array_end:
                frames.pop_back();
                break;
            case Json::parse_event_t::value:
                enterItem();
                break;
        }
        return true;
    };
    const char* begin = text.data();
    located.value = Json::parse(LineCountingIterator(begin, &line),
                                LineCountingIterator(begin + text.size(), &line), callback);
    return located;
}

// Checks a parsed document member by member; every complaint names the file, line and member.
class DocumentReader {
  public:
    DocumentReader(const LocatedJson& document, std::string fileName)
        : document_(document), fileName_(std::move(fileName)) {}

    Backup backup() const {
        const Json& root = document_.value;
        if (!root.is_object()) {
            fail("", "is not a korvexctl backup (a JSON object with \"format\": \"" +
                         std::string(kFormat) + "\")");
        }
        if (!root.contains("format") || root["format"] != kFormat) {
            fail("format", "is not \"" + std::string(kFormat) + "\": not a korvexctl backup");
        }
        const long long version = integer(root, "", "version", 1, INT32_MAX);
        if (version != kBackupVersion) {
            fail("version", std::to_string(version) +
                                " is a version this korvexctl does not know "
                                "(it reads version " +
                                std::to_string(kBackupVersion) + ")");
        }
        onlyMembers(root, "", {"format", "version", "created", "devices"});
        Backup backup;
        backup.created = text(root, "", "created");
        const Json& devices = member(root, "", "devices");
        if (!devices.is_array() || devices.empty()) {
            fail("devices", "is not a list of devices");
        }
        for (size_t i = 0; i < devices.size(); ++i) {
            const std::string path = "devices[" + std::to_string(i) + "]";
            backup.devices.push_back(device(devices[i], path));
            for (size_t k = 0; k < i; ++k) {
                if (backup.devices[k].name() == backup.devices[i].name()) {
                    fail(path, backup.devices[i].name() + " is in the backup twice");
                }
            }
        }
        return backup;
    }

  private:
    [[noreturn]] void fail(const std::string& path, const std::string& message) const {
        throw UsageError(fileName_ + " line " + std::to_string(document_.lineOf(path)) + ": " +
                             (path.empty() ? "the document" : path) + ": " + message,
                         "restore");
    }

    static std::string join(const std::string& path, const std::string& name) {
        return path.empty() ? name : path + "." + name;
    }

    const Json& member(const Json& object, const std::string& path, const char* name) const {
        if (!object.contains(name)) {
            fail(path, std::string("lacks the member \"") + name + "\"");
        }
        return object[name];
    }

    void onlyMembers(const Json& object, const std::string& path,
                     std::initializer_list<const char*> names) const {
        for (const auto& item : object.items()) {
            bool known = false;
            for (const char* name : names) {
                known = known || item.key() == name;
            }
            if (!known) {
                fail(join(path, item.key()), "is not a member a backup has here");
            }
        }
    }

    long long integer(const Json& object, const std::string& path, const char* name,
                      long long minimum, long long maximum) const {
        const Json& value = member(object, path, name);
        long long number = 0;
        if (!wholeNumber(value, minimum, maximum, number)) {
            fail(join(path, name), value.dump() + " is not a whole number in " +
                                       std::to_string(minimum) + ".." + std::to_string(maximum));
        }
        return number;
    }

    std::string text(const Json& object, const std::string& path, const char* name) const {
        const Json& value = member(object, path, name);
        if (!value.is_string()) {
            fail(join(path, name), value.dump() + " is not a text");
        }
        return value.get<std::string>();
    }

    SavedDevice device(const Json& value, const std::string& path) const {
        if (!value.is_object()) {
            fail(path, "is not a device (an object)");
        }
        onlyMembers(value, path, {"host", "port", "role", "sysinfo", "records"});
        SavedDevice device;
        device.host = text(value, path, "host");
        if (device.host.empty() || device.host.size() > 63) {
            fail(join(path, "host"), "is not an address of 1 to 63 characters");
        }
        device.port = static_cast<int>(integer(value, path, "port", 1, 65535));
        const std::string role = text(value, path, "role");
        if (role != "receiver" && role != "transmitter") {
            fail(join(path, "role"), "\"" + role + "\" is neither receiver nor transmitter");
        }
        device.receiver = role == "receiver";
        fields(*findRecord("sysinfo"), member(value, path, "sysinfo"), join(path, "sysinfo"),
               &device.info);
        const Json& records = member(value, path, "records");
        if (!records.is_array()) {
            fail(join(path, "records"), "is not a list of records");
        }
        for (size_t i = 0; i < records.size(); ++i) {
            const std::string at = join(path, "records") + "[" + std::to_string(i) + "]";
            device.records.push_back(record(records[i], at));
            for (size_t k = 0; k < i; ++k) {
                if (recordLabel(device.records[k]) == recordLabel(device.records[i])) {
                    fail(at, recordLabel(device.records[i]) + " is in the device twice");
                }
            }
        }
        return device;
    }

    SavedRecord record(const Json& value, const std::string& path) const {
        if (!value.is_object()) {
            fail(path, "is not a record (an object)");
        }
        const std::string name = text(value, path, "record");
        SavedRecord saved;
        saved.kind = findRecord(name);
        if (saved.kind == nullptr || saved.kind->setCode == 0) {
            fail(join(path, "record"),
                 "\"" + name + "\" is not a record a backup holds (" + recordNames(true) + ")");
        }
        const char* selector = selectorMember(*saved.kind);
        if (selector != nullptr) {
            int minimum = 0;
            int maximum = 0;
            selectorRange(*saved.kind, minimum, maximum);
            saved.selector = static_cast<int>(integer(value, path, selector, minimum, maximum));
            onlyMembers(value, path, {"record", selector, "fields"});
        } else {
            onlyMembers(value, path, {"record", "fields"});
        }
        fields(*saved.kind, member(value, path, "fields"), join(path, "fields"),
               saved.record.data());
        applySelector(saved);
        return saved;
    }

    void fields(const RecordKind& kind, const Json& value, const std::string& path,
                void* record) const {
        std::string at;
        const std::string error = recordFromJson(kind, value, record, at);
        if (!error.empty()) {
            fail(at.empty() ? path : path + "." + at, error);
        }
    }

    const LocatedJson& document_;
    std::string fileName_;
};

}  // namespace

std::string recordLabel(const SavedRecord& saved) {
    std::string name = saved.kind->name;
    switch (saved.kind->selector) {
        case Selector::Channel:
            return saved.selector > 0 ? name + " --channel " + std::to_string(saved.selector)
                                      : name;
        case Selector::TtlPort:
        case Selector::RecvIndex:
            return name + " --index " + std::to_string(saved.selector);
        case Selector::None:
            break;
    }
    return name;
}

int recordChannel(const SavedRecord& saved) {
    return saved.kind->selector == Selector::Channel ? saved.selector : 0;
}

std::vector<SavedRecord> recordsToSave(bool receiver) {
    std::vector<SavedRecord> records;
    auto add = [&](const char* name, int selector) {
        SavedRecord saved;
        saved.kind = findRecord(name);
        saved.selector = selector;
        applySelector(saved);
        records.push_back(saved);
    };
    if (receiver) {
        add("display", -1);
        for (int channel = 1; channel <= 4; ++channel) {
            add("videoenc", channel);
        }
    } else {
        add("videoenc", 0);
    }
    add("audioenc", -1);
    add("ttl", 1);
    add("ttl", 2);
    for (int channel = 0; channel <= 4; ++channel) {
        add("recv", channel);
    }
    return records;
}

std::string backupText(const Backup& backup) {
    Json devices = Json::array();
    for (const SavedDevice& device : backup.devices) {
        Json records = Json::array();
        for (const SavedRecord& saved : device.records) {
            Json record = {{"record", saved.kind->name}};
            if (const char* selector = selectorMember(*saved.kind)) {
                record[selector] = saved.selector;
            }
            record["fields"] = recordJson(*saved.kind, saved.record.data());
            records.push_back(record);
        }
        devices.push_back(Json{{"host", device.host},
                               {"port", device.port},
                               {"role", device.receiver ? "receiver" : "transmitter"},
                               {"sysinfo", recordJson(*findRecord("sysinfo"), &device.info)},
                               {"records", records}});
    }
    const Json document = {{"format", kFormat},
                           {"version", kBackupVersion},
                           {"created", backup.created},
                           {"devices", devices}};
    return jsonText(document, 2) + "\n";
}

Backup readBackup(const std::string& text, const std::string& fileName) {
    LocatedJson document;
    try {
        document = parseLocated(text);
    } catch (const Json::parse_error& error) {
        // "[json.exception.parse_error.101] parse error at line 3, column 5: ..." without its tag.
        const std::string message = error.what();
        const size_t tagEnd = message.find("] ");
        throw UsageError(fileName + ": not JSON: " +
                             (tagEnd == std::string::npos ? message : message.substr(tagEnd + 2)),
                         "restore");
    }
    return DocumentReader(document, fileName).backup();
}

}  // namespace korvexctl
