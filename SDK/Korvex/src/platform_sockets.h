// Inside the socket layer only: the system's socket headers, and what both backends share.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#endif

#include "platform.h"

namespace korvex {

// The first IPv4 address of `host`, a dotted address or a name. getaddrinfo rather than
// gethostbyname: it is safe on many threads at once.
bool ResolveIpv4(const char* host, in_addr* out);

// Each backend's: waits up to timeoutMs for the socket to become readable. >0 ready, 0 timeout,
// <0 error.
int WaitReadable(SocketHandle socket, int timeoutMs);

// What ReceiveDatagram returns for a datagram larger than the buffer (its rest is lost).
constexpr long kDatagramTooLarge = -2;

// Each backend's: one receive call on a readable datagram socket. Returns the datagram's length,
// kDatagramTooLarge, or -1 on error; `from` is the sender as far as the system tells it (left
// zero otherwise).
long ReceiveDatagram(SocketHandle socket, void* buffer, size_t capacity, sockaddr_in* from);

}  // namespace korvex
