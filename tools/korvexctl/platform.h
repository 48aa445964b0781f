// What korvexctl needs from the operating system beyond standard C++: whether stdout is a
// terminal, stdout for binary data, what Ctrl-C does, the local time zone, and files. Each backend
// (platform_posix.cpp, platform_windows.cpp) implements exactly these, so no other file needs an
// #ifdef.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

namespace korvexctl {
namespace platform {

// Whether standard output goes to a terminal (a progress bar and a running line make sense).
bool stdoutIsTerminal();

// What an interrupt (Ctrl-C, or a polite request to end the process) does.
enum class InterruptMode {
    Terminate,  // the system's default: the process ends at once
    Stop,       // the first interrupt is noted for the program (interruptRequested); a second
                // one ends the process at once with status 130
    Refuse      // every interrupt is noted and counted (takeInterrupts); the process goes on
};
void setInterruptMode(InterruptMode mode);

// Stop mode: whether an interrupt has come.
bool interruptRequested();

// Refuse mode: the number of interrupts since the last call.
int takeInterrupts();

// Hands standard output over to binary data (a stream piped into a player): returns a stream on
// it in binary mode, and from then on the program's stdout goes to standard error, so that no
// message or result mixes with the data. nullptr (errno set) when it cannot be had.
std::FILE* takeStandardOutputForData();

// `seconds` as local calendar time (safe on any thread).
std::tm localTime(std::time_t seconds);

// Whether `path` (as given on the command line: on Windows in the local code page) names a
// regular file that can be read. Returns what is wrong with it ("no such file", "is a directory",
// "is not a regular file (a device, FIFO or socket)", ...), or an empty text when nothing is; its
// size is then in `bytes`.
std::string readableFileProblem(const std::string& path, uint64_t& bytes);

}  // namespace platform
}  // namespace korvexctl
