// Configuration records as JSON objects, their fields by the Korvex.h names: what a backup holds
// and what the MQTT bridge publishes. The selector of a TTL port or receive channel (chn) is not
// among the fields: whoever names the record says which one it is.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "records.h"

namespace korvexctl {

// Objects keep their members in the order written (Korvex.h's order), for people reading them.
using Json = nlohmann::ordered_json;

// The record's fields; a display's windows as a list of {id, x, y, width, height}.
Json recordJson(const RecordKind& kind, const void* record);

// Puts `fields` into `record`. They must be exactly the record's fields, with whole numbers that
// fit 32 bits and texts that fit their field without control characters. Returns "" when they
// are, else what is wrong, with the member it is about in `member` (such as "baudrate" or
// "windows[1].x"; empty when it is about the object itself).
std::string recordFromJson(const RecordKind& kind, const Json& fields, void* record,
                           std::string& member);

// Whether `value` is a whole number in [minimum, maximum]; the number in `out`.
bool wholeNumber(const Json& value, long long minimum, long long maximum, long long& out);

// The JSON text of `value`; bytes of device texts that are not UTF-8 become U+FFFD.
std::string jsonText(const Json& value, int indent = -1);

}  // namespace korvexctl
