#pragma once

// The receiver panel's rules without its widgets: which DisplayConfig the checked buttons of its
// four groups stand for and back, which buttons a layout leaves usable, the exchanges of a click
// and of a re-read, and whether a re-read may be shown.

#include "device_answer.h"

#include <Korvex.h>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

class ReceiverOutput {
  public:
    // Ids of the panel's button groups.
    static constexpr int kLayoutCount = 7;             // CH1..CH4, CH1|CH2, CH3|CH4, all four
    static constexpr int kFirstTwoWindowLayoutId = 4;  // CH1|CH2; from here on no frame rate
    static constexpr int kFrameRate60Id = 1;
    static constexpr int kAudioOffId = 4;  // "X"
    static constexpr int kResolution1080Id = 0;

    // The checked id of each of the four groups; -1 where none is checked.
    struct Choice {
        int layout = -1;
        int frameRate = -1;
        int audio = -1;
        int resolution = -1;

        bool operator==(const Choice& other) const {
            return layout == other.layout && frameRate == other.frameRate && audio == other.audio &&
                   resolution == other.resolution;
        }
    };

    // What a layout leaves enabled: the frame rate buttons (one channel alone) and the sound
    // buttons of the channels it shows. "X" is always enabled.
    struct Enabled {
        bool frameRate = false;
        std::array<bool, 4> audioChannels{};
    };
    static Enabled enabledFor(int layout);

    // Which group was clicked: the layout and the frame rate rewrite the shown channels' encoders
    // too, the frame rate with its rate when one channel is shown alone.
    enum class Click { Layout, FrameRate, Sound, Resolution };

    // What a click sends: the whole panel as its buttons show it.
    struct Write {
        DisplayConfig display{};
        bool withEncoders = false;
        bool withFrameRate = false;
        int32_t frameRate = 30;  // for a one-channel layout, with withFrameRate
    };
    static Write writeFor(const Choice& choice, Click click);

    // The buttons that show what the receiver reported (`frameRate60`: the frame rate of the
    // channel shown alone). A group that the report does not decide keeps its `current` id.
    static Choice choiceFor(const DisplayConfig& display, bool frameRate60, const Choice& current);

    // What came of a click: the layout's answer, and the shown channels whose encoder could not
    // be read or written.
    struct WriteResult {
        DeviceAnswer display = DeviceAnswer::NoAnswer;
        std::vector<int> encodersNotSet;
    };
    // What a re-read found.
    struct Reading {
        bool displayRead = false;
        DisplayConfig display{};
        bool frameRate60 = false;
    };
    // The device side, on the receiver proxy's thread: SET_DISPLAY, then GET_VIDEOENC and
    // SET_VIDEOENC of each shown channel as the click asks (reached through the receiver by
    // channel number); and GET_DISPLAY with, for one window, the GET_VIDEOENC of its channel.
    static WriteResult write(KorvexSession* session, Write request);
    static Reading read(KorvexSession* session);

    // Whether the receiver's state has been read: before, a click sends nothing (the missing
    // choices would switch its picture and sound off).
    bool known() const { return outputKnown; }
    // What the panel last showed as the receiver's state; where a click is not sent or not taken,
    // the buttons go back to it.
    const Choice& shown() const { return outputShown; }

    // Counts a write as sent and returns its number.
    int writeSent() { return ++writesSent; }
    // A write's answer. True when the buttons must go back to shown(): the latest write, refused
    // or unanswered. Writes still queued are replaced by later ones, so some are never answered.
    bool writeAnswered(int number, const Choice& sent, DeviceAnswer display);

    // A re-read may start while no other runs and every write sent has been answered (one on
    // its way would be read back as the state from before it). Its number, counted as running.
    std::optional<int> startReread();
    // A re-read's answer: the buttons to show, or none when it failed or a click came after it
    // began. `current` is what the buttons show now.
    std::optional<Choice> rereadAnswered(int number, const Reading& reading, const Choice& current);

  private:
    int writesSent = 0;
    int writesAnswered = 0;
    bool rereadRunning = false;
    bool outputKnown = false;
    Choice outputShown;
};
