// What a screen reader says of the window, and the way the keyboard goes through it.
//
// A control keeps its caption as its accessible name where the caption can be spoken ("CH1",
// "Goto", "Control TX"); a caption that cannot ("-", "X", "CH1|CH2") or that is only a state
// ("OFF") gets a name of its own, and a combo box or a field is labelled by the label before it
// (its buddy: screen readers on Linux take a combo box's label from that relation, not its name).
// Every control also gets a description of what it does, since a caption alone rarely says that.
// The keyboard goes column by column, as the window is read: the receiver's panel, then the PC's,
// each top to bottom and every row left to right. In a group of exclusive buttons Tab stops once,
// at the button last used, and the arrow keys go on within the group (Qt's way with such groups).

#include "telvane.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>

#include <initializer_list>

void Telvane::describeForAssistiveTechnology() {
    videoWidget->setAccessibleName(tr("Live picture"));
    videoWidget->setAccessibleDescription(
        tr("The chosen channel's live picture. Double-click it for full screen; double-click "
           "again or press Esc to go back."));
    statusBar()->setAccessibleName(tr("Status bar"));
    statusBar()->setAccessibleDescription(tr("What the last action did, and the current stream"));
    streamStatusLabel->setAccessibleDescription(tr("The current stream"));

    decodeConnectStateLabel->setAccessibleDescription(tr("Whether the receiver answers"));
    QPushButton* const decodeDisplayChannels[] = {decodeDisplayCh1Btn, decodeDisplayCh2Btn,
                                                  decodeDisplayCh3Btn, decodeDisplayCh4Btn};
    QPushButton* const decodeAudioChannels[] = {decodeAudioCh1Btn, decodeAudioCh2Btn,
                                                decodeAudioCh3Btn, decodeAudioCh4Btn};
    for (int channel = 1; channel <= 4; ++channel) {
        decodeDisplayChannels[channel - 1]->setAccessibleDescription(
            tr("The receiver shows CH%1 alone on its HDMI output").arg(channel));
        decodeAudioChannels[channel - 1]->setAccessibleDescription(
            tr("Receiver plays the sound of CH%1").arg(channel));
    }
    for (QPushButton* button : {decodeFPS30Btn, decodeFPS60Btn}) {
        button->setAccessibleDescription(tr("Frame rate of a channel shown alone"));
    }
    decodeDisplayCh12Btn->setAccessibleName(tr("CH%1 and CH%2").arg(1).arg(2));
    decodeDisplayCh34Btn->setAccessibleName(tr("CH%1 and CH%2").arg(3).arg(4));
    for (QPushButton* button : {decodeDisplayCh12Btn, decodeDisplayCh34Btn}) {
        button->setAccessibleDescription(tr("The receiver shows two channels side by side"));
    }
    decodeDisplayQuadBtn->setAccessibleName(tr("CH%1 to CH%2").arg(1).arg(4));
    decodeDisplayQuadBtn->setAccessibleDescription(
        tr("The receiver shows all four channels, one in each quarter"));
    decodeAudioOffBtn->setAccessibleName(tr("No sound"));
    decodeAudioOffBtn->setAccessibleDescription(tr("Receiver plays no sound"));
    for (QPushButton* button : {decodeResolution1080Btn, decodeResolution4kBtn}) {
        button->setAccessibleDescription(tr("Resolution of the receiver's HDMI output"));
    }

    pcConnectStateLabel->setAccessibleDescription(tr("Whether the chosen transmitter streams"));
    QPushButton* const pcDisplayChannels[] = {pcDisplayCh1Btn, pcDisplayCh2Btn, pcDisplayCh3Btn,
                                              pcDisplayCh4Btn};
    for (int channel = 1; channel <= 4; ++channel) {
        pcDisplayChannels[channel - 1]->setAccessibleDescription(
            tr("Show the live picture of CH%1").arg(channel));
    }
    pcDisplayOffBtn->setAccessibleName(tr("No channel"));
    pcDisplayOffBtn->setAccessibleDescription(tr("Stop the live picture"));
    pcAudioBtn->setAccessibleName(tr("PC sound"));
    pcAudioBtn->setAccessibleDescription(tr("Play the chosen channel's sound on this PC"));

    actuatorIndexLabel->setBuddy(actuatorIndexCombo);
    actuatorIndexCombo->setAccessibleDescription(
        tr("The PWM output that the actuator commands drive"));
    actuatorDecBtn->setAccessibleName(tr("Decrease"));
    actuatorDecBtn->setAccessibleDescription(
        tr("Move the actuator towards lower values while held"));
    actuatorIncBtn->setAccessibleName(tr("Increase"));
    actuatorIncBtn->setAccessibleDescription(
        tr("Move the actuator towards higher values while held"));
    actuatorOutputLabel->setBuddy(actuatorOutputEdit);
    actuatorOutputEdit->setAccessibleDescription(tr("Position for Goto, 0 to 100"));
    actuatorIncMoveBtn->setAccessibleDescription(tr("Move the actuator to the output value"));
    actuatorTxBtn->setAccessibleDescription(tr("PWM commands go to the chosen transmitter"));
    actuatorRxBtn->setAccessibleDescription(tr("PWM commands go to the receiver"));

    ttlIndexLabel->setBuddy(ttlIndexCombo);
    ttlIndexCombo->setAccessibleDescription(tr("The serial TTL port to set"));
    ttlBaudrateLabel->setBuddy(ttlBaudrateCombo);
    ttlBaudrateCombo->setAccessibleDescription(tr("The baud rate to set"));
    ttlEncBtn->setAccessibleDescription(tr("Set the baud rate on the chosen transmitter"));
    ttlDecBtn->setAccessibleDescription(tr("Set the baud rate on the receiver"));

    upgradeFilePathLabel->setBuddy(upgradeFilePathEdit);
    upgradeFilePathEdit->setAccessibleDescription(tr("The firmware file to upload"));
    upgradeFileChooseBtn->setAccessibleDescription(tr("Choose the firmware file"));
    upgradeStatusLabel->setAccessibleDescription(tr("Progress and result of the firmware upload"));
    upgradeEncBtn->setAccessibleDescription(
        tr("Upload the firmware file to the chosen transmitter"));
    upgradeDecBtn->setAccessibleDescription(tr("Upload the firmware file to the receiver"));
}

