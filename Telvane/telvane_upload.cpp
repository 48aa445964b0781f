// The firmware upload's slots and events: the file choice, the click, the upload's reports, and
// its verdict. The flow's rules are UploadFlow's; here are the buttons and the texts.

#include "telvane.h"

#include "hdmi_device_proxy.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

const char kRed[] = "color:red;";
const char kGreen[] = "color:green;";
const char kBlack[] = "color:black;";

}  // namespace

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
    if (!upload.start(proxy)) {
        return;
    }
    // The buttons go off at the click already, so that a second click cannot start another upload
    // while the first is being started; a refusal turns them on again.
    setUpgradeButtonsEnabled(false);
    const QByteArray path = upgradeFilePathEdit->text().toLocal8Bit();
    runOnDevice(
        proxy, [path](KorvexSession* session) { return KORVEX_Upgrade(session, path.constData()); },
        [](Telvane& window, int result) { window.upgradeStartAnswered(result); });
}

// The upload's own events can arrive before this answer: a verdict that came first has ended
// the upload already.
void Telvane::upgradeStartAnswered(int result) {
    if (result != 0) {
        upgradeStatusLabel->setStyleSheet(kRed);
        upgradeStatusLabel->setText(tr("Upgrade Failed"));
        report(QFileInfo(upgradeFilePathEdit->text()).isFile()
                   ? tr("Upgrade of %1 refused").arg(uploadTargetName())
                   : tr("Upgrade of %1 refused: no such file").arg(uploadTargetName()));
        finishUpgrade();
    }
}

// Events 1000 to 1004 of the upload's session, from whichever proxy reports them.
void Telvane::showUploadEvent(void* device, int status) {
    switch (status) {
        case KORVEX_UPGRADE_STARTED:
            upgradeStatusLabel->setStyleSheet(kGreen);
            upgradeStatusLabel->setText(tr("Upgrade Preparing......"));
            break;
        case KORVEX_UPGRADE_PROGRESS: {
            // The upload's proxy lives until the upload has ended, and its reports arrive before.
            const QString percent =
                upload.runsOn(static_cast<HDMIDeviceProxy*>(device))
                    ? QStringLiteral(" %1%").arg(
                          static_cast<HDMIDeviceProxy*>(device)->latestUploadPercent())
                    : QString();
            if (upload.closeWaiting()) {
                upgradeStatusLabel->setText(tr("Upgrade running: wait for it to finish") + percent);
            } else {
                upgradeStatusLabel->setStyleSheet(kGreen);
                upgradeStatusLabel->setText(tr("Upgrade Uploading......") + percent);
            }
            break;
        }
        case KORVEX_UPGRADE_SENT:
            upgradeStatusLabel->setStyleSheet(kGreen);
            upgradeStatusLabel->setText(tr("Upgrading......"));
            break;
        case KORVEX_UPGRADE_SUCCEEDED:
            upgradeStatusLabel->setStyleSheet(kBlack);
            upgradeStatusLabel->setText(tr("Upgrade Success"));
            report(tr("Upgrade of %1 done").arg(uploadTargetName()));
            finishUpgrade();
            break;
        case KORVEX_UPGRADE_FAILED:
            upgradeStatusLabel->setStyleSheet(kRed);
            upgradeStatusLabel->setText(tr("Upgrade Failed"));
            report(tr("Upgrade of %1 failed").arg(uploadTargetName()));
            finishUpgrade();
            break;
        default:
            break;
    }
}

QString Telvane::uploadTargetName() const {
    return QString::fromLatin1(upload.targetName(decodeProxy));
}

void Telvane::finishUpgrade() {
    setUpgradeButtonsEnabled(true);
    const UploadFlow::AfterUpload after = upload.end();
    if (after.restartStream) {
        openEncodeDevice();
    }
    if (after.closeWindow) {
        close();
    }
}

// While an upload runs, the transmitter proxy whose session it uses must not be replaced.
void Telvane::setUpgradeButtonsEnabled(bool enabled) {
    upgradeEncBtn->setEnabled(enabled);
    upgradeDecBtn->setEnabled(enabled);
    for (QAbstractButton* button : pcDisplayBtnGroup->buttons()) {
        button->setEnabled(enabled);
    }
}
