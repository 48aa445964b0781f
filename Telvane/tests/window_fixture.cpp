#include "window_fixture.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

DeviceTable loopbackDevices() {
    DeviceTable devices;
    devices.decodeDeviceAddress = QStringLiteral("127.0.0.88");
    devices.encodeDeviceAddresses = {QStringLiteral("127.0.0.220"), QStringLiteral("127.0.0.221"),
                                     QStringLiteral("127.0.0.222"), QStringLiteral("127.0.0.223")};
    devices.port = 1;  // nothing listens there
    return devices;
}

const UsbIpLauncher& idleLauncher() {
    static const UsbIpLauncher launcher = [] {
        LauncherCommands commands;
        commands.processList =
            QStringList{QStringLiteral("echo"), QStringLiteral("/opt/usbip/Pellvor.exe")};
        return UsbIpLauncher(commands, QStringLiteral("/nonexistent"));
    }();
    return launcher;
}

#define TELVANE_MEMBER(name) qMakePair(QStringLiteral(#name), static_cast<QObject*>(window.name))

QVector<QPair<QString, QObject*>> TelvaneTestAccess::members(Telvane& window) {
    return {
        TELVANE_MEMBER(centralWidget),
        TELVANE_MEMBER(mainLayout),
        TELVANE_MEMBER(videoWidget),
        TELVANE_MEMBER(pcPanel),
        TELVANE_MEMBER(decodePanel),
        TELVANE_MEMBER(pcLayout),
        TELVANE_MEMBER(pcTitleLabel),
        TELVANE_MEMBER(pcConnectStatusLabel),
        TELVANE_MEMBER(pcConnectStateLabel),
        TELVANE_MEMBER(pcDisplayGroupBox),
        TELVANE_MEMBER(pcDisplayCh1Btn),
        TELVANE_MEMBER(pcDisplayCh2Btn),
        TELVANE_MEMBER(pcDisplayCh3Btn),
        TELVANE_MEMBER(pcDisplayCh4Btn),
        TELVANE_MEMBER(pcDisplayOffBtn),
        TELVANE_MEMBER(pcDisplayBtnGroup),
        TELVANE_MEMBER(pcAudioGroupBox),
        TELVANE_MEMBER(pcAudioBtn),
        TELVANE_MEMBER(actuatorGroupBox),
        TELVANE_MEMBER(actuatorLayout),
        TELVANE_MEMBER(actuatorIndexLabel),
        TELVANE_MEMBER(actuatorIndexCombo),
        TELVANE_MEMBER(actuatorDecBtn),
        TELVANE_MEMBER(actuatorIncBtn),
        TELVANE_MEMBER(actuatorOutputLabel),
        TELVANE_MEMBER(actuatorOutputEdit),
        TELVANE_MEMBER(actuatorIncMoveBtn),
        TELVANE_MEMBER(actuatorTxBtn),
        TELVANE_MEMBER(actuatorRxBtn),
        TELVANE_MEMBER(actuatorDeviceBtnGroup),
        TELVANE_MEMBER(ttlGroupBox),
        TELVANE_MEMBER(ttlLayout),
        TELVANE_MEMBER(ttlIndexLabel),
        TELVANE_MEMBER(ttlIndexCombo),
        TELVANE_MEMBER(ttlBaudrateLabel),
        TELVANE_MEMBER(ttlBaudrateCombo),
        TELVANE_MEMBER(ttlEncBtn),
        TELVANE_MEMBER(ttlDecBtn),
        TELVANE_MEMBER(upgradeGroupBox),
        TELVANE_MEMBER(upgradeLayout),
        TELVANE_MEMBER(upgradeFilePathLabel),
        TELVANE_MEMBER(upgradeFilePathEdit),
        TELVANE_MEMBER(upgradeFileChooseBtn),
        TELVANE_MEMBER(upgradeStatusTitleLabel),
        TELVANE_MEMBER(upgradeStatusLabel),
        TELVANE_MEMBER(upgradeEncBtn),
        TELVANE_MEMBER(upgradeDecBtn),
        TELVANE_MEMBER(decodeLayout),
        TELVANE_MEMBER(decodeTitleLabel),
        TELVANE_MEMBER(decodeConnectStatusLabel),
        TELVANE_MEMBER(decodeConnectStateLabel),
        TELVANE_MEMBER(decodeDisplayGroupBox),
        TELVANE_MEMBER(decodeDisplayCh1Btn),
        TELVANE_MEMBER(decodeDisplayCh2Btn),
        TELVANE_MEMBER(decodeDisplayCh3Btn),
        TELVANE_MEMBER(decodeDisplayCh4Btn),
        TELVANE_MEMBER(decodeFPSLabel),
        TELVANE_MEMBER(decodeFPS30Btn),
        TELVANE_MEMBER(decodeFPS60Btn),
        TELVANE_MEMBER(decodeFPSBtnGroup),
        TELVANE_MEMBER(decodeDisplayCh12Btn),
        TELVANE_MEMBER(decodeDisplayCh34Btn),
        TELVANE_MEMBER(decodeDisplayQuadBtn),
        TELVANE_MEMBER(decodeDisplayBtnGroup),
        TELVANE_MEMBER(decodeAudioGroupBox),
        TELVANE_MEMBER(decodeAudioCh1Btn),
        TELVANE_MEMBER(decodeAudioCh2Btn),
        TELVANE_MEMBER(decodeAudioCh3Btn),
        TELVANE_MEMBER(decodeAudioCh4Btn),
        TELVANE_MEMBER(decodeAudioOffBtn),
        TELVANE_MEMBER(decodeAudioBtnGroup),
        TELVANE_MEMBER(decodeResolutionGroupBox),
        TELVANE_MEMBER(decodeResolutionLabel),
        TELVANE_MEMBER(decodeResolution1080Btn),
        TELVANE_MEMBER(decodeResolution4kBtn),
        TELVANE_MEMBER(decodeResolutionBtnGroup),
    };
}

#undef TELVANE_MEMBER

QObject* TelvaneTestAccess::member(Telvane& window, const QString& name) {
    for (const auto& entry : members(window)) {
        if (entry.first == name) {
            return entry.second;
        }
    }
    return nullptr;
}

QTimer* TelvaneTestAccess::actuatorTimer(Telvane& window) {
    return window.actuatorTimer;
}

QWidget* TelvaneTestAccess::videoWidget(Telvane& window) {
    return window.videoWidget;
}

ProbeTelvane::ProbeTelvane(const DeviceTable& devices) : Telvane(devices, idleLauncher()) {}

QString ProbeTelvane::askUpgradeFilePath() {
    return chosenFile;
}

bool ProbeTelvane::eventFilter(QObject* obj, QEvent* event) {
    filteredEvents.append({obj, static_cast<int>(event->type())});
    return Telvane::eventFilter(obj, event);
}

void ProbeTelvane::slotEntered(const char* slot, std::optional<int> argument) {
    entries.append(QStringLiteral("%1(%2)").arg(QLatin1String(slot),
                                                argument ? QString::number(*argument) : QString()));
}
