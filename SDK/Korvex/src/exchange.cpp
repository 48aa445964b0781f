#include "exchange.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "session.h"

namespace korvex {

namespace {

constexpr char kOkStatus[] = "HDMI/1.0 200 OK";
constexpr char kContentLengthKey[] = "CONTENT-LENGTH:";
// The token of the AUTHORIZATION line: no credential is configured anywhere.
constexpr char kAuthorizationToken[] = "";

// Body length announced by the first "CONTENT-LENGTH:" of the text; 0 when there is none.
size_t AnnouncedBodyLength(const char* text) {
    const char* key = std::strstr(text, kContentLengthKey);
    if (key == nullptr) {
        return 0;
    }
    const char* digits = key + sizeof kContentLengthKey - 1;
    while (*digits == ' ' || *digits == '\t' || *digits == '\r' || *digits == '\n') {
        ++digits;
    }
    size_t length = 0;
    for (; *digits >= '0' && *digits <= '9'; ++digits) {
        length = length * 10 + static_cast<size_t>(*digits - '0');
        if (length > (1u << 30)) {
            break;  // far beyond any buffer: the read stops at capacity anyway
        }
    }
    return length;
}

const char* FindHeaderEnd(const char* begin, size_t count) {
    for (size_t i = 0; i + 4 <= count; ++i) {
        if (std::memcmp(begin + i, "\r\n\r\n", 4) == 0) {
            return begin + i;
        }
    }
    return nullptr;
}

}  // namespace

int FormatRequest(char* out, size_t capacity, const char* command, const char* body, int channel) {
    size_t bodyLength = body != nullptr ? std::strlen(body) : 0;
    int length = std::snprintf(out, capacity,
                               "%s HDMI/1.0\r\nAUTHORIZATION: BASIC %s\r\nCHN:%d\r\n"
                               "CONTENT-LENGTH:%d\r\n\r\n%s",
                               command, kAuthorizationToken, channel, static_cast<int>(bodyLength),
                               body != nullptr ? body : "");
    if (length < 0 || static_cast<size_t>(length) >= capacity) {
        return -1;
    }
    return length;
}

int SendRequest(SocketHandle socket, const char* command, const char* body, int timeoutMs,
                int channel) {
    char request[kRequestBufferSize];
    int length = FormatRequest(request, sizeof request, command, body, channel);
    if (length < 0 ||
        !SendAllWithTimeout(socket, request, static_cast<size_t>(length), timeoutMs)) {
        return -1;
    }
    return length;
}

size_t ReadResponse(SocketHandle socket, char* buffer, size_t capacity, int timeoutMs) {
    if (capacity < 2) {
        return 0;
    }
    const size_t room = capacity - 1;  // keep a zero byte behind the text
    long received = ReceiveWithTimeout(socket, buffer, room, timeoutMs);
    if (received <= 0) {
        return 0;
    }
    size_t collected = 0;
    size_t expected = 0;
    bool expectedKnown = false;
    for (;;) {
        if (!expectedKnown) {
            // Only the first chunk is searched for the header's end.
            const char* end = FindHeaderEnd(buffer + collected, static_cast<size_t>(received));
            if (end != nullptr) {
                buffer[collected + static_cast<size_t>(received)] = '\0';
                expected = static_cast<size_t>(end - buffer) + 4 + AnnouncedBodyLength(buffer);
                expectedKnown = true;
            }
        }
        collected += static_cast<size_t>(received);
        if (!expectedKnown || collected >= expected || collected >= room) {
            break;
        }
        received = ReceiveWithTimeout(socket, buffer + collected, room - collected, timeoutMs);
        if (received <= 0) {
            break;
        }
    }
    buffer[collected] = '\0';
    return collected;
}

bool IsOkResponse(const char* text, size_t count) {
    return count > 6 && count >= sizeof kOkStatus - 1 &&
           strncasecmp(text, kOkStatus, sizeof kOkStatus - 1) == 0;
}

bool ReadOkResponse(SocketHandle socket, char* response, size_t capacity, int timeoutMs) {
    std::memset(response, 0, capacity);
    size_t count = ReadResponse(socket, response, capacity, timeoutMs);
    return IsOkResponse(response, count);
}

bool StandardExchange(const KorvexSession& session, const char* command, const char* body,
                      int channel, int sendTimeoutMs, int receiveTimeoutMs, char* response,
                      size_t capacity) {
    Socket socket(ConnectWithTimeout(session.host, session.port, kCommandConnectTimeoutMs));
    if (!socket || SendRequest(socket.get(), command, body, sendTimeoutMs, channel) <= 0) {
        return false;
    }
    return ReadOkResponse(socket.get(), response, capacity, receiveTimeoutMs);
}

bool ExchangeRaw(const KorvexSession& session, const char* request, size_t requestLength,
                 int sendTimeoutMs, int receiveTimeoutMs, char* response, size_t capacity) {
    Socket socket(ConnectWithTimeout(session.host, session.port, kCommandConnectTimeoutMs));
    if (!socket || !SendAllWithTimeout(socket.get(), request, requestLength, sendTimeoutMs)) {
        return false;
    }
    return ReadOkResponse(socket.get(), response, capacity, receiveTimeoutMs);
}

}  // namespace korvex
