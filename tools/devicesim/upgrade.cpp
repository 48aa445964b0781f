#include "upgrade.h"

#include <chrono>
#include <vector>

#include "log.h"
#include "sha256.h"

namespace devicesim {

namespace {

// A client that sends nothing for this long has given up.
constexpr int kUploadIdleMs = 10000;

const char* endText(IoResult result) {
    switch (result) {
        case IoResult::Closed:
            return "the client closed the connection";
        case IoResult::Timeout:
            return "nothing arrived for 10 s";
        case IoResult::Stopped:
            return "stopping";
        default:
            return "receive error";
    }
}

}  // namespace

UpgradeResult receiveUpgrade(DeviceState& state, const Behaviour& behaviour, const StopSignal& stop,
                             int fd, int64_t length, const std::string& alreadyReceived) {
    UpgradeResult result;
    if (length > behaviour.upgradeMaxBytes) {
        result.answered = true;
        result.answer = errorAnswer(
            413, "image larger than " + std::to_string(behaviour.upgradeMaxBytes) + " bytes");
        result.note = "image of " + std::to_string(length) + " bytes refused";
        return result;
    }
    logf("%s: UPGRADE receiving %lld bytes", state.identity.name().c_str(),
         static_cast<long long>(length));

    const auto started = std::chrono::steady_clock::now();
    const int64_t cutAt = behaviour.upgradeOutcome == UpgradeOutcome::Cut ? length / 2 : length;
    Sha256 hash;
    int64_t received = std::min<int64_t>(static_cast<int64_t>(alreadyReceived.size()), cutAt);
    hash.update(alreadyReceived.data(), static_cast<size_t>(received));
    std::vector<uint8_t> chunk(65536);
    while (received < cutAt) {
        size_t count = 0;
        const size_t room = static_cast<size_t>(
            std::min<int64_t>(static_cast<int64_t>(chunk.size()), cutAt - received));
        const IoResult io = receiveSome(fd, chunk.data(), room, count, kUploadIdleMs, stop);
        if (io != IoResult::Done) {
            result.note = "image incomplete after " + std::to_string(received) + " of " +
                          std::to_string(length) + " bytes: " + endText(io);
            return result;
        }
        hash.update(chunk.data(), count);
        received += static_cast<int64_t>(count);
    }
    if (behaviour.upgradeOutcome == UpgradeOutcome::Cut) {
        result.note = "connection cut after " + std::to_string(received) + " of " +
                      std::to_string(length) + " bytes, as asked";
        return result;
    }

    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const std::string digest = hash.finishHex();
    logf("%s: UPGRADE received %lld bytes in %.2f s, SHA-256 %s", state.identity.name().c_str(),
         static_cast<long long>(length), seconds, digest.c_str());
    result.note = "image " + std::to_string(length) + " bytes, SHA-256 " + digest;

    if (!sleepUnlessStopped(behaviour.upgradeDelayMs, stop)) {
        return result;
    }
    switch (behaviour.upgradeOutcome) {
        case UpgradeOutcome::Ok: {
            std::lock_guard<std::mutex> lock(state.mutex);
            copyText(state.settings.system.softVer, "UPG-" + digest.substr(0, 16));
            result.answered = true;
            result.answer = okAnswer();
            result.note += ", installed as " + std::string(state.settings.system.softVer);
            break;
        }
        case UpgradeOutcome::Fail:
            result.answered = true;
            result.answer = errorAnswer(500, "image rejected");
            break;
        case UpgradeOutcome::Silent: {
            // Hold the line without a word until the client gives up.
            const IoResult io = holdUntilClosed(fd, stop);
            result.note += ", no answer as asked (" + std::string(endText(io)) + ")";
            break;
        }
        case UpgradeOutcome::Drop:
        case UpgradeOutcome::Cut:
            result.note += ", connection dropped without an answer as asked";
            break;
    }
    return result;
}

}  // namespace devicesim
