// One player: a stream's decoders, its window and its sound output.
//
// Audio is decoded and handed to the sound server on the thread that writes the frames. Video
// frames are copied into a short queue and decoded and drawn on the player's own decoding thread,
// so that the writer never waits for the decoder; when the decoder falls behind, the queue drops
// whole groups of pictures (never audio), and the decoding is lightened (DecoderLoad).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "Lumadec.h"
#include "audio_decoder.h"
#include "decoder_load.h"
#include "delay_window.h"
#include "frame_queue.h"
#include "picture_output.h"
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
    // Where the pictures go instead of `window`, when given.
    std::unique_ptr<PictureOutput> output;
    LiveQueueLimits queue;
    // A picture that comes out of the decoder later than this after its frame's arrival is not
    // drawn (it would show the past as live); decoding goes on, and catches up the sooner.
    std::chrono::milliseconds maxDrawDelay{150};
    // Decoder threads of this kind and the full filters from the start to the end, instead of
    // slice threads and the full filters until the measured decoding asks for less.
    std::optional<DecoderThreading> fixedThreading;
};

class Player final : private PictureSink, private AudioSink {
  public:
    // Returns nullptr when no video decoder (or decoding thread) can be had. A missing display,
    // window or sound server is not a failure: the player then decodes and counts without
    // drawing or playing.
    static std::unique_ptr<Player> create(PlayerOptions options);
    // Stops the decoding thread (after the frame it is decoding) before anything goes.
    ~Player();

    // 0 when the frame was taken (queued, or dropped to stay live), -1 for a missing argument,
    // an audio decoding error or no memory. `arrival` is when the frame came.
    int writeFrame(int32_t type, const uint8_t* data, int32_t length, Clock::time_point arrival);
    void getStatistics(LumadecStatistics& out) const;
    // Any thread, while the player lives: a new reference to the last decoded picture, nullptr
    // before the first. The caller frees it (av_frame_free).
    AVFrame* lastPicture() const;

  private:
    Player(const PlayerOptions& options, int processors)
        : load_(processors),
          fixedSettings_(options.fixedThreading.has_value()),
          maxDrawDelay_(options.maxDrawDelay),
          queue_(options.codec, options.queue) {}
    void decodeLoop();
    void adaptToLoad(const QueuedFrame& frame);
    void onPicture(const AVFrame& picture) override;
    void onAudio(const AudioBlock& block) override;
    void noteSoundState();
    void noteWindowState();

    // The decoding thread's own.
    std::unique_ptr<VideoDecoder> video_;
    std::unique_ptr<PictureOutput> output_;
    DecoderLoad load_;
    const bool fixedSettings_;
    const std::chrono::milliseconds maxDrawDelay_;
    LiveFrameQueue queue_;
    std::thread decoding_;

    // The writer's own.
    std::unique_ptr<AudioDecoder> audio_;
    std::unique_ptr<PulseOutput> sound_;

    // Written by the decoding thread, taken by whoever asks for a snapshot.
    mutable std::mutex pictureMutex_;
    AVFrame* picture_ = nullptr;

    // Readable from any thread for diagnostics.
    DelayWindow delays_;
    std::atomic<uint64_t> framesReceived_{0};
    std::atomic<uint64_t> framesDecoded_{0};
    std::atomic<uint64_t> framesDrawn_{0};
    std::atomic<uint64_t> framesSkipped_{0};
    std::atomic<uint64_t> audioFramesReceived_{0};
    std::atomic<uint64_t> audioFramesDecoded_{0};
    std::atomic<uint64_t> audioFramesPlayed_{0};
    std::atomic<uint64_t> decodeErrors_{0};
    // Pictures held back by the decoder when frames were dropped, and pictures decoded too late
    // to be drawn.
    std::atomic<uint64_t> picturesDiscarded_{0};
    std::atomic<uint64_t> picturesLate_{0};
    std::atomic<int32_t> outputWidth_{0};
    std::atomic<int32_t> outputHeight_{0};
    std::atomic<int32_t> windowState_{LUMADEC_WINDOW_NONE};
    std::atomic<int32_t> soundState_{LUMADEC_SOUND_NONE};
    std::atomic<int32_t> sharedMemory_{0};
    std::atomic<int32_t> decoderThreads_{0};
    std::atomic<int32_t> frameThreading_{0};
    std::atomic<int32_t> loopFilterSkipped_{0};
    std::atomic<int32_t> soundLatencyUs_{-1};
    std::atomic<int64_t> firstPictureTimeUs_{0};
};

}  // namespace lumadec
