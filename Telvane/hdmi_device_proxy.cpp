#include "hdmi_device_proxy.h"

#include <QMutexLocker>

#include <cstdio>
#include <cstring>

std::atomic<bool> pcAudioEnabled{false};

namespace {

// One silent AAC frame in ADTS form (AAC LC, 48 kHz, mono, 128 bytes): what the decoder gets
// instead of the transmitter's sound while the PC's sound is off.
const uint8_t muteAudioFrame[128] = {
    0xFF, 0xF1, 0x4C, 0x40, 0x10, 0x02, 0x80, 0x01, 0x40, 0x22, 0x80, 0xA3, 0x7B, 0x20, 0x85, 0x2D,
    0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D,
    0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D,
    0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D,
    0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D,
    0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D,
    0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D,
    0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2F,
};

constexpr int32_t kVideoOnly = 1;
constexpr int32_t kVideoAndAudio = 3;

HDMIDeviceProxy* proxyOf(void* user) {
    return static_cast<HDMIDeviceProxy*>(user);
}

// Korvex's records and Lumadec's hold the same values under their own names: copied field by
// field, so that neither layout depends on the other.
LumadecVideoDescription videoDescriptionOf(const KorvexMediaInfo& media) {
    return {media.width, media.height, media.videoCodec};
}

LumadecAudioDescription audioDescriptionOf(const KorvexMediaInfo& media) {
    return {media.audioParam0, media.audioParam1, media.audioParam2, media.audioParam3,
            media.audioParam4};
}

LumadecFrame lumadecFrameOf(const KorvexFrameInfo& frame) {
    return {frame.type, frame.length, frame.timestamp, frame.data};
}

}  // namespace

HDMIDeviceProxy::HDMIDeviceProxy(QObject* parent, bool playStream, const DeviceProxyInfo* info)
    : QThread(parent), info(*info), playStream(playStream) {}

HDMIDeviceProxy::~HDMIDeviceProxy() = default;

void HDMIDeviceProxy::enqueue(Command command, int kind) {
    QMutexLocker lock(&mutex);
    if (kind != kAnyKind) {
        for (QueuedCommand& queued : commands) {
            if (queued.kind == kind) {
                queued.command = std::move(command);
                return;
            }
        }
    }
    commands.push_back({std::move(command), kind});
    wake.wakeAll();
}

void HDMIDeviceProxy::run() {
    using Clock = std::chrono::steady_clock;
    login();
    // A monitoring proxy polls at once, then every pollPauseMs + loopPauseMs after a poll ends;
    // commands run in between without moving the polls.
    Clock::time_point pollDue = Clock::now();
    Command command;
    for (;;) {
        const Work work = waitForWork(pollDue, command);
        if (work == Work::Stop) {
            break;
        }
        if (work == Work::Poll) {
            poll();
            pollDue = Clock::now() + std::chrono::milliseconds(kPollPauseMs + kLoopPauseMs);
        } else if (Reply reply = command(session)) {
            QMetaObject::invokeMethod(this, std::move(reply), Qt::QueuedConnection);
        }
    }
    logout();
}

HDMIDeviceProxy::Work HDMIDeviceProxy::waitForWork(std::chrono::steady_clock::time_point pollDue,
                                                   Command& command) {
    QMutexLocker lock(&mutex);
    for (;;) {
        if (stopped) {
            return Work::Stop;
        }
        if (!commands.empty()) {
            command = std::move(commands.front().command);
            commands.pop_front();
            return Work::Command;
        }
        if (playStream) {
            wake.wait(&mutex);
            continue;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            pollDue - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return Work::Poll;
        }
        wake.wait(&mutex, static_cast<unsigned long>(left.count()));
    }
}

