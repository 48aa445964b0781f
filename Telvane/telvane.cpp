// The window's construction and teardown. Its slots live by subject in telvane_controller.cpp,
// telvane_pc_controls.cpp and telvane_decode_output.cpp.

#include "telvane.h"

#include "full_screen_window.h"
#include "usbip_launcher.h"

#include <Korvex.h>

#include <QTimer>

Telvane::Telvane(const DeviceTable& devices, const UsbIpLauncher& launcher, QWidget* parent)
    : QMainWindow(parent), devices(devices) {
    // The client must run before the first device is reached through it.
    launcher.startUsbIpClient();
    KORVEX_Init();

    actuatorTimer = new QTimer(this);
    connect(actuatorTimer, SIGNAL(timeout()), this, SLOT(actuatorMoveCheck()));
    encodeRestartTimer = new QTimer(this);
    encodeRestartTimer->setSingleShot(true);
    connect(encodeRestartTimer, &QTimer::timeout, this, &Telvane::restartEncodeDevice);

    setupUi();
    buildLayout();
    connectSignals();
    buildStatusBar();
    describeForAssistiveTechnology();
    setReadingFocusOrder();
    fullScreenWindow = new FullScreenWindow(this);
    connect(fullScreenWindow, &FullScreenWindow::leaveRequested, this, &Telvane::leaveFullScreen);
    startReceiverMonitoring();
}

Telvane::~Telvane() {
    // The proxies report into the widgets and the transmitter's decoder draws into videoWidget:
    // stop them while everything still exists.
    decodeInfoTimer->stop();
    encodeRestartTimer->stop();
    actuatorTimer->stop();
    streamStatusTimer->stop();
    stopEveryProxy();
    KORVEX_Exit();
}
