// The window's construction and its slots. The slots are wired to every control here already;
// what each of them does arrives with the controller, the PC controls and the receiver output.

#include "telvane.h"

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

    setupUi();
    buildLayout();
    connectSignals();
}

Telvane::~Telvane() = default;

void Telvane::slotEntered(const char*, std::optional<int>) {}

bool Telvane::eventFilter(QObject* obj, QEvent* event) {
    return QMainWindow::eventFilter(obj, event);
}

void Telvane::pcDisplayBtnClick(int btnID) {
    slotEntered(__func__, btnID);
}

void Telvane::pcAudioBtnClick() {
    slotEntered(__func__, std::nullopt);
}

void Telvane::actuatorDecBtnPressed() {
    slotEntered(__func__, std::nullopt);
}

void Telvane::actuatorDecBtnReleased() {
    slotEntered(__func__, std::nullopt);
}

void Telvane::actuatorIncBtnPressed() {
    slotEntered(__func__, std::nullopt);
}

void Telvane::actuatorIncBtnReleased() {
    slotEntered(__func__, std::nullopt);
}

void Telvane::actuatorIncMoveBtnClick() {
    slotEntered(__func__, std::nullopt);
}

void Telvane::actuatorMoveCheck() {
    slotEntered(__func__, std::nullopt);
}

void Telvane::ttlEncBtnClick() {
    slotEntered(__func__, std::nullopt);
}

void Telvane::ttlDecBtnClick() {
    slotEntered(__func__, std::nullopt);
}

void Telvane::upgradeFileChooseBtnClick() {
    slotEntered(__func__, std::nullopt);
}

void Telvane::upgradeEncBtnClick() {
    slotEntered(__func__, std::nullopt);
}

void Telvane::upgradeDecBtnClick() {
    slotEntered(__func__, std::nullopt);
}

void Telvane::decodeDisplayBtnClick(int btnID) {
    slotEntered(__func__, btnID);
}

void Telvane::decodeFPSBtnClick(int btnID) {
    slotEntered(__func__, btnID);
}

void Telvane::decodeAudioBtnClick(int btnID) {
    slotEntered(__func__, btnID);
}

void Telvane::decodeResolutionBtnClick(int btnID) {
    slotEntered(__func__, btnID);
}

void Telvane::getDecodeDeviceInfo() {
    slotEntered(__func__, std::nullopt);
}

void Telvane::deviceNotify(void*, int status) {
    slotEntered(__func__, status);
}
