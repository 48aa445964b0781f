#include "decoder_load.h"

namespace lumadec {

void DecoderLoad::noteFrame(Clock::time_point arrival, bool keyFrame, Clock::duration busy) {
    frames_.push_back({arrival, keyFrame, busy});
    busyTotal_ += busy;
    if (frames_.size() > kFrames) {
        busyTotal_ -= frames_.front().busy;
        frames_.pop_front();
    }
}

void DecoderLoad::reset() {
    frames_.clear();
    busyTotal_ = {};
    dropped_ = false;
}

DecoderLoad::Clock::duration DecoderLoad::frameCost() const {
    constexpr long kFewest = 10;
    Clock::duration total{};
    long counted = 0;
    for (const Frame& frame : frames_) {
        if (!frame.keyFrame) {
            total += frame.busy;
            ++counted;
        }
    }
    return counted >= kFewest ? total / counted : Clock::duration{};
}

double DecoderLoad::busyShare() const {
    if (frames_.size() < kFrames) {
        return -1;
    }
    // The frames' intervals add up to the time from the first arrival to the last.
    const auto arrivals = frames_.back().arrival - frames_.front().arrival;
    const double meanInterval =
        static_cast<double>(arrivals.count()) / static_cast<double>(frames_.size() - 1);
    const double meanBusy =
        static_cast<double>(busyTotal_.count()) / static_cast<double>(frames_.size());
    return meanInterval > 0 ? meanBusy / meanInterval : 1e9;
}

bool DecoderLoad::behind() const {
    return dropped_ || busyShare() > kBusyShare;
}

bool DecoderLoad::relaxed() const {
    const double share = busyShare();
    return !dropped_ && share >= 0 && share < kRelaxedShare;
}

}  // namespace lumadec
