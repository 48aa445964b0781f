// How far behind its arrival each picture was drawn, over the last second: the figures a player
// reports as p50, p95 and max.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace lumadec {

struct DelaySummary {
    uint32_t p50Us = 0;
    uint32_t p95Us = 0;
    uint32_t maxUs = 0;
    uint32_t pictures = 0;  // in the window
};

class DelayWindow {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kSpan{1};

    // From the drawing thread.
    void add(Clock::time_point drawnAt, std::chrono::microseconds delay);
    // From any thread: the pictures drawn within kSpan before `now`.
    DelaySummary summarize(Clock::time_point now) const;

  private:
    struct Sample {
        Clock::time_point at;
        uint32_t delayUs;
    };
    // Enough for 240 pictures a second; older samples are overwritten first.
    static constexpr size_t kSamples = 256;

    mutable std::mutex mutex_;
    std::array<Sample, kSamples> samples_{};
    size_t next_ = 0;
    size_t count_ = 0;
};

}  // namespace lumadec
