// POSIX backend of platform.h: isatty, sigaction, localtime_r, stat.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform_interrupts.h"

namespace korvexctl {
namespace platform {

namespace {

// Only async-signal-safe calls in here: lock-free atomics, write, _exit.
void onInterrupt(int) {
    if (countInterrupt()) {
        ssize_t ignored = ::write(2, kQuittingAtOnce, kQuittingAtOnceLength);
        (void)ignored;
        ::_exit(130);
    }
}

}  // namespace

bool stdoutIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

void setInterruptMode(InterruptMode mode) {
    rememberInterruptMode(mode);
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    action.sa_handler = mode == InterruptMode::Terminate ? SIG_DFL : onInterrupt;
    // Interrupted waits inside Korvex go on (they retry on EINTR); ours poll the flags.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

std::tm localTime(std::time_t seconds) {
    std::tm local{};
    localtime_r(&seconds, &local);
    return local;
}

bool regularFileSize(const std::string& path, uint64_t& bytes) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return false;
    }
    bytes = static_cast<uint64_t>(status.st_size);
    return true;
}

}  // namespace platform
}  // namespace korvexctl
