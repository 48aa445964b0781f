#include "config_commands.h"

#include <functional>
#include <map>

#include "display_layout.h"

namespace devicesim {

namespace {

struct CommandContext {
    DeviceState& state;
    const Request& request;
    int32_t chn;
    KeyValues body;
    std::string note;
};

using Handler = std::function<Answer(CommandContext&)>;

void addLine(std::string& body, const char* key, long long value) {
    body += std::string(key) + "=" + std::to_string(value) + "\r\n";
}

void addLine(std::string& body, const char* key, const char* text) {
    body += std::string(key) + "=" + text + "\r\n";
}

// Reads the fields of a Set body (or, for RECV, of the header lines) with one error for the first
// missing or malformed key.
class FieldReader {
  public:
    explicit FieldReader(const KeyValues& values) : values_(values) {}

    bool raw(const char* key, std::string& out) {
        const std::string* value = find(key);
        if (value != nullptr) {
            out = *value;
        }
        return value != nullptr;
    }

    bool number(const char* key, int32_t& out) {
        const std::string* value = find(key);
        if (value == nullptr) {
            return false;
        }
        if (!parseInt32(*value, out)) {
            error_ = std::string(key) + " value \"" + *value + "\" is not a decimal number";
            return false;
        }
        return true;
    }

    template <size_t N>
    bool text(const char* key, char (&out)[N]) {
        const std::string* value = find(key);
        if (value == nullptr) {
            return false;
        }
        if (value->size() > N - 1) {
            error_ = std::string(key) + " is longer than " + std::to_string(N - 1) + " characters";
            return false;
        }
        for (char c : *value) {
            if (static_cast<unsigned char>(c) < 0x20) {
                error_ = std::string(key) + " holds a control character";
                return false;
            }
        }
        copyText(out, *value);
        return true;
    }

    const std::string& error() const { return error_; }

  private:
    const std::string* find(const char* key) {
        for (const auto& entry : values_) {
            if (entry.first == key) {
                return &entry.second;
            }
        }
        error_ = std::string(key) + " missing";
        return nullptr;
    }

