#include "picture_scaler.h"

extern "C" {
#include <libswscale/swscale.h>
}

namespace lumadec {

Rect FitPicture(int pictureWidth, int pictureHeight, AVRational sampleAspect, int areaWidth,
                int areaHeight) {
    Rect rect;
    if (pictureWidth <= 0 || pictureHeight <= 0 || areaWidth <= 0 || areaHeight <= 0) {
        return rect;
    }
    // Display shape = width * sar / height, kept as a fraction to stay exact.
    int64_t shapeNum = pictureWidth;
    int64_t shapeDen = pictureHeight;
    if (sampleAspect.num > 0 && sampleAspect.den > 0) {
        shapeNum *= sampleAspect.num;
        shapeDen *= sampleAspect.den;
    }
    // Full width if the height then fits, else full height.
    int64_t height = (static_cast<int64_t>(areaWidth) * shapeDen + shapeNum / 2) / shapeNum;
    if (height <= areaHeight) {
        rect.width = areaWidth;
        rect.height = static_cast<int>(height);
    } else {
        rect.height = areaHeight;
        rect.width = static_cast<int>((static_cast<int64_t>(areaHeight) * shapeNum + shapeDen / 2) /
                                      shapeDen);
    }
    if (rect.width < 1) {
        rect.width = 1;
    }
    if (rect.height < 1) {
        rect.height = 1;
    }
    rect.x = (areaWidth - rect.width) / 2;
    rect.y = (areaHeight - rect.height) / 2;
    return rect;
}

PictureScaler::~PictureScaler() {
    sws_freeContext(context_);
}

namespace {

// The JPEG-range formats are deprecated in swscale: the same layout with a full-range flag.
AVPixelFormat PlainFormat(AVPixelFormat format, bool& fullRange) {
    switch (format) {
        case AV_PIX_FMT_YUVJ420P:
            fullRange = true;
            return AV_PIX_FMT_YUV420P;
        case AV_PIX_FMT_YUVJ422P:
            fullRange = true;
            return AV_PIX_FMT_YUV422P;
        case AV_PIX_FMT_YUVJ444P:
            fullRange = true;
            return AV_PIX_FMT_YUV444P;
        default:
            return format;
    }
}

int SwsColorspace(const AVFrame& picture) {
    switch (picture.colorspace) {
        case AVCOL_SPC_BT709:
            return SWS_CS_ITU709;
        case AVCOL_SPC_BT2020_NCL:
        case AVCOL_SPC_BT2020_CL:
            return SWS_CS_BT2020;
        case AVCOL_SPC_SMPTE170M:
        case AVCOL_SPC_BT470BG:
            return SWS_CS_ITU601;
        default:
            // Untagged: HD pictures are BT.709 in practice, SD ones BT.601.
            return picture.height >= 720 ? SWS_CS_ITU709 : SWS_CS_ITU601;
    }
}

}  // namespace

bool PictureScaler::scale(const AVFrame& picture, const ImageTarget& target) {
    if (picture.width <= 0 || picture.height <= 0 || target.pixels == nullptr ||
        target.width <= 0 || target.height <= 0) {
        return false;
    }
    bool fullRange = picture.color_range == AVCOL_RANGE_JPEG;
    const AVPixelFormat source = PlainFormat(static_cast<AVPixelFormat>(picture.format), fullRange);
    // Not sws_getCachedContext: swscale rewrites some formats inside the context (BGR0 becomes
    // BGRA), so that call would free and re-make the context for every picture.
    const Key key{picture.width, picture.height, source,
                  target.width,  target.height,  target.format};
    if (context_ == nullptr || !(key == key_)) {
        sws_freeContext(context_);
        context_ = sws_getContext(key.sourceWidth, key.sourceHeight, key.sourceFormat,
                                  key.targetWidth, key.targetHeight, key.targetFormat, SWS_BILINEAR,
                                  nullptr, nullptr, nullptr);
        key_ = key;
        colorspace_ = -1;
        if (context_ == nullptr) {
            return false;
        }
    }
    const int colorspace = SwsColorspace(picture);
    if (colorspace != colorspace_ || (fullRange ? 1 : 0) != fullRange_) {
        const int* coefficients = sws_getCoefficients(colorspace);
        // Output is full-range RGB; brightness 0, contrast and saturation 1.0 in 16.16.
        sws_setColorspaceDetails(context_, coefficients, fullRange ? 1 : 0, coefficients, 1, 0,
                                 1 << 16, 1 << 16);
        colorspace_ = colorspace;
        fullRange_ = fullRange ? 1 : 0;
    }
    uint8_t* destination[4] = {target.pixels, nullptr, nullptr, nullptr};
    int strides[4] = {target.stride, 0, 0, 0};
    const int rows = sws_scale(context_, picture.data, picture.linesize, 0, picture.height,
                               destination, strides);
    return rows > 0;
}

}  // namespace lumadec
