#include "pulse_output.h"

#include <algorithm>
#include <limits>

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/mainloop.h>
#include <pulse/stream.h>

namespace lumadec {

namespace {
// The server buffers about this much ahead of playback: enough to ride out network jitter and
// the arrival of AAC frames in bursts, little enough that sound stays with a live picture, which
// is drawn within a few frames of its arrival.
constexpr int kTargetLatencyMs = 80;
// Playback starts (and restarts after an underrun) once this much is queued. Less than the target
// on purpose: whole frames are written, and with the default (the whole target) the queue could
// stop a frame short of it and never start.
constexpr int kStartThresholdMs = 40;
}  // namespace

PulseOutput::PulseOutput(std::chrono::milliseconds connectWait) {
    mainloop_ = pa_mainloop_new();
    if (mainloop_ == nullptr) {
        return;
    }
    context_ = pa_context_new(pa_mainloop_get_api(mainloop_), "Lumadec");
    if (context_ == nullptr) {
        return;
    }
    // No autospawn: starting a sound server is not a player's business, and it would block.
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        return;
    }
    state_ = State::Connecting;
    connectDeadline_ = std::chrono::steady_clock::now() + connectWait;
    poll();
}

PulseOutput::~PulseOutput() {
    closeStream();
    if (context_ != nullptr) {
        pa_context_disconnect(context_);
        pa_context_unref(context_);
    }
    if (mainloop_ != nullptr) {
        pa_mainloop_free(mainloop_);
    }
}

void PulseOutput::fail() {
    closeStream();
    if (context_ != nullptr) {
        pa_context_disconnect(context_);
    }
    state_ = State::Failed;
}

void PulseOutput::closeStream() {
    if (stream_ != nullptr) {
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
        stream_ = nullptr;
    }
    streamChannels_ = 0;
    streamRate_ = 0;
}

PulseOutput::State PulseOutput::poll() {
    if (state_ == State::Failed) {
        return state_;
    }
    // Dispatch whatever is ready, never wait: a few iterations cover a chain of callbacks.
    for (int i = 0; i < 8; ++i) {
        if (pa_mainloop_iterate(mainloop_, 0, nullptr) <= 0) {
            break;
        }
    }
    const pa_context_state_t context = pa_context_get_state(context_);
    // A server that failed, or that accepted the connection but does not answer.
    if (!PA_CONTEXT_IS_GOOD(context) ||
        (context != PA_CONTEXT_READY && std::chrono::steady_clock::now() >= connectDeadline_)) {
        fail();
    } else if (context == PA_CONTEXT_READY) {
        state_ = State::Ready;
        if (stream_ != nullptr && !PA_STREAM_IS_GOOD(pa_stream_get_state(stream_))) {
            closeStream();  // opened again with the next audio
        }
    }
    return state_;
}

bool PulseOutput::openStream(int channels, int sampleRate) {
    closeStream();
    pa_sample_spec sampleSpec;
    sampleSpec.format = PA_SAMPLE_FLOAT32NE;
    sampleSpec.rate = static_cast<uint32_t>(sampleRate);
    sampleSpec.channels = static_cast<uint8_t>(channels);
    if (!pa_sample_spec_valid(&sampleSpec)) {
        return false;
    }
    // libavcodec hands channels in the WAVE order (FL, FR, FC, LFE, ...).
    pa_channel_map map;
    const bool haveMap =
        pa_channel_map_init_extend(&map, sampleSpec.channels, PA_CHANNEL_MAP_WAVEEX) != nullptr;
    stream_ = pa_stream_new(context_, "Live stream", &sampleSpec, haveMap ? &map : nullptr);
    if (stream_ == nullptr) {
        return false;
    }
    pa_buffer_attr attributes;
    attributes.maxlength = static_cast<uint32_t>(-1);
    attributes.tlength =
        static_cast<uint32_t>(pa_usec_to_bytes(pa_usec_t{kTargetLatencyMs} * 1000, &sampleSpec));
    attributes.prebuf =
        static_cast<uint32_t>(pa_usec_to_bytes(pa_usec_t{kStartThresholdMs} * 1000, &sampleSpec));
    attributes.minreq = static_cast<uint32_t>(-1);
    attributes.fragsize = static_cast<uint32_t>(-1);
    // Plain latency mode: the server keeps `tlength` queued for us and sizes the sink's own
    // latency from it. (PA_STREAM_ADJUST_LATENCY was seen to stall a null sink's stream.)
    // Timing updates, so that the latency is known without asking.
    if (pa_stream_connect_playback(stream_, nullptr, &attributes,
                                   static_cast<pa_stream_flags_t>(PA_STREAM_INTERPOLATE_TIMING |
                                                                  PA_STREAM_AUTO_TIMING_UPDATE),
                                   nullptr, nullptr) < 0) {
        closeStream();
        return false;
    }
    streamChannels_ = channels;
    streamRate_ = sampleRate;
    return true;
}

bool PulseOutput::play(const float* samples, int frames, int channels, int sampleRate) {
    if (poll() != State::Ready || samples == nullptr || frames <= 0) {
        return false;
    }
    if (stream_ == nullptr || channels != streamChannels_ || sampleRate != streamRate_) {
        if (!openStream(channels, sampleRate)) {
            return false;
        }
        poll();
    }
    if (pa_stream_get_state(stream_) != PA_STREAM_READY) {
        return false;  // still being set up
    }
    const size_t bytes =
        static_cast<size_t>(frames) * static_cast<size_t>(channels) * sizeof(float);
    const size_t room = pa_stream_writable_size(stream_);
    if (room == static_cast<size_t>(-1) || room < bytes) {
        return false;
    }
    // libpulse copies the samples into its own pool of memory blocks.
    return pa_stream_write(stream_, samples, bytes, nullptr, 0, PA_SEEK_RELATIVE) == 0;
}

int32_t PulseOutput::latencyMicroseconds() const {
    pa_usec_t latency = 0;
    int negative = 0;
    if (stream_ == nullptr || pa_stream_get_latency(stream_, &latency, &negative) != 0) {
        return -1;
    }
    return negative != 0 ? 0
                         : static_cast<int32_t>(
                               std::min<pa_usec_t>(latency, std::numeric_limits<int32_t>::max()));
}

}  // namespace lumadec
