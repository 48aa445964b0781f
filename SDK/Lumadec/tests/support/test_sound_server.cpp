#include "test_sound_server.h"

#include "child_process.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace lumadec_test {

TestSoundServer::~TestSoundServer() {
    kill();
    if (!directory_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
    }
}

void TestSoundServer::kill() {
    StopChild(pid_, SIGKILL);
}

bool TestSoundServer::start(std::string* error) {
    char pattern[] = "/tmp/lumadec-sound-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        *error = "mkdtemp failed";
        return false;
    }
    directory_ = pattern;
    const std::string socket = directory_ + "/native";
    const std::string protocol =
        "module-native-protocol-unix socket=" + socket + " auth-anonymous=1";
    // Real-time scheduling is off: as root in a virtual machine it can leave the null sink's
    // thread starved, and the server then never asks for more sound. Its own home and runtime
    // folder keep a real user's sound setup untouched.
    const std::vector<std::string> environment = {
        "HOME=" + directory_, "XDG_RUNTIME_DIR=" + directory_,
        "XDG_CONFIG_HOME=" + directory_ + "/config", "PATH=/usr/bin:/bin"};
    pid_ = StartChild({"pulseaudio", "-n", "--daemonize=no", "--realtime=no", "--high-priority=no",
                       "--exit-idle-time=-1", "--use-pid-file=no", "--load=module-null-sink",
                       "--load=" + protocol},
                      &environment, error);
    if (pid_ < 0) {
        return false;
    }
    // Ready once its socket exists.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    struct stat info;
    while (stat(socket.c_str(), &info) != 0) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            *error = "pulseaudio exited at start";
            return false;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            *error = "pulseaudio did not come up";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    setenv("PULSE_SERVER", ("unix:" + socket).c_str(), 1);
    return true;
}

}  // namespace lumadec_test