    const KeyValues& values_;
    std::string error_;
};

Answer badRequest(const std::string& reason) {
    return errorAnswer(400, reason);
}

// The channel whose encoder a request addresses: a transmitter answers for its own channel (CHN 0
// or its number), the receiver for the channel named by CHN.
bool encoderChannel(const CommandContext& c, int& channel, Answer& failure) {
    const DeviceIdentity& identity = c.state.identity;
    if (identity.role == Role::Transmitter) {
        if (c.chn != 0 && c.chn != identity.channel) {
            failure = errorAnswer(
                404, "this transmitter encodes channel " + std::to_string(identity.channel));
            return false;
        }
        channel = identity.channel;
        return true;
    }
    if (c.chn < 1 || c.chn > kChannelCount) {
        failure = errorAnswer(404, "no channel " + std::to_string(c.chn) + " (1..4)");
        return false;
    }
    channel = c.chn;
    return true;
}

Answer getSysInfo(CommandContext& c) {
    std::lock_guard<std::mutex> lock(c.state.mutex);
    const SystemInfo& s = c.state.settings.system;
    std::string body;
    addLine(body, "SOFTVER", s.softVer);
    addLine(body, "HARDVER", s.hardVer);
    addLine(body, "SERIAL", s.serial);
    addLine(body, "MODEL", s.model);
    return okAnswer(body);
}

Answer getVideoSource(CommandContext& c) {
    std::lock_guard<std::mutex> lock(c.state.mutex);
    VideoSourceInfo source = c.state.settings.videoSource;
    if (c.state.identity.role == Role::Receiver) {
        // The receiver's picture is its output mode.
        outputModeSize(c.state.settings.display.resolution, source.width, source.height,
                       source.freq);
    }
    std::string body;
    addLine(body, "WIDTH", source.width);
    addLine(body, "HEIGHT", source.height);
    addLine(body, "FREQ", source.freq);
    addLine(body, "SCAN", source.scan);
    return okAnswer(body);
}

Answer getVideoEncoder(CommandContext& c) {
    int channel = 0;
    Answer failure;
    if (!encoderChannel(c, channel, failure)) {
        return failure;
    }
    const VideoEncodeConfig v = c.state.installation.videoEncoder(channel);
    std::string body;
    addLine(body, "CODEC", v.codec);
    addLine(body, "WIDTH", v.width);
    addLine(body, "HEIGHT", v.height);
    addLine(body, "FRAMERATE", v.frameRate);
    addLine(body, "BITRATE", v.bitrate);
    addLine(body, "RC", v.rc);
    addLine(body, "KEYGOP", v.keyGop);
    addLine(body, "QUALITY", v.quality);
    addLine(body, "PROFILE", v.profile);
    return okAnswer(body);
}

Answer setVideoEncoder(CommandContext& c) {
    int channel = 0;
    Answer failure;
    if (!encoderChannel(c, channel, failure)) {
        return failure;
    }
    VideoEncodeConfig v{};
    FieldReader r(c.body);
    if (!(r.number("CODEC", v.codec) && r.number("WIDTH", v.width) &&
          r.number("HEIGHT", v.height) && r.number("BITRATE", v.bitrate) &&
          r.number("KEYGOP", v.keyGop) && r.number("FRAMERATE", v.frameRate) &&
          r.number("RC", v.rc) && r.number("QUALITY", v.quality) &&
          r.number("PROFILE", v.profile))) {
        return badRequest(r.error());
    }
    std::string error;
    if (!validateVideoEncoder(v, error)) {
        return badRequest(error);
    }
    c.state.installation.setVideoEncoder(channel, v);
    c.note = "CH" + std::to_string(channel) + " encoder now " + describeVideoEncoder(v);
    if (c.state.identity.role == Role::Receiver) {
        std::lock_guard<std::mutex> lock(c.state.mutex);
        const DisplayConfig& display = c.state.settings.display;
        if (display.count == 1 && display.windows[0].id == channel) {
            c.note += "; output now: " + describeOutput(display, v.frameRate);
        }
    }
    return okAnswer();
}

Answer getAudioSource(CommandContext& c) {
    std::lock_guard<std::mutex> lock(c.state.mutex);
    std::string body;
    addLine(body, "SAMPLES", c.state.settings.audioSource.samples);
    addLine(body, "CHANNEL", c.state.settings.audioSource.channel);
    return okAnswer(body);
}

Answer getAudioEncoder(CommandContext& c) {
    std::lock_guard<std::mutex> lock(c.state.mutex);
    const AudioEncodeConfig& a = c.state.settings.audioEncoder;
    std::string body;
    addLine(body, "ENABLE", a.enable);
    addLine(body, "CODEC", a.codec);
    addLine(body, "SAMPLES", a.samples);
    addLine(body, "CHANNEL", a.channel);
    addLine(body, "BITWIDTH", a.bitWidth);
    addLine(body, "BITRATE", a.bitrate);
    return okAnswer(body);
}

Answer setAudioEncoder(CommandContext& c) {
    AudioEncodeConfig a{};
    FieldReader r(c.body);
    if (!(r.number("ENABLE", a.enable) && r.number("CODEC", a.codec) &&
          r.number("SAMPLES", a.samples) && r.number("BITRATE", a.bitrate) &&
          r.number("BITWIDTH", a.bitWidth) && r.number("CHANNEL", a.channel))) {
        return badRequest(r.error());
    }
    std::string error;
    if (!validateAudioEncoder(a, error)) {
        return badRequest(error);
    }
    std::lock_guard<std::mutex> lock(c.state.mutex);
    c.state.settings.audioEncoder = a;
    c.note = a.enable ? "audio encoder now AAC " + std::to_string(a.samples) + " Hz, " +
                            std::to_string(a.channel) + " channel(s), " +
                            std::to_string(a.bitrate) + " kbit/s"
                      : std::string("audio encoder now off");
    return okAnswer();
}

// The CHN of a record kept per port or channel names one of `count`; else the failure says so.
bool chnInRange(const CommandContext& c, int count, const char* what, Answer& failure) {
    if (c.chn < 0 || c.chn >= count) {
        failure = errorAnswer(404, std::string("no ") + what + " " + std::to_string(c.chn) +
                                       " (0.." + std::to_string(count - 1) + ")");
        return false;
    }
    return true;
}

bool ttlPort(const CommandContext& c, Answer& failure) {
    return chnInRange(c, kTtlPortCount, "TTL port", failure);
}

Answer getTtl(CommandContext& c) {
    Answer failure;
    if (!ttlPort(c, failure)) {
        return failure;
    }
    std::lock_guard<std::mutex> lock(c.state.mutex);
    const TtlConfig& t = c.state.settings.ttl[static_cast<size_t>(c.chn)];
    std::string body;
    addLine(body, "CLIENT", t.client);
    addLine(body, "MODE", t.mode);
    addLine(body, "BAUDRATE", t.baudrate);
    // PORT before PEER_PORT: readers that search "PORT=" as a plain substring take the first.
    addLine(body, "PORT", t.port);
    addLine(body, "PEER_PORT", t.peerPort);
    addLine(body, "PEER_ADDR", t.peerAddr);
    return okAnswer(body);
}

Answer setTtl(CommandContext& c) {
    Answer failure;
    if (!ttlPort(c, failure)) {
        return failure;
    }
    TtlConfig t{};
    FieldReader r(c.body);
    if (!(r.number("CHN", t.chn) && r.number("MODE", t.mode) && r.number("CLIENT", t.client) &&
          r.number("BAUDRATE", t.baudrate) && r.number("PORT", t.port) &&
          r.number("PEER_PORT", t.peerPort) && r.text("PEER_ADDR", t.peerAddr))) {
        return badRequest(r.error());
    }
    if (t.chn != c.chn) {
        return badRequest("body CHN=" + std::to_string(t.chn) +
                          " differs from header CHN:" + std::to_string(c.chn));
    }
    static const int kBaudRates[] = {300, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
    bool knownRate = false;
    for (int rate : kBaudRates) {
        knownRate = knownRate || rate == t.baudrate;
    }
    if (!knownRate) {
        return badRequest("BAUDRATE " + std::to_string(t.baudrate) + " is not a serial rate");
    }
    if (t.port < 0 || t.port > 65535 || t.peerPort < 0 || t.peerPort > 65535) {
        return badRequest("PORT and PEER_PORT must be 0..65535");
    }
    std::lock_guard<std::mutex> lock(c.state.mutex);
    c.state.settings.ttl[static_cast<size_t>(c.chn)] = t;
    c.note = "TTL port " + std::to_string(c.chn) + " now " + std::to_string(t.baudrate) + " baud";
    return okAnswer();
}

bool receiveChannel(const CommandContext& c, Answer& failure) {
    return chnInRange(c, kReceiveChannelCount, "receive channel", failure);
}

Answer getReceive(CommandContext& c) {
    Answer failure;
    if (!receiveChannel(c, failure)) {
        return failure;
    }
    std::lock_guard<std::mutex> lock(c.state.mutex);
    const ReceiveConfig& rc = c.state.settings.receive[static_cast<size_t>(c.chn)];
    std::string body;
    addLine(body, "RPORT", rc.rport);
    addLine(body, "TRANSPORT", rc.transport);
    addLine(body, "RENDPT", rc.rendpt);
    return okAnswer(body);
}

// RECV carries its values as header lines and has no body.
Answer setReceive(CommandContext& c) {
    Answer failure;
    if (!receiveChannel(c, failure)) {
        return failure;
    }
    if (!c.request.body.empty()) {
        return badRequest("RECV takes no body");
    }
    ReceiveConfig rc{};
    rc.chn = c.chn;
    FieldReader r(c.request.headers);
    if (!(r.text("RENDPT", rc.rendpt) && r.number("TRANSPORT", rc.transport) &&
          r.number("RPORT", rc.rport))) {
        return badRequest(r.error());
    }
    if (rc.transport != 0 && rc.transport != 1) {
        return badRequest("TRANSPORT must be 0 (TCP) or 1 (UDP)");
    }
    if (rc.rport < 0 || rc.rport > 65535) {
        return badRequest("RPORT must be 0..65535");
    }
    std::lock_guard<std::mutex> lock(c.state.mutex);
    c.state.settings.receive[static_cast<size_t>(c.chn)] = rc;
    c.note = "receive channel " + std::to_string(c.chn) + " now from " + rc.rendpt + " port " +
             std::to_string(rc.rport) + (rc.transport ? " over UDP" : " over TCP");
    return okAnswer();
}

bool receiverOnly(const CommandContext& c, Answer& failure) {
    if (c.state.identity.role != Role::Receiver) {
        failure = errorAnswer(404, "a transmitter has no HDMI output");
        return false;
    }
    return true;
}

Answer getDisplay(CommandContext& c) {
    Answer failure;
    if (!receiverOnly(c, failure)) {
        return failure;
    }
    std::lock_guard<std::mutex> lock(c.state.mutex);
    const DisplayConfig& d = c.state.settings.display;
    std::string body;
    addLine(body, "AUDIO", d.audio);
    addLine(body, "RESOLUTION", d.resolution);
    addLine(body, "DISPLAY", formatWindowList(d).c_str());
    return okAnswer(body);
}

Answer setDisplay(CommandContext& c) {
    Answer failure;
    if (!receiverOnly(c, failure)) {
        return failure;
    }
    DisplayConfig d{};
    FieldReader r(c.body);
    std::string windows;
    if (!(r.raw("DISPLAY", windows) && r.number("AUDIO", d.audio) &&
          r.text("RESOLUTION", d.resolution))) {
        return badRequest(r.error());
    }
    std::string error;
    if (!parseWindowList(windows, d, error) || !validateDisplay(d, error)) {
        return badRequest(error);
    }
    const int rate = d.count > 0 ? c.state.installation.videoEncoder(d.windows[0].id).frameRate : 0;
    std::lock_guard<std::mutex> lock(c.state.mutex);
    c.state.settings.display = d;
    c.note = "output now: " + describeOutput(d, rate);
    return okAnswer();
}

Answer actuatorMove(CommandContext& c) {
    ActuatorMoveRequest m{};
    FieldReader r(c.body);
    if (!(r.number("ID", m.id) && r.number("ORIENT", m.orient) && r.number("ANGLE", m.angle))) {
        return badRequest(r.error());
    }
    if (m.id < 0 || m.id >= kActuatorCount) {
        return badRequest("ID must be 0..5");
    }
    if (m.orient < 0 || m.orient > 3) {
        return badRequest("ORIENT must be 0 (stop), 1 (go to), 2 (up) or 3 (down)");
    }
    if (m.orient == 1 && (m.angle < kActuatorMinimum || m.angle > kActuatorMaximum)) {
        return badRequest("ANGLE must be 0..180");
    }
    std::lock_guard<std::mutex> lock(c.state.mutex);
    int& position = c.state.settings.actuator[static_cast<size_t>(m.id)];
    static const char* const kMotion[] = {"stopped", "moved to", "stepped up to",
                                          "stepped down to"};
    if (m.orient == 1) {
        position = m.angle;
    } else if (m.orient == 2 && position < kActuatorMaximum) {
        ++position;
    } else if (m.orient == 3 && position > kActuatorMinimum) {
        --position;
    }
    c.note = "actuator " + std::to_string(m.id) + " " + kMotion[m.orient] + " " +
             (m.orient == 0 ? "at " : "") + std::to_string(position);
    return okAnswer();
}

Answer netKeyboard(CommandContext& c) {
    int32_t key = 0;
    FieldReader r(c.body);
    if (!r.number("KEY", key)) {
        return badRequest(r.error());
    }
    c.note = "remote key " + std::to_string(key);
    return okAnswer();
}

const std::map<std::string, Handler>& handlers() {
    static const std::map<std::string, Handler> table = {
        {"GET_SYSINFO", getSysInfo},
        {"GET_VIDEOSRC", getVideoSource},
        {"GET_VIDEOENC", getVideoEncoder},
        {"SET_VIDEOENC", setVideoEncoder},
        {"GET_AUDIOSRC", getAudioSource},
        {"GET_AUDIOENC", getAudioEncoder},
        {"SET_AUDIOENC", setAudioEncoder},
        {"GET_TTL", getTtl},
        {"SET_TTL", setTtl},
        {"GET_RECV", getReceive},
        {"RECV", setReceive},
        {"GET_DISPLAY", getDisplay},
        {"SET_DISPLAY", setDisplay},
        {"ACTUATOR_MOVE", actuatorMove},
        {"NET_KEYBOARD", netKeyboard},
    };
    return table;
}

}  // namespace

bool isConfigCommand(const std::string& command) {
    return handlers().count(command) != 0;
}

Answer runConfigCommand(DeviceState& state, const Request& request, std::string& note) {
    const auto handler = handlers().find(request.command);
    if (handler == handlers().end()) {
        return errorAnswer(501, "unknown command " + request.command);
    }
    CommandContext context{state, request, 0, {}, {}};
    if (const std::string* chn = request.header("CHN")) {
        if (!parseInt32(*chn, context.chn)) {
            return badRequest("CHN \"" + *chn + "\" is not a decimal number");
        }
    }
    std::string error;
    if (!parseKeyValues(request.body, context.body, error)) {
        return badRequest(error);
    }
    Answer answer = handler->second(context);
    note = context.note;
    return answer;
}

}  // namespace devicesim
