// The moving test picture a transmitter encodes: a tinted background per channel, the channel's
// name, a caption with codec, size and rate, a bar that sweeps across once per loop, and a running
// clock (minutes:seconds:frame within the loop). A detailed picture adds fine texture that drifts
// a few pixels every frame and noise that is new in every frame.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "options.h"

namespace devicesim {

class TestPicture {
  public:
    TestPicture(int width, int height, int channel, int fps, int frameCount,
                const std::string& caption, Picture picture = Picture::Flat);

    // Draws frame `index` of the loop into a YUV 4:2:0 picture of the constructor's size.
    void draw(int index, uint8_t* const planes[3], const int strides[3]) const;

  private:
    void fillBox(std::vector<uint8_t>& luma, int x, int y, int w, int h, uint8_t value);
    void neutralChroma(std::vector<uint8_t>& u, std::vector<uint8_t>& v, int x, int y, int w,
                       int h);
    static void drawText(uint8_t* luma, int stride, int width, int height, const std::string& text,
                         int x, int y, int scale);
    void addDetail(int index, uint8_t* const planes[3], const int strides[3]) const;

    int width_;
    int height_;
    int fps_;
    int frameCount_;
    int clockX_ = 0;
    int clockY_ = 0;
    int clockScale_ = 1;
    std::vector<uint8_t> backgroundY_;
    std::vector<uint8_t> backgroundU_;
    std::vector<uint8_t> backgroundV_;
    // A detailed picture's texture, larger than the picture by the distance it drifts; empty for
    // a flat one.
    std::vector<uint8_t> texture_;
};

}  // namespace devicesim
