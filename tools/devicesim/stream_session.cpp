#include "stream_session.h"

#include <poll.h>

#include <chrono>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "log.h"
#include "video_encoder.h"

namespace devicesim {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSendTimeoutMs = 3000;
// The client reads the PLAY answer with one receive and drops stream bytes that come with it.
constexpr int kGapAfterAnswerMs = 100;
constexpr int kKeepAliveMs = 500;
constexpr int kStatsEverySeconds = 10;
constexpr int64_t kMaxLagUs = 1000000;

uint64_t wallClockMicros() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                     std::chrono::system_clock::now().time_since_epoch())
                                     .count());
}

class StreamSender {
  public:
    StreamSender(const StreamEnvironment& environment, int controlFd, const PlayRequest& play,
                 const sockaddr_in& client)
        : env_(environment),
          controlFd_(controlFd),
          udp_(play.transport == 1),
          client_(client),
          resetCountAtStart_(environment.resetCount.load()),
          scratch_(kMaxDatagramSize),
          junk_(static_cast<uint32_t>(wallClockMicros())) {
        if (udp_) {
            client_.sin_port = htons(static_cast<uint16_t>(play.rport));
        }
        clientText_ = endpointText(client_) + (udp_ ? " (UDP)" : " (TCP)");
    }

    // Streams, then logs what was sent; returns why the stream ended.
    std::string run();

  private:
    // Where the stream is: the times of its next picture and sound frame, counted from `origin`
    // (moved ahead when the stream falls behind) and from where the playing loop began.
    struct Playhead {
        Clock::time_point origin;
        int64_t videoBaseUs = 0;
        uint64_t videoCount = 0;
        int64_t audioBaseUs = 0;
        uint64_t audioCount = 0;

        int64_t videoUs(const MediaLoop& loop) const {
            return videoBaseUs + static_cast<int64_t>(videoCount * 1000000 / loop.key.fps);
        }
        int64_t audioUs(const MediaLoop& loop) const {
            return audioBaseUs +
                   static_cast<int64_t>(audioCount * 1024 * 1000000 / loop.key.sampleRate);
        }
    };

    std::string stream();
    std::shared_ptr<const MediaLoop> waitForLoop(std::string& failure);
    std::string play(std::shared_ptr<const MediaLoop> loop);
    std::string fallSilent();
    std::optional<std::string> sendPicture(std::shared_ptr<const MediaLoop>& loop, Playhead& head,
                                           uint64_t timestamp);
    LoopKey currentKey();
    bool pauseUntil(Clock::time_point when);
    bool clientStillThere();
    bool sendMediaInfo(const LoopKey& key, uint64_t timestamp);
    bool sendFrame(int type, uint64_t timestamp, const uint8_t* data, size_t length);
    bool sendStreamDatagram(const uint8_t* data, size_t length);
    bool sendJunk();
    bool sent(IoResult result);
    void logStats(const char* prefix);

    const StreamEnvironment& env_;
    const int controlFd_;
    const bool udp_;
    sockaddr_in client_;  // for UDP, the client's address with its RPORT
    std::string clientText_;
    const uint32_t resetCountAtStart_;
    Fd udpSocket_;
    std::string endReason_;
    std::vector<uint8_t> scratch_;
    std::vector<uint8_t> packet_;
    std::vector<uint8_t> heldDatagram_;
    bool holding_ = false;
    std::minstd_rand junk_;
    uint32_t sequence_ = 1;
    uint64_t datagrams_ = 0;
    uint64_t dropped_ = 0;
    uint64_t pictures_ = 0;
    uint64_t soundFrames_ = 0;
    uint64_t bytes_ = 0;
    bool warnedAboutInput_ = false;
    Clock::time_point started_ = Clock::now();
};

LoopKey StreamSender::currentKey() {
    return currentLoopKey(env_.state);
}

bool StreamSender::sent(IoResult result) {
    switch (result) {
        case IoResult::Done:
            return true;
        case IoResult::Stopped:
            endReason_ = "stopping";
            return false;
        case IoResult::Timeout:
            endReason_ = "the client stopped reading";
            return false;
        case IoResult::Closed:
            endReason_ = "the client closed the connection";
            return false;
        case IoResult::Failed:
            endReason_ = "send error";
            return false;
    }
    return false;
}