void Telvane::setReadingFocusOrder() {
    const std::initializer_list<QWidget*> order = {
        decodeDisplayCh1Btn,
        decodeDisplayCh2Btn,
        decodeFPS30Btn,
        decodeDisplayCh3Btn,
        decodeDisplayCh4Btn,
        decodeFPS60Btn,
        decodeDisplayCh12Btn,
        decodeDisplayCh34Btn,
        decodeDisplayQuadBtn,
        decodeAudioCh1Btn,
        decodeAudioCh2Btn,
        decodeAudioCh3Btn,
        decodeAudioCh4Btn,
        decodeAudioOffBtn,
        decodeResolution1080Btn,
        decodeResolution4kBtn,
        pcDisplayCh1Btn,
        pcDisplayCh2Btn,
        pcDisplayCh3Btn,
        pcDisplayCh4Btn,
        pcDisplayOffBtn,
        pcAudioBtn,
        actuatorIndexCombo,
        actuatorDecBtn,
        actuatorIncBtn,
        actuatorOutputEdit,
        actuatorIncMoveBtn,
        actuatorTxBtn,
        actuatorRxBtn,
        ttlIndexCombo,
        ttlBaudrateCombo,
        ttlEncBtn,
        ttlDecBtn,
        upgradeFilePathEdit,
        upgradeFileChooseBtn,
        upgradeEncBtn,
        upgradeDecBtn,
    };
    QWidget* previous = nullptr;
    for (QWidget* widget : order) {
        if (previous != nullptr) {
            setTabOrder(previous, widget);
        }
        previous = widget;
    }
    // The focus chain is a ring, and Tab from the last control comes back to the first; where the
    // ring starts, Qt keeps (the panel built first). So the first control of the reading order
    // takes the focus itself, when the window first shows.
    (*order.begin())->setFocus();
}
