#include "transmitter_switch.h"

#include "hdmi_device_proxy.h"

#include <algorithm>
#include <utility>

TransmitterSwitch::TransmitterSwitch(HDMIDeviceProxy*& currentProxy, StartProxy startProxy)
    : current(currentProxy), startNext(std::move(startProxy)) {}

void TransmitterSwitch::stop() {
    if (current == nullptr) {
        return;
    }
    // The owner does not wait for it: finished() comes when its thread has ended.
    stoppingProxies.push_back(current);
    current->stopImmediately();
    current = nullptr;
}

void TransmitterSwitch::start(int id) {
    wanted = id >= 0 && id < kTransmitterCount ? id : -1;
    if (wanted >= 0 && stoppingProxies.empty()) {
        current = startNext(std::exchange(wanted, -1));
    }
}

bool TransmitterSwitch::finished(HDMIDeviceProxy* proxy) {
    const auto found = std::find(stoppingProxies.begin(), stoppingProxies.end(), proxy);
    if (found == stoppingProxies.end()) {
        return false;
    }
    stoppingProxies.erase(found);
    proxy->wait();
    delete proxy;
    start(wanted);
    return true;
}

std::vector<HDMIDeviceProxy*> TransmitterSwitch::takeAll() {
    std::vector<HDMIDeviceProxy*> proxies = std::move(stoppingProxies);
    stoppingProxies.clear();
    if (current != nullptr) {
        proxies.push_back(std::exchange(current, nullptr));
    }
    wanted = -1;
    return proxies;
}
