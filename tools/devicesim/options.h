// The command line: which devices to serve, and how they behave (timings, injected faults).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace devicesim {

constexpr uint16_t kDefaultControlPort = 15380;

enum class Role { Receiver, Transmitter };

// One emulated device: "rx" or "tx1".."tx4", listening on address:port (port 0: any free port).
struct DeviceIdentity {
    Role role = Role::Receiver;
    int channel = 0;  // 1..4 for a transmitter, 0 for the receiver
    std::string address;
    uint16_t port = kDefaultControlPort;

    std::string name() const;  // "rx", "tx1", ...
};

enum class UpgradeOutcome {
    Ok,      // answer 200 OK after the delay
    Fail,    // answer a failure status after the delay
    Silent,  // never answer; hold the connection until the client gives up
    Drop,    // close the connection after the image, without an answer
    Cut      // close the connection halfway through the image
};

// What the transmitters' sources show. A flat picture (a caption, a clock, a sweeping bar) is
// cheap to code and to decode; a detailed one has fine detail and noise that change every frame,
// as a camera or a busy desktop gives, and loads an encoder and a decoder as those do.
enum class Picture { Flat, Detailed };

// Timings and fault injection; the defaults give a well-behaved installation.
struct Behaviour {
    int loopSeconds = 2;  // length of the encoded picture loop that streams repeat
    Picture picture = Picture::Flat;
    int resetSeconds = 5;            // silence after SYSTEM_RESET, like a reboot
    int answerDelayMs = 0;           // wait before every answer
    bool closeMidAnswer = false;     // send half of every answer, then close
    bool hugeContentLength = false;  // every answer claims CONTENT-LENGTH:1000000000
    bool refusePlay = false;         // answer PLAY with 503
    int garbageBytes = 0;            // junk bytes after every stream packet (TCP) or frame (UDP)
    int silentAfterSeconds = -1;     // streams stop sending (connection kept) after this long
    int muteAfterSeconds = -1;       // commands get no answer (connection held) after this long
    int udpDropEvery = 0;            // drop every Nth datagram
    int udpReorderEvery = 0;         // send every Nth datagram after the one that follows it
    int mediaInfoWidth = 0;          // picture size claimed in media information (0: the real one)
    int mediaInfoHeight = 0;
    int upgradeDelayMs = 2000;  // time the device takes to check an uploaded image
    UpgradeOutcome upgradeOutcome = UpgradeOutcome::Ok;
    int64_t upgradeMaxBytes = 256LL * 1024 * 1024;  // larger images are refused with 413
};

struct Options {
    std::vector<DeviceIdentity> devices;
    Behaviour behaviour;
    std::string pidFile;
    bool help = false;
};

// Parses "ROLE@ADDR[:PORT]". Returns false with a reason in `error`.
bool parseDeviceIdentity(const std::string& text, DeviceIdentity& out, std::string& error);

// Parses the whole command line (argv[0] is skipped). Returns false with a reason in `error`.
bool parseOptions(int argc, const char* const* argv, Options& out, std::string& error);

std::string usageText();

}  // namespace devicesim
