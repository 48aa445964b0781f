// upgrade: a firmware image to the device, with progress, and the device's verdict as the exit
// status. Interrupts are refused while the image is sent: a flash broken off halfway can leave a
// device that no longer starts. Once the device has the whole image, an interrupt only ends the
// wait for its verdict.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>

#include "commands.h"
#include "device.h"
#include "output.h"
#include "platform.h"

namespace korvexctl {

namespace {

constexpr int kBarWidth = 40;
constexpr int kWakeMs = 100;  // how often the wait looks at interrupts

// Session events of the upload thread, handed to the main thread.
struct UpgradeEvents {
    std::mutex mutex;
    std::condition_variable arrived;
    std::deque<std::pair<int, int>> queue;  // event code, percentage (1001 only)
};

void KORVEX_CALL onSessionEvent(KorvexSession*, int32_t event, void* data, void* user) {
    auto* events = static_cast<UpgradeEvents*>(user);
    const int percent =
        event == KORVEX_UPGRADE_PROGRESS && data != nullptr ? *static_cast<int32_t*>(data) : 0;
    {
        std::lock_guard<std::mutex> lock(events->mutex);
        events->queue.emplace_back(event, percent);
    }
    events->arrived.notify_one();
}

std::string progressBar(int percent) {
    const int filled = percent * kBarWidth / 100;
    return "\r[" + std::string(static_cast<size_t>(filled), '#') +
           std::string(static_cast<size_t>(kBarWidth - filled), '.') + "] " +
           (percent < 10    ? "  "
            : percent < 100 ? " "
                            : "") +
           std::to_string(percent) + "%";
}

// Ends the process at once: the session's logout would wait for the upload thread, which waits
// for the verdict.
[[noreturn]] void stopWaitingForTheVerdict(const std::string& device, bool json) {
    if (json) {
        printResult(Value().add("event", "interrupted").add("verdict", "unknown"), true);
    }
    std::fflush(stdout);
    std::fprintf(stderr,
                 "korvexctl: interrupted: the whole image was sent to %s, which goes on with it; "
                 "its verdict is unknown\n",
                 device.c_str());
    std::fflush(stderr);
    std::_Exit(kExitInterrupted);
}

// The main thread's account of the upload: the progress as a bar, lines or JSON, the moment
// the whole image is sent, and the verdict.
class UpgradeProgress {
  public:
    UpgradeProgress(const std::string& path, uint64_t bytes, bool json, bool bar)
        : path_(path), bytes_(bytes), json_(json), bar_(bar) {}

    // One event of the upload thread; returns the verdict (1003 or 1004), or 0 for none yet.
    int tell(int event, int percent) {
        switch (event) {
            case KORVEX_UPGRADE_STARTED:
                if (json_) {
                    printResult(Value()
                                    .add("event", "started")
                                    .add("file", path_)
                                    .add("bytes", static_cast<long long>(bytes_)),
                                true);
                }
                break;
            case KORVEX_UPGRADE_PROGRESS:
                tellPercent(percent);
                break;
            case KORVEX_UPGRADE_SENT:
                tellSent();
                break;
            case KORVEX_UPGRADE_SUCCEEDED:
            case KORVEX_UPGRADE_FAILED:
                return event;
            default:
                break;
        }
        return 0;
    }

    // An interrupt while the image is sent is refused, and said so.
    void refuseInterrupt() {
        endBar();
        std::fprintf(stderr,
                     "korvexctl: not interrupting: the image is on its way, and an interrupted "
                     "flash can leave the device unable to start\n");
    }

    void endBar() {
        if (barShown_) {
            std::printf("\n");
            std::fflush(stdout);
            barShown_ = false;
        }
    }

    bool sent() const { return sent_; }
    int lastPercent() const { return lastPercent_; }

  private:
    void tellPercent(int percent) {
        if (percent == lastPercent_) {
            return;
        }
        lastPercent_ = percent;
        if (json_) {
            printResult(Value().add("event", "progress").add("percent", percent), true);
        } else if (bar_) {
            std::printf("%s", progressBar(percent).c_str());
            barShown_ = true;
        } else {
            std::printf("upgrade: %d%%\n", percent);
        }
        std::fflush(stdout);
    }

    // The device has the whole image: from here on an interrupt only ends the wait for its
    // verdict.
    void tellSent() {
        sent_ = true;
        platform::setInterruptMode(platform::InterruptMode::Stop);
        if (json_) {
            printResult(Value().add("event", "sent"), true);
            return;
        }
        endBar();
        std::printf("upgrade: image sent, waiting for the device's verdict\n");
        std::fflush(stdout);
    }

