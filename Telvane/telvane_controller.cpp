// The window as controller: the device proxies, their reports, and the picture area's events.

#include "telvane.h"

#include "full_screen_window.h"
#include "hdmi_device_proxy.h"

#include <QButtonGroup>
#include <QDeadlineTimer>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>

#include <cstdio>
#include <cstring>

namespace {

constexpr int kDecodeInfoIntervalMs = 3000;
// How long after the last resize of the video area its stream restarts.
constexpr int kEncodeRestartDelayMs = 250;
// How long the window's end waits for the device threads to stop.
constexpr int kStopWaitMs = 1000;

const char kRed[] = "color:red;";
const char kGreen[] = "color:green;";

}  // namespace

DeviceProxyInfo Telvane::proxyInfo(const QString& address, uint64_t window) const {
    DeviceProxyInfo info;
    std::memset(&info, 0, sizeof info);
    std::snprintf(info.address, sizeof info.address, "%s", address.toLatin1().constData());
    info.port = devices.port;
    info.transport = KORVEX_TRANSPORT_TCP;
    info.window = window;
    return info;
}

void Telvane::startReceiverMonitoring() {
    decodeConnected = false;
    decodeInfoTimer = new QTimer(this);
    DeviceProxyInfo info = proxyInfo(devices.decodeDeviceAddress, 0);
    decodeProxy = new HDMIDeviceProxy(nullptr, false, &info);
    connect(decodeProxy, &HDMIDeviceProxy::deviceNotify, this, &Telvane::deviceNotify);
    decodeProxy->start(QThread::InheritPriority);
    connect(decodeInfoTimer, SIGNAL(timeout()), this, SLOT(getDecodeDeviceInfo()));
    decodeInfoTimer->start(kDecodeInfoIntervalMs);
}

void Telvane::stopEveryProxy() {
    std::vector<HDMIDeviceProxy*> proxies = encodeSwitch.takeAll();
    if (decodeProxy != nullptr) {
        proxies.push_back(decodeProxy);
        decodeProxy = nullptr;
    }
    for (HDMIDeviceProxy* proxy : proxies) {
        disconnect(proxy, nullptr, this, nullptr);
        proxy->stopImmediately();
    }
    const QDeadlineTimer deadline(kStopWaitMs);
    for (HDMIDeviceProxy* proxy : proxies) {
        if (proxy->wait(deadline)) {
            delete proxy;
        } else {
            // Stuck in a device command against a device that does not answer: it ends when the
            // command's own wait does, and deletes itself then if an event loop still runs. It
            // may have ended just now, before it could be told.
            connect(proxy, &QThread::finished, proxy, &QObject::deleteLater);
            if (proxy->isFinished()) {
                proxy->wait();
                delete proxy;
            }
        }
    }
}

// A device's actions need its proxy and its last report to have been "connected".
HDMIDeviceProxy* Telvane::usableTransmitter() const {
    return encodeConnected ? encodeProxy : nullptr;
}

HDMIDeviceProxy* Telvane::usableReceiver() const {
    return decodeConnected ? decodeProxy : nullptr;
}

void Telvane::openEncodeDevice() {
    // The stream about to start draws into the video area's native window of now: a restart
    // still due from a resize would only start it again.
    encodeRestartTimer->stop();
    // A recording follows its channel through restarts; another channel, or none, ends it.
    if (capture.recording() && capture.channel() != pcDisplayBtnGroup->checkedId() + 1) {
        stopRecording(RecordingStop::OtherChannel);
    }
    closeEncodeDevice();
    encodeRequestedAt = std::chrono::steady_clock::now();
    encodeSwitch.start(pcDisplayBtnGroup->checkedId());
}

// The switch starts a transmitter's proxy through here, at once or once the old ones have ended.
HDMIDeviceProxy* Telvane::startEncodeProxy(int id) {
    encodeChannel = id + 1;
    DeviceProxyInfo info = proxyInfo(devices.encodeDeviceAddresses[static_cast<size_t>(id)],
                                     static_cast<uint64_t>(videoWidget->winId()));
    auto* proxy = new HDMIDeviceProxy(nullptr, true, &info);
    connect(proxy, &HDMIDeviceProxy::deviceNotify, this, &Telvane::deviceNotify);
    connect(proxy, &QThread::finished, this, [this, proxy] { encodeProxyFinished(proxy); });
    if (capture.recording() && capture.channel() == encodeChannel) {
        proxy->setRecorder(capture.handle());
    }
    proxy->start(QThread::InheritPriority);
    return proxy;
}

