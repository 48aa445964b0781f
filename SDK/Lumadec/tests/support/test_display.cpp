#include "test_display.h"

#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace lumadec_test {

TestXServer::~TestXServer() {
    StopChild(pid_, SIGTERM);
}

bool TestXServer::start(std::string* error, int width, int height) {
    int fds[2];
    if (pipe(fds) != 0) {
        *error = "pipe failed";
        return false;
    }
    fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    pid_ = StartChild({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", screen,
                       "-nolisten", "tcp", "-noreset"},
                      nullptr, error);
    close(fds[1]);
    if (pid_ < 0) {
        close(fds[0]);
        return false;
    }
    // The server writes its display number and a newline once it accepts clients.
    std::string number;
    for (int waitedMs = 0; waitedMs < 10000;) {
        pollfd readable{fds[0], POLLIN, 0};
        if (poll(&readable, 1, 100) <= 0) {
            waitedMs += 100;
            continue;
        }
        char c;
        if (read(fds[0], &c, 1) != 1) {
            break;
        }
        if (c == '\n') {
            display_ = ":" + number;
            break;
        }
        number += c;
    }
    close(fds[0]);
    if (display_.empty()) {
        *error = "Xvfb did not start";
        return false;
    }
    setenv("DISPLAY", display_.c_str(), 1);
    return true;
}

TestWindow::TestWindow(int width, int height, int x, int y) : width_(width), height_(height) {
    connection_ = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection_)) {
        return;
    }
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
    window_ = xcb_generate_id(connection_);
    const uint32_t values[] = {screen->black_pixel};
    xcb_create_window(
        connection_, XCB_COPY_FROM_PARENT, window_, screen->root, static_cast<int16_t>(x),
        static_cast<int16_t>(y), static_cast<uint16_t>(width), static_cast<uint16_t>(height), 0,
        XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL, values);
    xcb_map_window(connection_, window_);
    sync();
}

TestWindow::~TestWindow() {
    destroy();
    xcb_disconnect(connection_);
}

void TestWindow::sync() {
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

void TestWindow::resize(int width, int height) {
    const uint32_t values[] = {static_cast<uint32_t>(width), static_cast<uint32_t>(height)};
    xcb_configure_window(connection_, window_, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT,
                         values);
    width_ = width;
    height_ = height;
    sync();
}

void TestWindow::destroy() {
    if (window_ != 0) {
        xcb_destroy_window(connection_, window_);
        window_ = 0;
        sync();
    }
}

bool TestWindow::capture() {
    if (window_ == 0) {
        return false;
    }
    xcb_get_image_reply_t* reply = xcb_get_image_reply(
        connection_,
        xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, window_, 0, 0,
                      static_cast<uint16_t>(width_), static_cast<uint16_t>(height_), ~0u),
        nullptr);
    if (reply == nullptr) {
        return false;
    }
    const int length = xcb_get_image_data_length(reply);
    const uint8_t* data = xcb_get_image_data(reply);
    pixels_.assign(data, data + length);
    captureWidth_ = width_;
    captureHeight_ = height_;
    std::free(reply);
    return static_cast<size_t>(length) >= static_cast<size_t>(width_) * height_ * 4;
}

Pixel TestWindow::at(int x, int y) const {
    Pixel p;
    if (x < 0 || y < 0 || x >= captureWidth_ || y >= captureHeight_) {
        return p;
    }
    // Depth 24 on a little-endian server: bytes B, G, R, unused.
    const uint8_t* px = pixels_.data() + (static_cast<size_t>(y) * captureWidth_ + x) * 4;
    p.b = px[0];
    p.g = px[1];
    p.r = px[2];
    return p;
}

bool TestWindow::savePpm(const std::string& path) const {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    std::fprintf(file, "P6\n%d %d\n255\n", captureWidth_, captureHeight_);
    for (int y = 0; y < captureHeight_; ++y) {
        for (int x = 0; x < captureWidth_; ++x) {
            const Pixel p = at(x, y);
            const unsigned char rgb[3] = {static_cast<unsigned char>(p.r),
                                          static_cast<unsigned char>(p.g),
                                          static_cast<unsigned char>(p.b)};
            std::fwrite(rgb, 1, 3, file);
        }
    }
    return std::fclose(file) == 0;
}

}  // namespace lumadec_test
