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
// How far the texture drifts before it starts over, and how strong texture and noise are.
constexpr int kDrift = 64;
constexpr int kTextureAmplitude = 40;
constexpr int kLumaNoise = 24;
constexpr int kChromaNoise = 8;

// A small, fast generator of noise (xorshift32); its state must never be 0.
uint32_t nextNoise(uint32_t& state) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

// Limited (video) range: luma 16..235, chroma 16..240.
uint8_t clampVideo(int value, int top) {
    return static_cast<uint8_t>(std::clamp(value, 16, top));
}

int textWidth(const std::string& text, int scale) {
    return static_cast<int>(text.size()) * (kGlyphWidth + 1) * scale - scale;
}

}  // namespace

TestPicture::TestPicture(int width, int height, int channel, int fps, int frameCount,
                         const std::string& caption, Picture picture)
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

    if (picture == Picture::Detailed) {
        texture_.resize(static_cast<size_t>(width + kDrift) * (height + kDrift));
        uint32_t state = 0x2545f491u + static_cast<uint32_t>(channel);
        for (uint8_t& sample : texture_) {
            sample = static_cast<uint8_t>(nextNoise(state));
        }
    }
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

    if (!texture_.empty()) {
        addDetail(index, planes, strides);
    }

    const int seconds = index / std::max(1, fps_);
    char clock[40];
    std::snprintf(clock, sizeof clock, "%02d:%02d:%02d", (seconds / 60) % 100, seconds % 60,
                  index % std::max(1, fps_));
    drawText(planes[0], strides[0], width_, height_, clock, clockX_, clockY_, clockScale_);
}

void TestPicture::addDetail(int index, uint8_t* const planes[3], const int strides[3]) const {
    // The texture moves diagonally, so that motion search finds it; the noise cannot be predicted
    // from any other frame, as a sensor's cannot.
    const int dx = (index * 3) % kDrift;
    const int dy = (index * 2) % kDrift;
    const int textureWidth = width_ + kDrift;
    uint32_t state = 0x9e3779b9u ^ static_cast<uint32_t>(index + 1) * 0x85ebca6bu;
    for (int y = 0; y < height_; ++y) {
        uint8_t* row = planes[0] + static_cast<size_t>(y) * strides[0];
        const uint8_t* texture = &texture_[static_cast<size_t>(y + dy) * textureWidth + dx];
        for (int x = 0; x < width_; ++x) {
            const int detail = (texture[x] * kTextureAmplitude >> 8) - kTextureAmplitude / 2;
            const int noise =
                static_cast<int>(nextNoise(state) % (2 * kLumaNoise + 1)) - kLumaNoise;
            row[x] = clampVideo(row[x] + detail + noise, 235);
        }
    }
    for (int plane = 1; plane <= 2; ++plane) {
        for (int y = 0; y < height_ / 2; ++y) {
            uint8_t* row = planes[plane] + static_cast<size_t>(y) * strides[plane];
            for (int x = 0; x < width_ / 2; ++x) {
                const int noise =
                    static_cast<int>(nextNoise(state) % (2 * kChromaNoise + 1)) - kChromaNoise;
                row[x] = clampVideo(row[x] + noise, 240);
            }
        }
    }
}

}  // namespace devicesim
