#include "threading_choice.h"

namespace lumadec {

void ThreadingChoice::NoteFrame(Clock::time_point arrival, Clock::duration busy) {
    frames_.push_back({arrival, busy});
    busyTotal_ += busy;
    if (frames_.size() > kFrames) {
        busyTotal_ -= frames_.front().busy;
        frames_.pop_front();
    }
}

bool ThreadingChoice::frameThreadsWanted() const {
    if (processors_ < 2) {
        return false;
    }
    if (dropped_) {
        return true;
    }
    if (frames_.size() < kFrames) {
        return false;
    }
    // The frames' intervals add up to the time from the first arrival to the last.
    const auto arrivals = frames_.back().arrival - frames_.front().arrival;
    const auto intervals = static_cast<double>(frames_.size() - 1);
    return static_cast<double>(busyTotal_.count()) / static_cast<double>(frames_.size()) >
           kBusyShare * static_cast<double>(arrivals.count()) / intervals;
}

}  // namespace lumadec
