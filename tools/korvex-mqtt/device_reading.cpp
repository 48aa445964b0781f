#include "device_reading.h"

namespace korvex_mqtt {

namespace {

using korvexctl::findRecord;
using korvexctl::recordJson;

// The TTL ports 1 and 2 (chn 0 and 1) as a list of their fields with their "index".
bool readTtlPorts(KorvexSession* session, int timeoutMs, Json& out) {
    out = Json::array();
    for (int index = 1; index <= 2; ++index) {
        TtlConfig ttl{};
        ttl.chn = index - 1;
        if (KORVEX_GetConfig(session, CFG_GET_TTL, &ttl, sizeof ttl, timeoutMs, 0) != 0) {
            return false;
        }
        Json port = {{"index", index}};
        port.update(recordJson(*findRecord("ttl"), &ttl));
        out.push_back(port);
    }
    return true;
}

bool readReceiver(KorvexSession* session, int timeoutMs, Json& state) {
    DisplayConfig display{};
    if (KORVEX_GetConfig(session, CFG_GET_DISPLAY, &display, sizeof display, timeoutMs, 0) != 0) {
        return false;
    }
    const Json fields = recordJson(*findRecord("display"), &display);
    state = {{"layout", korvexctl::layoutName(display)},
             {"windows", fields["windows"]},
             {"audio", display.audio},
             {"resolution", fields["resolution"]},
             {"frameRate", nullptr}};
    // As the window's FPS buttons: the rate of the channel shown alone, through the receiver.
    if (display.count == 1) {
        VideoEncodeConfig encoder{};
        if (KORVEX_GetConfig(session, CFG_GET_VIDEOENC, &encoder, sizeof encoder, timeoutMs,
                             display.windows[0].id) != 0) {
            return false;
        }
        state["frameRate"] = encoder.frameRate;
    }
    Json ttl;
    if (!readTtlPorts(session, timeoutMs, ttl)) {
        return false;
    }
    state["ttl"] = ttl;
    return true;
}

bool readTransmitter(KorvexSession* session, int timeoutMs, Json& state) {
    VideoEncodeConfig video{};
    AudioEncodeConfig audio{};
    Json ttl;
    if (KORVEX_GetConfig(session, CFG_GET_VIDEOENC, &video, sizeof video, timeoutMs, 0) != 0 ||
        KORVEX_GetConfig(session, CFG_GET_AUDIOENC, &audio, sizeof audio, timeoutMs, 0) != 0 ||
        !readTtlPorts(session, timeoutMs, ttl)) {
        return false;
    }
    state = {{"videoenc", recordJson(*findRecord("videoenc"), &video)},
             {"audioenc", recordJson(*findRecord("audioenc"), &audio)},
             {"ttl", ttl}};
    return true;
}

}  // namespace

DeviceReading readDevice(KorvexSession* session, bool receiver, int timeoutMs) {
    DeviceReading reading;
    reading.answered = KORVEX_GetConfig(session, CFG_GET_SYSINFO, &reading.info,
                                        sizeof reading.info, timeoutMs, 0) == 0;
    if (reading.answered) {
        reading.stateRead = receiver ? readReceiver(session, timeoutMs, reading.state)
                                     : readTransmitter(session, timeoutMs, reading.state);
    }
    return reading;
}

Json sysinfoJson(const SystemInfo& info) {
    return recordJson(*findRecord("sysinfo"), &info);
}

}  // namespace korvex_mqtt
