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

// What a click sends: the whole panel, and whether the shown channels' encoders are rewritten.
struct DecodeOutputWrite {
    DisplayConfig display;
    bool withEncoders = false;
    bool withFrameRate = false;
    int32_t frameRate = 30;  // for a one-channel layout, with withFrameRate
};

// Runs on the receiver's thread: the layout, then the encoders of the shown channels (reached
// through the receiver by channel number). The layout's result.
int WriteDecodeOutput(KorvexSession* session, DecodeOutputWrite write) {
    const int result = KORVEX_SetConfig(session, CFG_SET_DISPLAY, &write.display,
                                        sizeof write.display, kDisplayWriteTimeoutMs, 0);
    if (result != 0 || !write.withEncoders || (write.display.count == 1 && !write.withFrameRate)) {
        return result;
    }
    for (int i = 0; i < write.display.count; ++i) {
        const int channel = write.display.windows[i].id;
        VideoEncodeConfig encoder;
        std::memset(&encoder, 0, sizeof encoder);
        if (KORVEX_GetConfig(session, CFG_GET_VIDEOENC, &encoder, sizeof encoder,
                             kEncoderReadTimeoutMs, channel) != 0) {
            continue;
        }
        if (write.display.count == 1) {
            encoder.frameRate = write.frameRate;
            encoder.keyGop = write.frameRate * 2;
        }
        KORVEX_SetConfig(session, CFG_SET_VIDEOENC, &encoder, sizeof encoder,
                         kEncoderWriteTimeoutMs, channel);
    }
    return result;
}

}  // namespace

// The clicked id is not needed: every click sends the whole panel as its buttons show it.
void Telvane::decodeDisplayBtnClick(int) {
    applyDecodeOutput(true, false);
}

void Telvane::decodeFPSBtnClick(int) {
    applyDecodeOutput(true, true);
}

void Telvane::decodeAudioBtnClick(int) {
    applyDecodeOutput(false, false);
}

void Telvane::decodeResolutionBtnClick(int) {
    applyDecodeOutput(false, false);
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

void Telvane::applyDecodeOutput(bool withEncoders, bool withFrameRate) {
    updateDecodeButtonStates();
    HDMIDeviceProxy* proxy = usableReceiver();
    if (proxy == nullptr) {
        return;
    }
    const int layout = decodeDisplayBtnGroup->checkedId();
    const int audio = decodeAudioBtnGroup->checkedId();

    DecodeOutputWrite write;
    std::memset(&write.display, 0, sizeof write.display);
    QAbstractButton* audioButton = decodeAudioBtnGroup->button(audio);
    write.display.audio =
        audio >= 0 && audio < kAudioOffId && audioButton->isEnabled() ? audio + 1 : -1;
    std::strcpy(write.display.resolution, decodeResolutionBtnGroup->checkedId() == kResolution1080Id
                                              ? "1080P60"
                                              : "3840x2160P30");
    if (layout >= 0 && layout < static_cast<int>(std::size(kLayouts))) {
        write.display.count = kLayouts[layout].count;
        std::memcpy(write.display.windows, kLayouts[layout].windows,
                    sizeof(DisplayWindow) * static_cast<size_t>(write.display.count));
    }
    write.withEncoders = withEncoders;
    write.withFrameRate = withFrameRate;
    write.frameRate = decodeFPSBtnGroup->checkedId() == kFps60Id ? 60 : 30;

    // A click that finds the previous one still waiting in the queue takes its place.
    const int generation = ++decodeWritesRequested;
    runOnDevice(
        proxy, [write](KorvexSession* session) { return WriteDecodeOutput(session, write); },
        [generation](Telvane& window, int) { window.decodeOutputWritten(generation); },
        kDecodeOutputWrite);
}

void Telvane::decodeOutputWritten(int generation) {
    decodeWritesAnswered = generation;
}

struct Telvane::DecodeOutputReading {
    bool displayRead = false;
    DisplayConfig display;
    bool frameRate60 = false;
};

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
        proxy,
        [](KorvexSession* session) {
            DecodeOutputReading reading;
            std::memset(&reading.display, 0, sizeof reading.display);
            reading.displayRead =
                KORVEX_GetConfig(session, CFG_GET_DISPLAY, &reading.display, sizeof reading.display,
                                 kDisplayReadTimeoutMs, 0) == 0;
            if (reading.displayRead && reading.display.count == 1) {
                VideoEncodeConfig encoder;
                std::memset(&encoder, 0, sizeof encoder);
                reading.frameRate60 =
                    KORVEX_GetConfig(session, CFG_GET_VIDEOENC, &encoder, sizeof encoder,
                                     kEncoderReadTimeoutMs, reading.display.windows[0].id) == 0 &&
                    encoder.frameRate == 60;
            }
            return reading;
        },
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
