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

}  // namespace korvex
