// What a device remembers: its settings records, and the installation-wide video encoder settings
// of the four channels, which a transmitter and the receiver (addressing it by CHN) share.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>

#include "Korvex.h"
#include "options.h"

namespace devicesim {

constexpr int kChannelCount = 4;
constexpr int kTtlPortCount = 2;
constexpr int kReceiveChannelCount = 5;  // CHN 0..4
constexpr int kActuatorCount = 6;
constexpr int kActuatorMinimum = 0;
constexpr int kActuatorMaximum = 180;
constexpr int kVideoCodecH264 = 0;
constexpr int kVideoCodecH265 = 1;

// The encoder settings of channels 1..4 (index 0 is unused). Running streams read them at every
// loop boundary.
class Installation {
  public:
    Installation();
    VideoEncodeConfig videoEncoder(int channel) const;
    void setVideoEncoder(int channel, const VideoEncodeConfig& config);

  private:
    mutable std::mutex mutex_;
    std::array<VideoEncodeConfig, kChannelCount + 1> configs_{};
};

VideoEncodeConfig defaultVideoEncoder();
bool isAcceptedPictureSize(int width, int height);
bool validateVideoEncoder(const VideoEncodeConfig& config, std::string& error);
bool validateAudioEncoder(const AudioEncodeConfig& config, std::string& error);
std::string describeVideoEncoder(const VideoEncodeConfig& config);

struct DeviceSettings {
    SystemInfo system{};
    VideoSourceInfo videoSource{};
    AudioSourceInfo audioSource{};
    AudioEncodeConfig audioEncoder{};
    std::array<TtlConfig, kTtlPortCount> ttl{};
    std::array<ReceiveConfig, kReceiveChannelCount> receive{};
    DisplayConfig display{};
    std::array<int, kActuatorCount> actuator{};
};

DeviceSettings defaultSettings(const DeviceIdentity& identity);

// Copies text into a fixed record field, cut to fit and zero-terminated.
template <size_t N>
void copyText(char (&field)[N], const std::string& text) {
    const size_t length = text.size() < N - 1 ? text.size() : N - 1;
    text.copy(field, length);
    field[length] = '\0';
}

struct DeviceState {
    DeviceState(const DeviceIdentity& deviceIdentity, Installation& shared)
        : identity(deviceIdentity),
          installation(shared),
          settings(defaultSettings(deviceIdentity)) {}

    const DeviceIdentity identity;
    Installation& installation;
    std::mutex mutex;         // guards settings
    DeviceSettings settings;  // only under mutex
};

}  // namespace devicesim
