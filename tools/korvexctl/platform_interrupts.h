// Inside the platform backends only: the interrupt bookkeeping that both share.
#pragma once

#include "platform.h"

namespace korvexctl {
namespace platform {

// What the backend's interrupt handler prints before it ends the process at once.
extern const char kQuittingAtOnce[];
extern const int kQuittingAtOnceLength;

// Keeps the mode that the next interrupts are counted under.
void rememberInterruptMode(InterruptMode mode);

// Counts one interrupt. True when the process is to end at once (status 130): the second
// interrupt in Stop mode. Lock-free, so a signal handler may call it.
bool countInterrupt();

}  // namespace platform
}  // namespace korvexctl
