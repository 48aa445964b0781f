// Drawing decoded pictures into an existing X11 window through xcb.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <xcb/xcb.h>

#include "picture_output.h"
#include "picture_scaler.h"

namespace lumadec {

enum class ImageTransfer {
    SharedMemory,  // MIT-SHM when the server offers it, plain put-image otherwise
    PutImageOnly,  // always through the socket (what a remote display gets)
};

// Owns a connection of its own to the display (so players on different threads never share
// one) and draws into a window that someone else owns. The window may be resized or destroyed
// at any time: the renderer follows its size through StructureNotify events and stops drawing
// when it is gone. X errors arrive as events and are never fatal.
class X11Renderer final : public PictureOutput {
  public:
    // Returns nullptr when there is no display, the window does not exist or its visual is not
    // one we can fill (decode only, then).
    static std::unique_ptr<X11Renderer> open(uint32_t window,
                                             ImageTransfer transfer = ImageTransfer::SharedMemory);
    ~X11Renderer() override;
    X11Renderer(const X11Renderer&) = delete;
    X11Renderer& operator=(const X11Renderer&) = delete;

    // Scales the picture into the window, keeping its shape, with black bars around it.
    // Returns false when nothing was drawn (window gone, zero size, conversion failed).
    bool draw(const AVFrame& picture) override;

    Rect output() const override { return output_; }
    bool windowGone() const override { return windowGone_; }
    bool sharedMemory() const override { return shmSegment_ != 0; }

  private:
    X11Renderer() = default;
    bool connect(uint32_t window, ImageTransfer transfer);
    void processEvents();
    void waitForServer();
    bool ensureImage(int width, int height);
    bool attachSharedImage(size_t bytes);
    void releaseImage();
    void putImage(const Rect& rect);
    void fillBars(const Rect& picture);

    xcb_connection_t* connection_ = nullptr;
    xcb_window_t window_ = 0;
    xcb_gcontext_t gc_ = 0;
    uint8_t depth_ = 0;
    int bytesPerPixel_ = 0;
    AVPixelFormat pixelFormat_ = AV_PIX_FMT_NONE;
    int windowWidth_ = 0;
    int windowHeight_ = 0;
    bool windowGone_ = false;
    bool shmAvailable_ = false;
    uint32_t maxRequestBytes_ = 0;

    // The scaled image: in a shared memory segment, or in our own memory for put-image.
    ImageTarget image_;
    int imageRowPixels_ = 0;  // stride in pixels, what the server is told as the image width
    uint32_t shmSegment_ = 0;
    int shmId_ = -1;
    uint8_t* shmAddress_ = nullptr;
    std::vector<uint8_t> ownPixels_;

    // A round trip sent after each draw; its reply means the server has read the shared image.
    bool syncPending_ = false;
    xcb_get_input_focus_cookie_t syncCookie_{};

    PictureScaler scaler_;
    Rect output_;
};

}  // namespace lumadec
