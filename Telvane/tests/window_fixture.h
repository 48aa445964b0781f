#pragma once

// What the window tests share: a window that reaches nothing, its members by name, and fake
// devices on loopback addresses where a window's commands can be seen arrive.

#include "fake_device.h"
#include "telvane.h"
#include "usbip_launcher.h"

#include <QObject>
#include <QStringList>

#include <array>
#include <memory>
#include <string>
#include <vector>

// Loopback addresses where nothing listens.
DeviceTable loopbackDevices();

// Finds the USB/IP client already running, so building a window starts no program.
const UsbIpLauncher& idleLauncher();

// The window's member object of that name (each carries its member's name as object name), or
// nullptr when there is none of that class.
template <typename T>
T* member(Telvane& window, const QString& name) {
    return window.findChild<T*>(name);
}

// A receiver (127.0.0.88) and the four transmitters (127.0.0.220..223) on one free port, each a
// scripted fake device that answers every command with every key (EveryKey), and a window on them.
struct FakeInstallation {
    FakeInstallation();
    ~FakeInstallation();

    DeviceTable devices() const;
    korvex::test::FakeDevice& transmitter(int channel) { return *transmitters[channel - 1]; }

    std::unique_ptr<korvex::test::FakeDevice> receiver;
    std::array<std::unique_ptr<korvex::test::FakeDevice>, 4> transmitters;
};

// One answer that serves every command: the key reader finds each key anywhere in it.
std::string everyKey(const std::string& display, int audio, int frameRate);

// Answers every request with `body` after `delayMs`; a PLAY connection is kept open (and silent).
korvex::test::Reply serving(const std::string& body, int delayMs = 0);
// Answers with `body`; a PLAY connection then carries a live stream (a key frame every 100 ms, for
// up to a minute) until the client closes it, so the transmitter stays connected.
korvex::test::Reply streaming(const std::string& body);

// The requests of one command word at a device, in the order they arrived.
std::vector<std::string> requestsFor(const korvex::test::FakeDevice& device,
                                     const std::string& word);
// The command words of every request at a device, in order.
std::vector<std::string> commandWords(const korvex::test::FakeDevice& device);

bool contains(const std::string& text, const std::string& part);

// Lets the event loop run until `device` has received no new request for `quietMs` (so that the
// answers of a chain of commands have reached the window); false if that takes over `timeoutMs`.
bool waitForQuiet(const korvex::test::FakeDevice& device, int quietMs = 200, int timeoutMs = 10000);

// Answers the next file dialog by typing `path` into it, as the operator would (cancels it when
// `path` is empty).
void answerNextFileDialog(const QString& path);


// Captions of the window whose text does not fit the room their widget has, as
// "caption (needed > room)"; for a window that is shown and laid out.
QStringList clippedCaptions(Telvane& window);
