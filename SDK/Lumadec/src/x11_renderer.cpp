#include "x11_renderer.h"

#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstdlib>

#include <xcb/shm.h>

namespace lumadec {

namespace {

// X11 error codes that mean the window we draw into no longer exists.
constexpr uint8_t kBadWindow = 3;
constexpr uint8_t kBadDrawable = 9;
// Rows of a shared image start on this boundary, so that swscale writes aligned rows.
constexpr int kSharedRowAlignment = 64;

template <typename T>
struct FreeDeleter {
    void operator()(T* p) const { std::free(p); }
};
template <typename T>
using XcbReply = std::unique_ptr<T, FreeDeleter<T>>;

int AlignUp(int value, int alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

const xcb_visualtype_t* FindVisual(const xcb_setup_t* setup, xcb_visualid_t id) {
    for (auto screens = xcb_setup_roots_iterator(setup); screens.rem; xcb_screen_next(&screens)) {
        for (auto depths = xcb_screen_allowed_depths_iterator(screens.data); depths.rem;
             xcb_depth_next(&depths)) {
            for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem;
                 xcb_visualtype_next(&visuals)) {
                if (visuals.data->visual_id == id) {
                    return visuals.data;
                }
            }
        }
    }
    return nullptr;
}

// The swscale output format that matches the window's pixels byte for byte, or NONE.
AVPixelFormat MatchPixelFormat(const xcb_visualtype_t& visual, uint8_t depth, int bitsPerPixel,
                               bool lsbFirst) {
    if (visual._class != XCB_VISUAL_CLASS_TRUE_COLOR &&
        visual._class != XCB_VISUAL_CLASS_DIRECT_COLOR) {
        return AV_PIX_FMT_NONE;
    }
    const uint32_t r = visual.red_mask, g = visual.green_mask, b = visual.blue_mask;
    if (bitsPerPixel == 32 && g == 0x00ff00) {
        // Depth 32 has an alpha byte that must be opaque; depth 24 leaves the byte unused.
        const bool alpha = depth == 32;
        if (r == 0xff0000 && b == 0x0000ff) {
            if (lsbFirst) {
                return alpha ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR0;
            }
            return alpha ? AV_PIX_FMT_ARGB : AV_PIX_FMT_0RGB;
        }
        if (r == 0x0000ff && b == 0xff0000) {
            if (lsbFirst) {
                return alpha ? AV_PIX_FMT_RGBA : AV_PIX_FMT_RGB0;
            }
            return alpha ? AV_PIX_FMT_ABGR : AV_PIX_FMT_0BGR;
        }
    }
    if (bitsPerPixel == 16 && r == 0xf800 && g == 0x07e0 && b == 0x001f) {
        return lsbFirst ? AV_PIX_FMT_RGB565LE : AV_PIX_FMT_RGB565BE;
    }
    return AV_PIX_FMT_NONE;
}

}  // namespace

std::unique_ptr<X11Renderer> X11Renderer::open(uint32_t window, ImageTransfer transfer) {
    if (window == 0) {
        return nullptr;
    }
    std::unique_ptr<X11Renderer> self(new X11Renderer());
    if (!self->connect(window, transfer)) {
        return nullptr;
    }
    return self;
}

bool X11Renderer::connect(uint32_t window, ImageTransfer transfer) {
    connection_ = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection_)) {
        return false;  // no display: the destructor releases the failed connection
    }
    window_ = window;

    // Ask for the window's size changes and its destruction first, then read its geometry, so
    // that no change between the two is missed. Selecting StructureNotify on a window of another
    // client is allowed, and the selection is ours alone.
    const uint32_t eventMask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_void_cookie_t select =
        xcb_change_window_attributes_checked(connection_, window_, XCB_CW_EVENT_MASK, &eventMask);
    xcb_get_geometry_cookie_t geometryCookie = xcb_get_geometry(connection_, window_);
    xcb_get_window_attributes_cookie_t attributesCookie =
        xcb_get_window_attributes(connection_, window_);
    XcbReply<xcb_generic_error_t> selectError(xcb_request_check(connection_, select));
    XcbReply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(connection_, geometryCookie, nullptr));
    XcbReply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(connection_, attributesCookie, nullptr));
    if (selectError || !geometry || !attributes) {
        return false;  // no such window
    }
    depth_ = geometry->depth;
    windowWidth_ = geometry->width;
    windowHeight_ = geometry->height;

    const xcb_setup_t* setup = xcb_get_setup(connection_);
    const xcb_visualtype_t* visual = FindVisual(setup, attributes->visual);
    int bitsPerPixel = 0;
    for (auto formats = xcb_setup_pixmap_formats_iterator(setup); formats.rem;
         xcb_format_next(&formats)) {
        if (formats.data->depth == depth_) {
            bitsPerPixel = formats.data->bits_per_pixel;
        }
    }
    if (visual == nullptr || bitsPerPixel == 0) {
        return false;
    }
    pixelFormat_ = MatchPixelFormat(*visual, depth_, bitsPerPixel,
                                    setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST);
    if (pixelFormat_ == AV_PIX_FMT_NONE) {
        return false;  // an unusual visual: decode only
    }
    bytesPerPixel_ = bitsPerPixel / 8;
    maxRequestBytes_ = xcb_get_maximum_request_length(connection_) * 4u;

    if (transfer == ImageTransfer::SharedMemory) {
        const xcb_query_extension_reply_t* shm = xcb_get_extension_data(connection_, &xcb_shm_id);
        if (shm != nullptr && shm->present) {
            XcbReply<xcb_shm_query_version_reply_t> version(xcb_shm_query_version_reply(
                connection_, xcb_shm_query_version(connection_), nullptr));
            shmAvailable_ = version != nullptr;
        }
    }

    // Black, and opaque where the window has an alpha channel.
    const uint32_t black = depth_ == 32 ? 0xff000000u : 0u;
    const uint32_t gcValues[] = {black, 0};
    gc_ = xcb_generate_id(connection_);
    xcb_create_gc(connection_, gc_, window_, XCB_GC_FOREGROUND | XCB_GC_GRAPHICS_EXPOSURES,
                  gcValues);
    xcb_flush(connection_);
    return true;
}