    const std::string path_;
    const uint64_t bytes_;
    const bool json_;
    const bool bar_;
    int lastPercent_ = -1;
    bool sent_ = false;
    bool barShown_ = false;
};

// Follows the upload's events until its verdict, which it returns (1003 or 1004).
int waitForVerdict(UpgradeEvents& events, UpgradeProgress& progress, const Device& device) {
    for (;;) {
        std::deque<std::pair<int, int>> batch;
        {
            std::unique_lock<std::mutex> lock(events.mutex);
            events.arrived.wait_for(lock, std::chrono::milliseconds(kWakeMs),
                                    [&] { return !events.queue.empty(); });
            batch.swap(events.queue);
        }
        if (progress.sent() && platform::interruptRequested()) {
            stopWaitingForTheVerdict(device.name(), device.options().json);
        }
        if (!progress.sent() && platform::takeInterrupts() > 0) {
            progress.refuseInterrupt();
        }
        for (const auto& [event, percent] : batch) {
            if (const int verdict = progress.tell(event, percent)) {
                return verdict;
            }
        }
    }
}

// The failure of an upload that did not end in 1003, by how far it came.
DeviceFailure upgradeFailure(const UpgradeProgress& progress, const Device& device,
                             const std::string& path) {
    if (progress.sent()) {
        return DeviceFailure(device.name() +
                             " did not accept the image: it answered with a failure, closed the "
                             "connection, or gave no verdict within 3 minutes");
    }
    if (progress.lastPercent() < 0) {
        return DeviceFailure("the upload to " + device.name() +
                             " did not start: the device cannot be reached, does not take the "
                             "request, or " +
                             path + " cannot be read");
    }
    return DeviceFailure("the upload to " + device.name() + " broke off at " +
                         std::to_string(progress.lastPercent()) +
                         "%: the device stopped taking the image");
}

}  // namespace

std::string upgradeHelp() {
    return R"(Usage: korvexctl --host ADDR upgrade FILE

Uploads the firmware image FILE to the device (UPGRADE) and waits for the device's verdict:
exit status 0 when it accepted the image, 1 when it refused it, broke off or gave no verdict
(Korvex waits up to 3 minutes for it). On a terminal a progress bar follows the upload; when
standard output is not a terminal, one line per new percentage. With --json, one object per
event: {"event":"progress","percent":40} and so on.

Ctrl-C is refused while the image is being sent: an interrupted flash can leave the device
unable to start. Once the whole image is sent, Ctrl-C stops waiting for the verdict (exit
status 130): the device has the image and goes on with it, and its verdict is unknown. A FILE
that is missing, not a regular file or not readable is a usage error (status 2, nothing sent).
)";
}

int runUpgrade(const GlobalOptions& options, const Arguments& arguments) {
    const std::string command = "upgrade";
    OptionParser parser(command);
    Arguments positional;
    if (!parser.parse(arguments, positional)) {
        return printHelp(upgradeHelp());
    }
    if (positional.size() != 1) {
        throw UsageError(
            positional.empty() ? "name the firmware FILE" : "unexpected \"" + positional[1] + "\"",
            command);
    }
    const std::string path = positional[0];
    uint64_t bytes = 0;
    const std::string problem = platform::readableFileProblem(path, bytes);
    if (!problem.empty()) {
        throw UsageError(path + ": " + problem, command);
    }

    UpgradeEvents events;
    Device device(options, command, onSessionEvent, &events);
    const bool json = options.json;
    const bool bar = !json && platform::stdoutIsTerminal();
    platform::setInterruptMode(platform::InterruptMode::Refuse);
    if (KORVEX_Upgrade(device.session(), path.c_str()) != 0) {
        platform::setInterruptMode(platform::InterruptMode::Terminate);
        throw DeviceFailure("Korvex did not start the upload of " + path);
    }
    const auto started = std::chrono::steady_clock::now();
    if (!json) {
        std::printf("upgrade: sending %s (%llu bytes) to %s\n", path.c_str(),
                    static_cast<unsigned long long>(bytes), device.name().c_str());
        std::fflush(stdout);
    }

    UpgradeProgress progress(path, bytes, json, bar);
    const int verdict = waitForVerdict(events, progress, device);
    platform::setInterruptMode(platform::InterruptMode::Terminate);
    progress.endBar();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (verdict == KORVEX_UPGRADE_SUCCEEDED) {
        if (json) {
            printResult(Value().add("event", "succeeded").add("seconds", Value::real(seconds, 2)),
                        true);
        } else {
            std::printf("upgrade: %s accepted the image (%.1f s)\n", device.name().c_str(),
                        seconds);
            std::fflush(stdout);
        }
        return kExitOk;
    }
    if (json) {
        printResult(Value()
                        .add("event", "failed")
                        .add("sent", Value::boolean(progress.sent()))
                        .add("percent", progress.lastPercent() < 0 ? 0 : progress.lastPercent())
                        .add("seconds", Value::real(seconds, 2)),
                    true);
    }
    std::fflush(stdout);
    throw upgradeFailure(progress, device, path);
}

}  // namespace korvexctl
