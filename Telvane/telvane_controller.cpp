// The window as controller: the device proxies, their reports, and the video area's events.

#include "telvane.h"

#include "hdmi_device_proxy.h"

#include <QButtonGroup>
#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <cstring>

namespace {

constexpr int kDecodeInfoIntervalMs = 3000;
constexpr int kNoTransmitterId = 4;  // the "X" button of "Channel Choose"

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

void Telvane::stopProxy(HDMIDeviceProxy*& proxy) {
    if (proxy != nullptr) {
        proxy->stopImmediately();
        proxy->wait();
        delete proxy;
        proxy = nullptr;
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
    closeEncodeDevice();
    const int id = pcDisplayBtnGroup->checkedId();
    if (id < 0 || id >= kNoTransmitterId) {
        return;
    }
    DeviceProxyInfo info = proxyInfo(devices.encodeDeviceAddresses[static_cast<size_t>(id)],
                                     static_cast<uint64_t>(videoWidget->winId()));
    encodeProxy = new HDMIDeviceProxy(nullptr, true, &info);
    connect(encodeProxy, &HDMIDeviceProxy::deviceNotify, this, &Telvane::deviceNotify);
    encodeProxy->start(QThread::InheritPriority);
}

void Telvane::closeEncodeDevice() {
    stopProxy(encodeProxy);
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
    slotEntered(__func__, status);
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
        // The decoder draws into the native window of the moment: restart on every resize. A
        // transmitter whose session carries a running upload keeps its proxy until the upload
        // has ended, instead of holding the window up until then.
        if (uploadingProxy != nullptr && uploadingProxy == encodeProxy) {
            encodeRestartPending = true;
        } else {
            openEncodeDevice();
        }
    }
    return QMainWindow::eventFilter(obj, event);
}
