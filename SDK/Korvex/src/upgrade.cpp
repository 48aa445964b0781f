#include "upgrade.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "exchange.h"
#include "platform.h"

namespace korvex {

namespace {

// The task whose upload runs on this thread: lets Logout see that it was called from one of the
// upload's own callbacks, where waiting for the upload would wait for itself.
thread_local UpgradeTask* tCurrentUpload = nullptr;

enum class Outcome { Succeeded, Failed, Abandoned };

// Delivers an upload event; false once the session was logged out inside the callback.
bool Report(UpgradeTask& task, int32_t event, void* data = nullptr) {
    NotifySession(*task.session, event, data);
    return !task.abandoned;
}

// Connects, sends the header and the file, and waits for the device's verdict. The file and the
// connection are closed when it returns.
Outcome SendImage(UpgradeTask& task) {
    const KorvexSession& session = *task.session;
    Socket socket(ConnectWithTimeout(session.host, session.port, task.timeouts.connectMs));
    if (!socket) {
        return Outcome::Failed;
    }
    // The size is taken from the open file, so that it describes the file that is sent even if
    // the path is replaced meanwhile.
    InputFile file;
    const int64_t size = file.open(task.path.c_str()) ? file.size() : -1;
    if (size < 0) {
        return Outcome::Failed;
    }
    const auto length = static_cast<uint64_t>(size);

    char buffer[kUpgradeBufferSize];
    // CONTENT-LENGTH in 64 bits: images past 2 GiB must not announce a negative length.
    const int headerLength =
        RequestWriter(buffer, sizeof buffer, "UPGRADE").authorization().finishBeforeBody(length);
    if (headerLength <= 0 ||
        !SendAllWithTimeout(socket.get(), buffer, static_cast<size_t>(headerLength),
                            task.timeouts.sendWaitMs)) {
        return Outcome::Failed;
    }

    uint64_t sent = 0;
    while (sent < length) {
        const auto wanted = static_cast<size_t>(std::min<uint64_t>(sizeof buffer, length - sent));
        const long got = file.read(buffer, wanted);
        // A file that shrank after its size was taken, or a read error, ends the upload: the
        // device was promised `length` bytes.
        if (got <= 0) {
            return Outcome::Failed;
        }
        // A chunk the socket takes only in part is completed before the next is read; anything
        // else would hand the device a shifted image.
        if (!SendAllWithTimeout(socket.get(), buffer, static_cast<size_t>(got),
                                task.timeouts.sendWaitMs)) {
            return Outcome::Failed;
        }
        sent += static_cast<uint64_t>(got);
        auto percent = static_cast<int32_t>(sent * 100 / length);
        if (!Report(task, KORVEX_UPGRADE_PROGRESS, &percent)) {
            return Outcome::Abandoned;
        }
    }
    if (!Report(task, KORVEX_UPGRADE_SENT)) {
        return Outcome::Abandoned;
    }
    // The status line decides; whatever the device sends after it is not waited for.
    std::memset(buffer, 0, sizeof buffer);
    const size_t count = ReadStatus(socket.get(), buffer, sizeof buffer, task.timeouts.verdictMs);
    return IsOkResponse(buffer, count) ? Outcome::Succeeded : Outcome::Failed;
}

// The end of an upload whose session was logged out from inside its callback: nobody waits for
// this thread, so it releases the task and the session itself.
void FreeAbandoned(UpgradeTask* task) {
    KorvexSession* session = task->session;
    task->thread.detach();
    session->upgradeTask = nullptr;
    delete task;
    Logout(session);
}

void RunUpload(UpgradeTask* task) {
    { std::lock_guard<std::mutex> handleStored(task->startGate); }
    tCurrentUpload = task;
    Outcome outcome = Report(*task, KORVEX_UPGRADE_STARTED) ? SendImage(*task) : Outcome::Abandoned;
    if (outcome != Outcome::Abandoned) {
        Report(*task,
               outcome == Outcome::Succeeded ? KORVEX_UPGRADE_SUCCEEDED : KORVEX_UPGRADE_FAILED);
    }
    tCurrentUpload = nullptr;
    if (task->abandoned) {
        FreeAbandoned(task);
        return;
    }
    // Last step: from here on KORVEX_Upgrade may join this thread and free the task.
    task->finished.store(true, std::memory_order_release);
}

}  // namespace

int StartUpgrade(KorvexSession& session, const char* path, const UpgradeTimeouts& timeouts) {
    if (path == nullptr) {
        return -1;
    }
    try {
        // Only a regular file: a directory cannot be read as an image, and a FIFO or device
        // would block the upload thread or never end.
        if (!IsRegularFile(path)) {
            return -1;
        }
        if (UpgradeTask* previous = session.upgradeTask) {
            if (!previous->finished.load(std::memory_order_acquire)) {
                return -1;
            }
            previous->thread.join();  // already at its very end
            delete previous;
            session.upgradeTask = nullptr;
        }
        auto task = std::make_unique<UpgradeTask>();
        task->session = &session;
        task->path = path;
        task->timeouts = timeouts;
        std::lock_guard<std::mutex> gate(task->startGate);
        task->thread = std::thread(RunUpload, task.get());
        session.upgradeTask = task.release();
        return 0;
    } catch (...) {
        // No memory for the task or its path, or no thread: refused, nothing started.
        return -1;
    }
}

bool ReleaseUpgradeForLogout(KorvexSession& session) {
    UpgradeTask* task = session.upgradeTask;
    if (task == nullptr) {
        return true;
    }
    if (task == tCurrentUpload) {
        task->abandoned = true;
        return false;
    }
    if (task->thread.joinable()) {
        task->thread.join();
    }
    delete task;
    session.upgradeTask = nullptr;
    return true;
}

}  // namespace korvex
