// An emulated installation: the devices of the command line, their shared channel settings and
// the encoded loops, started and stopped together.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "device_server.h"
#include "device_state.h"
#include "media_loop.h"
#include "net.h"
#include "options.h"

namespace devicesim {

class Simulator {
  public:
    explicit Simulator(const Options& options);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Binds every device; on failure nothing is left running.
    bool start(std::string& error);
    // Ends every wait, encoding and stream, and waits for all threads.
    void stop();

    // The device of that name ("rx", "tx1", ...), or nullptr.
    DeviceServer* device(const std::string& name) const;
    Installation& installation() { return installation_; }

  private:
    const Options options_;
    StopSignal stop_;
    Installation installation_;
    LoopCache loops_;
    std::vector<std::unique_ptr<DeviceServer>> devices_;
};

}  // namespace devicesim
