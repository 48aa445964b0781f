// The window as controller: the device proxies, their reports, and the video area's events.

#include "telvane.h"

#include "full_screen_window.h"
#include "hdmi_device_proxy.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QDeadlineTimer>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kDecodeInfoIntervalMs = 3000;
constexpr int kNoTransmitterId = 4;  // the "X" button of "Channel Choose"
// How long after the last resize of the video area its stream restarts.
constexpr int kEncodeRestartDelayMs = 250;
// How long the window's end waits for the device threads to stop.
constexpr int kStopWaitMs = 1000;
// When the window manager has framed a new window.
constexpr int kFramePlacedMs = 500;

const char kRed[] = "color:red;";
const char kGreen[] = "color:green;";
const char kBlack[] = "color:black;";

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
    std::vector<HDMIDeviceProxy*> proxies = stoppingEncodeProxies;
    for (HDMIDeviceProxy* proxy : {encodeProxy, decodeProxy}) {
        if (proxy != nullptr) {
            proxies.push_back(proxy);
        }
    }
    encodeProxy = nullptr;
    decodeProxy = nullptr;
    stoppingEncodeProxies.clear();
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
    closeEncodeDevice();
    const int id = pcDisplayBtnGroup->checkedId();
    encodeStartPending = id >= 0 && id < kNoTransmitterId;
    encodeRequestedAt = std::chrono::steady_clock::now();
    if (encodeStartPending && stoppingEncodeProxies.empty()) {
        startEncodeProxy(id);
    }
}

void Telvane::startEncodeProxy(int id) {
    encodeStartPending = false;
    encodeChannel = id + 1;
    DeviceProxyInfo info = proxyInfo(devices.encodeDeviceAddresses[static_cast<size_t>(id)],
                                     static_cast<uint64_t>(videoWidget->winId()));
    encodeProxy = new HDMIDeviceProxy(nullptr, true, &info);
    connect(encodeProxy, &HDMIDeviceProxy::deviceNotify, this, &Telvane::deviceNotify);
    HDMIDeviceProxy* proxy = encodeProxy;
    connect(proxy, &QThread::finished, this, [this, proxy] { encodeProxyFinished(proxy); });
    encodeProxy->start(QThread::InheritPriority);
}

// The old proxy's reports and answers were all posted before its thread finished, so they have
// been handled by now: the next stream starts from a clean slate.
void Telvane::encodeProxyFinished(HDMIDeviceProxy* proxy) {
    stoppingEncodeProxies.erase(
        std::remove(stoppingEncodeProxies.begin(), stoppingEncodeProxies.end(), proxy),
        stoppingEncodeProxies.end());
    proxy->wait();
    delete proxy;
    // Its queue is gone: what waited there will never be answered.
    if (actuatorMoveProxy == proxy) {
        actuatorMoveProxy = nullptr;
    }
    if (uploadingProxy == proxy) {
        finishUpgrade();
    }
    const int id = pcDisplayBtnGroup->checkedId();
    if (encodeStartPending && stoppingEncodeProxies.empty() && id >= 0 && id < kNoTransmitterId) {
        startEncodeProxy(id);
    }
}

void Telvane::closeEncodeDevice() {
    if (encodeProxy != nullptr) {
        // Stopping takes the proxy's thread a moment (its stream, a command it is running); the
        // window does not wait for it.
        stoppingEncodeProxies.push_back(encodeProxy);
        encodeProxy->stopImmediately();
        encodeProxy = nullptr;
    }
    encodeConnected = false;
    encodeChannel = 0;
    paintVideoAreaBlack();
    pcConnectStateLabel->setStyleSheet(kRed);
    pcConnectStateLabel->setText(tr("Disconnect"));
    refreshStreamStatus();
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
    const bool fromReceiver = device != nullptr && device == decodeProxy;
    QLabel* connectionLabel = fromReceiver ? decodeConnectStateLabel : pcConnectStateLabel;
    bool& connected = fromReceiver ? decodeConnected : encodeConnected;
    // Only the current transmitter's reports are told in the status bar: an earlier one's are
    // its last words.
    const bool fromTransmitter = device != nullptr && device == encodeProxy;
    switch (status) {
        case KORVEX_STREAM_CONNECTING:
        case KORVEX_STREAM_CONNECT_FAILED:
        case KORVEX_STREAM_ENDED:
            connectionLabel->setStyleSheet(kRed);
            connectionLabel->setText(tr("Disconnect"));
            connected = false;
            if (!fromReceiver && status != KORVEX_STREAM_CONNECTING) {
                paintVideoAreaBlack();
                if (fromTransmitter) {
                    report(status == KORVEX_STREAM_ENDED
                               ? tr("CH%1: stream ended").arg(encodeChannel)
                               : tr("CH%1: no answer").arg(encodeChannel));
                }
            }
            break;
        case KORVEX_STREAM_STARTED:
            connectionLabel->setStyleSheet(kGreen);
            connectionLabel->setText(tr("Connect"));
            connected = true;
            if (fromReceiver && !decodeOutputKnown) {
                // The panel's buttons take clicks only once they show the receiver's state: read
                // it now rather than at the next tick of the re-read timer.
                getDecodeDeviceInfo();
            }
            if (fromTransmitter) {
                report(tr("CH%1: connected").arg(encodeChannel));
            }
            break;
        case KORVEX_UPGRADE_STARTED:
            upgradeStatusLabel->setStyleSheet(kGreen);
            upgradeStatusLabel->setText(tr("Upgrade Preparing......"));
            break;
        case KORVEX_UPGRADE_PROGRESS:
            showUploadProgress(device);
            break;
        case KORVEX_UPGRADE_SENT:
            upgradeStatusLabel->setStyleSheet(kGreen);
            upgradeStatusLabel->setText(tr("Upgrading......"));
            break;
        case KORVEX_UPGRADE_SUCCEEDED:
            upgradeStatusLabel->setStyleSheet(kBlack);
            upgradeStatusLabel->setText(tr("Upgrade Success"));
            report(tr("Upgrade of %1 done").arg(uploadTargetName()));
            finishUpgrade();
            break;
        case KORVEX_UPGRADE_FAILED:
            upgradeStatusLabel->setStyleSheet(kRed);
            upgradeStatusLabel->setText(tr("Upgrade Failed"));
            report(tr("Upgrade of %1 failed").arg(uploadTargetName()));
            finishUpgrade();
            break;
        default:
            break;  // data loss on a UDP stream (counted in the status bar) and unknown values
    }
}

