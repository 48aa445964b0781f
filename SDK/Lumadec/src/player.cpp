#include "player.h"

#include <system_error>

extern "C" {
#include <libavutil/cpu.h>
}

namespace lumadec {

std::unique_ptr<Player> Player::create(PlayerOptions options) {
    std::unique_ptr<Player> self(new Player(options, av_cpu_count()));
    self->video_ = VideoDecoder::create(options.codec, options.width, options.height,
                                        options.fixedThreading.value_or(DecoderThreading::Slice));
    if (!self->video_) {
        return nullptr;
    }
    if (options.audio) {
        // Without an AAC decoder the player still shows the picture.
        self->audio_ = AudioDecoder::create();
        if (self->audio_) {
            self->sound_ = std::make_unique<PulseOutput>();
        }
    }
    if (options.output) {
        self->output_ = std::move(options.output);
    } else if (options.window != 0 && options.window <= UINT32_MAX) {
        // X window ids are 29-bit values; anything wider is no window of ours.
        self->output_ = X11Renderer::open(static_cast<uint32_t>(options.window), options.transfer);
    }
    self->decoderThreads_ = self->video_->threadCount();
    self->frameThreading_ = self->video_->threading() == DecoderThreading::Frame ? 1 : 0;
    self->noteWindowState();
    self->noteSoundState();
    try {
        self->decoding_ = std::thread(&Player::decodeLoop, self.get());
    } catch (const std::system_error&) {
        return nullptr;
    }
    return self;
}

Player::~Player() {
    queue_.stop();
    if (decoding_.joinable()) {
        decoding_.join();
    }
    av_frame_free(&picture_);
}

AVFrame* Player::lastPicture() const {
    std::lock_guard<std::mutex> lock(pictureMutex_);
    return picture_ != nullptr ? av_frame_clone(picture_) : nullptr;
}

void Player::noteWindowState() {
    int32_t state = LUMADEC_WINDOW_NONE;
    if (output_) {
        state = output_->windowGone() ? LUMADEC_WINDOW_GONE : LUMADEC_WINDOW_DRAWING;
    }
    windowState_.store(state, std::memory_order_relaxed);
}

void Player::noteSoundState() {
    int32_t state = LUMADEC_SOUND_NONE;
    if (sound_) {
        switch (sound_->state()) {
            case PulseOutput::State::Connecting:
                state = LUMADEC_SOUND_CONNECTING;
                break;
            case PulseOutput::State::Ready:
                state = LUMADEC_SOUND_PLAYING;
                break;
            case PulseOutput::State::Failed:
                state = LUMADEC_SOUND_UNAVAILABLE;
                break;
        }
    }
    soundState_.store(state, std::memory_order_relaxed);
}

void Player::decodeLoop() {
    QueuedFrame frame;
    uint64_t dropsSeen = 0;
    while (queue_.pop(frame)) {
        const Clock::time_point started = Clock::now();
        if (frame.afterGap) {
            // The frames its references came from were dropped: pictures still inside the decoder
            // are dropped with them.
            picturesDiscarded_.fetch_add(static_cast<uint64_t>(video_->restart()),
                                         std::memory_order_relaxed);
        }
        const uint64_t dropped = queue_.dropped();
        if (dropped != dropsSeen) {
            dropsSeen = dropped;
            load_.noteDrop();
        }
        adaptToLoad(frame);
        const VideoDecodeResult result = video_->decode(frame.packet, frame.keyFrame, *this);
        if (result.skipped) {
            framesSkipped_.fetch_add(1, std::memory_order_relaxed);
        }
        if (result.error) {
            decodeErrors_.fetch_add(1, std::memory_order_relaxed);
        }
        load_.noteFrame(FromClockMicroseconds(frame.packet->pts), frame.keyFrame,
                        Clock::now() - started);
        queue_.setFrameCost(
            std::chrono::duration_cast<std::chrono::microseconds>(load_.frameCost()));
    }
}

// Behind: first the loop filters go, at once; then, at a key frame (where a new decoder starts
// cleanly), slice threads give way to frame threads. With room to spare, the filters come back.
void Player::adaptToLoad(const QueuedFrame& frame) {
    if (fixedSettings_) {
        return;
    }
    if (load_.behind()) {
        if (!video_->skippingLoopFilter()) {
            video_->skipLoopFilter(true);
            loopFilterSkipped_.store(1, std::memory_order_relaxed);
            load_.reset();
        } else if (frame.keyFrame && video_->threading() == DecoderThreading::Slice &&
                   load_.frameThreadsWanted() && video_->reopen(DecoderThreading::Frame)) {
            decoderThreads_.store(video_->threadCount(), std::memory_order_relaxed);
            frameThreading_.store(1, std::memory_order_relaxed);
            load_.reset();
        }
    } else if (video_->skippingLoopFilter() && load_.relaxed()) {
        video_->skipLoopFilter(false);
        loopFilterSkipped_.store(0, std::memory_order_relaxed);
        load_.reset();
    }
}

void Player::onPicture(const AVFrame& picture) {
    framesDecoded_.fetch_add(1, std::memory_order_relaxed);
    {
        // A reference, not a copy: the decoder gives the buffer to another picture meanwhile.
        std::lock_guard<std::mutex> lock(pictureMutex_);
        if (picture_ == nullptr) {
            picture_ = av_frame_alloc();
        }
        if (picture_ != nullptr) {
            av_frame_unref(picture_);
            av_frame_ref(picture_, &picture);
        }
    }
    // The picture carries its frame's arrival as its time stamp.
    const int64_t arrivalUs =
        picture.pts != AV_NOPTS_VALUE ? picture.pts : picture.best_effort_timestamp;
    const Clock::time_point arrival =
        arrivalUs != AV_NOPTS_VALUE ? FromClockMicroseconds(arrivalUs) : Clock::now();
    if (output_) {
        if (Clock::now() - arrival > maxDrawDelay_) {
            picturesLate_.fetch_add(1, std::memory_order_relaxed);
            load_.noteDrop();
            return;
        }
        const bool drawn = output_->draw(picture);
        const Rect shown = output_->output();
        outputWidth_.store(shown.width, std::memory_order_relaxed);
        outputHeight_.store(shown.height, std::memory_order_relaxed);
        sharedMemory_.store(output_->sharedMemory() ? 1 : 0, std::memory_order_relaxed);
        noteWindowState();
        if (!drawn) {
            return;
        }
        framesDrawn_.fetch_add(1, std::memory_order_relaxed);
    }
    const Clock::time_point now = Clock::now();
    delays_.add(now, std::chrono::duration_cast<std::chrono::microseconds>(now - arrival));
    int64_t none = 0;
    firstPictureTimeUs_.compare_exchange_strong(none, ClockMicroseconds(now),
                                                std::memory_order_relaxed);
}

void Player::onAudio(const AudioBlock& block) {
    audioFramesDecoded_.fetch_add(1, std::memory_order_relaxed);
    if (sound_ && sound_->play(block.samples, block.frames, block.channels, block.sampleRate)) {
        audioFramesPlayed_.fetch_add(1, std::memory_order_relaxed);
        soundLatencyUs_.store(sound_->latencyMicroseconds(), std::memory_order_relaxed);
    }
    noteSoundState();
}

int Player::writeFrame(int32_t type, const uint8_t* data, int32_t length,
                       Clock::time_point arrival) {
    if (data == nullptr || length <= 0) {
        return -1;
    }
    if (type == LUMADEC_FRAME_AUDIO) {
        audioFramesReceived_.fetch_add(1, std::memory_order_relaxed);
        if (!audio_) {
            return 0;  // opened without sound: audio is not ours to play
        }
        const AudioDecodeResult result = audio_->decode(data, length, *this);
        if (result.error) {
            decodeErrors_.fetch_add(1, std::memory_order_relaxed);
            return -1;
        }
        return 0;
    }

    framesReceived_.fetch_add(1, std::memory_order_relaxed);
    const auto admission = queue_.push(data, length, type == LUMADEC_FRAME_KEY, arrival);
    // Keep the sound connection moving even while no audio arrives.
    if (sound_) {
        sound_->poll();
        noteSoundState();
    }
    if (admission == LiveFrameQueue::Admission::NoMemory) {
        decodeErrors_.fetch_add(1, std::memory_order_relaxed);
        return -1;
    }
    return 0;
}

void Player::getStatistics(LumadecStatistics& out) const {
    // First, under the queue's lock: a frame no longer pending has been counted in the figures
    // read after it (the decoding thread counts it before it takes the next one).
    out.framesPending = static_cast<uint32_t>(queue_.pending());
    out.framesReceived = framesReceived_.load(std::memory_order_relaxed);
    out.framesDecoded = framesDecoded_.load(std::memory_order_relaxed);
    out.framesDrawn = framesDrawn_.load(std::memory_order_relaxed);
    out.audioFramesReceived = audioFramesReceived_.load(std::memory_order_relaxed);
    out.audioFramesPlayed = audioFramesPlayed_.load(std::memory_order_relaxed);
    out.decodeErrors = decodeErrors_.load(std::memory_order_relaxed);
    out.outputWidth = outputWidth_.load(std::memory_order_relaxed);
    out.outputHeight = outputHeight_.load(std::memory_order_relaxed);
    out.framesSkipped = framesSkipped_.load(std::memory_order_relaxed);
    out.audioFramesDecoded = audioFramesDecoded_.load(std::memory_order_relaxed);
    out.windowState = windowState_.load(std::memory_order_relaxed);
    out.soundState = soundState_.load(std::memory_order_relaxed);
    out.framesDropped = queue_.dropped() + picturesDiscarded_.load(std::memory_order_relaxed) +
                        picturesLate_.load(std::memory_order_relaxed);
    const DelaySummary delays = delays_.summarize(Clock::now());
    out.delayP50Us = delays.p50Us;
    out.delayP95Us = delays.p95Us;
    out.delayMaxUs = delays.maxUs;
    out.firstPictureTimeUs =
        static_cast<uint64_t>(firstPictureTimeUs_.load(std::memory_order_relaxed));
    out.decoderThreads = decoderThreads_.load(std::memory_order_relaxed);
    out.frameThreading = frameThreading_.load(std::memory_order_relaxed);
    out.soundLatencyUs = soundLatencyUs_.load(std::memory_order_relaxed);
    out.sharedMemory = sharedMemory_.load(std::memory_order_relaxed);
    out.loopFilterSkipped = loopFilterSkipped_.load(std::memory_order_relaxed);
}

}  // namespace lumadec
