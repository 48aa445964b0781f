// Helpers of the stream tests: stream packets as bytes, a recorder of everything a stream reports
// (session events and stream callbacks, in order), and fake-device replies that stream packets on
// the control connection or as datagrams once the stream has reported that it receives.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "Korvex.h"
#include "fake_device.h"
#include "stream_bytes.h"

namespace korvex::test {

// What a stream reported, in the order it happened.
struct Report {
    enum Kind { kEvent, kMediaInfo, kFrame, kStreamEnd };
    explicit Report(Kind kind) : kind(kind) {}

    Kind kind;
    int value = 0;  // event code, or frame type
    KorvexMediaInfo info{};
    uint64_t timestamp = 0;
    std::string data;           // frame bytes
    bool dataInBuffer = false;  // the frame pointed into the stream's own buffer
    std::chrono::steady_clock::time_point at;

    std::string text() const;  // "event 2", "media 1920x1080", "frame 1 ts=7 bytes=10", "end"
};

class StreamRecorder {
  public:
    StreamRecorder() = default;
    StreamRecorder(const StreamRecorder&) = delete;
    StreamRecorder& operator=(const StreamRecorder&) = delete;

    // A session on 127.0.0.1:port whose events come here (release it with KORVEX_Logout).
    KorvexSession* login(int port);
    // Play parameters whose callbacks come here; each callback can be left out.
    KorvexPlayParams params(int transport, bool mediaInfo = true, bool frames = true,
                            bool streamEnd = true);

    std::vector<Report> reports() const;
    std::vector<std::string> texts() const;
    // Number of reports of this kind (and value, for events and frames; -1: any value).
    size_t count(Report::Kind kind, int value = -1) const;
    // Waits until at least `n` reports of this kind and value were made.
    bool waitFor(Report::Kind kind, int value, size_t n, std::chrono::milliseconds timeout) const;

  private:
    static void onEvent(KorvexSession*, int32_t event, void*, void* user);
    static int onMediaInfo(KorvexSession*, KorvexStream*, const KorvexMediaInfo* info, void* user);
    static int onFrame(KorvexSession*, KorvexStream* stream, const KorvexFrameInfo* frame,
                       void* user);
    static void onStreamEnd(KorvexSession*, KorvexStream*, void* user);
    void add(Report report);
    size_t countLocked(Report::Kind kind, int value) const;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<Report> reports_;
};

// A fake-device reply that answers PLAY with 200 OK, waits until the recorder has seen the
// `started`-th event 2 (1 for the first connection), then sends each chunk (waiting `gapMs`
// before every chunk but the first). The connection then stays open when `keepOpen`.
Reply StreamTcp(const StreamRecorder& recorder, size_t started, std::vector<std::string> chunks,
                int gapMs = 0, bool keepOpen = true);

// A datagram and the loopback address it is sent from (the fake device's own by default).
struct Datagram {
    Datagram(std::string bytes, const char* from = "127.0.0.1")
        : bytes(std::move(bytes)), from(from) {}
    std::string bytes;
    const char* from;
};

// The same for the UDP transport: after event 2, each datagram goes from a socket of its own on
// its address to 127.0.0.1 at the request's RPORT; the control connection stays open.
Reply StreamUdp(const StreamRecorder& recorder, size_t started, std::vector<Datagram> datagrams,
                int gapMs = 0);

// The RPORT of a PLAY request, or -1 when it has none.
int RequestedPort(const std::string& request);

}  // namespace korvex::test
