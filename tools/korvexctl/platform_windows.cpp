// Windows backend of platform.h: the console's control handler for Ctrl-C and Ctrl-Break,
// localtime_s, and the narrow ("A") file functions, which take paths in the local code page as
// the command line gives them.
#include <io.h>
#include <windows.h>

#include <cstdio>

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
        ExitProcess(130);
    }
    return TRUE;
}

}  // namespace

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

bool regularFileSize(const std::string& path, uint64_t& bytes) {
    // No access asked: only what the file is and its size are read. Devices (such as NUL) and
    // pipes are no regular files, and FILE_FLAG_BACKUP_SEMANTICS lets a directory be opened so
    // that it is told apart.
    HANDLE file =
        CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    LARGE_INTEGER size{};
    const bool regular = GetFileType(file) == FILE_TYPE_DISK &&
                         GetFileInformationByHandle(file, &information) != 0 &&
                         (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
                         GetFileSizeEx(file, &size) != 0;
    CloseHandle(file);
    if (regular) {
        bytes = static_cast<uint64_t>(size.QuadPart);
    }
    return regular;
}

}  // namespace platform
}  // namespace korvexctl
