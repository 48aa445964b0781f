// Whether the decoding thread keeps up with a stream, measured from the time it spends on each
// frame against the time between the frames' arrivals, and from whether frames had to be dropped.
// The player lightens the decoding while it does not: it skips the loop filters, and, where the
// process may use more than one processor, turns to frame threads. It goes back to the full
// filters once the decoding has room to spare.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>

namespace lumadec {

class DecoderLoad {
  public:
    using Clock = std::chrono::steady_clock;
    // Frames looked at; the share of their interval that the decoding may take while keeping up,
    // and the share below which it has room to spare.
    static constexpr size_t kFrames = 60;
    static constexpr double kBusyShare = 0.85;
    static constexpr double kRelaxedShare = 0.5;

    explicit DecoderLoad(int processors) : processors_(processors) {}

    // After the decoding thread has done with a frame: when it arrived, whether it was a key
    // frame, and how long the decoding and drawing of it took.
    void noteFrame(Clock::time_point arrival, bool keyFrame, Clock::duration busy);
    // Frames were dropped because the decoding fell behind.
    void noteDrop() { dropped_ = true; }
    // Forgets what was measured, once the decoder's settings have changed.
    void reset();

    // Since the last Reset: frames were dropped, or decoding took more than kBusyShare.
    bool behind() const;
    // Over a whole window since the last Reset: no drop, and less than kRelaxedShare.
    bool relaxed() const;
    // Frame threads would help: behind, with more than one processor.
    bool frameThreadsWanted() const { return processors_ > 1 && behind(); }
    // The mean time taken lately for a frame that is not a key frame (which cost several times
    // as much), or 0 while too few were measured to tell.
    Clock::duration frameCost() const;

  private:
    struct Frame {
        Clock::time_point arrival;
        bool keyFrame;
        Clock::duration busy;
    };
    // The mean busy time over the mean interval, once the window is full; -1 before.
    double busyShare() const;

    const int processors_;
    std::deque<Frame> frames_;
    Clock::duration busyTotal_{};
    bool dropped_ = false;
};

}  // namespace lumadec
