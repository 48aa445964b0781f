// The left-hand panel: what the receiver shows on its HDMI output, sent on every click and read
// back every three seconds.

#include "telvane.h"

#include "hdmi_device_proxy.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QPushButton>

#include <cstring>

namespace {

constexpr int kDisplayReadTimeoutMs = 1000;
constexpr int kDisplayWriteTimeoutMs = 2000;
constexpr int kEncoderReadTimeoutMs = 1000;
constexpr int kEncoderWriteTimeoutMs = 3000;

constexpr int kFps60Id = 1;
constexpr int kResolution1080Id = 0;
constexpr int kAudioOffId = 4;
constexpr int kFirstTwoWindowLayoutId = 4;

// Windows of each layout, by the checked id of the display group, in percent of the picture.
struct Layout {
    int count;
    DisplayWindow windows[4];
};
const Layout kLayouts[] = {
    {1, {{1, 0, 0, 100, 100}}},
    {1, {{2, 0, 0, 100, 100}}},
    {1, {{3, 0, 0, 100, 100}}},
    {1, {{4, 0, 0, 100, 100}}},
    {2, {{1, 0, 0, 50, 100}, {2, 50, 0, 50, 100}}},
    {2, {{3, 0, 0, 50, 100}, {4, 50, 0, 50, 100}}},
    {4, {{1, 0, 0, 50, 50}, {2, 50, 0, 50, 50}, {3, 0, 50, 50, 50}, {4, 50, 50, 50, 50}}},
};

// Channels (bit n for channel n + 1) whose sound can be chosen with each layout.
constexpr unsigned kShownChannels[] = {0x1, 0x2, 0x4, 0x8, 0x3, 0xC, 0xF};

// The receiver queue's kind for output writes: the last click waiting there wins.
constexpr int kDecodeOutputWrite = 1;

}  // namespace

// What a click sends: the whole panel, and whether the shown channels' encoders are rewritten.
struct Telvane::DecodeOutputWrite {
    DisplayConfig display;
    bool withEncoders = false;
    bool withFrameRate = false;
    int32_t frameRate = 30;  // for a one-channel layout, with withFrameRate
};

// What came of a click: the layout's answer, and the shown channels whose encoder could not be
// read or written.
struct Telvane::DecodeOutputResult {
    DeviceAnswer display = DeviceAnswer::NoAnswer;
    QList<int> encodersNotSet;
};

// What a re-read found.
struct Telvane::DecodeOutputReading {
    bool displayRead = false;
    DisplayConfig display;
    bool frameRate60 = false;
};

// Runs on the receiver's thread: the layout, then the encoders of the shown channels (reached
// through the receiver by channel number).
Telvane::DecodeOutputResult Telvane::writeDecodeOutput(KorvexSession* session,
                                                       DecodeOutputWrite write) {
    DecodeOutputResult result;
    result.display = AskDevice(kDisplayWriteTimeoutMs, [&] {
        return KORVEX_SetConfig(session, CFG_SET_DISPLAY, &write.display, sizeof write.display,
                                kDisplayWriteTimeoutMs, 0);
    });
    if (result.display != DeviceAnswer::Done || !write.withEncoders ||
        (write.display.count == 1 && !write.withFrameRate)) {
        return result;
    }
    for (int i = 0; i < write.display.count; ++i) {
        const int channel = write.display.windows[i].id;
        VideoEncodeConfig encoder;
        std::memset(&encoder, 0, sizeof encoder);
        if (KORVEX_GetConfig(session, CFG_GET_VIDEOENC, &encoder, sizeof encoder,
                             kEncoderReadTimeoutMs, channel) != 0) {
            result.encodersNotSet << channel;
            continue;
        }
        if (write.display.count == 1) {
            encoder.frameRate = write.frameRate;
            encoder.keyGop = write.frameRate * 2;
        }
        if (KORVEX_SetConfig(session, CFG_SET_VIDEOENC, &encoder, sizeof encoder,
                             kEncoderWriteTimeoutMs, channel) != 0) {
            result.encodersNotSet << channel;
        }
    }
    return result;
}

