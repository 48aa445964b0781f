#include "frame_queue.h"

#include <algorithm>

namespace lumadec {

int64_t ClockMicroseconds(Clock::time_point time) {
    return std::chrono::duration_cast<std::chrono::microseconds>(time.time_since_epoch()).count();
}

Clock::time_point FromClockMicroseconds(int64_t microseconds) {
    return Clock::time_point(std::chrono::microseconds(microseconds));
}

LiveFrameQueue::LiveFrameQueue(VideoCodec codec, LiveQueueLimits limits)
    : codec_(codec), limits_(limits) {
    // One packet per place in the queue and one for the frame being decoded: none is allocated
    // while the stream runs.
    for (size_t i = 0; i <= limits_.capacity; ++i) {
        if (AVPacket* packet = av_packet_alloc()) {
            spare_.push_back(packet);
        }
    }
}

LiveFrameQueue::~LiveFrameQueue() {
    for (Entry& entry : entries_) {
        av_packet_free(&entry.packet);
    }
    for (AVPacket*& packet : spare_) {
        av_packet_free(&packet);
    }
    av_packet_free(&taken_);
}

bool LiveFrameQueue::isKeyFrame(const uint8_t* data, int size, bool markedKey) const {
    return markedKey || ContainsRandomAccessPicture(codec_, data, size);
}

void LiveFrameQueue::dropBehind(Clock::time_point now) {
    if (entries_.empty()) {
        return;
    }
    // The oldest frame has waited longest.
    const Clock::duration oldestLate = now - entries_.front().arrival + frameCost_;
    // The newest: the frame being pushed, which waits for every queued one and itself.
    const Clock::duration newestLate = frameCost_ * static_cast<long>(entries_.size() + 1);
    if (std::max(oldestLate, newestLate) <= limits_.maxDelay &&
        entries_.size() < limits_.capacity) {
        return;
    }
    // From the newest queued key frame on, the decoder can start afresh; one that has waited too
    // long itself is given up as well.
    auto restart = std::find_if(entries_.rbegin(), entries_.rend(),
                                [](const Entry& entry) { return entry.keyFrame; });
    size_t keep = 0;
    if (restart != entries_.rend() && restart != std::prev(entries_.rend())) {
        keep = static_cast<size_t>(restart - entries_.rbegin()) + 1;
    }
    while (entries_.size() > keep) {
        AVPacket* packet = entries_.front().packet;
        av_packet_unref(packet);
        spare_.push_back(packet);
        entries_.pop_front();
        ++dropped_;
    }
    if (entries_.empty()) {
        skipToKeyFrame_ = true;
    } else {
        entries_.front().afterGap = true;
    }
}

LiveFrameQueue::Admission LiveFrameQueue::push(const uint8_t* data, int size, bool markedKey,
                                               Clock::time_point now) {
    const bool keyFrame = isKeyFrame(data, size, markedKey);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        dropBehind(now);
        if (skipToKeyFrame_ && !keyFrame) {
            ++dropped_;
            return Admission::Dropped;
        }
    }
    // The copy is made without the lock: the decoder's Pop never waits for it.
    AVPacket* copy = staging_.fill(data, size);
    if (copy == nullptr) {
        return Admission::NoMemory;
    }
    copy->pts = ClockMicroseconds(now);
    std::lock_guard<std::mutex> lock(mutex_);
    if (spare_.empty()) {
        staging_.release();
        ++dropped_;
        return Admission::Dropped;
    }
    AVPacket* packet = spare_.front();
    spare_.pop_front();
    av_packet_move_ref(packet, copy);
    entries_.push_back({packet, now, keyFrame, skipToKeyFrame_});
    skipToKeyFrame_ = false;
    arrived_.notify_one();
    return Admission::Queued;
}

bool LiveFrameQueue::pop(QueuedFrame& frame) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (taken_ != nullptr) {
        av_packet_unref(taken_);
        spare_.push_back(taken_);
        taken_ = nullptr;
    }
    arrived_.wait(lock, [this] { return stopped_ || !entries_.empty(); });
    if (stopped_) {
        return false;
    }
    const Entry entry = entries_.front();
    entries_.pop_front();
    taken_ = entry.packet;
    frame = QueuedFrame{entry.packet, entry.keyFrame, entry.afterGap};
    return true;
}

void LiveFrameQueue::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopped_ = true;
    }
    arrived_.notify_all();
}

void LiveFrameQueue::setFrameCost(std::chrono::microseconds cost) {
    std::lock_guard<std::mutex> lock(mutex_);
    frameCost_ = cost;
}

uint64_t LiveFrameQueue::dropped() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return dropped_;
}

size_t LiveFrameQueue::pending() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_.size() + (taken_ != nullptr ? 1 : 0);
}

}  // namespace lumadec
