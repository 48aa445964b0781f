// The configuration commands: one table row per code, with its command word, the CHN value it
// sends and the KEY=value fields it reads (Get) or writes (Set), in wire order.
#include "config.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "display_list.h"
#include "exchange.h"
#include "key_reader.h"

namespace korvex {

namespace {

enum class Entry { Get, Set };
enum class ChannelSource { Zero, CallArgument, RecordChn };
enum class Kind { Number, Text, DisplayList };

struct Field {
    const char* key;
    Kind kind;
    size_t offset;
    size_t size;  // texts: the field's size including its terminating zero
};

struct Command {
    int code;
    Entry entry;
    const char* word;
    ChannelSource channel;
    size_t responseSize;
    const Field* fields;
    size_t fieldCount;
};

#define NUMBER(Record, member, key)                    \
    Field {                                            \
        key, Kind::Number, offsetof(Record, member), 0 \
    }
#define TEXT(Record, member, key)                                         \
    Field {                                                               \
        key, Kind::Text, offsetof(Record, member), sizeof(Record::member) \
    }

const Field kVideoSourceFields[] = {
    NUMBER(VideoSourceInfo, width, "WIDTH"),
    NUMBER(VideoSourceInfo, height, "HEIGHT"),
    NUMBER(VideoSourceInfo, freq, "FREQ"),
    NUMBER(VideoSourceInfo, scan, "SCAN"),
};
const Field kSystemInfoFields[] = {
    TEXT(SystemInfo, softVer, "SOFTVER"),
    TEXT(SystemInfo, hardVer, "HARDVER"),
    TEXT(SystemInfo, serial, "SERIAL"),
    TEXT(SystemInfo, model, "MODEL"),
};
const Field kVideoEncodeFields[] = {
    NUMBER(VideoEncodeConfig, codec, "CODEC"),
    NUMBER(VideoEncodeConfig, width, "WIDTH"),
    NUMBER(VideoEncodeConfig, height, "HEIGHT"),
    NUMBER(VideoEncodeConfig, bitrate, "BITRATE"),
    NUMBER(VideoEncodeConfig, keyGop, "KEYGOP"),
    NUMBER(VideoEncodeConfig, frameRate, "FRAMERATE"),
    NUMBER(VideoEncodeConfig, rc, "RC"),
    NUMBER(VideoEncodeConfig, quality, "QUALITY"),
    NUMBER(VideoEncodeConfig, profile, "PROFILE"),
};
const Field kAudioSourceFields[] = {
    NUMBER(AudioSourceInfo, samples, "SAMPLES"),
    NUMBER(AudioSourceInfo, channel, "CHANNEL"),
};
const Field kAudioEncodeFields[] = {
    NUMBER(AudioEncodeConfig, enable, "ENABLE"),     NUMBER(AudioEncodeConfig, codec, "CODEC"),
    NUMBER(AudioEncodeConfig, samples, "SAMPLES"),   NUMBER(AudioEncodeConfig, bitrate, "BITRATE"),
    NUMBER(AudioEncodeConfig, bitWidth, "BITWIDTH"), NUMBER(AudioEncodeConfig, channel, "CHANNEL"),
};
const Field kGetTtlFields[] = {
    NUMBER(TtlConfig, mode, "MODE"),          NUMBER(TtlConfig, client, "CLIENT"),
    NUMBER(TtlConfig, baudrate, "BAUDRATE"),  NUMBER(TtlConfig, port, "PORT"),
    NUMBER(TtlConfig, peerPort, "PEER_PORT"), TEXT(TtlConfig, peerAddr, "PEER_ADDR"),
};
const Field kSetTtlFields[] = {
    NUMBER(TtlConfig, chn, "CHN"),          NUMBER(TtlConfig, mode, "MODE"),
    NUMBER(TtlConfig, client, "CLIENT"),    NUMBER(TtlConfig, baudrate, "BAUDRATE"),
    NUMBER(TtlConfig, port, "PORT"),        NUMBER(TtlConfig, peerPort, "PEER_PORT"),
    TEXT(TtlConfig, peerAddr, "PEER_ADDR"),
};
const Field kGetReceiveFields[] = {
    NUMBER(ReceiveConfig, rport, "RPORT"),
    NUMBER(ReceiveConfig, transport, "TRANSPORT"),
    TEXT(ReceiveConfig, rendpt, "RENDPT"),
};
const Field kGetDisplayFields[] = {
    NUMBER(DisplayConfig, audio, "AUDIO"),
    TEXT(DisplayConfig, resolution, "RESOLUTION"),
    Field{"DISPLAY", Kind::DisplayList, 0, 0},
};
const Field kSetDisplayFields[] = {
    Field{"DISPLAY", Kind::DisplayList, 0, 0},
    TEXT(DisplayConfig, resolution, "RESOLUTION"),
    NUMBER(DisplayConfig, audio, "AUDIO"),
};
const Field kActuatorFields[] = {
    NUMBER(ActuatorMoveRequest, id, "ID"),
    NUMBER(ActuatorMoveRequest, orient, "ORIENT"),
    NUMBER(ActuatorMoveRequest, angle, "ANGLE"),
};

#undef NUMBER
#undef TEXT

#define FIELDS(list) list, sizeof(list) / sizeof((list)[0])

const Command kCommands[] = {
    {CFG_ACTUATOR_MOVE, Entry::Set, "ACTUATOR_MOVE", ChannelSource::Zero, kResponseBufferSize,
     FIELDS(kActuatorFields)},
    {CFG_GET_VIDEOSRC, Entry::Get, "GET_VIDEOSRC", ChannelSource::Zero, kResponseBufferSize,
     FIELDS(kVideoSourceFields)},
    {CFG_GET_VIDEOENC, Entry::Get, "GET_VIDEOENC", ChannelSource::CallArgument,
     kLargeResponseBufferSize, FIELDS(kVideoEncodeFields)},
    {CFG_SET_VIDEOENC, Entry::Set, "SET_VIDEOENC", ChannelSource::CallArgument, kResponseBufferSize,
     FIELDS(kVideoEncodeFields)},
    {CFG_GET_SYSINFO, Entry::Get, "GET_SYSINFO", ChannelSource::Zero, kResponseBufferSize,
     FIELDS(kSystemInfoFields)},
    {CFG_GET_AUDIOSRC, Entry::Get, "GET_AUDIOSRC", ChannelSource::Zero, kResponseBufferSize,
     FIELDS(kAudioSourceFields)},
    {CFG_GET_AUDIOENC, Entry::Get, "GET_AUDIOENC", ChannelSource::Zero, kLargeResponseBufferSize,
     FIELDS(kAudioEncodeFields)},
    {CFG_SET_AUDIOENC, Entry::Set, "SET_AUDIOENC", ChannelSource::Zero, kResponseBufferSize,
     FIELDS(kAudioEncodeFields)},
    {CFG_GET_TTL, Entry::Get, "GET_TTL", ChannelSource::RecordChn, kLargeResponseBufferSize,
     FIELDS(kGetTtlFields)},
    {CFG_SET_TTL, Entry::Set, "SET_TTL", ChannelSource::RecordChn, kResponseBufferSize,
     FIELDS(kSetTtlFields)},
    {CFG_GET_RECV, Entry::Get, "GET_RECV", ChannelSource::RecordChn, kLargeResponseBufferSize,
     FIELDS(kGetReceiveFields)},
    // CFG_SET_RECV has a framing of its own (SetReceiveConfig).
    {CFG_GET_DISPLAY, Entry::Get, "GET_DISPLAY", ChannelSource::Zero, kLargeResponseBufferSize,
     FIELDS(kGetDisplayFields)},
    {CFG_SET_DISPLAY, Entry::Set, "SET_DISPLAY", ChannelSource::Zero, kResponseBufferSize,
     FIELDS(kSetDisplayFields)},
};

#undef FIELDS

const Command* FindCommand(int code, Entry entry) {
    for (const Command& command : kCommands) {
        if (command.code == code && command.entry == entry) {
            return &command;
        }
    }
    return nullptr;
}

// TtlConfig and ReceiveConfig both begin with their channel.
static_assert(offsetof(TtlConfig, chn) == 0 && offsetof(ReceiveConfig, chn) == 0,
              "the record's chn is read at offset 0");

int ChannelOf(const Command& command, const void* record, int callChannel) {
    switch (command.channel) {
        case ChannelSource::CallArgument:
            return callChannel;
        case ChannelSource::RecordChn: {
            int32_t chn;
            std::memcpy(&chn, record, sizeof chn);
            return chn;
        }
        case ChannelSource::Zero:
            break;
    }
    return 0;
}

int32_t* NumberAt(void* record, const Field& field) {
    return reinterpret_cast<int32_t*>(static_cast<char*>(record) + field.offset);
}
const int32_t* NumberAt(const void* record, const Field& field) {
    return reinterpret_cast<const int32_t*>(static_cast<const char*>(record) + field.offset);
}
char* TextAt(void* record, const Field& field) {
    return static_cast<char*>(record) + field.offset;
}
const char* TextAt(const void* record, const Field& field) {
    return static_cast<const char*>(record) + field.offset;
}

// Reads the fields in order. A missing key clears its field and ends the reading with failure;
// fields read before keep their new values, fields after are left as the caller had them.
bool ReadFields(const Command& command, const char* answer, void* record) {
    for (size_t i = 0; i < command.fieldCount; ++i) {
        const Field& field = command.fields[i];
        switch (field.kind) {
            case Kind::Number:
                if (!ReadNumberKey(answer, field.key, NumberAt(record, field))) {
                    return false;
                }
                break;
            case Kind::Text:
                if (!ReadTextKey(answer, field.key, TextAt(record, field), field.size)) {
                    return false;
                }
                break;
            case Kind::DisplayList: {
                const char* value = FindKeyValue(answer, field.key);
                if (value == nullptr) {
                    return false;
                }
                auto* display = static_cast<DisplayConfig*>(record);
                const int count = ParseDisplayList(value, display->windows);
                if (count == kUnclosedDisplayList) {
                    return false;
                }
                display->count = count;
                break;
            }
        }
    }
    return true;
}

// Formats the body lines in order. False when the record cannot be sent (a window count outside
// 0..5) or the body does not fit its buffer.
bool FormatBody(const Command& command, const void* record, char* body, size_t capacity) {
    size_t used = 0;
    body[0] = '\0';
    for (size_t i = 0; i < command.fieldCount; ++i) {
        const Field& field = command.fields[i];
        int written = -1;
        switch (field.kind) {
            case Kind::Number:
                written = std::snprintf(body + used, capacity - used, "%s=%d\r\n", field.key,
                                        *NumberAt(record, field));
                break;
            case Kind::Text:
                // A text field the caller left unterminated is sent up to the field's end.
                written = std::snprintf(body + used, capacity - used, "%s=%.*s\r\n", field.key,
                                        static_cast<int>(field.size - 1), TextAt(record, field));
                break;
            case Kind::DisplayList: {
                const auto* display = static_cast<const DisplayConfig*>(record);
                char list[kDisplayListBufferSize];
                if (!FormatDisplayList(list, sizeof list, display->windows, display->count)) {
                    return false;
                }
                written =
                    std::snprintf(body + used, capacity - used, "%s=[%s]\r\n", field.key, list);
                break;
            }
        }
        if (written < 0 || static_cast<size_t>(written) >= capacity - used) {
            return false;
        }
        used += static_cast<size_t>(written);
    }
    return true;
}

bool RunGet(const KorvexSession& session, const Command& command, void* record, int timeoutMs,
            int channel) {
    char answer[kLargeResponseBufferSize];
    if (!StandardExchange(session, command.word, nullptr, ChannelOf(command, record, channel),
                          timeoutMs, timeoutMs, answer, command.responseSize)) {
        return false;
    }
    return ReadFields(command, answer, record);
}

bool RunSet(const KorvexSession& session, const Command& command, const void* record, int timeoutMs,
            int channel) {
    char body[kRequestBufferSize];
    if (!FormatBody(command, record, body, sizeof body)) {
        return false;
    }
    char answer[kResponseBufferSize];
    return StandardExchange(session, command.word, body, ChannelOf(command, record, channel),
                            timeoutMs, timeoutMs, answer, sizeof answer);
}

// "RECV": the values travel as header lines, without AUTHORIZATION line and without body.
bool SetReceiveConfig(const KorvexSession& session, const ReceiveConfig& config, int timeoutMs) {
    char request[kRequestBufferSize];
    const int length = RequestWriter(request, sizeof request, "RECV")
                           .header("CHN", config.chn)
                           .header("RENDPT", config.rendpt, sizeof config.rendpt - 1)
                           .header("TRANSPORT", config.transport)
                           .header("RPORT", config.rport)
                           .finish();
    if (length < 0) {
        return false;
    }
    char answer[kResponseBufferSize];
    return ExchangeRaw(session, request, static_cast<size_t>(length), timeoutMs, timeoutMs, answer,
                       sizeof answer);
}

}  // namespace

bool GetConfig(const KorvexSession& session, int code, void* record, int timeoutMs, int channel) {
    const Command* command = FindCommand(code, Entry::Get);
    if (command == nullptr || record == nullptr) {
        return false;
    }
    return RunGet(session, *command, record, timeoutMs, channel);
}

bool SetConfig(const KorvexSession& session, int code, const void* record, int timeoutMs,
               int channel) {
    if (record == nullptr) {
        return false;
    }
    if (code == CFG_SET_RECV) {
        return SetReceiveConfig(session, *static_cast<const ReceiveConfig*>(record), timeoutMs);
    }
    const Command* command = FindCommand(code, Entry::Set);
    if (command == nullptr) {
        return false;
    }
    return RunSet(session, *command, record, timeoutMs, channel);
}

}  // namespace korvex
