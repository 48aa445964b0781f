// One player: a stream's decoders, its window and its sound output.
#ifndef LUMADEC_PLAYER_H
#define LUMADEC_PLAYER_H

#include <atomic>
#include <cstdint>
#include <memory>

#include "Lumadec.h"
#include "audio_decoder.h"
#include "pulse_output.h"
#include "video_decoder.h"
#include "x11_renderer.h"

namespace lumadec {

struct PlayerOptions {
    uint64_t window = 0;
    VideoCodec codec = VideoCodec::H264;
    int width = 0;
    int height = 0;
    bool audio = false;
    ImageTransfer transfer = ImageTransfer::SharedMemory;
};

class Player final : private PictureSink, private AudioSink {
  public:
    // Returns nullptr when no video decoder can be had. A missing display, window or sound
    // server is not a failure: the player then decodes and counts without drawing or playing.
    static std::unique_ptr<Player> Create(const PlayerOptions& options);
    ~Player();

    // 0 when the frame was taken, -1 for a missing argument or a decode error.
    int WriteFrame(int32_t type, const uint8_t* data, int32_t length);
    void GetStatistics(LumadecStatistics& out) const;

    bool drawing() const { return renderer_ != nullptr; }
    const X11Renderer* renderer() const { return renderer_.get(); }
    const VideoDecoder& videoDecoder() const { return *video_; }

  private:
    Player() = default;
    void OnPicture(const AVFrame& picture) override;
    void OnAudio(const AudioBlock& block) override;
    void NoteSoundState();
    void NoteWindowState();

    std::unique_ptr<VideoDecoder> video_;
    std::unique_ptr<AudioDecoder> audio_;
    std::unique_ptr<PulseOutput> sound_;
    std::unique_ptr<X11Renderer> renderer_;

    // Written by the thread that feeds the player, readable from any thread for diagnostics.
    std::atomic<uint64_t> framesReceived_{0};
    std::atomic<uint64_t> framesDecoded_{0};
    std::atomic<uint64_t> framesDrawn_{0};
    std::atomic<uint64_t> framesSkipped_{0};
    std::atomic<uint64_t> audioFramesReceived_{0};
    std::atomic<uint64_t> audioFramesDecoded_{0};
    std::atomic<uint64_t> audioFramesPlayed_{0};
    std::atomic<uint64_t> decodeErrors_{0};
    std::atomic<int32_t> outputWidth_{0};
    std::atomic<int32_t> outputHeight_{0};
    std::atomic<int32_t> windowState_{LUMADEC_WINDOW_NONE};
    std::atomic<int32_t> soundState_{LUMADEC_SOUND_NONE};
};

}  // namespace lumadec

#endif
