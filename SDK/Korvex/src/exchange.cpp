#include "exchange.h"

#include <strings.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "session.h"

namespace korvex {

namespace {

constexpr char kOkStatus[] = "HDMI/1.0 200 OK";
constexpr char kContentLengthKey[] = "CONTENT-LENGTH:";

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

// The first CR LF in text[0, count), or nullptr.
const char* FindLineEnd(const char* text, size_t count) {
    for (size_t i = 0; i + 2 <= count; ++i) {
        if (text[i] == '\r' && text[i + 1] == '\n') {
            return text + i;
        }
    }
    return nullptr;
}

const char* FindHeaderEnd(const char* begin, size_t count) {
    for (size_t i = 0; i + 4 <= count; ++i) {
        if (std::memcmp(begin + i, "\r\n\r\n", 4) == 0) {
            return begin + i;
        }
    }
    return nullptr;
}

// The end of the last whole line of the body text[bodyStart, count): behind its last CR LF, or
// the body's start when it holds none.
size_t EndOfLastWholeLine(const char* text, size_t bodyStart, size_t count) {
    for (size_t end = count; end >= bodyStart + 2; --end) {
        if (text[end - 2] == '\r' && text[end - 1] == '\n') {
            return end;
        }
    }
    return bodyStart;
}

}  // namespace

RequestWriter::RequestWriter(char* out, size_t capacity, const char* command)
    : out_(out), capacity_(capacity), fits_(capacity > 0) {
    append("%s HDMI/1.0\r\n", command);
}

RequestWriter& RequestWriter::authorization() {
    append("AUTHORIZATION: BASIC %s\r\n", "");
    return *this;
}

RequestWriter& RequestWriter::header(const char* name, long long value) {
    append("%s:%lld\r\n", name, value);
    return *this;
}

RequestWriter& RequestWriter::header(const char* name, const char* text, size_t maxLength) {
    append("%s:%.*s\r\n", name, static_cast<int>(maxLength), text);
    return *this;
}

int RequestWriter::finish(const char* body) {
    const size_t bodyLength = body != nullptr ? std::strlen(body) : 0;
    finishBeforeBody(bodyLength);
    append("%s", body != nullptr ? body : "");
    return fits_ ? static_cast<int>(used_) : -1;
}

int RequestWriter::finishBeforeBody(unsigned long long bodyLength) {
    append("CONTENT-LENGTH:%llu\r\n\r\n", bodyLength);
    return fits_ ? static_cast<int>(used_) : -1;
}

// NOLINTNEXTLINE(cert-dcl50-cpp): a vsnprintf appender, given only this file's literal formats
void RequestWriter::append(const char* format, ...) {
    if (!fits_) {
        return;
    }
    va_list arguments;
    va_start(arguments, format);
    const int written = std::vsnprintf(out_ + used_, capacity_ - used_, format, arguments);
    va_end(arguments);
    if (written < 0 || static_cast<size_t>(written) >= capacity_ - used_) {
        fits_ = false;
        return;
    }
    used_ += static_cast<size_t>(written);
}

int FormatRequest(char* out, size_t capacity, const char* command, const char* body, int channel) {
    return RequestWriter(out, capacity, command)
        .authorization()
        .header("CHN", channel)
        .finish(body);
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
    const Deadline deadline(static_cast<long long>(timeoutMs) * kResponseWaitsInAll);
    long received = ReceiveWithTimeout(socket, buffer, room, timeoutMs);
    if (received <= 0) {
        return 0;
    }
    size_t collected = 0;
    size_t bodyStart = 0;
    size_t expected = 0;
    bool expectedKnown = false;
    bool dataStopped = false;
    for (;;) {
        if (!expectedKnown) {
            // Only the first chunk is searched for the header's end.
            const char* end = FindHeaderEnd(buffer + collected, static_cast<size_t>(received));
            if (end != nullptr) {
                buffer[collected + static_cast<size_t>(received)] = '\0';
                bodyStart = static_cast<size_t>(end - buffer) + 4;
                expected = bodyStart + AnnouncedBodyLength(buffer);
                expectedKnown = true;
            }
        }
        collected += static_cast<size_t>(received);
        if (!expectedKnown || collected >= expected || collected >= room) {
            break;
        }
        const int wait = deadline.next(timeoutMs);
        received =
            wait > 0 ? ReceiveWithTimeout(socket, buffer + collected, room - collected, wait) : 0;
        if (received <= 0) {
            dataStopped = true;
            break;
        }
    }
    if (dataStopped) {
        collected = EndOfLastWholeLine(buffer, bodyStart, collected);
    }
    buffer[collected] = '\0';
    return collected;
}

size_t ReadStatus(SocketHandle socket, char* buffer, size_t capacity, int timeoutMs) {
    if (capacity < 2) {
        return 0;
    }
    const size_t room = capacity - 1;
    const size_t decisive = std::min(room, sizeof kOkStatus - 1);
    const Deadline deadline(timeoutMs);
    size_t collected = 0;
    while (collected < decisive && FindLineEnd(buffer, collected) == nullptr) {
        const int wait = deadline.next(timeoutMs);
        const long received =
            wait > 0 ? ReceiveWithTimeout(socket, buffer + collected, room - collected, wait) : 0;
        if (received <= 0) {
            break;
        }
        collected += static_cast<size_t>(received);
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
