#include "send_limit.h"

#include <atomic>

#include "test_platform.h"

namespace korvex::test {

namespace {
std::atomic<size_t> gMaxBytes{0};  // 0: no cap
}  // namespace

SendLimit::SendLimit(size_t maxBytes) {
    gMaxBytes = maxBytes;
}

SendLimit::~SendLimit() {
    gMaxBytes = 0;
}

}  // namespace korvex::test

namespace {

template <typename Length>
Length Capped(Length length) {
    size_t maxBytes = korvex::test::gMaxBytes.load();
    return maxBytes != 0 && static_cast<size_t>(length) > maxBytes ? static_cast<Length>(maxBytes)
                                                                   : length;
}

}  // namespace

// The linker's --wrap sends every call of the wrapped symbol to __wrap_<symbol> and names the
// real one __real_<symbol>.
#ifdef _WIN32
// Winsock's send is called through the import table's pointer __imp_send: that pointer is
// wrapped.
extern "C" decltype(&send) __real___imp_send;

static int WSAAPI CappedSend(SOCKET socket, const char* data, int length, int flags) {
    return __real___imp_send(socket, data, Capped(length), flags);
}

extern "C" {
decltype(&send) __wrap___imp_send = CappedSend;
}
#else
extern "C" ssize_t __real_send(int socket, const void* data, size_t length, int flags);

extern "C" ssize_t __wrap_send(int socket, const void* data, size_t length, int flags) {
    return __real_send(socket, data, Capped(length), flags);
}
#endif
