#include "delay_window.h"

#include <algorithm>
#include <limits>

namespace lumadec {

void DelayWindow::add(Clock::time_point drawnAt, std::chrono::microseconds delay) {
    const auto microseconds =
        std::clamp<int64_t>(delay.count(), 0, std::numeric_limits<uint32_t>::max());
    std::lock_guard<std::mutex> lock(mutex_);
    samples_[next_] = Sample{drawnAt, static_cast<uint32_t>(microseconds)};
    next_ = (next_ + 1) % kSamples;
    count_ = std::min(count_ + 1, kSamples);
}

DelaySummary DelayWindow::summarize(Clock::time_point now) const {
    std::array<uint32_t, kSamples> delays;
    size_t n = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (size_t i = 0; i < count_; ++i) {
            const Sample& sample = samples_[i];
            if (now - sample.at <= kSpan) {
                delays[n++] = sample.delayUs;
            }
        }
    }
    DelaySummary summary;
    if (n == 0) {
        return summary;
    }
    // Nearest rank: the smallest delay that at least p percent of the pictures did not exceed.
    auto rank = [&](size_t percent) {
        const size_t index = (n * percent + 99) / 100 - 1;
        std::nth_element(delays.begin(), delays.begin() + static_cast<long>(index),
                         delays.begin() + static_cast<long>(n));
        return delays[index];
    };
    summary.pictures = static_cast<uint32_t>(n);
    summary.p50Us = rank(50);
    summary.p95Us = rank(95);
    summary.maxUs = *std::max_element(delays.begin(), delays.begin() + static_cast<long>(n));
    return summary;
}

}  // namespace lumadec