// Anything the client sends during the stream is read and ignored; its end of the connection
// ends the stream (for UDP, the idle control connection is the client's presence).
bool StreamSender::clientStillThere() {
    uint8_t buffer[512];
    size_t count = 0;
    const IoResult result = receiveSome(controlFd_, buffer, sizeof buffer, count, 0, env_.stop);
    if (result == IoResult::Done) {
        if (!warnedAboutInput_) {
            logf("%s: the client sent %zu bytes during the stream; ignored",
                 env_.state.identity.name().c_str(), count);
            warnedAboutInput_ = true;
        }
        return true;
    }
    if (result == IoResult::Timeout) {
        return true;
    }
    return sent(result);
}

bool StreamSender::pauseUntil(Clock::time_point when) {
    for (;;) {
        if (env_.resetCount.load() != resetCountAtStart_) {
            endReason_ = "device reset";
            return false;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(when - Clock::now()).count();
        if (left <= 0) {
            return true;
        }
        const int waitMs = left < 100 ? static_cast<int>(left) : 100;
        switch (waitFor(controlFd_, POLLIN, waitMs, env_.stop)) {
            case WaitResult::Stopped:
                endReason_ = "stopping";
                return false;
            case WaitResult::Ready:
                if (!clientStillThere()) {
                    return false;
                }
                break;
            case WaitResult::Timeout:
                break;
        }
    }
}

bool StreamSender::sendStreamDatagram(const uint8_t* data, size_t length) {
    ++datagrams_;
    const Behaviour& b = env_.behaviour;
    if (b.udpDropEvery > 0 && datagrams_ % static_cast<uint64_t>(b.udpDropEvery) == 0) {
        ++dropped_;
        return true;
    }
    if (holding_) {
        holding_ = false;
        return sent(sendDatagram(udpSocket_.get(), client_, data, length, env_.stop)) &&
               sent(sendDatagram(udpSocket_.get(), client_, heldDatagram_.data(),
                                 heldDatagram_.size(), env_.stop));
    }
    if (b.udpReorderEvery > 0 && datagrams_ % static_cast<uint64_t>(b.udpReorderEvery) == 0) {
        heldDatagram_.assign(data, data + length);
        holding_ = true;
        return true;
    }
    return sent(sendDatagram(udpSocket_.get(), client_, data, length, env_.stop));
}

// Junk never holds the bytes 0x05 and 0x16, so it cannot form the packet magic.
bool StreamSender::sendJunk() {
    const int count = env_.behaviour.garbageBytes;
    if (count <= 0) {
        return true;
    }
    std::vector<uint8_t>& junk = udp_ ? scratch_ : packet_;
    junk.resize(static_cast<size_t>(count) > junk.size() ? count : junk.size());
    for (int i = 0; i < count; ++i) {
        junk[static_cast<size_t>(i)] = static_cast<uint8_t>(0x30 + junk_() % 0x4f);
    }
    bytes_ += static_cast<uint64_t>(count);
    if (udp_) {
        return sent(sendDatagram(udpSocket_.get(), client_, junk.data(), static_cast<size_t>(count),
                                 env_.stop));
    }
    return sent(
        sendAll(controlFd_, junk.data(), static_cast<size_t>(count), kSendTimeoutMs, env_.stop));
}

bool StreamSender::sendFrame(int type, uint64_t timestamp, const uint8_t* data, size_t length) {
    bytes_ += length;
    if (udp_) {
        const bool ok = forEachDatagram(type, timestamp, data, length, sequence_, scratch_.data(),
                                        [this](const uint8_t* datagram, size_t size) {
                                            return sendStreamDatagram(datagram, size);
                                        });
        return ok && sendJunk();
    }
    // Over TCP a packet holds the whole frame.
    packet_.resize(kPacketHeaderSize + length);
    writePacketHeader(packet_.data(), type, kFirstFragment | kLastFragment,
                      static_cast<uint32_t>(length), sequence_++, timestamp);
    std::copy(data, data + length, packet_.begin() + kPacketHeaderSize);
    return sent(sendAll(controlFd_, packet_.data(), packet_.size(), kSendTimeoutMs, env_.stop)) &&
           sendJunk();
}

bool StreamSender::sendMediaInfo(const LoopKey& key, uint64_t timestamp) {
    MediaDescription media = describeMedia(key);
    if (env_.behaviour.mediaInfoWidth > 0) {
        media.width = env_.behaviour.mediaInfoWidth;
        media.height = env_.behaviour.mediaInfoHeight;
    }
    const auto payload = mediaInfoPayload(media);
    return sendFrame(kPacketMediaInfo, timestamp, payload.data(), payload.size());
}

void StreamSender::logStats(const char* prefix) {
    const double seconds = std::chrono::duration<double>(Clock::now() - started_).count();
    std::string text = std::string(prefix) + ": " + std::to_string(pictures_) + " pictures, " +
                       std::to_string(soundFrames_) + " sound frames, " +
                       std::to_string(bytes_ / 1000) + " kB in " +
                       std::to_string(static_cast<int>(seconds)) + " s";
    if (udp_) {
        text += ", " + std::to_string(datagrams_) + " datagrams";
        if (dropped_ > 0) {
            text += " (" + std::to_string(dropped_) + " dropped as asked)";
        }
    }
    logf("%s: stream to %s %s", env_.state.identity.name().c_str(), clientText_.c_str(),
         text.c_str());
}

std::string StreamSender::run() {
    std::string reason = stream();
    logStats(("ended (" + reason + ")").c_str());
    return reason;
}

std::string StreamSender::stream() {
    if (udp_) {
        std::string error;
        udpSocket_ = openUdpSender(env_.state.identity.address, error);
        if (!udpSocket_.valid()) {
            return "no UDP socket: " + error;
        }
    }
    if (!pauseUntil(Clock::now() + std::chrono::milliseconds(kGapAfterAnswerMs))) {
        return endReason_;
    }
    std::string failure;
    std::shared_ptr<const MediaLoop> loop = waitForLoop(failure);
    if (!loop) {
        return failure;
    }
    return play(std::move(loop));
}

// The loop of the device's current settings, once it is encoded; none, with `failure` set, when
// the encoding failed or the stream ended meanwhile.
std::shared_ptr<const MediaLoop> StreamSender::waitForLoop(std::string& failure) {
    const LoopKey key = currentKey();
    for (;;) {
        std::string error;
        if (std::shared_ptr<const MediaLoop> loop = env_.loops.find(key, error)) {
            return loop;
        }
        if (!error.empty()) {
            failure = "no loop: " + error;
            return nullptr;
        }
        // Media information keeps the client's silence timer at bay while the loop is encoded.
        if (!sendMediaInfo(key, wallClockMicros()) ||
            !pauseUntil(Clock::now() + std::chrono::milliseconds(kKeepAliveMs))) {
            failure = endReason_;
            return nullptr;
        }
    }
}

// Sends the loop's pictures and sound, each when it is due, until the stream ends.
std::string StreamSender::play(std::shared_ptr<const MediaLoop> loop) {
    const uint64_t timestampBase = wallClockMicros();
    Playhead head;
    head.origin = Clock::now();
    Clock::time_point nextStats = head.origin + std::chrono::seconds(kStatsEverySeconds);
    const bool silentAfter = env_.behaviour.silentAfterSeconds >= 0;
    const Clock::time_point silentAt =
        head.origin + std::chrono::seconds(silentAfter ? env_.behaviour.silentAfterSeconds : 0);

    for (;;) {
        if (silentAfter && Clock::now() >= silentAt) {
            return fallSilent();
        }
        const int64_t videoUs = head.videoUs(*loop);
        const int64_t audioUs = head.audioUs(*loop);
        const bool audioNext = !loop->audio.empty() && audioUs < videoUs;
        const int64_t dueUs = audioNext ? audioUs : videoUs;
        const Clock::time_point due = head.origin + std::chrono::microseconds(dueUs);
        const int64_t lagUs =
            std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - due).count();
        if (lagUs > kMaxLagUs) {
            // Catch up by skipping time rather than by a burst the client cannot take.
            logf("%s: stream to %s fell %lld ms behind; skipping ahead",
                 env_.state.identity.name().c_str(), clientText_.c_str(),
                 static_cast<long long>(lagUs / 1000));
            head.origin += std::chrono::microseconds(lagUs);
        }
        if (!pauseUntil(due)) {
            return endReason_;
        }
        const uint64_t timestamp = timestampBase + static_cast<uint64_t>(dueUs);
        if (audioNext) {
            const auto& frame = loop->audio[head.audioCount % loop->audio.size()];
            if (!sendFrame(kPacketAudio, timestamp, frame.data(), frame.size())) {
                return endReason_;
            }
            ++head.audioCount;
            ++soundFrames_;
        } else if (std::optional<std::string> ended = sendPicture(loop, head, timestamp)) {
            return *ended;
        }
        if (Clock::now() >= nextStats) {
            nextStats += std::chrono::seconds(kStatsEverySeconds);
            logStats("running");
        }
    }
}

