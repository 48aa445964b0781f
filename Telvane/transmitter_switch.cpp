#include "transmitter_switch.h"

#include "hdmi_device_proxy.h"

#include <algorithm>
#include <utility>

TransmitterSwitch::TransmitterSwitch(HDMIDeviceProxy*& current, StartProxy startProxy)
    : current_(current), startProxy_(std::move(startProxy)) {}

void TransmitterSwitch::stop() {
    if (current_ == nullptr) {
        return;
    }
    // The owner does not wait for it: finished() comes when its thread has ended.
    stopping_.push_back(current_);
    current_->stopImmediately();
    current_ = nullptr;
}

void TransmitterSwitch::start(int id) {
    wanted_ = id >= 0 && id < kTransmitterCount ? id : -1;
    if (wanted_ >= 0 && stopping_.empty()) {
        current_ = startProxy_(std::exchange(wanted_, -1));
    }
}

bool TransmitterSwitch::finished(HDMIDeviceProxy* proxy) {
    const auto found = std::find(stopping_.begin(), stopping_.end(), proxy);
    if (found == stopping_.end()) {
        return false;
    }
    stopping_.erase(found);
    proxy->wait();
    delete proxy;
    start(wanted_);
    return true;
}

std::vector<HDMIDeviceProxy*> TransmitterSwitch::takeAll() {
    std::vector<HDMIDeviceProxy*> proxies = std::move(stopping_);
    stopping_.clear();
    if (current_ != nullptr) {
        proxies.push_back(std::exchange(current_, nullptr));
    }
    wanted_ = -1;
    return proxies;
}
