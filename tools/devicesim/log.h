// Timestamped log lines on stderr, shared by every thread of the emulator.
#pragma once

#include <functional>
#include <string>

namespace devicesim {

// Writes "YYYY-MM-DD HH:MM:SS.mmm text" as one line to stderr.
void logLine(const std::string& text);

// printf-style shorthand for logLine.
void logf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Tests watch the log through this hook; it sees each line's text without the timestamp and is
// called under the log's lock, so it must not log itself. An empty function removes it.
using LogObserver = std::function<void(const std::string&)>;
void setLogObserver(LogObserver observer);

// Request and answer texts in one log line: CR LF line ends become " | ".
std::string flattenForLog(const std::string& text);

}  // namespace devicesim
