// H.264 / H.265 decoding of one live stream with libavcodec.
#ifndef LUMADEC_VIDEO_DECODER_H
#define LUMADEC_VIDEO_DECODER_H

#include <cstdint>
#include <memory>

#include "annexb.h"
#include "packet_buffer.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace lumadec {

// Receives every picture that comes out of the decoder. The frame is only lent for the call.
class PictureSink {
  public:
    virtual void OnPicture(const AVFrame& picture) = 0;

  protected:
    ~PictureSink() = default;
};

struct VideoDecodeResult {
    int pictures = 0;      // pictures handed to the sink
    bool error = false;    // the decoder rejected the access unit or a picture
    bool skipped = false;  // not decoded: still waiting for a key frame
};

class VideoDecoder {
  public:
    // Returns nullptr when libavcodec has no decoder for `codec` or memory is short.
    // `widthHint`/`heightHint` are the stream's announced size (0 when unknown); the decoder
    // takes the real size from the bitstream.
    static std::unique_ptr<VideoDecoder> Create(VideoCodec codec, int widthHint, int heightHint);
    ~VideoDecoder();
    VideoDecoder(const VideoDecoder&) = delete;
    VideoDecoder& operator=(const VideoDecoder&) = delete;

    // Decodes one Annex B access unit. `keyFrame` is the stream's own mark; the access unit is
    // also scanned for a random access picture. Until one arrives after the start or a restart,
    // access units are skipped.
    VideoDecodeResult Decode(const uint8_t* data, int size, bool keyFrame, PictureSink& sink);

    // Forgets the decoder's state and waits for the next key frame.
    void Restart();

    bool waitingForKeyFrame() const { return waitingForKeyFrame_; }
    VideoCodec codec() const { return codec_; }
    int threadCount() const;

    // The decoder settings that Lumadec uses, for a baseline that decodes the same way.
    static void ApplyLiveSettings(AVCodecContext* context);

  private:
    explicit VideoDecoder(VideoCodec codec) : codec_(codec) {}
    // Takes every picture the decoder has ready. Returns false on a decoding error.
    bool ReceivePictures(PictureSink& sink, int& pictures);

    VideoCodec codec_;
    AVCodecContext* context_ = nullptr;
    AVFrame* frame_ = nullptr;
    PacketBuffer input_;
    bool waitingForKeyFrame_ = true;
    int consecutiveErrors_ = 0;
};

}  // namespace lumadec

#endif
