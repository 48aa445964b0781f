// The moving test picture a transmitter encodes: a tinted background per channel, the channel's
// name, a caption with codec, size and rate, a bar that sweeps across once per loop, and a running
// clock (minutes:seconds:frame within the loop).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace devicesim {

class TestPicture {
  public:
    TestPicture(int width, int height, int channel, int fps, int frameCount,
                const std::string& caption);

    // Draws frame `index` of the loop into a YUV 4:2:0 picture of the constructor's size.
    void draw(int index, uint8_t* const planes[3], const int strides[3]) const;

  private:
    void fillBox(std::vector<uint8_t>& luma, int x, int y, int w, int h, uint8_t value);
    void neutralChroma(std::vector<uint8_t>& u, std::vector<uint8_t>& v, int x, int y, int w,
                       int h);
    static void drawText(uint8_t* luma, int stride, int width, int height, const std::string& text,
                         int x, int y, int scale);

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
};

}  // namespace devicesim
