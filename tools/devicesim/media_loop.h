// Encoded picture and sound loops. A stream repeats its channel's loop with rising timestamps, so
// the machine encodes each (channel, settings) combination once, in the background, at low
// priority, instead of encoding in real time for every viewer.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "Korvex.h"
#include "options.h"
#include "stream_packet.h"

namespace devicesim {

struct LoopKey {
    int channel = 1;
    int videoCodec = 0;  // 0 H.264, 1 H.265
    int width = 1920;
    int height = 1080;
    int fps = 30;
    int keyGop = 60;
    int bitrateKbps = 4000;
    bool audio = true;
    int sampleRate = 48000;
    int audioChannels = 1;
    int audioBitrateKbps = 64;

    auto tied() const {
        return std::tie(channel, videoCodec, width, height, fps, keyGop, bitrateKbps, audio,
                        sampleRate, audioChannels, audioBitrateKbps);
    }
    bool operator<(const LoopKey& other) const { return tied() < other.tied(); }
    bool operator==(const LoopKey& other) const { return tied() == other.tied(); }
    bool operator!=(const LoopKey& other) const { return !(*this == other); }
};

struct DeviceState;

LoopKey makeLoopKey(int channel, const VideoEncodeConfig& video, const AudioEncodeConfig& audio);
// The loop a transmitter streams now: its channel's video settings and its own audio settings.
LoopKey currentLoopKey(DeviceState& transmitter);
MediaDescription describeMedia(const LoopKey& key);
std::string describeLoopKey(const LoopKey& key);

struct EncodedFrame {
    int type = kPacketVideoFrame;  // kPacketKeyFrame or kPacketVideoFrame
    std::vector<uint8_t> data;     // one access unit, Annex B
};

struct MediaLoop {
    LoopKey key;
    std::vector<EncodedFrame> video;          // starts with a key frame
    std::vector<std::vector<uint8_t>> audio;  // ADTS frames of kAacFrameSamples samples each
};

class LoopCache {
  public:
    LoopCache(int loopSeconds, Picture picture);
    ~LoopCache();
    LoopCache(const LoopCache&) = delete;
    LoopCache& operator=(const LoopCache&) = delete;

    // The loop when it is encoded. Otherwise queues its encoding (once) and returns nullptr; a
    // failed encoding returns nullptr with `error` set, and the next call tries again.
    std::shared_ptr<const MediaLoop> find(const LoopKey& key, std::string& error);

    // Queues the loop's encoding unless it is encoded or queued already; returns at once.
    void prepare(const LoopKey& key);

    // As find, waiting up to `timeoutMs` for the encoding.
    std::shared_ptr<const MediaLoop> wait(const LoopKey& key, int timeoutMs, std::string& error);

    // Abandons queued and running encodings and ends the worker.
    void shutdown();

  private:
    struct Entry {
        std::shared_ptr<const MediaLoop> loop;
        std::string error;
        uint64_t lastUse = 0;
    };

    std::shared_ptr<const MediaLoop> lookUp(const LoopKey& key, std::string& error, bool& pending);
    void work();
    void evictUnused();

    const int loopSeconds_;
    const Picture picture_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<LoopKey, Entry> entries_;
    std::deque<LoopKey> queue_;
    uint64_t useCounter_ = 0;
    bool stopping_ = false;
    std::atomic<bool> abort_{false};
    std::thread worker_;
};

}  // namespace devicesim
