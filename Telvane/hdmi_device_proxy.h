#pragma once

#include <Korvex.h>
#include <Lumadec.h>

#include <QMutex>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <cstdint>

// What the window hands to a proxy: the device and, for a streaming proxy, where to draw.
struct DeviceProxyInfo {
    char address[128];  // dotted IPv4 text; at most 63 characters are used
    int32_t port;
    int32_t transport;  // KORVEX_TRANSPORT_TCP or KORVEX_TRANSPORT_UDP
    uint64_t window;    // native window for the picture; 0 for a monitoring proxy
};

// The PC plays the transmitter's sound. Written on the UI thread, read by the stream thread for
// every audio frame; while false, audio frames are replaced by a silent one.
extern std::atomic<bool> pcAudioEnabled;

// The player's link to one device, on a thread of its own. A monitoring proxy polls the device's
// system information every three seconds and reports 2 (answered) or 1 (not); a streaming proxy
// plays the device's live stream into a Lumadec player on `info.window`. Both forward their
// session's events through deviceNotify.
//
// The owner calls start(), and at the end stopImmediately(), wait() and delete, all on its own
// thread. Korvex's stream and upload threads call back into the proxy, never the owner's thread.
class HDMIDeviceProxy : public QThread {
    Q_OBJECT

  public:
    // The proxy's polling rhythm: a poll, then a pause of pollPauseMs + loopPauseMs.
    static constexpr int kPollTimeoutMs = 1000;
    static constexpr int kPollPauseMs = 2000;
    static constexpr int kLoopPauseMs = 1000;

    HDMIDeviceProxy(QObject* parent, bool playStream, const DeviceProxyInfo* info);
    ~HDMIDeviceProxy() override;

    // The session for the window's own Korvex calls; none before login and after the stop.
    KorvexSession* currentSession();

  signals:
    // `device` is always this proxy; `status` a poll result (1, 2) or a session event.
    void deviceNotify(void* device, int status);

  public slots:
    // Stops the stream (waiting for Korvex's stream thread, which closes the player) and ends the
    // run loop at once. The session is released by the proxy's thread on its way out, after any
    // poll that still uses it has returned.
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

    void login();
    void poll();
    // Sleeps up to `ms`, or less when a stop wakes the thread. True while not stopped.
    bool pause(int ms);

    const DeviceProxyInfo info;
    KorvexSession* session = nullptr;
    KorvexStream* stream = nullptr;
    LumadecPlayer* player = nullptr;  // stream thread only
    QMutex mutex;                     // guards session, stream and stopped
    QWaitCondition stopRequested;
    bool stopped = false;
    const bool playStream;
};