X11Renderer::~X11Renderer() {
    if (connection_ == nullptr) {
        return;
    }
    if (!xcb_connection_has_error(connection_)) {
        releaseImage();
        if (gc_ != 0) {
            xcb_free_gc(connection_, gc_);
        }
        xcb_flush(connection_);
    } else if (shmAddress_ != nullptr) {
        shmdt(shmAddress_);
    }
    // Also drops our event selection on the window.
    xcb_disconnect(connection_);
}

void X11Renderer::processEvents() {
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
        switch (event->response_type & 0x7f) {
            case 0: {
                // An error of one of our unchecked requests: reported, never fatal.
                const auto* error = reinterpret_cast<const xcb_generic_error_t*>(event);
                if ((error->error_code == kBadWindow || error->error_code == kBadDrawable) &&
                    error->resource_id == window_) {
                    windowGone_ = true;
                }
                break;
            }
            case XCB_CONFIGURE_NOTIFY: {
                const auto* configure =
                    reinterpret_cast<const xcb_configure_notify_event_t*>(event);
                if (configure->window == window_) {
                    windowWidth_ = configure->width;
                    windowHeight_ = configure->height;
                }
                break;
            }
            case XCB_DESTROY_NOTIFY: {
                const auto* destroy = reinterpret_cast<const xcb_destroy_notify_event_t*>(event);
                if (destroy->window == window_) {
                    windowGone_ = true;
                }
                break;
            }
            default:
                break;
        }
        std::free(event);
    }
    if (xcb_connection_has_error(connection_)) {
        windowGone_ = true;  // the display went away
    }
}

void X11Renderer::waitForServer() {
    if (!syncPending_) {
        return;
    }
    syncPending_ = false;
    std::free(xcb_get_input_focus_reply(connection_, syncCookie_, nullptr));
}

bool X11Renderer::attachSharedImage(size_t bytes) {
    shmId_ = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (shmId_ < 0) {
        return false;
    }
    void* address = shmat(shmId_, nullptr, 0);
    // NOLINTNEXTLINE(performance-no-int-to-ptr): shmat's failure value, as its manual gives it
    if (address == reinterpret_cast<void*>(-1)) {
        shmctl(shmId_, IPC_RMID, nullptr);
        shmId_ = -1;
        return false;
    }
    const uint32_t segment = xcb_generate_id(connection_);
    XcbReply<xcb_generic_error_t> error(xcb_request_check(
        connection_, xcb_shm_attach_checked(connection_, segment, static_cast<uint32_t>(shmId_),
                                            /*read_only=*/1)));
    // Marked for removal now: it lives while the server and we are attached, and no crash of
    // either side can leave it behind.
    shmctl(shmId_, IPC_RMID, nullptr);
    shmId_ = -1;
    if (error) {
        shmdt(address);
        return false;  // e.g. a server on another machine
    }
    shmSegment_ = segment;
    shmAddress_ = static_cast<uint8_t*>(address);
    return true;
}

void X11Renderer::releaseImage() {
    waitForServer();
    if (shmSegment_ != 0) {
        xcb_shm_detach(connection_, shmSegment_);
        shmSegment_ = 0;
    }
    if (shmAddress_ != nullptr) {
        shmdt(shmAddress_);
        shmAddress_ = nullptr;
    }
    image_ = ImageTarget();
}