void Telvane::showUploadProgress(void* device) {
    // The upload's proxy lives until the upload has ended, and its reports arrive before that.
    const QString percent = device != nullptr && device == uploadingProxy
                                ? QStringLiteral(" %1%").arg(uploadingProxy->latestUploadPercent())
                                : QString();
    if (closeAfterUpload) {
        upgradeStatusLabel->setText(tr("Upgrade running: wait for it to finish") + percent);
        return;
    }
    upgradeStatusLabel->setStyleSheet(kGreen);
    upgradeStatusLabel->setText(tr("Upgrade Uploading......") + percent);
}

QString Telvane::uploadTargetName() const {
    return uploadingProxy != nullptr && uploadingProxy == decodeProxy ? QStringLiteral("RX")
                                                                      : QStringLiteral("TX");
}

void Telvane::finishUpgrade() {
    setUpgradeRunning(false);
    if (encodeRestartPending) {
        encodeRestartPending = false;
        openEncodeDevice();
    }
    if (closeAfterUpload) {
        closeAfterUpload = false;
        close();
    }
}

void Telvane::closeEvent(QCloseEvent* event) {
    if (uploadingProxy != nullptr) {
        event->ignore();
        closeAfterUpload = true;
        upgradeStatusLabel->setStyleSheet(kRed);
        upgradeStatusLabel->setText(tr("Upgrade running: wait for it to finish"));
        return;
    }
    if (videoFullScreen) {
        leaveFullScreen();
    }
    QMainWindow::closeEvent(event);
}

void Telvane::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!event->spontaneous() && !placedOnScreen) {
        placedOnScreen = true;
        // Once now, and once more when the window manager has put its frame around the window.
        QTimer::singleShot(0, this, &Telvane::keepOnScreen);
        QTimer::singleShot(kFramePlacedMs, this, &Telvane::keepOnScreen);
    }
}

// Moves the window, frame included, onto the screen's available area where its place would
// leave a part of it off the screen or under a panel.
void Telvane::keepOnScreen() {
    const QScreen* screen = windowHandle() != nullptr ? windowHandle()->screen() : nullptr;
    if (screen == nullptr) {
        return;
    }
    const QRect available = screen->availableGeometry();
    const QRect frame = frameGeometry();
    QPoint topLeft = frame.topLeft();
    topLeft.setX(qMax(available.left(), qMin(topLeft.x(), available.right() + 1 - frame.width())));
    topLeft.setY(qMax(available.top(), qMin(topLeft.y(), available.bottom() + 1 - frame.height())));
    if (topLeft != frame.topLeft()) {
        move(topLeft);
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

void Telvane::restartEncodeDevice() {
    // The decoder draws into the native window of the moment. A transmitter whose session
    // carries a running upload keeps its proxy until the upload has ended.
    if (uploadingProxy != nullptr && uploadingProxy == encodeProxy) {
        encodeRestartPending = true;
    } else {
        openEncodeDevice();
    }
}

bool Telvane::eventFilter(QObject* obj, QEvent* event) {
    if (obj == videoWidget && event->type() == QEvent::MouseButtonDblClick) {
        if (!videoFullScreen) {
            enterFullScreen();
        } else {
            leaveFullScreen();
        }
    } else if (obj == videoWidget && event->type() == QEvent::Resize) {
        encodeRestartTimer->start(kEncodeRestartDelayMs);
    }
    return QMainWindow::eventFilter(obj, event);
}
