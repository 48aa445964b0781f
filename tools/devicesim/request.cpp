#include "request.h"

#include <cerrno>
#include <cstdlib>

namespace devicesim {

namespace {

bool isWordCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

bool isWord(const std::string& text, bool allowDash) {
    if (text.empty()) {
        return false;
    }
    for (char c : text) {
        if (!isWordCharacter(c) && !(allowDash && c == '-')) {
            return false;
        }
    }
    return true;
}

}  // namespace

const std::string* Request::header(const std::string& name) const {
    for (const auto& entry : headers) {
        if (entry.first == name) {
            return &entry.second;
        }
    }
    return nullptr;
}

HeadStatus readRequestHead(int fd, int timeoutMs, const StopSignal& stop, std::string& head,
                           std::string& rest) {
    std::string buffer;
    char chunk[4096];
    for (;;) {
        const size_t end = buffer.find("\r\n\r\n");
        if (end != std::string::npos) {
            head = buffer.substr(0, end + 4);
            rest = buffer.substr(end + 4);
            return HeadStatus::Ok;
        }
        if (buffer.size() >= kMaxRequestHeadBytes) {
            head = buffer;
            return HeadStatus::TooLarge;
        }
        size_t received = 0;
        const size_t room = std::min(sizeof chunk, kMaxRequestHeadBytes - buffer.size());
        switch (receiveSome(fd, chunk, room, received, timeoutMs, stop)) {
            case IoResult::Done:
                buffer.append(chunk, received);
                break;
            case IoResult::Timeout:
                head = buffer;
                return HeadStatus::Timeout;
            case IoResult::Stopped:
                return HeadStatus::Stopped;
            case IoResult::Closed:
            case IoResult::Failed:
                head = buffer;
                return HeadStatus::Closed;
        }
    }
}

bool parseRequestHead(const std::string& head, Request& out, std::string& error) {
    Request request;
    request.head = head;
    size_t position = 0;
    bool firstLine = true;
    for (;;) {
        const size_t end = head.find("\r\n", position);
        if (end == std::string::npos) {
            error = "head does not end in a blank line";
            return false;
        }
        const std::string line = head.substr(position, end - position);
        position = end + 2;
        if (line.find('\n') != std::string::npos || line.find('\r') != std::string::npos) {
            error = "line ends must be CR LF";
            return false;
        }
        if (firstLine) {
            const size_t space = line.find(' ');
            if (space == std::string::npos || line.substr(space + 1) != "HDMI/1.0" ||
                !isWord(line.substr(0, space), false)) {
                error = "request line \"" + line + "\" is not \"COMMAND HDMI/1.0\"";
                return false;
            }
            request.command = line.substr(0, space);
            firstLine = false;
            continue;
        }
        if (line.empty()) {
            break;
        }
        const size_t colon = line.find(':');
        if (colon == std::string::npos || !isWord(line.substr(0, colon), true)) {
            error = "header line \"" + line + "\" is not \"NAME:value\"";
            return false;
        }
        const size_t valueStart = line.find_first_not_of(" \t", colon + 1);
        request.headers.emplace_back(line.substr(0, colon), valueStart == std::string::npos
                                                                ? std::string()
                                                                : line.substr(valueStart));
    }
    if (position != head.size()) {
        error = "bytes after the blank line in the head";
        return false;
    }
    out = request;
    return true;
}

bool requestContentLength(const Request& request, int64_t& out, std::string& error) {
    const std::string* value = request.header("CONTENT-LENGTH");
    if (value == nullptr) {
        out = 0;
        return true;
    }
    if (value->empty() || value->size() > 18 ||
        value->find_first_not_of("0123456789") != std::string::npos) {
        error = "CONTENT-LENGTH \"" + *value + "\" is not a byte count";
        return false;
    }
    out = std::strtoll(value->c_str(), nullptr, 10);
    return true;
}

IoResult readBody(int fd, int64_t length, int timeoutMs, const StopSignal& stop, std::string& body,
                  size_t& extraBytes) {
    extraBytes = 0;
    const size_t wanted = static_cast<size_t>(length);
    char chunk[4096];
    while (body.size() < wanted) {
        size_t received = 0;
        const IoResult result = receiveSome(fd, chunk, std::min(sizeof chunk, wanted - body.size()),
                                            received, timeoutMs, stop);
        if (result != IoResult::Done) {
            return result;
        }
        body.append(chunk, received);
    }
    if (body.size() > wanted) {
        extraBytes = body.size() - wanted;
        body.resize(wanted);
    }
    return IoResult::Done;
}

bool parseKeyValues(const std::string& body, KeyValues& out, std::string& error) {
    KeyValues values;
    size_t position = 0;
    while (position < body.size()) {
        const size_t end = body.find("\r\n", position);
        if (end == std::string::npos) {
            error = "body line without CR LF";
            return false;
        }
        const std::string line = body.substr(position, end - position);
        position = end + 2;
        const size_t equals = line.find('=');
        if (equals == std::string::npos || !isWord(line.substr(0, equals), false)) {
            error = "body line \"" + line + "\" is not KEY=value";
            return false;
        }
        const std::string key = line.substr(0, equals);
        for (const auto& entry : values) {
            if (entry.first == key) {
                error = "key " + key + " given twice";
                return false;
            }
        }
        values.emplace_back(key, line.substr(equals + 1));
    }
    out = values;
    return true;
}

bool parseInt32(const std::string& text, int32_t& out) {
    const size_t digitsStart = !text.empty() && text[0] == '-' ? 1 : 0;
    if (text.size() == digitsStart || text.size() - digitsStart > 10 ||
        text.find_first_not_of("0123456789", digitsStart) != std::string::npos) {
        return false;
    }
    errno = 0;
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (errno != 0 || value < INT32_MIN || value > INT32_MAX) {
        return false;
    }
    out = static_cast<int32_t>(value);
    return true;
}

}  // namespace devicesim
