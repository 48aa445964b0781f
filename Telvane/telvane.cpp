// The window's construction and teardown. Its slots live by subject in telvane_controller.cpp,
// telvane_pc_controls.cpp and telvane_decode_output.cpp.

#include "telvane.h"

#include "usbip_launcher.h"

#include <Korvex.h>

#include <QFileDialog>
#include <QTimer>

Telvane::Telvane(const DeviceTable& devices, const UsbIpLauncher& launcher, QWidget* parent)
    : QMainWindow(parent), devices(devices) {
    // The client must run before the first device is reached through it.
    launcher.startUsbIpClient();
    KORVEX_Init();

    actuatorTimer = new QTimer(this);
    connect(actuatorTimer, SIGNAL(timeout()), this, SLOT(actuatorMoveCheck()));

    setupUi();
    buildLayout();
    connectSignals();
    startReceiverMonitoring();
}

Telvane::~Telvane() {
    // Both proxies call back into the widgets through queued reports and the transmitter's
    // decoder draws into videoWidget: stop them while everything still exists.
    decodeInfoTimer->stop();
    stopProxy(encodeProxy);
    stopProxy(decodeProxy);
    KORVEX_Exit();
}

void Telvane::slotEntered(const char*, std::optional<int>) {}

QString Telvane::askUpgradeFilePath() {
    return QFileDialog::getOpenFileName(this, tr("Please Choose Upgrade File"));
}
