#include "test_picture.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "bitmap_font.h"

namespace devicesim {

namespace {

// Chroma tint (U, V) of channels 1..4: blue, green, red, purple.
const uint8_t kTint[5][2] = {{128, 128}, {165, 105}, {95, 95}, {105, 170}, {160, 160}};

constexpr uint8_t kWhite = 235;
constexpr uint8_t kBlack = 16;

int textWidth(const std::string& text, int scale) {
    return static_cast<int>(text.size()) * (kGlyphWidth + 1) * scale - scale;
}

}  // namespace

TestPicture::TestPicture(int width, int height, int channel, int fps, int frameCount,
                         const std::string& caption)
    : width_(width),
      height_(height),
      fps_(fps),
      frameCount_(frameCount),
      backgroundY_(static_cast<size_t>(width) * height),
      backgroundU_(static_cast<size_t>(width / 2) * (height / 2)),
      backgroundV_(backgroundU_.size()) {
    for (int y = 0; y < height; ++y) {
        const uint8_t shade = static_cast<uint8_t>(40 + 80 * y / height);
        std::memset(&backgroundY_[static_cast<size_t>(y) * width], shade, width);
    }
    const int tint = channel >= 1 && channel <= 4 ? channel : 0;
    std::fill(backgroundU_.begin(), backgroundU_.end(), kTint[tint][0]);
    std::fill(backgroundV_.begin(), backgroundV_.end(), kTint[tint][1]);

    const int margin = width / 20;
    const int nameScale = std::max(1, height / 60);
    const std::string name = "CH" + std::to_string(channel);
    const int pad = nameScale;
    fillBox(backgroundY_, margin - pad, height / 12 - pad, textWidth(name, nameScale) + 2 * pad,
            kGlyphHeight * nameScale + 2 * pad, kBlack);
    neutralChroma(backgroundU_, backgroundV_, margin - pad, height / 12 - pad,
                  textWidth(name, nameScale) + 2 * pad, kGlyphHeight * nameScale + 2 * pad);
    drawText(backgroundY_.data(), width, width, height, name, margin, height / 12, nameScale);

    const int captionScale = std::max(1, height / 180);
    const int captionY = height - height / 12 - kGlyphHeight * captionScale;
    drawText(backgroundY_.data(), width, width, height, caption, margin, captionY, captionScale);

    clockScale_ = std::max(1, height / 90);
    clockX_ = margin;
    clockY_ = height / 12 + kGlyphHeight * nameScale + 3 * nameScale;
    const int clockWidth = textWidth("00:00:00", clockScale_);
    fillBox(backgroundY_, clockX_ - pad, clockY_ - pad, clockWidth + 2 * pad,
            kGlyphHeight * clockScale_ + 2 * pad, kBlack);
    neutralChroma(backgroundU_, backgroundV_, clockX_ - pad, clockY_ - pad, clockWidth + 2 * pad,
                  kGlyphHeight * clockScale_ + 2 * pad);
}

void TestPicture::fillBox(std::vector<uint8_t>& luma, int x, int y, int w, int h, uint8_t value) {
    const int x0 = std::max(0, x);
    const int x1 = std::min(width_, x + w);
    for (int row = std::max(0, y); row < std::min(height_, y + h); ++row) {
        if (x1 > x0) {
            std::memset(&luma[static_cast<size_t>(row) * width_ + x0], value, x1 - x0);
        }
    }
}

void TestPicture::neutralChroma(std::vector<uint8_t>& u, std::vector<uint8_t>& v, int x, int y,
                                int w, int h) {
    const int chromaWidth = width_ / 2;
    const int x0 = std::max(0, x / 2);
    const int x1 = std::min(chromaWidth, (x + w + 1) / 2);
    for (int row = std::max(0, y / 2); row < std::min(height_ / 2, (y + h + 1) / 2); ++row) {
        if (x1 > x0) {
            std::memset(&u[static_cast<size_t>(row) * chromaWidth + x0], 128, x1 - x0);
            std::memset(&v[static_cast<size_t>(row) * chromaWidth + x0], 128, x1 - x0);
        }
    }
}

void TestPicture::drawText(uint8_t* luma, int stride, int width, int height,
                           const std::string& text, int x, int y, int scale) {
    for (size_t i = 0; i < text.size(); ++i) {
        const int left = x + static_cast<int>(i) * (kGlyphWidth + 1) * scale;
        for (int gy = 0; gy < kGlyphHeight; ++gy) {
            for (int gx = 0; gx < kGlyphWidth; ++gx) {
                if (!glyphPixel(text[i], gx, gy)) {
                    continue;
                }
                for (int py = y + gy * scale; py < y + (gy + 1) * scale && py < height; ++py) {
                    const int px0 = left + gx * scale;
                    const int px1 = std::min(width, px0 + scale);
                    if (py >= 0 && px0 >= 0 && px1 > px0) {
                        std::memset(luma + static_cast<size_t>(py) * stride + px0, kWhite,
                                    px1 - px0);
                    }
                }
            }
        }
    }
}

void TestPicture::draw(int index, uint8_t* const planes[3], const int strides[3]) const {
    for (int y = 0; y < height_; ++y) {
        std::memcpy(planes[0] + static_cast<size_t>(y) * strides[0],
                    &backgroundY_[static_cast<size_t>(y) * width_], width_);
    }
    const int chromaWidth = width_ / 2;
    for (int y = 0; y < height_ / 2; ++y) {
        std::memcpy(planes[1] + static_cast<size_t>(y) * strides[1],
                    &backgroundU_[static_cast<size_t>(y) * chromaWidth], chromaWidth);
        std::memcpy(planes[2] + static_cast<size_t>(y) * strides[2],
                    &backgroundV_[static_cast<size_t>(y) * chromaWidth], chromaWidth);
    }

    // The sweeping bar, across the lower half, once per loop.
    const int barWidth = std::max(2, width_ / 40) & ~1;
    const int barX = (index * (width_ - barWidth) / std::max(1, frameCount_)) & ~1;
    for (int y = height_ / 2; y < height_ - height_ / 6; ++y) {
        std::memset(planes[0] + static_cast<size_t>(y) * strides[0] + barX, kWhite, barWidth);
    }
    for (int y = height_ / 4; y < (height_ - height_ / 6) / 2; ++y) {
        std::memset(planes[1] + static_cast<size_t>(y) * strides[1] + barX / 2, 128, barWidth / 2);
        std::memset(planes[2] + static_cast<size_t>(y) * strides[2] + barX / 2, 128, barWidth / 2);
    }

    const int seconds = index / std::max(1, fps_);
    char clock[40];
    std::snprintf(clock, sizeof clock, "%02d:%02d:%02d", (seconds / 60) % 100, seconds % 60,
                  index % std::max(1, fps_));
    drawText(planes[0], strides[0], width_, height_, clock, clockX_, clockY_, clockScale_);
}

}  // namespace devicesim
