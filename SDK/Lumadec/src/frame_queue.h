// The short queue between the thread that writes a stream's video frames and the player's
// decoding thread. The writer never waits for the decoder: when queued frames would be decoded too
// late, whole groups of pictures are dropped, so that what is drawn is never far behind what
// arrived.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>

#include "annexb.h"
#include "packet_buffer.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace lumadec {

using Clock = std::chrono::steady_clock;

// Microseconds of the steady clock: what a queued packet carries as its time stamp, so that a
// picture coming out of the decoder tells when its frame arrived.
int64_t ClockMicroseconds(Clock::time_point time);
Clock::time_point FromClockMicroseconds(int64_t microseconds);

// A video frame on its way to the decoder.
struct QueuedFrame {
    AVPacket* packet = nullptr;  // padded copy of the frame; pts = its arrival (microseconds)
    bool keyFrame = false;
    // Frames before this one were dropped: the decoder must forget its references.
    bool afterGap = false;
};

struct LiveQueueLimits {
    // A queued frame that would be decoded this long after its arrival (its wait so far, plus the
    // decoder's time per frame for it and every frame before it) means the decoder is behind
    // beyond catching up.
    std::chrono::milliseconds maxDelay{500};
    // And so does a full queue, whatever the waits.
    size_t capacity = 32;
};

class LiveFrameQueue {
  public:
    LiveFrameQueue(VideoCodec codec, LiveQueueLimits limits = {});
    ~LiveFrameQueue();
    LiveFrameQueue(const LiveFrameQueue&) = delete;
    LiveFrameQueue& operator=(const LiveFrameQueue&) = delete;

    enum class Admission { Queued, Dropped, NoMemory };

    // Writer's side, one thread. Copies the frame (which is only lent for the call) unless it is
    // to be dropped. When a queued frame would be decoded later than maxDelay after its arrival,
    // or the queue is full, everything before the newest queued key frame goes; with none queued,
    // everything queued goes and so does every frame that follows, up to the next key frame.
    // `markedKey` is the stream's own mark; the access unit is also looked into.
    Admission push(const uint8_t* data, int size, bool markedKey, Clock::time_point now);

    // Decoder's side: waits for the next frame. False once the queue is stopped. The packet
    // belongs to the caller until it passes the next Pop (or the queue goes).
    bool pop(QueuedFrame& frame);
    // Ends every wait of Pop, for good.
    void stop();
    // Decoder's side: how long it takes for a frame, as measured lately.
    void setFrameCost(std::chrono::microseconds cost);

    // Frames dropped so far, and frames queued or being decoded.
    uint64_t dropped() const;
    size_t pending() const;

  private:
    struct Entry {
        AVPacket* packet;
        Clock::time_point arrival;
        bool keyFrame;
        bool afterGap;
    };

    bool isKeyFrame(const uint8_t* data, int size, bool markedKey) const;
    // Under mutex_: drops what the decoder can no longer catch up with.
    void dropBehind(Clock::time_point now);

    const VideoCodec codec_;
    const LiveQueueLimits limits_;
    PacketBuffer staging_;  // the writer's copy, before it is queued

    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<Entry> entries_;
    std::deque<AVPacket*> spare_;  // packets for entries, allocated once
    AVPacket* taken_ = nullptr;    // the packet the decoder has, returned at its next Pop
    bool skipToKeyFrame_ = false;
    std::chrono::microseconds frameCost_{0};
    bool stopped_ = false;
    uint64_t dropped_ = 0;
};

}  // namespace lumadec
