// Colour conversion and scaling of decoded pictures with libswscale.
#pragma once

#include <cstdint>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

struct SwsContext;

namespace lumadec {

struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// The largest rectangle of the picture's shape that fits the area, centred; the rest of the area
// is left for black bars. Uses the picture's sample aspect ratio when it has one.
Rect FitPicture(int pictureWidth, int pictureHeight, AVRational sampleAspect, int areaWidth,
                int areaHeight);

// An RGB image in memory that pictures are scaled into.
struct ImageTarget {
    uint8_t* pixels = nullptr;
    int stride = 0;  // bytes per row
    int width = 0;
    int height = 0;
    AVPixelFormat format = AV_PIX_FMT_NONE;
};

class PictureScaler {
  public:
    PictureScaler() = default;
    ~PictureScaler();
    PictureScaler(const PictureScaler&) = delete;
    PictureScaler& operator=(const PictureScaler&) = delete;

    // Converts and scales the whole picture into the whole target. The conversion context is
    // re-made only when the picture's or the target's size or format changes.
    bool scale(const AVFrame& picture, const ImageTarget& target);

  private:
    struct Key {
        int sourceWidth = 0;
        int sourceHeight = 0;
        AVPixelFormat sourceFormat = AV_PIX_FMT_NONE;
        int targetWidth = 0;
        int targetHeight = 0;
        AVPixelFormat targetFormat = AV_PIX_FMT_NONE;
        bool operator==(const Key& o) const {
            return sourceWidth == o.sourceWidth && sourceHeight == o.sourceHeight &&
                   sourceFormat == o.sourceFormat && targetWidth == o.targetWidth &&
                   targetHeight == o.targetHeight && targetFormat == o.targetFormat;
        }
    };

    SwsContext* context_ = nullptr;
    Key key_;
    // What the context's colour details were set for, so they are set once per change only.
    int colorspace_ = -1;
    int fullRange_ = -1;
};

}  // namespace lumadec
