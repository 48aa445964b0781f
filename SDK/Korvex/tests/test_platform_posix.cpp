// POSIX backend of test_platform.h.
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "test_platform.h"

namespace korvex::test {

namespace {

size_t EntriesIn(const char* directory) {
    size_t count = 0;
    if (DIR* listing = opendir(directory)) {
        // cppcheck-suppress readdirCalled ; one thread reads this listing, and readdir_r is
        // deprecated
        while (dirent* entry = readdir(listing)) {
            count += entry->d_name[0] != '.';
        }
        closedir(listing);
    }
    return count;
}

}  // namespace

RawSocket OpenSocket(int type, bool nonBlocking) {
    return ::socket(AF_INET, type | SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0), 0);
}

RawSocket AcceptConnection(RawSocket listener) {
    return ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
}

void CloseRawSocket(RawSocket socket) {
    if (socket != kNoRawSocket) {
        ::close(socket);
    }
}

int PollSockets(pollfd* entries, size_t count, int timeoutMs) {
    return ::poll(entries, count, timeoutMs);
}

long SendBytes(RawSocket socket, const char* data, size_t length) {
    return ::send(socket, data, length, MSG_NOSIGNAL);
}

long ReceiveBytes(RawSocket socket, char* buffer, size_t capacity) {
    return ::recv(socket, buffer, capacity, 0);
}

void SetReceiveTimeout(RawSocket socket, int milliseconds) {
    timeval interval{milliseconds / 1000, (milliseconds % 1000) * 1000};
    setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &interval, sizeof interval);
}

size_t OpenHandleCount() {
    return EntriesIn("/proc/self/fd");
}

size_t ThreadCount() {
    return EntriesIn("/proc/self/task");
}

int ProcessId() {
    return static_cast<int>(getpid());
}

const char* DevicePath() {
    return "/dev/zero";
}

bool MakeFifo(const std::string& path) {
    return mkfifo(path.c_str(), 0600) == 0;
}

RawSocket CopyToDescriptor(RawSocket socket, int number) {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    if (limit.rlim_cur <= static_cast<rlim_t>(number)) {
        limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, static_cast<rlim_t>(number) + 1);
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    if (limit.rlim_cur <= static_cast<rlim_t>(number)) {
        return kNoRawSocket;
    }
    return dup2(socket, number);
}

}  // namespace korvex::test
