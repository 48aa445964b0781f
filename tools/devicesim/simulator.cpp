#include "simulator.h"

#include "log.h"
#include "video_encoder.h"

namespace devicesim {

Simulator::Simulator(const Options& options)
    : options_(options), loops_(options.behaviour.loopSeconds, options.behaviour.picture) {}

Simulator::~Simulator() {
    stop();
}

bool Simulator::start(std::string& error) {
    logf("video encoders: H.264 %s, H.265 %s",
         videoEncoderAvailable(kVideoCodecH264) ? "yes" : "missing",
         videoEncoderAvailable(kVideoCodecH265) ? "yes" : "missing");
    for (const DeviceIdentity& identity : options_.devices) {
        auto device = std::make_unique<DeviceServer>(identity, installation_, loops_,
                                                     options_.behaviour, stop_);
        if (!device->start(error)) {
            error.insert(0, identity.name() + ": ");
            stop();
            return false;
        }
        logf("%s listening on %s:%u", identity.name().c_str(), identity.address.c_str(),
             device->port());
        devices_.push_back(std::move(device));
    }
    // Every transmitter's loop is encoded now, in the background (the devices answer meanwhile),
    // so that the first PLAY of a channel starts as fast as every later one.
    for (const auto& device : devices_) {
        if (device->state().identity.role == Role::Transmitter) {
            loops_.prepare(currentLoopKey(device->state()));
        }
    }
    return true;
}

void Simulator::stop() {
    stop_.raise();
    loops_.shutdown();
    for (auto& device : devices_) {
        device->join();
    }
}

DeviceServer* Simulator::device(const std::string& name) const {
    for (const auto& device : devices_) {
        if (device->state().identity.name() == name) {
            return device.get();
        }
    }
    return nullptr;
}

}  // namespace devicesim
