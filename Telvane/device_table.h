#pragma once

#include <QString>

#include <array>

// TCP control port of every device of the installation.
constexpr int DEVICE_CONTROL_PORT = 15380;

// Where the window finds its devices. The program passes the installation's fixed addresses;
// tests pass loopback addresses, so that nothing else in the window ever names a device.
struct DeviceTable {
    QString decodeDeviceAddress;  // the receiver
    std::array<QString, 4>
        encodeDeviceAddresses;  // transmitters of CH1..CH4, by "Channel Choose" id
    int port = DEVICE_CONTROL_PORT;
};
