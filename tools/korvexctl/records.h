// The configuration records of Korvex.h by name: which codes read and write each, which selector
// addresses it, its fields with what a set may give them, and the receiver's display layouts.
// get, set, info, watch and the help texts all work from this one table.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "Korvex.h"
#include "output.h"

namespace korvexctl {

enum class FieldType { Integer, Text };

struct RecordField {
    const char* name;  // the Korvex.h field name; the set option is "--" + name (any letter case)
    FieldType type;
    size_t offset;
    size_t capacity;  // Text: bytes of the field, terminator included
    long long minimum;
    long long maximum;
    const char* help;  // what a set may give, for --help
};

// How a command line names one record among several of its kind.
enum class Selector {
    None,
    Channel,   // --channel N: the call's channel argument (videoenc)
    TtlPort,   // --index N: the serial port 1..2, as the window counts them (chn = N - 1)
    RecvIndex  // --index N: the receive channel, sent as chn unchanged
};

struct RecordKind {
    const char* name;  // "videoenc"
    const char* summary;
    int getCode;
    const char* getCommand;
    int setCode;  // 0: read-only
    const char* setCommand;
    int size;
    Selector selector;
    std::vector<RecordField> fields;
};

const std::vector<RecordKind>& recordKinds();
// The record of that name, or nullptr.
const RecordKind* findRecord(const std::string& name);
// "audioenc, audiosrc, ..." for messages.
std::string recordNames(bool settableOnly);

// Room for any record, zero-filled and aligned.
struct RecordStorage {
    alignas(8) unsigned char bytes[256] = {};
    void* data() { return bytes; }
    const void* data() const { return bytes; }
};

// The record's fields by name; for the display also its window list and layout name.
Value recordValue(const RecordKind& kind, const void* record);

// Puts the command line's text for one field into the record; UsageError when it does not fit
// the field's range or size. `command` names the help for the error.
void applyField(const RecordField& field, void* record, const std::string& text,
                const std::string& command);

// A record's selector field (the chn of ttl and recv): set from --index, never given as a field.
bool isSelectorField(const RecordField& field);

// Display layouts as the Telvane window's buttons send them.
struct DisplayLayout {
    const char* name;  // "ch1" .. "ch4", "ch12", "ch34", "quad"
    int count;
    DisplayWindow windows[4];
};
const std::vector<DisplayLayout>& displayLayouts();
// The layout whose windows the record holds exactly, "none" for no window, else "custom".
std::string layoutName(const DisplayConfig& display);
// "1:0,0,50,100" for one window.
std::string windowText(const DisplayWindow& window);
// Parses "ID:X,Y,W,H" (channel 1..4, percentages 0..100); UsageError otherwise.
DisplayWindow parseWindow(const std::string& text, const std::string& command);
// "1080P60", "3840x2160P30" from their short forms (1080p, 4k, ...); other texts unchanged.
std::string resolutionText(const std::string& text);
// The display's audio value from "1".."4", "none" or "-1".
int parseDisplayAudio(const std::string& text, const std::string& command);

// The actuators' ids (the ORIENT values and the "Goto" angle are Korvex.h's KORVEX_ACTUATOR_*).
constexpr int kActuatorLastId = 5;  // the window's PWM index "1".."6" is id 0..5

}  // namespace korvexctl
