// Firmware upload: one upload thread per started upload, at most one running per session. The
// thread connects to the device, sends an UPGRADE request whose body is the whole file, streamed
// through one buffer, reports progress through the session's callback and waits for the verdict.
#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>

#include "session.h"

namespace korvex {

// One buffer carries the request header, every chunk of the file and the device's answer.
constexpr size_t kUpgradeBufferSize = 16384;

// The upload's waits. The defaults are the device's; tests shorten the verdict wait.
struct UpgradeTimeouts {
    int connectMs = 2000;
    int sendWaitMs = 1000;   // for each wait until the socket takes more of a chunk
    int verdictMs = 180000;  // for the answer's status line, in all: flashing takes minutes
};

struct UpgradeTask {
    KorvexSession* session = nullptr;
    std::string path;  // whole: a cut path could name another file
    UpgradeTimeouts timeouts;
    std::thread thread;
    // Held by the starter until `thread` and the session's upgradeTask are stored, so the upload
    // thread never reads them half-written.
    std::mutex startGate;
    // Set by the upload thread as its very last step; until then the task is in use.
    std::atomic<bool> finished{false};
    // Set when the session was logged out from inside one of this upload's callbacks; read and
    // written only on the upload thread, which then delivers nothing more and frees the session.
    bool abandoned = false;
};

// Starts the upload of the regular file at `path` for `session`. Releases the session's previous
// task when it has finished. Returns 0 when the upload thread runs, -1 when refused (no regular
// file at the path, an upload of the session still running, no memory or thread).
int StartUpgrade(KorvexSession& session, const char* path, const UpgradeTimeouts& timeouts = {});

// Prepares the session for being freed. Waits for an upload of the session that still runs, then
// releases its task, and returns true: the caller frees the session. Called on the upload thread
// itself (from one of its callbacks) it cannot wait: it marks the upload abandoned and returns
// false; the upload then stops at its next step and frees the session as it ends.
bool ReleaseUpgradeForLogout(KorvexSession& session);

}  // namespace korvex
