// POSIX backend of platform.h: isatty, sigaction, localtime_r.
#include "platform.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace korvexctl {
namespace platform {

namespace {

std::atomic<int> g_mode{static_cast<int>(InterruptMode::Terminate)};
std::atomic<int> g_interrupts{0};
std::atomic<int> g_pending{0};

// Only async-signal-safe calls in here: atomics, write, _exit.
void onInterrupt(int) {
    const int count = ++g_interrupts;
    ++g_pending;
    if (g_mode.load() == static_cast<int>(InterruptMode::Stop) && count >= 2) {
        static const char kText[] = "\nkorvexctl: interrupted again; quitting at once\n";
        ssize_t ignored = ::write(2, kText, sizeof kText - 1);
        (void)ignored;
        ::_exit(130);
    }
}

}  // namespace

bool stdoutIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

void setInterruptMode(InterruptMode mode) {
    g_mode = static_cast<int>(mode);
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    action.sa_handler = mode == InterruptMode::Terminate ? SIG_DFL : onInterrupt;
    // Interrupted waits inside Korvex go on (they retry on EINTR); ours poll the flags.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool interruptRequested() {
    return g_interrupts.load() > 0;
}

int takeInterrupts() {
    return g_pending.exchange(0);
}

std::string localTimestamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const long millis = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[40];
    const size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    std::snprintf(text + length, sizeof text - length, ".%03ld", millis);
    return text;
}

}  // namespace platform
}  // namespace korvexctl