void HDMIDeviceProxy::login() {
    QMutexLocker lock(&mutex);
    if (stopped) {
        return;
    }
    KorvexLoginInfo login;
    std::memset(&login, 0, sizeof login);
    std::snprintf(login.host, sizeof login.host, "%.63s", info.address);
    login.port = info.port;
    session = KORVEX_Login(&login, handleSessionEvent, this);
    if (playStream && session != nullptr) {
        KorvexPlayParams params{};
        params.channel = 0;
        params.transport = info.transport;
        params.onMediaInfo = handleMediaInfo;
        params.onFrame = handleFrame;
        params.onStreamEnd = handleStreamEnd;
        params.user = this;
        stream = KORVEX_StartPlay(session, &params);
    }
}

void HDMIDeviceProxy::poll() {
    SystemInfo systemInfo;
    std::memset(&systemInfo, 0, sizeof systemInfo);
    const int result = KORVEX_GetConfig(session, CFG_GET_SYSINFO, &systemInfo, sizeof systemInfo,
                                        kPollTimeoutMs, 0);
    emit deviceNotify(this, result == 0 ? KORVEX_STREAM_STARTED : KORVEX_STREAM_CONNECT_FAILED);
}

void HDMIDeviceProxy::logout() {
    KorvexSession* released;
    KorvexStream* ended;
    {
        QMutexLocker lock(&mutex);
        commands.clear();
        released = session;
        ended = stream;
        session = nullptr;
        stream = nullptr;
    }
    // Waits for Korvex's stream thread; a playing stream ends through handleStreamEnd. The logout
    // then waits for a firmware upload that still uses the session.
    KORVEX_StopPlay(released, ended);
    KORVEX_Logout(released);
}

void HDMIDeviceProxy::stopImmediately() {
    QMutexLocker lock(&mutex);
    stopped = true;
    wake.wakeAll();
}

QImage HDMIDeviceProxy::picture() const {
    LumadecPicture* decoded;
    {
        std::lock_guard<std::mutex> lock(playerMutex);
        decoded = player != nullptr ? LUMADEC_GetPicture(player) : nullptr;
    }
    if (decoded == nullptr) {
        return QImage();
    }
    QImage image = QImage(decoded->pixels, decoded->width, decoded->height, decoded->stride,
                          QImage::Format_RGB888)
                       .copy();
    LUMADEC_FreePicture(decoded);
    return image;
}

void HDMIDeviceProxy::setRecorder(LumadecRecorder* next) {
    std::lock_guard<std::mutex> lock(recorderMutex);
    recorder = next;
}

StreamStatistics HDMIDeviceProxy::streamStatistics() const {
    std::lock_guard<std::mutex> lock(statisticsMutex);
    return statistics;
}

void HDMIDeviceProxy::handleSessionEvent(KorvexSession*, int32_t event, void* data, void* user) {
    if (user == nullptr) {
        return;
    }
    HDMIDeviceProxy* proxy = proxyOf(user);
    // Kept before the report goes out, so that the window finds it when the report arrives.
    if (event == KORVEX_UPGRADE_PROGRESS && data != nullptr) {
        proxy->uploadPercent = *static_cast<const int32_t*>(data);
    } else if (event == KORVEX_STREAM_DATA_LOST) {
        std::lock_guard<std::mutex> lock(proxy->statisticsMutex);
        ++proxy->statistics.dataLossEvents;
    }
    emit proxy->deviceNotify(proxy, event);
}

