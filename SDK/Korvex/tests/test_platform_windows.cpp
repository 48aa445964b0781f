// Windows backend of test_platform.h. The tests use sockets before (and without) KORVEX_Init, so
// the process starts Winsock for them here, once.
#include <winsock2.h>  // before windows.h, which would bring in the old winsock.h otherwise

#include <windows.h>

#include <tlhelp32.h>  // after windows.h, which it needs

#include <climits>

#include "test_platform.h"

namespace korvex::test {

namespace {

struct WinsockForTheTests {
    WinsockForTheTests() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~WinsockForTheTests() { WSACleanup(); }
} gWinsock;

int Clamped(size_t length) {
    return length > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(length);
}

}  // namespace

RawSocket OpenSocket(int type, bool nonBlocking) {
    RawSocket socket = ::WSASocketW(AF_INET, type, 0, nullptr, 0,
                                    WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    u_long mode = 1;
    if (socket != kNoRawSocket && nonBlocking) {
        ::ioctlsocket(socket, FIONBIO, &mode);
    }
    return socket;
}

RawSocket AcceptConnection(RawSocket listener) {
    return ::accept(listener, nullptr, nullptr);
}

void CloseRawSocket(RawSocket socket) {
    if (socket != kNoRawSocket) {
        ::closesocket(socket);
    }
}

int PollSockets(pollfd* entries, size_t count, int timeoutMs) {
    return ::WSAPoll(entries, static_cast<ULONG>(count), timeoutMs);
}

long SendBytes(RawSocket socket, const char* data, size_t length) {
    return ::send(socket, data, Clamped(length), 0);
}

long ReceiveBytes(RawSocket socket, char* buffer, size_t capacity) {
    return ::recv(socket, buffer, Clamped(capacity), 0);
}

void SetReceiveTimeout(RawSocket socket, int milliseconds) {
    DWORD interval = static_cast<DWORD>(milliseconds);
    setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&interval),
               sizeof interval);
}

size_t OpenHandleCount() {
    DWORD count = 0;
    GetProcessHandleCount(GetCurrentProcess(), &count);
    return count;
}

size_t ThreadCount() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return 0;
    }
    size_t count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    const DWORD self = GetCurrentProcessId();
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        count += entry.th32OwnerProcessID == self;
    }
    CloseHandle(snapshot);
    return count;
}

int ProcessId() {
    return static_cast<int>(GetCurrentProcessId());
}

const char* DevicePath() {
    return "NUL";
}

bool MakeFifo(const std::string&) {
    return false;
}

RawSocket CopyToDescriptor(RawSocket, int) {
    return kNoRawSocket;
}

}  // namespace korvex::test
