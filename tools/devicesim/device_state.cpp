#include "device_state.h"

#include <arpa/inet.h>

namespace devicesim {

namespace {

const int kAcceptedSizes[][2] = {
    {352, 288}, {720, 576}, {1280, 720}, {1920, 1080}, {3840, 2160},
};

}  // namespace

Installation::Installation() {
    configs_.fill(defaultVideoEncoder());
}

VideoEncodeConfig Installation::videoEncoder(int channel) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return configs_.at(static_cast<size_t>(channel));
}

void Installation::setVideoEncoder(int channel, const VideoEncodeConfig& config) {
    std::lock_guard<std::mutex> lock(mutex_);
    configs_.at(static_cast<size_t>(channel)) = config;
}

VideoEncodeConfig defaultVideoEncoder() {
    VideoEncodeConfig config{};
    config.codec = kVideoCodecH264;
    config.width = 1920;
    config.height = 1080;
    config.frameRate = 30;
    config.bitrate = 4000;
    config.rc = 0;
    config.keyGop = 60;
    config.quality = 3;
    config.profile = 1;
    return config;
}

bool isAcceptedPictureSize(int width, int height) {
    for (const auto& size : kAcceptedSizes) {
        if (size[0] == width && size[1] == height) {
            return true;
        }
    }
    return false;
}

bool validateVideoEncoder(const VideoEncodeConfig& config, std::string& error) {
    if (config.codec != kVideoCodecH264 && config.codec != kVideoCodecH265) {
        error = "CODEC must be 0 (H.264) or 1 (H.265)";
    } else if (!isAcceptedPictureSize(config.width, config.height)) {
        error = "picture size " + std::to_string(config.width) + "x" +
                std::to_string(config.height) +
                " is not one of 352x288, 720x576, 1280x720, 1920x1080, 3840x2160";
    } else if (config.frameRate < 1 || config.frameRate > 60) {
        error = "FRAMERATE must be 1..60";
    } else if (config.bitrate < 64 || config.bitrate > 50000) {
        error = "BITRATE must be 64..50000 kbit/s";
    } else if (config.keyGop < 1 || config.keyGop > 600) {
        error = "KEYGOP must be 1..600 frames";
    } else {
        return true;
    }
    return false;
}

bool validateAudioEncoder(const AudioEncodeConfig& config, std::string& error) {
    if (config.enable != 0 && config.enable != 1) {
        error = "ENABLE must be 0 or 1";
    } else if (config.codec != 0) {
        error = "CODEC must be 0 (AAC)";
    } else if (config.samples != 48000 && config.samples != 44100 && config.samples != 32000) {
        error = "SAMPLES must be 48000, 44100 or 32000";
    } else if (config.channel != 1 && config.channel != 2) {
        error = "CHANNEL must be 1 or 2";
    } else if (config.bitWidth != 16) {
        error = "BITWIDTH must be 16";
    } else if (config.bitrate < 32 || config.bitrate > 320) {
        error = "BITRATE must be 32..320 kbit/s";
    } else {
        return true;
    }
    return false;
}

std::string describeVideoEncoder(const VideoEncodeConfig& config) {
    return std::string(config.codec == kVideoCodecH265 ? "H.265 " : "H.264 ") +
           std::to_string(config.width) + "x" + std::to_string(config.height) + " at " +
           std::to_string(config.frameRate) + " fps, " + std::to_string(config.bitrate) +
           " kbit/s, key frame every " + std::to_string(config.keyGop);
}

DeviceSettings defaultSettings(const DeviceIdentity& identity) {
    DeviceSettings settings;
    const bool receiver = identity.role == Role::Receiver;
    in_addr address{};
    inet_pton(AF_INET, identity.address.c_str(), &address);
    const unsigned lastOctet = ntohl(address.s_addr) & 0xffu;

    std::string upperName = identity.name();
    for (char& c : upperName) {
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
    copyText(settings.system.softVer, "V1.0.0");
    copyText(settings.system.hardVer, "H1.0");
    copyText(settings.system.serial, "DSIM-" + upperName + "-" + std::to_string(lastOctet));
    copyText(settings.system.model, receiver ? "HDMI-IP-RX" : "HDMI-IP-TX");

    // A transmitter captures a 1080p60 source; the receiver reports the mode it drives.
    settings.videoSource = VideoSourceInfo{1920, 1080, 60, 0};
    settings.audioSource = AudioSourceInfo{48000, 2};
    // Mono 48 kHz AAC-LC at 64 kbit/s, the same form as the player's own silent frame.
    settings.audioEncoder = AudioEncodeConfig{1, 0, 48000, 1, 16, 64};

    for (int i = 0; i < kTtlPortCount; ++i) {
        TtlConfig& ttl = settings.ttl[static_cast<size_t>(i)];
        ttl.chn = i;
        ttl.client = 0;
        ttl.mode = 0;
        ttl.baudrate = 115200;
        ttl.port = 9000 + i;
        ttl.peerPort = 0;
        copyText(ttl.peerAddr, "0.0.0.0");
    }
    for (int i = 0; i < kReceiveChannelCount; ++i) {
        ReceiveConfig& receive = settings.receive[static_cast<size_t>(i)];
        receive.chn = i;
        copyText(receive.rendpt, "0.0.0.0");
        receive.rport = 0;
        receive.transport = 0;
    }

    settings.display.audio = 1;
    copyText(settings.display.resolution, "1080P60");
    settings.display.count = 1;
    settings.display.windows[0] = DisplayWindow{1, 0, 0, 100, 100};

    // Halfway along the range the player's "Goto" covers (42..132).
    settings.actuator.fill(87);
    return settings;
}

}  // namespace devicesim
