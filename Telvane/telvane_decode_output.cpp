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

}  // namespace

void Telvane::decodeDisplayBtnClick(int btnID) {
    slotEntered(__func__, btnID);
    applyDecodeOutput(true, false);
}

void Telvane::decodeFPSBtnClick(int btnID) {
    slotEntered(__func__, btnID);
    applyDecodeOutput(true, true);
}

void Telvane::decodeAudioBtnClick(int btnID) {
    slotEntered(__func__, btnID);
    applyDecodeOutput(false, false);
}

void Telvane::decodeResolutionBtnClick(int btnID) {
    slotEntered(__func__, btnID);
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
    KorvexSession* session = proxy->currentSession();
    const int layout = decodeDisplayBtnGroup->checkedId();
    const int audio = decodeAudioBtnGroup->checkedId();

    DisplayConfig display;
    std::memset(&display, 0, sizeof display);
    QAbstractButton* audioButton = decodeAudioBtnGroup->button(audio);
    display.audio = audio >= 0 && audio < kAudioOffId && audioButton->isEnabled() ? audio + 1 : -1;
    std::strcpy(display.resolution, decodeResolutionBtnGroup->checkedId() == kResolution1080Id
                                        ? "1080P60"
                                        : "3840x2160P30");
    if (layout >= 0 && layout < static_cast<int>(std::size(kLayouts))) {
        display.count = kLayouts[layout].count;
        std::memcpy(display.windows, kLayouts[layout].windows,
                    sizeof(DisplayWindow) * static_cast<size_t>(display.count));
    }
    if (KORVEX_SetConfig(session, CFG_SET_DISPLAY, &display, sizeof display, kDisplayWriteTimeoutMs,
                         0) != 0) {
        return;
    }
    if (!withEncoders || (display.count == 1 && !withFrameRate)) {
        return;
    }
    // The shown transmitters are reached through the receiver, by channel number.
    for (int i = 0; i < display.count; ++i) {
        const int channel = display.windows[i].id;
        VideoEncodeConfig encoder;
        std::memset(&encoder, 0, sizeof encoder);
        if (KORVEX_GetConfig(session, CFG_GET_VIDEOENC, &encoder, sizeof encoder,
                             kEncoderReadTimeoutMs, channel) != 0) {
            continue;
        }
        if (display.count == 1) {
            const bool fps60 = decodeFPSBtnGroup->checkedId() == kFps60Id;
            encoder.frameRate = fps60 ? 60 : 30;
            encoder.keyGop = encoder.frameRate * 2;
        }
        KORVEX_SetConfig(session, CFG_SET_VIDEOENC, &encoder, sizeof encoder,
                         kEncoderWriteTimeoutMs, channel);
    }
}

void Telvane::getDecodeDeviceInfo() {
    slotEntered(__func__, std::nullopt);
    HDMIDeviceProxy* proxy = usableReceiver();
    if (proxy == nullptr) {
        return;
    }
    KorvexSession* session = proxy->currentSession();
    DisplayConfig display;
    std::memset(&display, 0, sizeof display);
    if (KORVEX_GetConfig(session, CFG_GET_DISPLAY, &display, sizeof display, kDisplayReadTimeoutMs,
                         0) != 0) {
        return;
    }
    showDecodeOutput(display);
    if (display.count != 1) {
        return;
    }
    VideoEncodeConfig encoder;
    std::memset(&encoder, 0, sizeof encoder);
    const bool read = KORVEX_GetConfig(session, CFG_GET_VIDEOENC, &encoder, sizeof encoder,
                                       kEncoderReadTimeoutMs, display.windows[0].id) == 0;
    (read && encoder.frameRate == 60 ? decodeFPS60Btn : decodeFPS30Btn)->setChecked(true);
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
