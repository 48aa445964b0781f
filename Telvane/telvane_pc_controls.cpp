// The right-hand panel's slots: channel choice, PC sound, actuator, TTL port and firmware upload.

#include "telvane.h"

#include "hdmi_device_proxy.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
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
constexpr int kActuatorOutputMaximum = 100;

// The last "Channel Choose" id acted on; one per process, like the PC's sound switch.
int lastPcDisplayBtnId = -1;

}  // namespace

void Telvane::pcDisplayBtnClick(int btnID) {
    if (btnID == lastPcDisplayBtnId) {
        return;
    }
    lastPcDisplayBtnId = btnID;
    openEncodeDevice();
}

void Telvane::pcAudioBtnClick() {
    const bool checked = pcAudioBtn->isChecked();
    pcAudioBtn->setText(checked ? QStringLiteral("ON") : QStringLiteral("OFF"));
    pcAudioEnabled = checked;
}

void Telvane::actuatorDecBtnPressed() {
    startActuatorTimer();
}

void Telvane::actuatorIncBtnPressed() {
    startActuatorTimer();
}

void Telvane::startActuatorTimer() {
    if (!actuatorTimer->isActive()) {
        actuatorTimer->start(kActuatorIntervalMs);
    }
}

void Telvane::actuatorDecBtnReleased() {
    stopActuator();
}

void Telvane::actuatorIncBtnReleased() {
    stopActuator();
}

void Telvane::stopActuator() {
    if (actuatorTimer->isActive()) {
        actuatorTimer->stop();
    }
    sendActuatorMove(actuatorIndexCombo->currentIndex(), ACTUATOR_STOP, 0);
}

void Telvane::actuatorMoveCheck() {
    // One move at a time: ticks that find one still on its way are skipped, so that a slow
    // device never builds up a backlog of moves that would go on after the release.
    if (actuatorMoveProxy != nullptr) {
        return;
    }
    // The direction is read at every tick from the button that is held.
    const int32_t orient = actuatorIncBtn->isDown() ? ACTUATOR_INC : ACTUATOR_DEC;
    if (sendActuatorMove(actuatorIndexCombo->currentIndex(), orient, 0)) {
        actuatorMoveProxy = actuatorTarget();
    }
}

void Telvane::actuatorIncMoveBtnClick() {
    const int index = actuatorIndexCombo->currentIndex();
    // The field's validator lets three digits stand while they are typed: above 100 is 100.
    int output = actuatorOutputEdit->text().toInt(nullptr, 10);
    if (output > kActuatorOutputMaximum) {
        output = kActuatorOutputMaximum;
        actuatorOutputEdit->setText(QString::number(output));
    }
    // Output 0..100 maps onto the actuator's angles 42..132.
    const int angle = static_cast<int>(static_cast<float>(output) / 100.0f * 90.0f + 42.0f);
    sendActuatorMove(index, ACTUATOR_GOTO, angle, output);
}

HDMIDeviceProxy* Telvane::actuatorTarget() const {
    return actuatorDeviceBtnGroup->checkedId() == kControlTxId ? usableTransmitter()
                                                               : usableReceiver();
}

// Queues the move on the chosen device; false when that device is not usable. `output` is the
// field's value of a Goto, for the status bar.
bool Telvane::sendActuatorMove(int32_t id, int32_t orient, int32_t angle, int output) {
    HDMIDeviceProxy* proxy = actuatorTarget();
    if (proxy == nullptr) {
        return false;
    }
    const ActuatorMoveRequest request{id, orient, angle};
    runOnDevice(
        proxy,
        [request](KorvexSession* session) {
            return AskDevice(kActuatorTimeoutMs, [&] {
                ActuatorMoveRequest sent = request;
                return KORVEX_SetConfig(session, CFG_ACTUATOR_MOVE, &sent, sizeof sent,
                                        kActuatorTimeoutMs, 0);
            });
        },
        [request, output](Telvane& window, DeviceAnswer answer) {
            window.actuatorMoveAnswered(request, output, answer);
        });
    return true;
}