// Runs on the receiver's thread: the layout and, for one window, the frame rate of its channel.
Telvane::DecodeOutputReading Telvane::readDecodeOutput(KorvexSession* session) {
    DecodeOutputReading reading;
    std::memset(&reading.display, 0, sizeof reading.display);
    reading.displayRead = KORVEX_GetConfig(session, CFG_GET_DISPLAY, &reading.display,
                                           sizeof reading.display, kDisplayReadTimeoutMs, 0) == 0;
    if (reading.displayRead && reading.display.count == 1) {
        VideoEncodeConfig encoder;
        std::memset(&encoder, 0, sizeof encoder);
        reading.frameRate60 =
            KORVEX_GetConfig(session, CFG_GET_VIDEOENC, &encoder, sizeof encoder,
                             kEncoderReadTimeoutMs, reading.display.windows[0].id) == 0 &&
            encoder.frameRate == 60;
    }
    return reading;
}

// The clicked id is not needed: every click sends the whole panel as its buttons show it.
void Telvane::decodeDisplayBtnClick(int) {
    applyDecodeOutput(DecodeClick::Layout, true, false);
}

void Telvane::decodeFPSBtnClick(int) {
    applyDecodeOutput(DecodeClick::FrameRate, true, true);
}

void Telvane::decodeAudioBtnClick(int) {
    applyDecodeOutput(DecodeClick::Sound, false, false);
}

void Telvane::decodeResolutionBtnClick(int) {
    applyDecodeOutput(DecodeClick::Resolution, false, false);
}

void Telvane::updateDecodeButtonStates() {
    const int layout = decodeDisplayBtnGroup->checkedId();
    for (QAbstractButton* button : decodeFPSBtnGroup->buttons()) {
        button->setEnabled(layout < kFirstTwoWindowLayoutId);
    }
    const unsigned shown = layout >= 0 && layout < static_cast<int>(std::size(kShownChannels))
                               ? kShownChannels[layout]
                               : 0;
    QPushButton* const channels[] = {decodeAudioCh1Btn, decodeAudioCh2Btn, decodeAudioCh3Btn,
                                     decodeAudioCh4Btn};
    for (int channel = 0; channel < 4; ++channel) {
        channels[channel]->setEnabled((shown >> channel) & 1u);
    }
}

void Telvane::applyDecodeOutput(DecodeClick click, bool withEncoders, bool withFrameRate) {
    HDMIDeviceProxy* proxy = usableReceiver();
    if (proxy == nullptr || !decodeOutputKnown) {
        // Nothing may go out before the receiver's state is known (the missing choices would
        // switch its picture and sound off), and the buttons keep showing what it reported.
        checkDecodeButtons(decodeOutputShown);
        updateDecodeButtonStates();
        report(proxy == nullptr ? tr("Receiver: not connected")
                                : tr("Receiver: its settings are not read yet"));
        return;
    }
    updateDecodeButtonStates();
    const DecodeButtons sent = checkedDecodeButtons();

    DecodeOutputWrite write;
    std::memset(&write.display, 0, sizeof write.display);
    QAbstractButton* audioButton = decodeAudioBtnGroup->button(sent.audio);
    write.display.audio = sent.audio >= 0 && sent.audio < kAudioOffId && audioButton->isEnabled()
                              ? sent.audio + 1
                              : -1;
    std::strcpy(write.display.resolution,
                sent.resolution == kResolution1080Id ? "1080P60" : "3840x2160P30");
    if (sent.layout >= 0 && sent.layout < static_cast<int>(std::size(kLayouts))) {
        write.display.count = kLayouts[sent.layout].count;
        std::memcpy(write.display.windows, kLayouts[sent.layout].windows,
                    sizeof(DisplayWindow) * static_cast<size_t>(write.display.count));
    }
    write.withEncoders = withEncoders;
    write.withFrameRate = withFrameRate;
    write.frameRate = sent.frameRate == kFps60Id ? 60 : 30;

    // A click that finds the previous one still waiting in the queue takes its place.
    const int generation = ++decodeWritesRequested;
    runOnDevice(
        proxy, [write](KorvexSession* session) { return writeDecodeOutput(session, write); },
        [generation, click, sent](Telvane& window, const DecodeOutputResult& result) {
            window.decodeOutputWritten(generation, click, sent, result);
        },
        kDecodeOutputWrite);
}

