#pragma once

#include <Korvex.h>
#include <Lumadec.h>

#include <QImage>
#include <QMutex>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

// What the window hands to a proxy: the device and, for a streaming proxy, where to draw.
struct DeviceProxyInfo {
    char address[128];  // dotted IPv4 text; at most 63 characters are used
    int32_t port;
    int32_t transport;  // KORVEX_TRANSPORT_TCP or KORVEX_TRANSPORT_UDP
    uint64_t window;    // native window for the picture; 0 for a monitoring proxy
};

// What a streaming proxy has seen of its stream so far, for the window's status bar.
struct StreamStatistics {
    bool described = false;  // a media-information record opened a player
    int32_t width = 0;
    int32_t height = 0;
    int32_t videoCodec = 0;  // 1 H.265, anything else H.264
    bool audio = false;      // the stream carries sound
    uint64_t picturesDecoded = 0;
    uint64_t picturesDropped = 0;  // to stay live, the decoder being behind
    uint64_t decodeErrors = 0;     // frames the decoder rejected
    uint64_t dataLossEvents = 0;   // session event 4 (UDP)
    // How long after their arrival the current player's pictures of the last second were drawn.
    std::chrono::microseconds delayP95{0};
    std::chrono::microseconds delayMax{0};
    std::chrono::steady_clock::time_point firstPictureAt{};  // none yet: the clock's epoch
};

// The PC plays the transmitter's sound. Written on the UI thread, read by the stream thread for
// every audio frame; while false, audio frames are replaced by a silent one.
extern std::atomic<bool> pcAudioEnabled;

// The player's link to one device, on a thread of its own. A monitoring proxy polls the device's
// system information every three seconds and reports 2 (answered) or 1 (not); a streaming proxy
// plays the device's live stream into a Lumadec player on `info.window`. Both forward their
// session's events through deviceNotify.
//
// The proxy's thread is also the device's command queue: the owner's device commands run there,
// one after the other in the order they were queued, with the proxy's session, so that a slow or
// silent device holds up only its own queue, never the owner's thread.
//
// The owner calls start(), and at the end stopImmediately() and, once the thread has finished,
// delete, all on its own thread. Korvex's stream and upload threads call back into the proxy,
// never the owner's thread.
class HDMIDeviceProxy : public QThread {
    Q_OBJECT

  public:
    // The proxy's polling rhythm: a poll, then a pause of pollPauseMs + loopPauseMs.
    static constexpr int kPollTimeoutMs = 1000;
    static constexpr int kPollPauseMs = 2000;
    static constexpr int kLoopPauseMs = 1000;

    // A device command: runs on the proxy's thread with its session (none when the login failed)
    // and returns what is to happen with its outcome on the owner's thread, or nothing.
    using Reply = std::function<void()>;
    using Command = std::function<Reply(KorvexSession* session)>;
    // Commands of one kind other than kAnyKind replace each other while they wait in the queue:
    // the one queued last is run. A command that is running is never touched.
    static constexpr int kAnyKind = 0;

    HDMIDeviceProxy(QObject* parent, bool playStream, const DeviceProxyInfo* info);
    ~HDMIDeviceProxy() override;

    // Queues `command` behind the waiting ones (or in place of a waiting one of the same kind).
    // Its reply is posted to the owner's thread as a queued call. Commands still waiting when the
    // proxy stops are dropped unanswered.
    void enqueue(Command command, int kind = kAnyKind);

    // From any thread: the stream so far, over all its connections.
    StreamStatistics streamStatistics() const;
    // From any thread: the percentage of the latest upload progress event of the session.
    int latestUploadPercent() const { return uploadPercent.load(); }
    // From any thread: the last picture the stream's decoder gave, at the stream's own size; a
    // null image before the first. Converting it takes a few milliseconds, during which the
    // stream thread's close of the player (at the end of a connection) waits.
    QImage picture() const;
    // From any thread: the recording that the stream's frames go to as well, or none. Once this
    // returns, the stream thread no longer uses the one before.
    void setRecorder(LumadecRecorder* recorder);

  signals:
    // `device` is always this proxy; `status` a poll result (1, 2) or a session event.
    void deviceNotify(void* device, int status);

  public slots:
    // Asks the thread to stop and returns at once. The thread finishes the command it is running,
    // drops the waiting ones, stops the stream (Korvex's stream thread closes the player on its
    // way out), logs out once a firmware upload on its session has ended, and ends; finished()
    // then tells the owner that the proxy can be deleted.
    void stopImmediately();

  protected:
    void run() override;

  private:
    static void KORVEX_CALL handleSessionEvent(KorvexSession* session, int32_t event, void* data,
                                               void* user);
    static int KORVEX_CALL handleMediaInfo(KorvexSession* session, KorvexStream* stream,
                                           const KorvexMediaInfo* info, void* user);
    static int KORVEX_CALL handleFrame(KorvexSession* session, KorvexStream* stream,
                                       const KorvexFrameInfo* frame, void* user);
    static void KORVEX_CALL handleStreamEnd(KorvexSession* session, KorvexStream* stream,
                                            void* user);

    struct QueuedCommand {
        Command command;
        int kind;
    };

    enum class Work { Command, Poll, Stop };

    void login();
    void poll();
    // Stream thread: takes the player's counters into the statistics.
    void countPictures();
    // Waits until a command is queued (taken into `command`), a poll is due (monitoring proxy
    // only) or the stop comes. The stop goes first, then commands, then the poll.
    Work waitForWork(std::chrono::steady_clock::time_point pollDue, Command& command);
    void logout();

    const DeviceProxyInfo info;
    KorvexSession* session = nullptr;  // written under mutex; used by this proxy's thread only
    KorvexStream* stream = nullptr;
    LumadecPlayer* player = nullptr;  // set by the stream thread only, under playerMutex
    mutable std::mutex playerMutex;   // held while the player opens or closes, and for a picture
    std::mutex recorderMutex;
    LumadecRecorder* recorder = nullptr;  // under recorderMutex
    QMutex mutex;                         // guards session, stream, stopped and commands
    QWaitCondition wake;                  // a command was queued or the stop was asked for
    bool stopped = false;
    std::deque<QueuedCommand> commands;
    const bool playStream;

    mutable std::mutex statisticsMutex;
    StreamStatistics statistics;  // under statisticsMutex; written by Korvex's stream thread
    uint64_t decodedBefore = 0;   // counters of the players closed before
    uint64_t droppedBefore = 0;
    uint64_t errorsBefore = 0;
    std::atomic<int> uploadPercent{0};
};
