// What the tests need from the operating system beyond standard C++: the socket API (POSIX
// sockets, or Winsock on Windows) under one set of names, and a few facts about the process.
// One backend is built: test_platform_posix.cpp or test_platform_windows.cpp.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/select.h>
#include <sys/socket.h>
#endif

#include <cstddef>
#include <string>

namespace korvex::test {

#ifdef _WIN32
using RawSocket = SOCKET;
constexpr RawSocket kNoRawSocket = INVALID_SOCKET;
constexpr int kShutBoth = SD_BOTH;
// Socket numbers are handles, not indices into a table of descriptors.
constexpr bool kSocketsAreDescriptors = false;
#else
using RawSocket = int;
constexpr RawSocket kNoRawSocket = -1;
constexpr int kShutBoth = SHUT_RDWR;
constexpr bool kSocketsAreDescriptors = true;
#endif

// An IPv4 socket of `type` (SOCK_STREAM or SOCK_DGRAM) that started programs do not inherit.
RawSocket OpenSocket(int type, bool nonBlocking = false);
RawSocket AcceptConnection(RawSocket listener);
void CloseRawSocket(RawSocket socket);

// poll, or WSAPoll.
int PollSockets(pollfd* entries, size_t count, int timeoutMs);

// One send that never raises SIGPIPE, and one receive: the count, or negative on error.
long SendBytes(RawSocket socket, const char* data, size_t length);
long ReceiveBytes(RawSocket socket, char* buffer, size_t capacity);

// A blocking receive then gives up after `milliseconds`.
void SetReceiveTimeout(RawSocket socket, int milliseconds);

// What the process holds, for leak checks: its open descriptors (Windows: handles; 0 under Wine,
// which does not count them), and threads.
size_t OpenHandleCount();
size_t ThreadCount();
int ProcessId();

// A path that names a device instead of a file.
const char* DevicePath();

// POSIX only: makes a FIFO at `path`; false where the system has none in its file system.
bool MakeFifo(const std::string& path);

// POSIX only (kSocketsAreDescriptors): the socket copied to descriptor number `number`, with the
// process's limit raised as far as that needs; kNoRawSocket when the limit does not go so high.
RawSocket CopyToDescriptor(RawSocket socket, int number);

}  // namespace korvex::test