void Telvane::actuatorMoveAnswered(const ActuatorMoveRequest& request, int output,
                                   DeviceAnswer answer) {
    const int index = request.id + 1;
    switch (request.orient) {
        case ACTUATOR_GOTO:
            report(answer == DeviceAnswer::Done
                       ? tr("PWM %1 → %2: done").arg(index).arg(output)
                       : tr("PWM %1 → %2: %3").arg(index).arg(output).arg(answerText(answer)));
            break;
        case ACTUATOR_STOP:
            report(answer == DeviceAnswer::Done
                       ? tr("PWM %1 stopped").arg(index)
                       : tr("PWM %1: %2").arg(index).arg(answerText(answer)));
            break;
        default:
            actuatorMoveProxy = nullptr;
            // A held button's moves go by many times a second: only a failure is worth a word.
            if (answer != DeviceAnswer::Done) {
                report(tr("PWM %1: %2").arg(index).arg(answerText(answer)));
            }
            break;
    }
}

void Telvane::ttlEncBtnClick() {
    setTtlBaudrate(usableTransmitter(), QStringLiteral("TX"));
}

void Telvane::ttlDecBtnClick() {
    setTtlBaudrate(usableReceiver(), QStringLiteral("RX"));
}

void Telvane::setTtlBaudrate(HDMIDeviceProxy* proxy, const QString& side) {
    if (proxy == nullptr) {
        return;
    }
    const int32_t chn = ttlIndexCombo->currentIndex();
    const int32_t baudrate = ttlBaudrateCombo->currentText().toInt(nullptr, 10);
    runOnDevice(
        proxy,
        [chn, baudrate](KorvexSession* session) {
            TtlConfig config;
            std::memset(&config, 0, sizeof config);
            config.chn = chn;
            const DeviceAnswer read = AskDevice(kTtlReadTimeoutMs, [&] {
                return KORVEX_GetConfig(session, CFG_GET_TTL, &config, sizeof config,
                                        kTtlReadTimeoutMs, 0);
            });
            if (read != DeviceAnswer::Done) {
                return read;
            }
            // Everything else goes back as the device reported it.
            config.baudrate = baudrate;
            return AskDevice(kTtlWriteTimeoutMs, [&] {
                return KORVEX_SetConfig(session, CFG_SET_TTL, &config, sizeof config,
                                        kTtlWriteTimeoutMs, 0);
            });
        },
        [index = chn + 1, side, baudrate](Telvane& window, DeviceAnswer answer) {
            window.report(
                answer == DeviceAnswer::Done
                    ? tr("TTL %1 on %2 set to %3 baud").arg(index).arg(side).arg(baudrate)
                    : tr("TTL %1 on %2: %3").arg(index).arg(side).arg(answerText(answer)));
        });
}

void Telvane::upgradeFileChooseBtnClick() {
    upgradeFilePathEdit->setText(
        QFileDialog::getOpenFileName(this, tr("Please Choose Upgrade File")));
}

void Telvane::upgradeEncBtnClick() {
    startUpgrade(usableTransmitter());
}

void Telvane::upgradeDecBtnClick() {
    startUpgrade(usableReceiver());
}

void Telvane::startUpgrade(HDMIDeviceProxy* proxy) {
    if (proxy == nullptr) {
        return;
    }
    // The buttons go off at the click already, so that a second click cannot start another upload
    // while the first is being started; a refusal turns them on again.
    uploadingProxy = proxy;
    setUpgradeRunning(true);
    const QByteArray path = upgradeFilePathEdit->text().toLocal8Bit();
    runOnDevice(
        proxy, [path](KorvexSession* session) { return KORVEX_Upgrade(session, path.constData()); },
        [](Telvane& window, int result) { window.upgradeStartAnswered(result); });
}

// The upload's own events can arrive before this answer: a verdict that came first has ended
// the upload already.
void Telvane::upgradeStartAnswered(int result) {
    if (result != 0) {
        upgradeStatusLabel->setStyleSheet(QStringLiteral("color:red;"));
        upgradeStatusLabel->setText(tr("Upgrade Failed"));
        report(QFileInfo(upgradeFilePathEdit->text()).isFile()
                   ? tr("Upgrade of %1 refused").arg(uploadTargetName())
                   : tr("Upgrade of %1 refused: no such file").arg(uploadTargetName()));
        finishUpgrade();
    }
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
