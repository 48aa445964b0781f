// Whether a stream needs frame threads to be decoded in real time. Slice threads hold no picture
// back, so they are used as long as the decoding thread keeps up: measured from the time it
// spends on each frame against the time between the frames' arrivals, and from whether frames
// had to be dropped. Frame threads only pay where there is more than one processor.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>

namespace lumadec {

class ThreadingChoice {
  public:
    using Clock = std::chrono::steady_clock;
    // Frames looked at, and the share of their interval that the decoding may take.
    static constexpr size_t kFrames = 60;
    static constexpr double kBusyShare = 0.85;

    explicit ThreadingChoice(int processors) : processors_(processors) {}

    // After the decoding thread has done with a frame: when it arrived, and how long the
    // decoding and drawing of it took.
    void NoteFrame(Clock::time_point arrival, Clock::duration busy);
    // Frames were dropped because the decoding fell behind.
    void NoteDrop() { dropped_ = true; }

    bool frameThreadsWanted() const;

  private:
    struct Frame {
        Clock::time_point arrival;
        Clock::duration busy;
    };

    const int processors_;
    std::deque<Frame> frames_;
    Clock::duration busyTotal_{};
    bool dropped_ = false;
};

}  // namespace lumadec
