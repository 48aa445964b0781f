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

// Formats a request (command line, AUTHORIZATION, CHN, CONTENT-LENGTH, blank line, body) into
// `out`. Returns its length, or -1 when it does not fit in capacity - 1 characters.
int FormatRequest(char* out, size_t capacity, const char* command, const char* body, int channel);

// Formats and sends a request on `socket`. Returns the request's length when all of it was sent,
// -1 when not (too long, socket not writable within timeoutMs, or an error).
int SendRequest(SocketHandle socket, const char* command, const char* body, int timeoutMs,
                int channel);

// Collects one response: the header up to its blank line plus CONTENT-LENGTH body bytes, as far
// as they arrive with timeoutMs for each receive. Never fills more than capacity - 1 bytes.
// Returns the number of bytes collected; 0 when the first receive brought nothing.
size_t ReadResponse(SocketHandle socket, char* buffer, size_t capacity, int timeoutMs);

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
