// H.264 / H.265 decoding of one live stream with libavcodec.
#pragma once

#include <cstdint>
#include <memory>

#include "annexb.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace lumadec {

// Receives every picture that comes out of the decoder. The frame is only lent for the call.
class PictureSink {
  public:
    virtual void onPicture(const AVFrame& picture) = 0;

  protected:
    ~PictureSink() = default;
};

struct VideoDecodeResult {
    int pictures = 0;      // pictures handed to the sink
    bool error = false;    // the decoder rejected the access unit or a picture
    bool skipped = false;  // not decoded: still waiting for a key frame
};

// How libavcodec spreads the work over threads. Slice threads split each picture and hold none
// back; frame threads decode several pictures at once and hold each back by (threads - 1)
// pictures, which a live picture only pays for when it cannot keep up otherwise.
enum class DecoderThreading { Slice, Frame };

class VideoDecoder {
  public:
    // Returns nullptr when libavcodec has no decoder for `codec` or memory is short.
    // `widthHint`/`heightHint` are the stream's announced size (0 when unknown); the decoder
    // takes the real size from the bitstream.
    static std::unique_ptr<VideoDecoder> create(VideoCodec codec, int widthHint, int heightHint,
                                                DecoderThreading threading);
    ~VideoDecoder();
    VideoDecoder(const VideoDecoder&) = delete;
    VideoDecoder& operator=(const VideoDecoder&) = delete;

    // Decodes one padded Annex B access unit; its pts comes back on its picture. `keyFrame` says
    // whether decoding can start from it: until one arrives after the start or a restart, access
    // units are skipped.
    VideoDecodeResult decode(const AVPacket* packet, bool keyFrame, PictureSink& sink);

    // Forgets the decoder's state and waits for the next key frame. Returns the number of
    // pictures it held back and now never gives (frame threads hold some).
    int restart();
    // A new decoder with other threading, waiting for a key frame. False (the old one kept) when
    // it cannot be had.
    bool reopen(DecoderThreading threading);

    DecoderThreading threading() const { return threading_; }
    int threadCount() const;

    // Skips the deblocking and sample-adaptive offset filters on all but key frames: decoding is
    // about a fifth cheaper, and the pictures between key frames lose some of their smoothness.
    void skipLoopFilter(bool skip);
    bool skippingLoopFilter() const { return skipLoopFilter_; }

    // The decoder settings that Lumadec uses, for a baseline that decodes the same way.
    static void applyLiveSettings(AVCodecContext* context, DecoderThreading threading);

  private:
    VideoDecoder(VideoCodec codec, int widthHint, int heightHint)
        : codec_(codec), widthHint_(widthHint), heightHint_(heightHint) {}
    bool open(DecoderThreading threading);
    // Takes every picture the decoder has ready. Returns false on a decoding error.
    bool receivePictures(PictureSink& sink, int& pictures);

    const VideoCodec codec_;
    const int widthHint_;
    const int heightHint_;
    DecoderThreading threading_ = DecoderThreading::Slice;
    bool skipLoopFilter_ = false;
    AVCodecContext* context_ = nullptr;
    AVFrame* frame_ = nullptr;
    bool waitingForKeyFrame_ = true;
    int consecutiveErrors_ = 0;
    int heldBack_ = 0;  // access units taken whose pictures have not come out
};

}  // namespace lumadec
