#include "player.h"

namespace lumadec {

std::unique_ptr<Player> Player::Create(const PlayerOptions& options) {
    std::unique_ptr<Player> self(new Player());
    self->video_ = VideoDecoder::Create(options.codec, options.width, options.height);
    if (!self->video_) {
        return nullptr;
    }
    if (options.audio) {
        // Without an AAC decoder the player still shows the picture.
        self->audio_ = AudioDecoder::Create();
        if (self->audio_) {
            self->sound_ = std::make_unique<PulseOutput>();
        }
    }
    // X window ids are 29-bit values; anything wider is no window of ours.
    if (options.window != 0 && options.window <= UINT32_MAX) {
        self->renderer_ =
            X11Renderer::Open(static_cast<uint32_t>(options.window), options.transfer);
    }
    self->NoteWindowState();
    self->NoteSoundState();
    return self;
}

Player::~Player() = default;

void Player::NoteWindowState() {
    int32_t state = LUMADEC_WINDOW_NONE;
    if (renderer_) {
        state = renderer_->windowGone() ? LUMADEC_WINDOW_GONE : LUMADEC_WINDOW_DRAWING;
    }
    windowState_.store(state, std::memory_order_relaxed);
}

void Player::NoteSoundState() {
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

void Player::OnPicture(const AVFrame& picture) {
    framesDecoded_.fetch_add(1, std::memory_order_relaxed);
    if (!renderer_) {
        return;
    }
    if (renderer_->Draw(picture)) {
        framesDrawn_.fetch_add(1, std::memory_order_relaxed);
    }
    outputWidth_.store(renderer_->output().width, std::memory_order_relaxed);
    outputHeight_.store(renderer_->output().height, std::memory_order_relaxed);
    NoteWindowState();
}

void Player::OnAudio(const AudioBlock& block) {
    audioFramesDecoded_.fetch_add(1, std::memory_order_relaxed);
    if (sound_ && sound_->Play(block.samples, block.frames, block.channels, block.sampleRate)) {
        audioFramesPlayed_.fetch_add(1, std::memory_order_relaxed);
    }
    NoteSoundState();
}

int Player::WriteFrame(int32_t type, const uint8_t* data, int32_t length) {
    if (data == nullptr || length <= 0) {
        return -1;
    }
    if (type == LUMADEC_FRAME_AUDIO) {
        audioFramesReceived_.fetch_add(1, std::memory_order_relaxed);
        if (!audio_) {
            return 0;  // opened without sound: audio is not ours to play
        }
        const AudioDecodeResult result = audio_->Decode(data, length, *this);
        if (result.error) {
            decodeErrors_.fetch_add(1, std::memory_order_relaxed);
            return -1;
        }
        return 0;
    }

    framesReceived_.fetch_add(1, std::memory_order_relaxed);
    const VideoDecodeResult result = video_->Decode(data, length, type == LUMADEC_FRAME_KEY, *this);
    if (result.skipped) {
        framesSkipped_.fetch_add(1, std::memory_order_relaxed);
    }
    // Keep the sound connection moving even while no audio arrives.
    if (sound_) {
        sound_->Poll();
        NoteSoundState();
    }
    if (result.error) {
        decodeErrors_.fetch_add(1, std::memory_order_relaxed);
        return -1;
    }
    return 0;
}

void Player::GetStatistics(LumadecStatistics& out) const {
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
}

}  // namespace lumadec
