// The right-hand panel's slots: channel choice, PC sound, actuator and TTL port (the firmware
// upload's are in telvane_upload.cpp).

#include "telvane.h"

#include "hdmi_device_proxy.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <cstring>

namespace {

constexpr int kActuatorIntervalMs = 10;
constexpr int kActuatorTimeoutMs = 2000;
constexpr int kTtlReadTimeoutMs = 1000;
constexpr int kTtlWriteTimeoutMs = 2000;
constexpr int kControlTxId = 0;

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
    sendActuatorMove(actuatorIndexCombo->currentIndex(), KORVEX_ACTUATOR_STOP, 0);
}

void Telvane::actuatorMoveCheck() {
    // One move at a time: ticks that find one still on its way are skipped, so that a slow
    // device never builds up a backlog of moves that would go on after the release.
    if (actuatorMoveProxy != nullptr) {
        return;
    }
    // The direction is read at every tick from the button that is held.
    const int32_t orient = actuatorIncBtn->isDown() ? KORVEX_ACTUATOR_INC : KORVEX_ACTUATOR_DEC;
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
    sendActuatorMove(index, KORVEX_ACTUATOR_GOTO, KORVEX_ACTUATOR_ANGLE(output), output);
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
            return askDevice(kActuatorTimeoutMs, [&] {
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
        case KORVEX_ACTUATOR_GOTO:
            report(answer == DeviceAnswer::Done
                       ? tr("PWM %1 → %2: done").arg(index).arg(output)
                       : tr("PWM %1 → %2: %3").arg(index).arg(output).arg(answerText(answer)));
            break;
        case KORVEX_ACTUATOR_STOP:
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
            const DeviceAnswer read = askDevice(kTtlReadTimeoutMs, [&] {
                return KORVEX_GetConfig(session, CFG_GET_TTL, &config, sizeof config,
                                        kTtlReadTimeoutMs, 0);
            });
            if (read != DeviceAnswer::Done) {
                return read;
            }
            // Everything else goes back as the device reported it.
            config.baudrate = baudrate;
            return askDevice(kTtlWriteTimeoutMs, [&] {
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
