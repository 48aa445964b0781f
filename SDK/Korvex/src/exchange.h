// The HDMI/1.0 request/response exchange: request framing, the response reader, the success test
// and the standard one-connection exchange that every device command performs.
#pragma once

#include <cstddef>

#include "platform.h"

struct KorvexSession;

namespace korvex {

constexpr size_t kRequestBufferSize = 2048;
constexpr size_t kResponseBufferSize = 2048;
constexpr size_t kLargeResponseBufferSize = 4096;
constexpr int kCommandConnectTimeoutMs = 3000;

// Writes one request into a caller's buffer: the request line "COMMAND HDMI/1.0", the header
// lines in the order they are added, then CONTENT-LENGTH, the blank line and the body. Every
// request of the library (commands, PLAY, UPGRADE, RECV) is framed here. Once a line does not fit
// in capacity - 1 characters the request is spoilt and finishing it gives -1.
class RequestWriter {
  public:
    RequestWriter(char* out, size_t capacity, const char* command);

    // "AUTHORIZATION: BASIC " and the token, which is always empty: no credential is configured
    // anywhere.
    RequestWriter& authorization();
    // "NAME:value" in decimal.
    RequestWriter& header(const char* name, long long value);
    // "NAME:text", the text taken up to its end or maxLength characters (record texts may lack
    // their terminating zero).
    RequestWriter& header(const char* name, const char* text, size_t maxLength);

    // CONTENT-LENGTH of `body` (none: 0), the blank line and the body. Returns the request's
    // length, or -1 when it did not fit.
    int finish(const char* body = nullptr);
    // CONTENT-LENGTH of a body that the caller sends on its own, and the blank line.
    int finishBeforeBody(unsigned long long bodyLength);

  private:
    void append(const char* format, ...);

    char* out_;
    size_t capacity_;
    size_t used_ = 0;
    bool fits_;
};

// Formats a command's request (command line, AUTHORIZATION, CHN, CONTENT-LENGTH, blank line,
// body) into `out`. Returns its length, or -1 when it does not fit in capacity - 1 characters.
int FormatRequest(char* out, size_t capacity, const char* command, const char* body, int channel);

// Formats and sends a request on `socket`. Returns the request's length when all of it was sent,
// -1 when not (too long, socket not writable within timeoutMs, or an error).
int SendRequest(SocketHandle socket, const char* command, const char* body, int timeoutMs,
                int channel);

// A whole response may take this many receive waits: a device that trickles its answer cannot
// hold a command for longer.
constexpr int kResponseWaitsInAll = 3;

// Collects one response: the header up to its blank line plus CONTENT-LENGTH body bytes, as far
// as they arrive with timeoutMs for each receive and kResponseWaitsInAll * timeoutMs in all. Never
// fills more than capacity - 1 bytes and leaves a zero byte behind what it returns. A body that
// stops short of its CONTENT-LENGTH (the peer closed or fell silent, or the buffer is full) is
// returned up to its last whole line: a value cut inside its line would read as another value.
// Returns the number of bytes collected; 0 when the first receive brought nothing.
size_t ReadResponse(SocketHandle socket, char* buffer, size_t capacity, int timeoutMs);

// Collects the start of an answer until its status can be decided: the first 15 characters, or a
// first line that ends before them, or the end of the connection, within timeoutMs in all.
// Returns the number of bytes collected (zero-terminated, at most capacity - 1).
size_t ReadStatus(SocketHandle socket, char* buffer, size_t capacity, int timeoutMs);

// True when the response has more than 6 bytes and starts with "HDMI/1.0 200 OK" (any case).
bool IsOkResponse(const char* text, size_t count);

// Clears `response`, reads one answer into it and tests it with IsOkResponse.
bool ReadOkResponse(SocketHandle socket, char* response, size_t capacity, int timeoutMs);

// The standard exchange of a command: connect to the session's device (3000 ms), SendRequest with
// sendTimeoutMs, then ReadOkResponse with receiveTimeoutMs for each receive. True on
// "HDMI/1.0 200 OK"; the answer is then in `response`, zero-terminated. The socket is closed on
// every path.
bool StandardExchange(const KorvexSession& session, const char* command, const char* body,
                      int channel, int sendTimeoutMs, int receiveTimeoutMs, char* response,
                      size_t capacity);

// The same for a request that the caller framed itself (sent whole with sendTimeoutMs per wait).
bool ExchangeRaw(const KorvexSession& session, const char* request, size_t requestLength,
                 int sendTimeoutMs, int receiveTimeoutMs, char* response, size_t capacity);

}  // namespace korvex