std::string StreamSender::fallSilent() {
    logf("%s: stream to %s falls silent, as asked", env_.state.identity.name().c_str(),
         clientText_.c_str());
    while (pauseUntil(Clock::now() + std::chrono::seconds(1))) {
    }
    return endReason_;
}

// The next picture, with media information before a key frame. At the loop's end the device's
// settings of now are taken (a key frame follows there anyway): another loop goes on from the
// times reached, while a new codec or picture size, which needs a new decoder, ends the stream.
// Returns why the stream ended, or none while it goes on.
std::optional<std::string> StreamSender::sendPicture(std::shared_ptr<const MediaLoop>& loop,
                                                     Playhead& head, uint64_t timestamp) {
    if (head.videoCount % loop->video.size() == 0 && head.videoCount > 0) {
        const LoopKey key = currentKey();
        if (key.videoCodec != loop->key.videoCodec || key.width != loop->key.width ||
            key.height != loop->key.height) {
            return "codec or picture size changed; the client must reconnect";
        }
        std::string error;
        if (key != loop->key) {
            if (auto next = env_.loops.find(key, error)) {
                logf("%s: stream to %s now plays %s", env_.state.identity.name().c_str(),
                     clientText_.c_str(), describeLoopKey(key).c_str());
                head.videoBaseUs = head.videoUs(*loop);
                head.videoCount = 0;
                head.audioBaseUs = head.audioUs(*loop);
                head.audioCount = 0;
                loop = std::move(next);
            }
        }
    }
    const EncodedFrame& frame = loop->video[head.videoCount % loop->video.size()];
    if (frame.type == kPacketKeyFrame && !sendMediaInfo(loop->key, timestamp)) {
        return endReason_;
    }
    if (!sendFrame(frame.type, timestamp, frame.data.data(), frame.data.size())) {
        return endReason_;
    }
    ++head.videoCount;
    ++pictures_;
    return std::nullopt;
}

}  // namespace

