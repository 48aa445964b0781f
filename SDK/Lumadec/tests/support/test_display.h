// A private X server for the tests, and plain windows on it that can be read back.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include <xcb/xcb.h>

namespace lumadec_test {

// Starts Xvfb on a display number that the server picks itself (-displayfd), so that tests that
// run in parallel never race for one, and points DISPLAY at it. Stopped by the destructor.
class TestXServer {
  public:
    TestXServer() = default;
    ~TestXServer();
    TestXServer(const TestXServer&) = delete;
    TestXServer& operator=(const TestXServer&) = delete;

    // Returns false (with a reason) when Xvfb is not installed or does not come up in time.
    bool start(std::string* error, int width = 1280, int height = 1024);
    const std::string& display() const { return display_; }

  private:
    pid_t pid_ = -1;
    std::string display_;
};

struct Pixel {
    int r = 0;
    int g = 0;
    int b = 0;
};

// A top-level window of the test's own, on its own connection, as the program's picture area
// would be.
class TestWindow {
  public:
    TestWindow(int width, int height, int x = 0, int y = 0);
    ~TestWindow();
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    bool valid() const { return window_ != 0; }
    uint64_t id() const { return window_; }
    void resize(int width, int height);
    void destroy();
    // Reads the window's pixels from the server; false when that fails.
    bool capture();
    Pixel at(int x, int y) const;
    int width() const { return width_; }
    int height() const { return height_; }
    // Writes the last capture as a binary PPM.
    bool savePpm(const std::string& path) const;

  private:
    void sync();

    xcb_connection_t* connection_ = nullptr;
    xcb_window_t window_ = 0;
    int width_ = 0;
    int height_ = 0;
    std::vector<uint8_t> pixels_;  // BGRX rows of the last capture
    int captureWidth_ = 0;
    int captureHeight_ = 0;
};

}  // namespace lumadec_test
