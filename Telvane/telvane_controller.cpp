// The window as controller: the device proxies, their reports, and the video area's events.

#include "telvane.h"

#include "hdmi_device_proxy.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QDeadlineTimer>
#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

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
            // command's own wait does, and deletes itself then if an event loop still runs.
            connect(proxy, &QThread::finished, proxy, &QObject::deleteLater);
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
    if (encodeStartPending && stoppingEncodeProxies.empty()) {
        startEncodeProxy(id);
    }
}

void Telvane::startEncodeProxy(int id) {
    encodeStartPending = false;
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
    // Black also covers the last picture the decoder drew.
    videoWidget->setAutoFillBackground(true);
    QPalette palette = videoWidget->palette();
    palette.setBrush(QPalette::All, QPalette::Window, QBrush(Qt::black, Qt::SolidPattern));
    videoWidget->setPalette(palette);
    videoWidget->update();
    pcConnectStateLabel->setStyleSheet(kRed);
    pcConnectStateLabel->setText(tr("Disconnect"));
}

void Telvane::deviceNotify(void* device, int status) {
    const bool fromReceiver = device != nullptr && device == decodeProxy;
    QLabel* connectionLabel = fromReceiver ? decodeConnectStateLabel : pcConnectStateLabel;
    bool& connected = fromReceiver ? decodeConnected : encodeConnected;
    switch (status) {
        case KORVEX_STREAM_CONNECTING:
        case KORVEX_STREAM_CONNECT_FAILED:
        case KORVEX_STREAM_ENDED:
            connectionLabel->setStyleSheet(kRed);
            connectionLabel->setText(tr("Disconnect"));
            connected = false;
            break;
        case KORVEX_STREAM_STARTED:
            connectionLabel->setStyleSheet(kGreen);
            connectionLabel->setText(tr("Connect"));
            connected = true;
            break;
        case KORVEX_UPGRADE_STARTED:
            upgradeStatusLabel->setStyleSheet(kGreen);
            upgradeStatusLabel->setText(tr("Upgrade Preparing......"));
            break;
        case KORVEX_UPGRADE_PROGRESS:
            upgradeStatusLabel->setStyleSheet(kGreen);
            upgradeStatusLabel->setText(tr("Upgrade Uploading......"));
            break;
        case KORVEX_UPGRADE_SENT:
            upgradeStatusLabel->setStyleSheet(kGreen);
            upgradeStatusLabel->setText(tr("Upgrading......"));
            break;
        case KORVEX_UPGRADE_SUCCEEDED:
            upgradeStatusLabel->setStyleSheet(kBlack);
            upgradeStatusLabel->setText(tr("Upgrade Success"));
            finishUpgrade();
            break;
        case KORVEX_UPGRADE_FAILED:
            upgradeStatusLabel->setStyleSheet(kRed);
            upgradeStatusLabel->setText(tr("Upgrade Failed"));
            finishUpgrade();
            break;
        default:
            break;  // data loss on a UDP stream and unknown values change nothing
    }
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
    QMainWindow::closeEvent(event);
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
            videoWidget->setWindowFlags(Qt::Window);
            videoWidget->showFullScreen();
            videoFullScreen = true;
        } else {
            videoWidget->setWindowFlags(Qt::SubWindow);
            videoWidget->showNormal();
            videoFullScreen = false;
        }
    } else if (obj == videoWidget && event->type() == QEvent::Resize) {
        encodeRestartTimer->start(kEncodeRestartDelayMs);
    }
    return QMainWindow::eventFilter(obj, event);
}
