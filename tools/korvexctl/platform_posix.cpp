// POSIX backend of platform.h: isatty, dup, sigaction, localtime_r, stat.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "command_line.h"
#include "platform_interrupts.h"

namespace korvexctl {
namespace platform {

namespace {

// Only async-signal-safe calls in here: lock-free atomics, write, _exit.
void onInterrupt(int) {
    if (countInterrupt()) {
        ssize_t ignored = ::write(2, kQuittingAtOnce, kQuittingAtOnceLength);
        (void)ignored;
        ::_exit(kExitInterrupted);
    }
}

}  // namespace

std::FILE* takeStandardOutputForData() {
    std::fflush(stdout);
    const int data = ::dup(STDOUT_FILENO);
    if (data < 0) {
        return nullptr;
    }
    std::FILE* stream = ::fdopen(data, "wb");
    if (stream == nullptr || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        const int error = errno;
        if (stream != nullptr) {
            std::fclose(stream);
        } else {
            ::close(data);
        }
        errno = error;
        return nullptr;
    }
    return stream;
}

bool stdoutIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

void setInterruptMode(InterruptMode mode) {
    rememberInterruptMode(mode);
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    action.sa_handler = mode == InterruptMode::Terminate ? SIG_DFL : onInterrupt;
    // Interrupted waits inside Korvex go on (they retry on EINTR); ours poll the flags.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

std::tm localTime(std::time_t seconds) {
    std::tm local{};
    localtime_r(&seconds, &local);
    return local;
}

std::string readableFileProblem(const std::string& path, uint64_t& bytes) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        switch (errno) {
            case ENOENT:
                return "no such file";
            case ELOOP:
                return "is a loop of symbolic links";
            case ENOTDIR:
                return "no such file (a part of the path is not a folder)";
            case EACCES:
                return "cannot be reached (permission denied)";
            default:
                return std::strerror(errno);
        }
    }
    if (S_ISDIR(status.st_mode)) {
        return "is a directory";
    }
    if (!S_ISREG(status.st_mode)) {
        return "is not a regular file (a device, FIFO or socket)";
    }
    // Opened once, so that an unreadable file is refused before anything goes to the device.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        return errno == EACCES ? "cannot be read (permission denied)" : std::strerror(errno);
    }
    ::close(descriptor);
    bytes = static_cast<uint64_t>(status.st_size);
    return "";
}

}  // namespace platform
}  // namespace korvexctl
