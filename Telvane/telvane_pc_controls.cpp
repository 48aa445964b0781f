// The right-hand panel's slots: channel choice, PC sound, actuator, TTL port and firmware upload.

#include "telvane.h"

#include "hdmi_device_proxy.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <cstring>

namespace {

// Values of ActuatorMoveRequest::orient that the player sends.
enum ActuatorOrient : int32_t {
    ACTUATOR_STOP = 0,
    ACTUATOR_GOTO = 1,
    ACTUATOR_INC = 2,
    ACTUATOR_DEC = 3,
};

constexpr int kActuatorIntervalMs = 10;
constexpr int kActuatorTimeoutMs = 2000;
constexpr int kTtlReadTimeoutMs = 1000;
constexpr int kTtlWriteTimeoutMs = 2000;
constexpr int kControlTxId = 0;

// The last "Channel Choose" id acted on; one per process, like the PC's sound switch.
int lastPcDisplayBtnId = -1;

}  // namespace

void Telvane::pcDisplayBtnClick(int btnID) {
    slotEntered(__func__, btnID);
    if (btnID == lastPcDisplayBtnId) {
        return;
    }
    lastPcDisplayBtnId = btnID;
    openEncodeDevice();
}

void Telvane::pcAudioBtnClick() {
    slotEntered(__func__, std::nullopt);
    const bool checked = pcAudioBtn->isChecked();
    pcAudioBtn->setText(checked ? QStringLiteral("ON") : QStringLiteral("OFF"));
    pcAudioEnabled = checked;
}

void Telvane::actuatorDecBtnPressed() {
    slotEntered(__func__, std::nullopt);
    startActuatorTimer();
}

void Telvane::actuatorIncBtnPressed() {
    slotEntered(__func__, std::nullopt);
    startActuatorTimer();
}

void Telvane::startActuatorTimer() {
    if (!actuatorTimer->isActive()) {
        actuatorTimer->start(kActuatorIntervalMs);
    }
}

void Telvane::actuatorDecBtnReleased() {
    slotEntered(__func__, std::nullopt);
    stopActuator();
}

void Telvane::actuatorIncBtnReleased() {
    slotEntered(__func__, std::nullopt);
    stopActuator();
}

void Telvane::stopActuator() {
    if (actuatorTimer->isActive()) {
        actuatorTimer->stop();
    }
    sendActuatorMove(actuatorIndexCombo->currentIndex(), ACTUATOR_STOP, 0);
}

void Telvane::actuatorMoveCheck() {
    slotEntered(__func__, std::nullopt);
    // The direction is read at every tick from the button that is held.
    sendActuatorMove(actuatorIndexCombo->currentIndex(),
                     actuatorIncBtn->isDown() ? ACTUATOR_INC : ACTUATOR_DEC, 0);
}

void Telvane::actuatorIncMoveBtnClick() {
    slotEntered(__func__, std::nullopt);
    const int index = actuatorIndexCombo->currentIndex();
    const int output = actuatorOutputEdit->text().toInt(nullptr, 10);
    // Output 0..100 maps onto the actuator's angles 42..132.
    const int angle = static_cast<int>(static_cast<float>(output) / 100.0f * 90.0f + 42.0f);
    sendActuatorMove(index, ACTUATOR_GOTO, angle);
}

int Telvane::sendActuatorMove(int32_t id, int32_t orient, int32_t angle) {
    HDMIDeviceProxy* proxy = actuatorDeviceBtnGroup->checkedId() == kControlTxId
                                 ? usableTransmitter()
                                 : usableReceiver();
    if (proxy == nullptr) {
        return -1;
    }
    ActuatorMoveRequest request{id, orient, angle};
    return KORVEX_SetConfig(proxy->currentSession(), CFG_ACTUATOR_MOVE, &request, sizeof request,
                            kActuatorTimeoutMs, 0) == 0
               ? 0
               : -1;
}

void Telvane::ttlEncBtnClick() {
    slotEntered(__func__, std::nullopt);
    setTtlBaudrate(usableTransmitter());
}

void Telvane::ttlDecBtnClick() {
    slotEntered(__func__, std::nullopt);
    setTtlBaudrate(usableReceiver());
}

void Telvane::setTtlBaudrate(HDMIDeviceProxy* proxy) {
    if (proxy == nullptr) {
        return;
    }
    TtlConfig config;
    std::memset(&config, 0, sizeof config);
    config.chn = ttlIndexCombo->currentIndex();
    KorvexSession* session = proxy->currentSession();
    if (KORVEX_GetConfig(session, CFG_GET_TTL, &config, sizeof config, kTtlReadTimeoutMs, 0) != 0) {
        return;
    }
    // Everything else goes back as the device reported it.
    config.baudrate = ttlBaudrateCombo->currentText().toInt(nullptr, 10);
    KORVEX_SetConfig(session, CFG_SET_TTL, &config, sizeof config, kTtlWriteTimeoutMs, 0);
}

void Telvane::upgradeFileChooseBtnClick() {
    slotEntered(__func__, std::nullopt);
    upgradeFilePathEdit->setText(askUpgradeFilePath());
}

void Telvane::upgradeEncBtnClick() {
    slotEntered(__func__, std::nullopt);
    startUpgrade(usableTransmitter());
}

void Telvane::upgradeDecBtnClick() {
    slotEntered(__func__, std::nullopt);
    startUpgrade(usableReceiver());
}

void Telvane::startUpgrade(HDMIDeviceProxy* proxy) {
    if (proxy == nullptr) {
        return;
    }
    const QByteArray path = upgradeFilePathEdit->text().toLocal8Bit();
    if (KORVEX_Upgrade(proxy->currentSession(), path.constData()) != 0) {
        upgradeStatusLabel->setStyleSheet(QStringLiteral("color:red;"));
        upgradeStatusLabel->setText(tr("Upgrade Failed"));
        return;
    }
    uploadingProxy = proxy;
    setUpgradeRunning(true);
}

void Telvane::setUpgradeRunning(bool running) {
    // While an upload runs, the transmitter proxy whose session it uses must not be replaced.
    upgradeEncBtn->setEnabled(!running);
    upgradeDecBtn->setEnabled(!running);
    for (QAbstractButton* button : pcDisplayBtnGroup->buttons()) {
        button->setEnabled(!running);
    }
    if (!running) {
        uploadingProxy = nullptr;
    }
}
