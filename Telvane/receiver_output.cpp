#include "receiver_output.h"

#include <cstring>

namespace {

constexpr int kDisplayReadTimeoutMs = 1000;
constexpr int kDisplayWriteTimeoutMs = 2000;
constexpr int kEncoderReadTimeoutMs = 1000;
constexpr int kEncoderWriteTimeoutMs = 3000;

// Windows of each layout, by the checked id of the display group, in percent of the picture.
struct Layout {
    int count;
    DisplayWindow windows[4];
};
const Layout kLayouts[ReceiverOutput::kLayoutCount] = {
    {1, {{1, 0, 0, 100, 100}}},
    {1, {{2, 0, 0, 100, 100}}},
    {1, {{3, 0, 0, 100, 100}}},
    {1, {{4, 0, 0, 100, 100}}},
    {2, {{1, 0, 0, 50, 100}, {2, 50, 0, 50, 100}}},
    {2, {{3, 0, 0, 50, 100}, {4, 50, 0, 50, 100}}},
    {4, {{1, 0, 0, 50, 50}, {2, 50, 0, 50, 50}, {3, 0, 50, 50, 50}, {4, 50, 50, 50, 50}}},
};

// Channels (bit n for channel n + 1) whose sound can be chosen with each layout.
constexpr unsigned kShownChannels[ReceiverOutput::kLayoutCount] = {0x1, 0x2, 0x4, 0x8,
                                                                   0x3, 0xC, 0xF};

const char kResolution1080[] = "1080P60";
const char kResolution4k[] = "3840x2160P30";

bool isLayout(int id) {
    return id >= 0 && id < ReceiverOutput::kLayoutCount;
}

}  // namespace

ReceiverOutput::Enabled ReceiverOutput::enabledFor(int layout) {
    Enabled enabled;
    enabled.frameRate = layout < kFirstTwoWindowLayoutId;
    const unsigned shown = isLayout(layout) ? kShownChannels[layout] : 0;
    for (size_t channel = 0; channel < enabled.audioChannels.size(); ++channel) {
        enabled.audioChannels[channel] = ((shown >> channel) & 1u) != 0;
    }
    return enabled;
}

ReceiverOutput::Write ReceiverOutput::writeFor(const Choice& choice, Click click) {
    Write request;
    std::memset(&request.display, 0, sizeof request.display);
    // The sound of a channel that the layout does not show is none.
    const Enabled enabled = enabledFor(choice.layout);
    request.display.audio = choice.audio >= 0 && choice.audio < kAudioOffId &&
                                    enabled.audioChannels[static_cast<size_t>(choice.audio)]
                                ? choice.audio + 1
                                : -1;
    std::strcpy(request.display.resolution,
                choice.resolution == kResolution1080Id ? kResolution1080 : kResolution4k);
    if (isLayout(choice.layout)) {
        const Layout& layout = kLayouts[choice.layout];
        request.display.count = layout.count;
        std::memcpy(request.display.windows, layout.windows,
                    sizeof(DisplayWindow) * static_cast<size_t>(layout.count));
    }
    request.withEncoders = click == Click::Layout || click == Click::FrameRate;
    request.withFrameRate = click == Click::FrameRate;
    request.frameRate = choice.frameRate == kFrameRate60Id ? 60 : 30;
    return request;
}

ReceiverOutput::Choice ReceiverOutput::choiceFor(const DisplayConfig& display, bool frameRate60,
                                                 const Choice& current) {
    Choice choice = current;
    // Exactly "1080P60": a longer text that begins with it counts as 4K.
    choice.resolution =
        std::memcmp(display.resolution, kResolution1080, sizeof kResolution1080) == 0
            ? kResolution1080Id
            : kResolution1080Id + 1;
    choice.audio = display.audio >= 1 && display.audio <= 4 ? display.audio - 1 : kAudioOffId;
    const int firstId = display.windows[0].id;
    if (display.count == 1 && firstId >= 1 && firstId <= 4) {
        choice.layout = firstId - 1;
    } else if (display.count == 2) {
        choice.layout = firstId > 2 ? kFirstTwoWindowLayoutId + 1 : kFirstTwoWindowLayoutId;
    } else if (display.count == 4) {
        choice.layout = kLayoutCount - 1;
    }
    if (display.count == 1) {
        choice.frameRate = frameRate60 ? kFrameRate60Id : kFrameRate60Id - 1;
    }
    return choice;
}

ReceiverOutput::WriteResult ReceiverOutput::write(KorvexSession* session, Write request) {
    WriteResult result;
    result.display = askDevice(kDisplayWriteTimeoutMs, [&] {
        return KORVEX_SetConfig(session, CFG_SET_DISPLAY, &request.display, sizeof request.display,
                                kDisplayWriteTimeoutMs, 0);
    });
    if (result.display != DeviceAnswer::Done || !request.withEncoders ||
        (request.display.count == 1 && !request.withFrameRate)) {
        return result;
    }
    for (int i = 0; i < request.display.count; ++i) {
        const int channel = request.display.windows[i].id;
        VideoEncodeConfig encoder;
        std::memset(&encoder, 0, sizeof encoder);
        if (KORVEX_GetConfig(session, CFG_GET_VIDEOENC, &encoder, sizeof encoder,
                             kEncoderReadTimeoutMs, channel) != 0) {
            result.encodersNotSet.push_back(channel);
            continue;
        }
        if (request.display.count == 1) {
            encoder.frameRate = request.frameRate;
            encoder.keyGop = request.frameRate * 2;
        }
        if (KORVEX_SetConfig(session, CFG_SET_VIDEOENC, &encoder, sizeof encoder,
                             kEncoderWriteTimeoutMs, channel) != 0) {
            result.encodersNotSet.push_back(channel);
        }
    }
    return result;
}

ReceiverOutput::Reading ReceiverOutput::read(KorvexSession* session) {
    Reading reading;
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

bool ReceiverOutput::writeAnswered(int number, const Choice& sent, DeviceAnswer display) {
    writesAnswered = number;
    if (number != writesSent) {
        return false;
    }
    if (display == DeviceAnswer::Done) {
        outputShown = sent;
        return false;
    }
    return true;
}

std::optional<int> ReceiverOutput::startReread() {
    if (rereadRunning || writesAnswered != writesSent) {
        return std::nullopt;
    }
    rereadRunning = true;
    return writesSent;
}

std::optional<ReceiverOutput::Choice> ReceiverOutput::rereadAnswered(int number,
                                                                     const Reading& reading,
                                                                     const Choice& current) {
    rereadRunning = false;
    if (number != writesSent || !reading.displayRead) {
        return std::nullopt;
    }
    outputKnown = true;
    outputShown = choiceFor(reading.display, reading.frameRate60, current);
    return outputShown;
}
