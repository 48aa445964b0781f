// A private PulseAudio server with a null sink, for the tests that play sound.
#pragma once

#include <sys/types.h>

#include <string>

namespace lumadec_test {

// Runs `pulseaudio` in a temporary directory (its own socket, no configuration of the user's, a
// null sink that consumes sound in real time) and points PULSE_SERVER at it.
class TestSoundServer {
  public:
    TestSoundServer() = default;
    ~TestSoundServer();
    TestSoundServer(const TestSoundServer&) = delete;
    TestSoundServer& operator=(const TestSoundServer&) = delete;

    // Returns false (with a reason) when pulseaudio is not installed or does not come up.
    bool start(std::string* error);
    // Kills the server at once, as a crash would.
    void kill();

  private:
    pid_t pid_ = -1;
    std::string directory_;
};

}  // namespace lumadec_test
