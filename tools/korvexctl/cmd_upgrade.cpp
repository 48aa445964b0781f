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

    int lastPercent = -1;
    bool sent = false;
    bool barShown = false;
    int verdict = 0;
    auto emit = [&](Value value) { printResult(value, true); };
    while (verdict == 0) {
        std::deque<std::pair<int, int>> batch;
        {
            std::unique_lock<std::mutex> lock(events.mutex);
            events.arrived.wait_for(lock, std::chrono::milliseconds(kWakeMs),
                                    [&] { return !events.queue.empty(); });
            batch.swap(events.queue);
        }
        if (sent && platform::interruptRequested()) {
            stopWaitingForTheVerdict(device.name(), json);
        }
        if (!sent && platform::takeInterrupts() > 0) {
            if (barShown) {
                std::printf("\n");
                std::fflush(stdout);
                barShown = false;
            }
            std::fprintf(stderr,
                         "korvexctl: not interrupting: the image is on its way, and an "
                         "interrupted flash can leave the device unable to start\n");
        }
        for (const auto& [event, percent] : batch) {
            switch (event) {
                case KORVEX_UPGRADE_STARTED:
                    if (json) {
                        emit(Value()
                                 .add("event", "started")
                                 .add("file", path)
                                 .add("bytes", static_cast<long long>(bytes)));
                    }
                    break;
                case KORVEX_UPGRADE_PROGRESS:
                    if (percent == lastPercent) {
                        break;
                    }
                    lastPercent = percent;
                    if (json) {
                        emit(Value().add("event", "progress").add("percent", percent));
                    } else if (bar) {
                        std::printf("%s", progressBar(percent).c_str());
                        barShown = true;
                    } else {
                        std::printf("upgrade: %d%%\n", percent);
                    }
                    std::fflush(stdout);
                    break;
                case KORVEX_UPGRADE_SENT:
                    // The device has the whole image: from here on an interrupt only ends the
                    // wait for its verdict.
                    sent = true;
                    platform::setInterruptMode(platform::InterruptMode::Stop);
                    if (json) {
                        emit(Value().add("event", "sent"));
                    } else {
                        if (barShown) {
                            std::printf("\n");
                            barShown = false;
                        }
                        std::printf("upgrade: image sent, waiting for the device's verdict\n");
                        std::fflush(stdout);
                    }
                    break;
                case KORVEX_UPGRADE_SUCCEEDED:
                case KORVEX_UPGRADE_FAILED:
                    verdict = event;
                    break;
                default:
                    break;
            }
            if (verdict != 0) {
                break;
            }
        }
    }
    platform::setInterruptMode(platform::InterruptMode::Terminate);
    if (barShown) {
        std::printf("\n");
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (verdict == KORVEX_UPGRADE_SUCCEEDED) {
        if (json) {
            emit(Value().add("event", "succeeded").add("seconds", Value::real(seconds, 2)));
        } else {
            std::printf("upgrade: %s accepted the image (%.1f s)\n", device.name().c_str(),
                        seconds);
            std::fflush(stdout);
        }
        return kExitOk;
    }
    if (json) {
        emit(Value()
                 .add("event", "failed")
                 .add("sent", Value::boolean(sent))
                 .add("percent", lastPercent < 0 ? 0 : lastPercent)
                 .add("seconds", Value::real(seconds, 2)));
    }
    std::fflush(stdout);
    if (sent) {
        throw DeviceFailure(device.name() +
                            " did not accept the image: it answered with a failure, closed "
                            "the connection, or gave no verdict within 3 minutes");
    }
    if (lastPercent < 0) {
        throw DeviceFailure("the upload to " + device.name() +
                            " did not start: the device cannot be reached, does not take the "
                            "request, or " +
                            path + " cannot be read");
    }
    throw DeviceFailure("the upload to " + device.name() + " broke off at " +
                        std::to_string(lastPercent) + "%: the device stopped taking the image");
}

}  // namespace korvexctl
