// Windows backend of platform.h: the console's control handler for Ctrl-C and Ctrl-Break,
// localtime_s, and the narrow ("A") file functions, which take paths in the local code page as
// the command line gives them.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "command_line.h"
#include "platform_interrupts.h"

namespace korvexctl {
namespace platform {

namespace {

// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI onConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
        return FALSE;  // closing the console, logging off, shutting down: the system's way
    }
    if (countInterrupt()) {
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), kQuittingAtOnce, kQuittingAtOnceLength, &written,
                  nullptr);
        ExitProcess(kExitInterrupted);
    }
    return TRUE;
}

}  // namespace

std::FILE* takeStandardOutputForData() {
    std::fflush(stdout);
    const int data = _dup(_fileno(stdout));
    if (data < 0) {
        return nullptr;
    }
    _setmode(data, _O_BINARY);
    std::FILE* stream = _fdopen(data, "wb");
    if (stream == nullptr || _dup2(_fileno(stderr), _fileno(stdout)) < 0) {
        const int error = errno;
        if (stream != nullptr) {
            std::fclose(stream);
        } else {
            _close(data);
        }
        errno = error;
        return nullptr;
    }
    return stream;
}

bool stdoutIsTerminal() {
    return _isatty(_fileno(stdout)) != 0;
}

void setInterruptMode(InterruptMode mode) {
    rememberInterruptMode(mode);
    // Removing the handler leaves the system's default: the process ends at once.
    SetConsoleCtrlHandler(onConsoleControl, mode == InterruptMode::Terminate ? FALSE : TRUE);
}

std::tm localTime(std::time_t seconds) {
    std::tm local{};
    localtime_s(&local, &seconds);
    return local;
}

std::string readableFileProblem(const std::string& path, uint64_t& bytes) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
            error == ERROR_INVALID_NAME) {
            return "no such file";
        }
        return error == ERROR_ACCESS_DENIED
                   ? "cannot be reached (permission denied)"
                   : "cannot be reached (error " + std::to_string(error) + ")";
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return "is a directory";
    }
    // Opened for reading, so that an unreadable file is refused before anything goes to the
    // device. Devices (such as NUL) and pipes are no regular files.
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_ACCESS_DENIED ? "cannot be read (permission denied)"
                                                     : "cannot be read";
    }
    LARGE_INTEGER size{};
    const bool regular = GetFileType(file) == FILE_TYPE_DISK && GetFileSizeEx(file, &size) != 0;
    CloseHandle(file);
    if (!regular) {
        return "is not a regular file (a device or pipe)";
    }
    bytes = static_cast<uint64_t>(size.QuadPart);
    return "";
}

}  // namespace platform
}  // namespace korvexctl
