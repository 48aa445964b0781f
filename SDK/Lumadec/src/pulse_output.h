// Sound output through a PulseAudio (or PipeWire-Pulse) server.
#pragma once

#include <chrono>
#include <cstdint>

struct pa_context;
struct pa_mainloop;
struct pa_stream;

namespace lumadec {

// Runs entirely on the caller's thread: the connection is made with libpulse's asynchronous API
// and advanced a step, without blocking, on each call. So a missing server costs nothing, and a
// server that accepts but never answers is given up after a bounded wait; either way the player
// goes on with video only. Audio that arrives while the connection or the playback stream is
// still being set up is dropped, as is audio the server has no room for (a live stream never
// waits for its sound).
class PulseOutput {
  public:
    enum class State { Connecting, Ready, Failed };

    // `connectWait` bounds the time until the server must have accepted us.
    explicit PulseOutput(std::chrono::milliseconds connectWait = std::chrono::milliseconds(2000));
    ~PulseOutput();
    PulseOutput(const PulseOutput&) = delete;
    PulseOutput& operator=(const PulseOutput&) = delete;

    // Hands interleaved float samples to the server. Returns true when they were queued.
    // A change of rate or channel count re-makes the playback stream.
    bool play(const float* samples, int frames, int channels, int sampleRate);

    // Advances the connection without blocking; returns the state.
    State poll();

    // How long until what is written now is heard (what the server queues and the sink's own
    // latency), or -1 while the server has not told.
    int32_t latencyMicroseconds() const;
    State state() const { return state_; }

  private:
    void fail();
    void closeStream();
    bool openStream(int channels, int sampleRate);

    pa_mainloop* mainloop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    int streamChannels_ = 0;
    int streamRate_ = 0;
    State state_ = State::Failed;
    std::chrono::steady_clock::time_point connectDeadline_;
};

}  // namespace lumadec