void Telvane::decodeOutputWritten(int generation, DecodeClick click, const DecodeButtons& sent,
                                  const DecodeOutputResult& result) {
    decodeWritesAnswered = generation;
    const bool latest = generation == decodeWritesRequested;
    if (result.display == DeviceAnswer::Done) {
        if (latest) {
            decodeOutputShown = sent;
        }
    } else if (latest) {
        // What the receiver did not take is not shown as if it had.
        checkDecodeButtons(decodeOutputShown);
        updateDecodeButtonStates();
    }
    QString text;
    if (result.display != DeviceAnswer::Done) {
        const QString refused[] = {
            tr("Receiver refused the layout"), tr("Receiver refused the frame rate"),
            tr("Receiver refused the sound"), tr("Receiver refused the resolution")};
        text = result.display == DeviceAnswer::NoAnswer ? tr("Receiver: no answer")
                                                        : refused[static_cast<int>(click)];
    } else {
        switch (click) {
            case DecodeClick::Layout:
                text = tr("Receiver shows %1").arg(decodeLayoutName(sent.layout));
                break;
            case DecodeClick::FrameRate:
                text = tr("Receiver shows %1 at %2 fps")
                           .arg(decodeLayoutName(sent.layout))
                           .arg(sent.frameRate == kFps60Id ? 60 : 30);
                break;
            case DecodeClick::Sound:
                text = sent.audio >= 0 && sent.audio < kAudioOffId
                           ? tr("Receiver plays the sound of CH%1").arg(sent.audio + 1)
                           : tr("Receiver plays no sound");
                break;
            case DecodeClick::Resolution:
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
    }
    report(text);
}

void Telvane::getDecodeDeviceInfo() {
    HDMIDeviceProxy* proxy = usableReceiver();
    if (proxy == nullptr) {
        return;
    }
    // Reading while a click is on its way would show the receiver's state from before it.
    if (decodeReadRunning || decodeWritesAnswered != decodeWritesRequested) {
        return;
    }
    decodeReadRunning = true;
    const int generation = decodeWritesRequested;
    runOnDevice(
        proxy, [](KorvexSession* session) { return readDecodeOutput(session); },
        [generation](Telvane& window, const DecodeOutputReading& reading) {
            window.decodeOutputRead(generation, reading);
        });
}

void Telvane::decodeOutputRead(int generation, const DecodeOutputReading& reading) {
    decodeReadRunning = false;
    if (generation != decodeWritesRequested || !reading.displayRead) {
        return;
    }
    showDecodeOutput(reading.display);
    if (reading.display.count == 1) {
        (reading.frameRate60 ? decodeFPS60Btn : decodeFPS30Btn)->setChecked(true);
    }
    decodeOutputKnown = true;
    decodeOutputShown = checkedDecodeButtons();
}

Telvane::DecodeButtons Telvane::checkedDecodeButtons() const {
    return {decodeDisplayBtnGroup->checkedId(), decodeFPSBtnGroup->checkedId(),
            decodeAudioBtnGroup->checkedId(), decodeResolutionBtnGroup->checkedId()};
}

// Checks the given ids in code (no buttonClicked), and none in a group where the id is -1.
void Telvane::checkDecodeButtons(const DecodeButtons& buttons) {
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
}

void Telvane::showDecodeOutput(const DisplayConfig& display) {
    // Checked in code: no buttonClicked, so reading the receiver never writes back to it.
    const bool is1080 = std::memcmp(display.resolution, "1080P60", 8) == 0;
    (is1080 ? decodeResolution1080Btn : decodeResolution4kBtn)->setChecked(true);

    QPushButton* const audioButtons[] = {decodeAudioCh1Btn, decodeAudioCh2Btn, decodeAudioCh3Btn,
                                         decodeAudioCh4Btn};
    if (display.audio >= 1 && display.audio <= 4) {
        audioButtons[display.audio - 1]->setChecked(true);
    } else {
        decodeAudioOffBtn->setChecked(true);
    }

    QPushButton* const singleButtons[] = {decodeDisplayCh1Btn, decodeDisplayCh2Btn,
                                          decodeDisplayCh3Btn, decodeDisplayCh4Btn};
    const int firstId = display.windows[0].id;
    if (display.count == 1 && firstId >= 1 && firstId <= 4) {
        singleButtons[firstId - 1]->setChecked(true);
    } else if (display.count == 2) {
        (firstId > 2 ? decodeDisplayCh34Btn : decodeDisplayCh12Btn)->setChecked(true);
    } else if (display.count == 4) {
        decodeDisplayQuadBtn->setChecked(true);
    }
    updateDecodeButtonStates();
}