// The old proxy's reports and answers were all posted before its thread finished, so they have
// been handled by now; its queue is gone, so what waited there will never be answered.
void Telvane::encodeProxyFinished(HDMIDeviceProxy* proxy) {
    if (actuatorMoveProxy == proxy) {
        actuatorMoveProxy = nullptr;
    }
    if (upload.runsOn(proxy)) {
        finishUpgrade();
    }
    encodeSwitch.finished(proxy);
}

void Telvane::closeEncodeDevice() {
    encodeSwitch.stop();
    encodeConnected = false;
    encodeChannel = 0;
    paintVideoAreaBlack();
    pcConnectStateLabel->setStyleSheet(kRed);
    pcConnectStateLabel->setText(tr("Disconnect"));
    refreshStreamStatus();
}

void Telvane::restartEncodeDevice() {
    // The decoder draws into the native window of the moment. A transmitter whose session
    // carries a running upload keeps its proxy until the upload has ended.
    if (upload.mayRestartStream(encodeProxy)) {
        openEncodeDevice();
    }
}

// Covers the last picture the decoder drew: only a moving, current picture is ever shown.
void Telvane::paintVideoAreaBlack() {
    videoWidget->setAutoFillBackground(true);
    QPalette palette = videoWidget->palette();
    palette.setBrush(QPalette::All, QPalette::Window, QBrush(Qt::black, Qt::SolidPattern));
    videoWidget->setPalette(palette);
    videoWidget->update();
}

void Telvane::deviceNotify(void* device, int status) {
    if (status >= KORVEX_UPGRADE_STARTED && status <= KORVEX_UPGRADE_FAILED) {
        showUploadEvent(device, status);
        return;
    }
    const bool fromReceiver = device != nullptr && device == decodeProxy;
    showConnection(fromReceiver, status);
    // Only the current transmitter's reports are told in the status bar: an earlier one's are
    // its last words.
    if (device == nullptr || device != encodeProxy) {
        return;
    }
    noteRecordedStream(device, status);
    if (status == KORVEX_STREAM_CONNECT_FAILED || status == KORVEX_STREAM_ENDED) {
        report(status == KORVEX_STREAM_ENDED ? tr("CH%1: stream ended").arg(encodeChannel)
                                             : tr("CH%1: no answer").arg(encodeChannel));
    } else if (status == KORVEX_STREAM_STARTED) {
        report(tr("CH%1: connected").arg(encodeChannel));
    }
}

// A connection report of the receiver or of a transmitter proxy, current or earlier. Data loss
// on a UDP stream (counted in the status bar) and unknown values change nothing.
void Telvane::showConnection(bool fromReceiver, int status) {
    QLabel* connectionLabel = fromReceiver ? decodeConnectStateLabel : pcConnectStateLabel;
    bool& connected = fromReceiver ? decodeConnected : encodeConnected;
    switch (status) {
        case KORVEX_STREAM_CONNECTING:
        case KORVEX_STREAM_CONNECT_FAILED:
        case KORVEX_STREAM_ENDED:
            connectionLabel->setStyleSheet(kRed);
            connectionLabel->setText(tr("Disconnect"));
            connected = false;
            if (!fromReceiver && status != KORVEX_STREAM_CONNECTING) {
                paintVideoAreaBlack();
            }
            break;
        case KORVEX_STREAM_STARTED:
            connectionLabel->setStyleSheet(kGreen);
            connectionLabel->setText(tr("Connect"));
            connected = true;
            if (fromReceiver && !decodeOutput.known()) {
                // The panel's buttons take clicks only once they show the receiver's state: read
                // it now rather than at the next tick of the re-read timer.
                getDecodeDeviceInfo();
            }
            break;
        default:
            break;
    }
}

void Telvane::enterFullScreen() {
    mainLayout->removeWidget(videoWidget);
    fullScreenWindow->hold(videoWidget);
    videoFullScreen = true;
}

void Telvane::leaveFullScreen() {
    fullScreenWindow->release(videoWidget);
    mainLayout->insertWidget(kVideoColumn, videoWidget, kVideoStretch);
    videoWidget->show();
    videoFullScreen = false;
}

void Telvane::toggleFullScreen() {
    if (!videoFullScreen) {
        enterFullScreen();
    } else {
        leaveFullScreen();
    }
}

bool Telvane::eventFilter(QObject* obj, QEvent* event) {
    if (obj == videoWidget && event->type() == QEvent::MouseButtonDblClick) {
        toggleFullScreen();
    } else if (obj == videoWidget && event->type() == QEvent::Resize) {
        encodeRestartTimer->start(kEncodeRestartDelayMs);
    }
    return QMainWindow::eventFilter(obj, event);
}