bool X11Renderer::ensureImage(int width, int height) {
    if (image_.pixels != nullptr && image_.width == width && image_.height == height) {
        return true;
    }
    releaseImage();
    // A shared image can have longer rows than it shows (the server is told the full row);
    // a put-image request must carry exactly the rows it draws, padded to 32 bits.
    const int stride = shmAvailable_ ? AlignUp(width * bytesPerPixel_, kSharedRowAlignment)
                                     : AlignUp(width * bytesPerPixel_, 4);
    const size_t bytes = static_cast<size_t>(stride) * static_cast<size_t>(height);
    uint8_t* pixels = nullptr;
    if (shmAvailable_) {
        if (attachSharedImage(bytes)) {
            pixels = shmAddress_;
        } else {
            shmAvailable_ = false;
            return ensureImage(width, height);
        }
    } else {
        if (ownPixels_.size() < bytes) {
            ownPixels_.resize(bytes);
        }
        pixels = ownPixels_.data();
    }
    image_.pixels = pixels;
    image_.stride = stride;
    image_.width = width;
    image_.height = height;
    image_.format = pixelFormat_;
    imageRowPixels_ = stride / bytesPerPixel_;
    return true;
}

void X11Renderer::fillBars(const Rect& picture) {
    xcb_rectangle_t bars[4];
    int count = 0;
    auto add = [&](int x, int y, int width, int height) {
        if (width > 0 && height > 0) {
            bars[count++] = {static_cast<int16_t>(x), static_cast<int16_t>(y),
                             static_cast<uint16_t>(width), static_cast<uint16_t>(height)};
        }
    };
    add(0, 0, windowWidth_, picture.y);               // top
    add(0, picture.y + picture.height, windowWidth_,  // bottom
        windowHeight_ - picture.y - picture.height);
    add(0, picture.y, picture.x, picture.height);  // left
    add(picture.x + picture.width, picture.y,      // right
        windowWidth_ - picture.x - picture.width, picture.height);
    if (count > 0) {
        xcb_poly_fill_rectangle(connection_, window_, gc_, static_cast<uint32_t>(count), bars);
    }
}

void X11Renderer::putImage(const Rect& rect) {
    if (shmSegment_ != 0) {
        xcb_shm_put_image(connection_, window_, gc_, static_cast<uint16_t>(imageRowPixels_),
                          static_cast<uint16_t>(rect.height), 0, 0,
                          static_cast<uint16_t>(rect.width), static_cast<uint16_t>(rect.height),
                          static_cast<int16_t>(rect.x), static_cast<int16_t>(rect.y), depth_,
                          XCB_IMAGE_FORMAT_Z_PIXMAP, /*send_event=*/0, shmSegment_, 0);
        return;
    }
    // Split into requests of as many whole rows as the server accepts in one.
    const uint32_t header = 64;
    int rowsPerRequest = static_cast<int>((maxRequestBytes_ - header) / image_.stride);
    if (rowsPerRequest < 1) {
        rowsPerRequest = 1;
    }
    for (int row = 0; row < rect.height; row += rowsPerRequest) {
        const int rows = rect.height - row < rowsPerRequest ? rect.height - row : rowsPerRequest;
        xcb_put_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, window_, gc_,
                      static_cast<uint16_t>(rect.width), static_cast<uint16_t>(rows),
                      static_cast<int16_t>(rect.x), static_cast<int16_t>(rect.y + row), 0, depth_,
                      static_cast<uint32_t>(rows * image_.stride),
                      image_.pixels + static_cast<size_t>(row) * image_.stride);
    }
}

bool X11Renderer::draw(const AVFrame& picture) {
    processEvents();
    if (windowGone_ || windowWidth_ <= 0 || windowHeight_ <= 0) {
        output_ = Rect();
        return false;
    }
    const Rect rect = FitPicture(picture.width, picture.height, picture.sample_aspect_ratio,
                                 windowWidth_, windowHeight_);
    if (rect.width <= 0 || !ensureImage(rect.width, rect.height)) {
        output_ = Rect();
        return false;
    }
    // The server reads a shared image when it runs the request: it must be done with the last
    // picture before this one overwrites it. By now it nearly always is.
    waitForServer();
    if (!scaler_.scale(picture, image_)) {
        output_ = Rect();
        return false;
    }
    fillBars(rect);
    putImage(rect);
    syncCookie_ = xcb_get_input_focus(connection_);
    syncPending_ = true;
    xcb_flush(connection_);
    if (xcb_connection_has_error(connection_)) {
        windowGone_ = true;
        syncPending_ = false;
        output_ = Rect();
        return false;
    }
    output_ = rect;
    return true;
}

}  // namespace lumadec
