#pragma once

// What the operator keeps of the live picture, without the window's widgets: snapshots (PNG) and
// one recording (Matroska, through Lumadec's recorder) at a time.
//
// The recording belongs to a channel, not to a proxy: the window hands its recorder to every
// streaming proxy of that channel (a restart after a resize, a reconnection), so that one file
// goes on across them, and takes it back from all of them before it is closed. It ends when the
// operator stops it, chooses another channel or none, closes the window, when the recorder ends
// by itself (a failed write, another picture size or codec), or when the stream stays lost for
// kLostForGood. UI thread only.

#include <Lumadec.h>

#include <QDateTime>
#include <QImage>
#include <QString>

#include <chrono>
#include <optional>

class StreamCapture {
  public:
    using Clock = std::chrono::steady_clock;
    // A stream that has not come back after this long is lost for good.
    static constexpr std::chrono::seconds kLostForGood{30};

    // The stream a recording is opened for: its media information.
    struct Media {
        int width = 0;
        int height = 0;
        int videoCodec = 0;  // 1 H.265, anything else H.264
        bool audio = false;
    };

    // How a recording went, told when it has ended.
    struct Ended {
        int channel = 0;
        QString path;
        uint64_t bytes = 0;
        std::chrono::milliseconds length{0};
        bool kept = false;     // the file holds pictures (one without is removed)
        bool complete = true;  // written to its end; false after a failed write
        int32_t endReason = LUMADEC_RECORDING_END_NONE;
        int error = 0;  // errno value of the failed write or creation
    };

    // "CH1 2026-12-08 15-30-12.png": the channel and the local time, in a name every file system
    // takes.
    static QString fileName(int channel, const QDateTime& at, const QString& suffix);
    // Writes `picture` as PNG into `folder` (made if missing). The file's path, or nothing with
    // `error` set.
    static std::optional<QString> saveSnapshot(const QImage& picture, int channel,
                                               const QString& folder, const QDateTime& at,
                                               QString& error);

    StreamCapture() = default;
    ~StreamCapture();
    StreamCapture(const StreamCapture&) = delete;
    StreamCapture& operator=(const StreamCapture&) = delete;

    // Opens a recording of `channel` in `folder` (made if missing). False, with `error`, when the
    // file cannot be made; one already running is kept.
    bool start(int channel, const Media& media, const QString& folder, const QDateTime& at,
               QString& error);
    // Closes the recording: the caller has taken the recorder back from every proxy.
    Ended stop();

    bool recording() const { return recorder != nullptr; }
    int channel() const { return recordingChannel; }
    const QString& path() const { return recordingPath; }
    LumadecRecorder* handle() const { return recorder; }
    // The recorder's counters; their state is LUMADEC_RECORDING_ENDED when it ended by itself.
    LumadecRecordingStatus status() const;
    // How long it has run, by the clock of the operator's desk.
    std::chrono::milliseconds runningFor(Clock::time_point now) const;

    // The recorded channel's stream: gone (a failed or ended connection), back (started).
    void streamLost(Clock::time_point now);
    void streamBack();
    bool lostForGood(Clock::time_point now) const;

  private:
    LumadecRecorder* recorder = nullptr;
    int recordingChannel = 0;
    QString recordingPath;
    Clock::time_point startedAt;
    std::optional<Clock::time_point> lostSince;
};
