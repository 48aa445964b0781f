#include "log.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <mutex>

namespace devicesim {

namespace {

std::mutex g_logMutex;
LogObserver g_observer;

}  // namespace

void logLine(const std::string& text) {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const long millis = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    char millisText[8];
    std::snprintf(millisText, sizeof millisText, ".%03ld ", millis);
    const std::string line = std::string(stamp) + millisText + text + "\n";

    std::lock_guard<std::mutex> lock(g_logMutex);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
    if (g_observer) {
        g_observer(text);
    }
}

// NOLINTNEXTLINE(cert-dcl50-cpp): printf-style, checked by the compiler's format attribute
void logf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    if (length > 0) {
        std::vsnprintf(&text[0], text.size() + 1, format, args);
    }
    va_end(args);
    logLine(text);
}

void setLogObserver(LogObserver observer) {
    std::lock_guard<std::mutex> lock(g_logMutex);
    g_observer = std::move(observer);
}

std::string flattenForLog(const std::string& text) {
    std::string flat;
    flat.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "\r\n") == 0) {
            if (i + 2 < text.size()) {
                flat += " | ";
            }
            ++i;
        } else if (static_cast<unsigned char>(text[i]) < 0x20 || text[i] == 0x7f) {
            flat += '?';
        } else {
            flat += text[i];
        }
    }
    return flat;
}

}  // namespace devicesim
