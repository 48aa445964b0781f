#include "media_loop.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>

#include "audio_encoder.h"
#include "device_state.h"
#include "log.h"
#include "video_encoder.h"

namespace devicesim {

namespace {

constexpr size_t kMaxCachedLoops = 6;

}  // namespace

LoopKey makeLoopKey(int channel, const VideoEncodeConfig& video, const AudioEncodeConfig& audio) {
    LoopKey key;
    key.channel = channel;
    key.videoCodec = video.codec;
    key.width = video.width;
    key.height = video.height;
    key.fps = video.frameRate;
    key.keyGop = video.keyGop;
    key.bitrateKbps = video.bitrate;
    key.audio = audio.enable != 0;
    key.sampleRate = audio.samples;
    key.audioChannels = audio.channel;
    key.audioBitrateKbps = audio.bitrate;
    return key;
}

LoopKey currentLoopKey(DeviceState& transmitter) {
    const int channel = transmitter.identity.channel;
    AudioEncodeConfig audio;
    {
        std::lock_guard<std::mutex> lock(transmitter.mutex);
        audio = transmitter.settings.audioEncoder;
    }
    return makeLoopKey(channel, transmitter.installation.videoEncoder(channel), audio);
}

MediaDescription describeMedia(const LoopKey& key) {
    MediaDescription media;
    media.hasAudio = key.audio;
    media.width = key.width;
    media.height = key.height;
    media.videoCodec = key.videoCodec == kVideoCodecH265 ? 1 : 0;
    media.sampleRate = key.sampleRate;
    media.audioChannels = key.audioChannels;
    return media;
}

std::string describeLoopKey(const LoopKey& key) {
    std::string text = "CH" + std::to_string(key.channel) +
                       (key.videoCodec == kVideoCodecH265 ? " H.265 " : " H.264 ") +
                       std::to_string(key.width) + "x" + std::to_string(key.height) + " " +
                       std::to_string(key.fps) + " fps " + std::to_string(key.bitrateKbps) +
                       " kbit/s";
    if (key.audio) {
        text +=
            ", AAC " + std::to_string(key.sampleRate) + " Hz x" + std::to_string(key.audioChannels);
    }
    return text;
}

LoopCache::LoopCache(int loopSeconds, Picture picture)
    : loopSeconds_(loopSeconds), picture_(picture), worker_([this] { work(); }) {}

LoopCache::~LoopCache() {
    shutdown();
}

void LoopCache::shutdown() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        abort_ = true;
    }
    changed_.notify_all();
    if (worker_.joinable()) {
        worker_.join();
    }
}

std::shared_ptr<const MediaLoop> LoopCache::lookUp(const LoopKey& key, std::string& error,
                                                   bool& pending) {
    pending = false;
    const auto found = entries_.find(key);
    if (found == entries_.end()) {
        if (!stopping_) {
            entries_.emplace(key, Entry{});
            queue_.push_back(key);
            changed_.notify_all();
            pending = true;
        } else {
            error = "stopping";
        }
        return nullptr;
    }
    if (found->second.loop) {
        found->second.lastUse = ++useCounter_;
        return found->second.loop;
    }
    if (!found->second.error.empty()) {
        error = found->second.error;
        entries_.erase(found);
        return nullptr;
    }
    pending = true;
    return nullptr;
}

std::shared_ptr<const MediaLoop> LoopCache::find(const LoopKey& key, std::string& error) {
    std::lock_guard<std::mutex> lock(mutex_);
    bool pending = false;
    return lookUp(key, error, pending);
}

void LoopCache::prepare(const LoopKey& key) {
    std::string error;
    find(key, error);
}

std::shared_ptr<const MediaLoop> LoopCache::wait(const LoopKey& key, int timeoutMs,
                                                 std::string& error) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        bool pending = false;
        std::shared_ptr<const MediaLoop> loop = lookUp(key, error, pending);
        if (!pending || stopping_) {
            return loop;
        }
        if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) {
            return nullptr;
        }
    }
}

void LoopCache::evictUnused() {
    size_t ready = 0;
    for (const auto& entry : entries_) {
        ready += entry.second.loop ? 1 : 0;
    }
    while (ready > kMaxCachedLoops) {
        auto oldest = entries_.end();
        for (auto it = entries_.begin(); it != entries_.end(); ++it) {
            // Loops that a stream still plays stay (the cache holds the only other reference).
            if (it->second.loop && it->second.loop.use_count() == 1 &&
                (oldest == entries_.end() || it->second.lastUse < oldest->second.lastUse)) {
                oldest = it;
            }
        }
        if (oldest == entries_.end()) {
            return;
        }
        entries_.erase(oldest);
        --ready;
    }
}

void LoopCache::work() {
    // Encoding must not starve the streams and the other work on a small machine; the encoder's
    // own threads inherit this priority.
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 10);
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (stopping_) {
            return;
        }
        const LoopKey key = queue_.front();
        queue_.pop_front();
        lock.unlock();

        const auto started = std::chrono::steady_clock::now();
        auto loop = std::make_shared<MediaLoop>();
        loop->key = key;
        std::string error;
        const bool encoded =
            encodeVideoLoop(key, key.fps * loopSeconds_, picture_, abort_, loop->video, error) &&
            (!key.audio || encodeAudioLoop(key, loop->audio, error));
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        if (encoded) {
            size_t bytes = 0;
            int keyFrames = 0;
            for (const EncodedFrame& frame : loop->video) {
                bytes += frame.data.size();
                keyFrames += frame.type == kPacketKeyFrame ? 1 : 0;
            }
            for (const auto& frame : loop->audio) {
                bytes += frame.size();
            }
            logf("encoded loop %s: %zu pictures (%d key), %zu sound frames, %.1f kB in %.2f s",
                 describeLoopKey(key).c_str(), loop->video.size(), keyFrames, loop->audio.size(),
                 static_cast<double>(bytes) / 1000.0, seconds);
        } else if (!abort_) {
            logf("encoding loop %s failed: %s", describeLoopKey(key).c_str(), error.c_str());
        }

        lock.lock();
        Entry& entry = entries_[key];
        if (encoded) {
            entry.loop = std::move(loop);
            entry.lastUse = ++useCounter_;
            evictUnused();
        } else {
            entry.error = error.empty() ? std::string("encoding failed") : error;
        }
        changed_.notify_all();
    }
}

}  // namespace devicesim
