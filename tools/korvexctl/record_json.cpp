#include "record_json.h"

#include <cstdint>
#include <cstring>

namespace korvexctl {

namespace {

const char* const kWindowMembers[] = {"id", "x", "y", "width", "height"};

int32_t numberAt(const void* record, size_t offset) {
    int32_t number = 0;
    std::memcpy(&number, static_cast<const unsigned char*>(record) + offset, sizeof number);
    return number;
}

std::string putNumber(const Json& value, size_t offset, void* record) {
    long long number = 0;
    if (!wholeNumber(value, INT32_MIN, INT32_MAX, number)) {
        return "is not a whole number of 32 bits: " + value.dump();
    }
    const auto stored = static_cast<int32_t>(number);
    std::memcpy(static_cast<unsigned char*>(record) + offset, &stored, sizeof stored);
    return "";
}

std::string putText(const Json& value, const RecordField& field, void* record) {
    if (!value.is_string()) {
        return "is not a text: " + value.dump();
    }
    const std::string& text = value.get_ref<const std::string&>();
    if (text.size() > field.capacity - 1) {
        return "is longer than " + std::to_string(field.capacity - 1) + " bytes";
    }
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            return "holds a control character, which cannot be sent";
        }
    }
    auto* bytes = static_cast<unsigned char*>(record) + field.offset;
    std::memset(bytes, 0, field.capacity);
    std::memcpy(bytes, text.c_str(), text.size() + 1);
    return "";
}

std::string putWindows(const Json& list, DisplayConfig& display, std::string& member) {
    member = "windows";
    if (!list.is_array() || list.size() > KORVEX_MAX_DISPLAY_WINDOWS) {
        return "is not a list of at most 5 windows";
    }
    std::memset(display.windows, 0, sizeof display.windows);
    display.count = 0;
    for (const Json& item : list) {
        member = "windows[" + std::to_string(display.count) + "]";
        if (!item.is_object() || item.size() != 5) {
            return "is not a window {id, x, y, width, height}";
        }
        int32_t* values = &display.windows[display.count].id;
        for (int i = 0; i < 5; ++i) {
            const auto found = item.find(kWindowMembers[i]);
            long long number = 0;
            if (found == item.end()) {
                return "is not a window {id, x, y, width, height}";
            }
            if (!wholeNumber(*found, 0, INT32_MAX, number)) {
                member += std::string(".") + kWindowMembers[i];
                return "is not a whole number from 0 (a window list holds no negative numbers)";
            }
            values[i] = static_cast<int32_t>(number);
        }
        ++display.count;
    }
    member.clear();
    return "";
}

}  // namespace

bool wholeNumber(const Json& value, long long minimum, long long maximum, long long& out) {
    if (value.is_number_unsigned()) {
        const uint64_t number = value.get<uint64_t>();
        if (number > static_cast<uint64_t>(INT64_MAX)) {
            return false;
        }
        out = static_cast<long long>(number);
    } else if (value.is_number_integer()) {
        out = value.get<long long>();
    } else {
        return false;
    }
    return out >= minimum && out <= maximum;
}

Json recordJson(const RecordKind& kind, const void* record) {
    Json fields = Json::object();
    for (const RecordField& field : kind.fields) {
        if (isSelectorField(field)) {
            continue;
        }
        if (field.type == FieldType::Integer) {
            fields[field.name] = numberAt(record, field.offset);
        } else {
            const char* start = static_cast<const char*>(record) + field.offset;
            fields[field.name] = std::string(start, strnlen(start, field.capacity));
        }
    }
    if (kind.getCode == CFG_GET_DISPLAY) {
        const auto& display = *static_cast<const DisplayConfig*>(record);
        Json windows = Json::array();
        for (int i = 0; i < display.count && i < KORVEX_MAX_DISPLAY_WINDOWS; ++i) {
            const DisplayWindow& w = display.windows[i];
            windows.push_back(Json{
                {"id", w.id}, {"x", w.x}, {"y", w.y}, {"width", w.width}, {"height", w.height}});
        }
        fields["windows"] = windows;
    }
    return fields;
}

std::string recordFromJson(const RecordKind& kind, const Json& fields, void* record,
                           std::string& member) {
    member.clear();
    if (!fields.is_object()) {
        return "is not an object of the record's fields";
    }
    const bool display = kind.getCode == CFG_GET_DISPLAY;
    for (const auto& item : fields.items()) {
        bool known = display && item.key() == "windows";
        for (const RecordField& field : kind.fields) {
            known = known || (!isSelectorField(field) && item.key() == field.name);
        }
        if (!known) {
            member = item.key();
            return std::string("is no field of ") + kind.name;
        }
    }
    for (const RecordField& field : kind.fields) {
        if (isSelectorField(field)) {
            continue;
        }
        const auto found = fields.find(field.name);
        if (found == fields.end()) {
            return std::string("lacks the field ") + field.name;
        }
        member = field.name;
        std::string error = field.type == FieldType::Integer
                                ? putNumber(*found, field.offset, record)
                                : putText(*found, field, record);
        if (!error.empty()) {
            return error;
        }
    }
    member.clear();
    if (display) {
        const auto found = fields.find("windows");
        if (found == fields.end()) {
            return "lacks the field windows";
        }
        return putWindows(*found, *static_cast<DisplayConfig*>(record), member);
    }
    return "";
}

std::string jsonText(const Json& value, int indent) {
    return value.dump(indent, ' ', false, Json::error_handler_t::replace);
}

}  // namespace korvexctl
