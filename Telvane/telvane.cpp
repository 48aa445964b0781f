// The window's construction, placement and end. Its slots live by subject in
// telvane_controller.cpp, telvane_pc_controls.cpp, telvane_upload.cpp and
// telvane_decode_output.cpp.

#include "telvane.h"

#include "full_screen_window.h"
#include "usbip_launcher.h"

#include <Korvex.h>

#include <QCloseEvent>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QWindow>

namespace {

// When the window manager has framed a new window.
constexpr int kFramePlacedMs = 500;

}  // namespace

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
    buildCaptureControls();
    fullScreenWindow = new FullScreenWindow(this);
    connect(fullScreenWindow, &FullScreenWindow::leaveRequested, this, &Telvane::leaveFullScreen);
    startReceiverMonitoring();
    nameMembers();
}

Telvane::~Telvane() {
    // The proxies report into the widgets and the transmitter's decoder draws into videoWidget:
    // stop them while everything still exists.
    decodeInfoTimer->stop();
    encodeRestartTimer->stop();
    actuatorTimer->stop();
    streamStatusTimer->stop();
    stopRecording(RecordingStop::WindowClosed);
    stopEveryProxy();
    KORVEX_Exit();
}

// A firmware upload is never cut off: the window stays, says why, and closes on the verdict.
void Telvane::closeEvent(QCloseEvent* event) {
    if (!upload.mayClose()) {
        event->ignore();
        upgradeStatusLabel->setStyleSheet(QStringLiteral("color:red;"));
        upgradeStatusLabel->setText(tr("Upgrade running: wait for it to finish"));
        return;
    }
    if (videoFullScreen) {
        leaveFullScreen();
    }
    stopRecording(RecordingStop::WindowClosed);
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
