#include "send_limit.h"

#include <sys/socket.h>
#include <sys/types.h>

#include <atomic>

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

// The linker's --wrap=send sends every call of send() here and names the real one __real_send.
extern "C" ssize_t __real_send(int socket, const void* data, size_t length, int flags);

extern "C" ssize_t __wrap_send(int socket, const void* data, size_t length, int flags) {
    size_t maxBytes = korvex::test::gMaxBytes.load();
    if (maxBytes != 0 && length > maxBytes) {
        length = maxBytes;
    }
    return __real_send(socket, data, length, flags);
}