bool checkPlayRequest(const DeviceState& state, const Request& request, const Behaviour& behaviour,
                      PlayRequest& out, Answer& failure) {
    if (state.identity.role != Role::Transmitter) {
        failure = errorAnswer(404, "the receiver has no stream");
        return false;
    }
    int32_t chn = 0;
    int32_t stream = 0;
    int32_t transport = 0;
    int32_t rport = 0;
    const std::string* chnText = request.header("CHN");
    const std::string* streamText = request.header("STREAM");
    const std::string* transportText = request.header("TRANSPORT");
    const std::string* rportText = request.header("RPORT");
    if (chnText != nullptr && !parseInt32(*chnText, chn)) {
        failure = errorAnswer(400, "CHN is not a decimal number");
        return false;
    }
    if (chn != 0 && chn != state.identity.channel) {
        failure = errorAnswer(
            404, "this transmitter streams channel " + std::to_string(state.identity.channel));
        return false;
    }
    if (streamText != nullptr && (!parseInt32(*streamText, stream) || stream != 0)) {
        failure = errorAnswer(404, "only STREAM 0 exists");
        return false;
    }
    if (transportText == nullptr || !parseInt32(*transportText, transport) ||
        (transport != 0 && transport != 1)) {
        failure = errorAnswer(400, "TRANSPORT must be 0 (TCP) or 1 (UDP)");
        return false;
    }
    if (transport == 1 &&
        (rportText == nullptr || !parseInt32(*rportText, rport) || rport < 1 || rport > 65535)) {
        failure = errorAnswer(400, "UDP needs RPORT 1..65535");
        return false;
    }
    if (!request.body.empty()) {
        failure = errorAnswer(400, "PLAY takes no body");
        return false;
    }
    if (behaviour.refusePlay) {
        failure = errorAnswer(503, "PLAY refused, as asked");
        return false;
    }
    const int codec = state.installation.videoEncoder(state.identity.channel).codec;
    if (!videoEncoderAvailable(codec)) {
        failure =
            errorAnswer(500, codec == kVideoCodecH265 ? "no H.265 encoder" : "no H.264 encoder");
        return false;
    }
    out.transport = transport;
    out.rport = rport;
    return true;
}

std::string runStream(const StreamEnvironment& environment, int controlFd, const PlayRequest& play,
                      const sockaddr_in& client) {
    StreamSender sender(environment, controlFd, play, client);
    return sender.run();
}

}  // namespace devicesim