int HDMIDeviceProxy::handleMediaInfo(KorvexSession*, KorvexStream*, const KorvexMediaInfo* media,
                                     void* user) {
    if (user == nullptr) {
        return -1;
    }
    HDMIDeviceProxy* proxy = proxyOf(user);
    const LumadecVideoDescription video = videoDescriptionOf(*media);
    {
        // A recording ends when the picture's size or codec changes.
        std::lock_guard<std::mutex> lock(proxy->recorderMutex);
        if (proxy->recorder != nullptr) {
            LUMADEC_RecordingMediaInfo(proxy->recorder, &video);
        }
    }
    if (proxy->player != nullptr) {
        return 0;  // a later record does not reopen or reconfigure the player
    }
    const LumadecAudioDescription audio = audioDescriptionOf(*media);
    LumadecPlayer* opened = nullptr;
    if (media->contentMask == kVideoOnly) {
        opened = LUMADEC_OpenPlayer(proxy->info.window, &video, nullptr);
    } else if (media->contentMask == kVideoAndAudio) {
        opened = LUMADEC_OpenPlayer(proxy->info.window, &video, &audio);
    }
    if (opened != nullptr) {
        {
            std::lock_guard<std::mutex> lock(proxy->playerMutex);
            proxy->player = opened;
        }
        std::lock_guard<std::mutex> lock(proxy->statisticsMutex);
        proxy->statistics.described = true;
        proxy->statistics.width = media->width;
        proxy->statistics.height = media->height;
        proxy->statistics.videoCodec = media->videoCodec;
        proxy->statistics.audio = media->contentMask == kVideoAndAudio;
    }
    return 0;
}

int HDMIDeviceProxy::handleFrame(KorvexSession*, KorvexStream*, const KorvexFrameInfo* frame,
                                 void* user) {
    if (user == nullptr) {
        return -1;
    }
    HDMIDeviceProxy* proxy = proxyOf(user);
    if (proxy->player == nullptr) {
        return 0;
    }
    {
        // The stream as it came, whether the PC plays its sound or not.
        std::lock_guard<std::mutex> lock(proxy->recorderMutex);
        if (proxy->recorder != nullptr) {
            const LumadecFrame original = lumadecFrameOf(*frame);
            LUMADEC_WriteRecording(proxy->recorder, &original);
        }
    }
    KorvexFrameInfo copy = *frame;
    if (copy.type == KORVEX_PACKET_AUDIO && !pcAudioEnabled.load()) {
        copy.length = sizeof muteAudioFrame;
        copy.data = muteAudioFrame;
    }
    const LumadecFrame written = lumadecFrameOf(copy);
    LUMADEC_WriteFrame(proxy->player, &written);
    proxy->countPictures();
    return 0;
}

// The player's counters start again with every connection; the proxy's add up over all of them.
void HDMIDeviceProxy::countPictures() {
    LumadecStatistics counters;
    if (LUMADEC_GetStatistics(player, &counters) != 0) {
        return;
    }
    std::lock_guard<std::mutex> lock(statisticsMutex);
    statistics.picturesDecoded = decodedBefore + counters.framesDecoded;
    statistics.picturesDropped = droppedBefore + counters.framesDropped;
    statistics.decodeErrors = errorsBefore + counters.decodeErrors;
    statistics.delayP95 = std::chrono::microseconds(counters.delayP95Us);
    statistics.delayMax = std::chrono::microseconds(counters.delayMaxUs);
    // Lumadec tells the time in the steady clock's microseconds (CLOCK_MONOTONIC).
    if (counters.firstPictureTimeUs != 0 &&
        statistics.firstPictureAt == std::chrono::steady_clock::time_point{}) {
        statistics.firstPictureAt = std::chrono::steady_clock::time_point(
            std::chrono::microseconds(counters.firstPictureTimeUs));
    }
}

void HDMIDeviceProxy::handleStreamEnd(KorvexSession*, KorvexStream*, void* user) {
    if (user == nullptr) {
        return;
    }
    HDMIDeviceProxy* proxy = proxyOf(user);
    if (proxy->player != nullptr) {
        proxy->countPictures();
        {
            std::lock_guard<std::mutex> lock(proxy->statisticsMutex);
            proxy->decodedBefore = proxy->statistics.picturesDecoded;
            proxy->droppedBefore = proxy->statistics.picturesDropped;
            proxy->errorsBefore = proxy->statistics.decodeErrors;
            proxy->statistics.delayP95 = std::chrono::microseconds(0);
            proxy->statistics.delayMax = std::chrono::microseconds(0);
        }
        std::lock_guard<std::mutex> lock(proxy->playerMutex);
        LUMADEC_ClosePlayer(proxy->player);
        proxy->player = nullptr;
    }
}
