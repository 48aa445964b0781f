// Where a player's decoded pictures go: a window (X11Renderer), or what a test puts there.
#pragma once

extern "C" {
#include <libavutil/frame.h>
}

#include "picture_scaler.h"

namespace lumadec {

class PictureOutput {
  public:
    virtual ~PictureOutput() = default;

    // Shows the picture. Returns false when nothing was shown (window gone, zero size, ...).
    virtual bool draw(const AVFrame& picture) = 0;
    // The rectangle the last picture was shown in; zero size when none.
    virtual Rect output() const = 0;
    // The window is gone for good: nothing will be shown any more.
    virtual bool windowGone() const = 0;
    // Pictures reach the display through shared memory (MIT-SHM) rather than its socket.
    virtual bool sharedMemory() const = 0;
};

}  // namespace lumadec
