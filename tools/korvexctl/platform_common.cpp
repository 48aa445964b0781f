// What both platform backends share: the interrupt counts, kept in lock-free atomics because the
// POSIX signal handler and the Windows console handler update them.
#include <atomic>

#include "platform_interrupts.h"

namespace korvexctl {
namespace platform {

namespace {

std::atomic<int> g_mode{static_cast<int>(InterruptMode::Terminate)};
std::atomic<int> g_interrupts{0};
std::atomic<int> g_pending{0};

}  // namespace

const char kQuittingAtOnce[] = "\nkorvexctl: interrupted again; quitting at once\n";
const int kQuittingAtOnceLength = sizeof kQuittingAtOnce - 1;

void rememberInterruptMode(InterruptMode mode) {
    g_mode = static_cast<int>(mode);
}

bool countInterrupt() {
    const int count = ++g_interrupts;
    ++g_pending;
    return g_mode.load() == static_cast<int>(InterruptMode::Stop) && count >= 2;
}

bool interruptRequested() {
    return g_interrupts.load() > 0;
}

int takeInterrupts() {
    return g_pending.exchange(0);
}

}  // namespace platform
}  // namespace korvexctl
