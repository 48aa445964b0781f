// The left-hand panel: what the receiver shows on its HDMI output, sent on every click and read
// back every three seconds. Its rules are ReceiverOutput's; here are the buttons and the texts.

#include "telvane.h"

#include "hdmi_device_proxy.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QPushButton>

namespace {

// The receiver queue's kind for output writes: the last click waiting there wins.
constexpr int kDecodeOutputWrite = 1;

}  // namespace

// The clicked id is not needed: every click sends the whole panel as its buttons show it.
void Telvane::decodeDisplayBtnClick(int) {
    applyDecodeOutput(ReceiverOutput::Click::Layout);
}

void Telvane::decodeFPSBtnClick(int) {
    applyDecodeOutput(ReceiverOutput::Click::FrameRate);
}

void Telvane::decodeAudioBtnClick(int) {
    applyDecodeOutput(ReceiverOutput::Click::Sound);
}

void Telvane::decodeResolutionBtnClick(int) {
    applyDecodeOutput(ReceiverOutput::Click::Resolution);
}

void Telvane::updateDecodeButtonStates() {
    const ReceiverOutput::Enabled enabled =
        ReceiverOutput::enabledFor(decodeDisplayBtnGroup->checkedId());
    for (QAbstractButton* button : decodeFPSBtnGroup->buttons()) {
        button->setEnabled(enabled.frameRate);
    }
    QPushButton* const channels[] = {decodeAudioCh1Btn, decodeAudioCh2Btn, decodeAudioCh3Btn,
                                     decodeAudioCh4Btn};
    for (size_t channel = 0; channel < enabled.audioChannels.size(); ++channel) {
        channels[channel]->setEnabled(enabled.audioChannels[channel]);
    }
}

void Telvane::applyDecodeOutput(ReceiverOutput::Click click) {
    HDMIDeviceProxy* proxy = usableReceiver();
    if (proxy == nullptr || !decodeOutput.known()) {
        // Nothing goes out, and the buttons keep showing what the receiver reported.
        showDecodeOutput(decodeOutput.shown());
        report(proxy == nullptr ? tr("Receiver: not connected")
                                : tr("Receiver: its settings are not read yet"));
        return;
    }
    updateDecodeButtonStates();
    const ReceiverOutput::Choice sent = checkedDecodeButtons();
    const ReceiverOutput::Write write = ReceiverOutput::writeFor(sent, click);
    // A click that finds the previous one still waiting in the queue takes its place.
    const int number = decodeOutput.writeSent();
    runOnDevice(
        proxy, [write](KorvexSession* session) { return ReceiverOutput::write(session, write); },
        [number, click, sent](Telvane& window, const ReceiverOutput::WriteResult& result) {
            window.decodeOutputWritten(number, click, sent, result);
        },
        kDecodeOutputWrite);
}

void Telvane::decodeOutputWritten(int number, ReceiverOutput::Click click,
                                  const ReceiverOutput::Choice& sent,
                                  const ReceiverOutput::WriteResult& result) {
    if (decodeOutput.writeAnswered(number, sent, result.display)) {
        // What the receiver did not take is not shown as if it had.
        showDecodeOutput(decodeOutput.shown());
    }
    report(decodeOutputText(click, sent, result));
}

QString Telvane::decodeOutputText(ReceiverOutput::Click click, const ReceiverOutput::Choice& sent,
                                  const ReceiverOutput::WriteResult& result) const {
    if (result.display != DeviceAnswer::Done) {
        const QString refused[] = {
            tr("Receiver refused the layout"), tr("Receiver refused the frame rate"),
            tr("Receiver refused the sound"), tr("Receiver refused the resolution")};
        return result.display == DeviceAnswer::NoAnswer ? tr("Receiver: no answer")
                                                        : refused[static_cast<int>(click)];
    }
    QString text;
    switch (click) {
        case ReceiverOutput::Click::Layout:
            text = tr("Receiver shows %1").arg(decodeLayoutName(sent.layout));
            break;
        case ReceiverOutput::Click::FrameRate:
            text = tr("Receiver shows %1 at %2 fps")
                       .arg(decodeLayoutName(sent.layout))
                       .arg(sent.frameRate == ReceiverOutput::kFrameRate60Id ? 60 : 30);
            break;
        case ReceiverOutput::Click::Sound:
            text = sent.audio >= 0 && sent.audio < ReceiverOutput::kAudioOffId
                       ? tr("Receiver plays the sound of CH%1").arg(sent.audio + 1)
                       : tr("Receiver plays no sound");
            break;
        case ReceiverOutput::Click::Resolution:
            text = tr("Receiver outputs %1")
                       .arg(decodeResolutionBtnGroup->button(sent.resolution)->text());
            break;
    }
    QStringList channels;
    for (int channel : result.encodersNotSet) {
        channels << QStringLiteral("CH%1").arg(channel);
    }
    if (!channels.isEmpty()) {
        text = tr("%1; encoders not set: %2").arg(text, channels.join(QStringLiteral(", ")));
    }
    return text;
}

void Telvane::getDecodeDeviceInfo() {
    HDMIDeviceProxy* proxy = usableReceiver();
    if (proxy == nullptr) {
        return;
    }
    const std::optional<int> number = decodeOutput.startReread();
    if (!number) {
        return;
    }
    runOnDevice(
        proxy, [](KorvexSession* session) { return ReceiverOutput::read(session); },
        [number = *number](Telvane& window, const ReceiverOutput::Reading& reading) {
            window.decodeOutputRead(number, reading);
        });
}

void Telvane::decodeOutputRead(int number, const ReceiverOutput::Reading& reading) {
    if (const auto shown = decodeOutput.rereadAnswered(number, reading, checkedDecodeButtons())) {
        showDecodeOutput(*shown);
    }
}

ReceiverOutput::Choice Telvane::checkedDecodeButtons() const {
    return {decodeDisplayBtnGroup->checkedId(), decodeFPSBtnGroup->checkedId(),
            decodeAudioBtnGroup->checkedId(), decodeResolutionBtnGroup->checkedId()};
}

// Checks the given ids in code (no buttonClicked, so that showing the receiver's state never
// writes back to it), and none in a group where the id is -1; then the enabled states.
void Telvane::showDecodeOutput(const ReceiverOutput::Choice& buttons) {
    const std::pair<QButtonGroup*, int> choices[] = {
        {decodeDisplayBtnGroup, buttons.layout},
        {decodeFPSBtnGroup, buttons.frameRate},
        {decodeAudioBtnGroup, buttons.audio},
        {decodeResolutionBtnGroup, buttons.resolution}};
    for (const auto& [group, id] : choices) {
        if (QAbstractButton* button = group->button(id)) {
            button->setChecked(true);
        } else if (QAbstractButton* checked = group->checkedButton()) {
            // An exclusive group keeps one button checked unless it is told otherwise for a moment.
            group->setExclusive(false);
            checked->setChecked(false);
            group->setExclusive(true);
        }
    }
    updateDecodeButtonStates();
}
