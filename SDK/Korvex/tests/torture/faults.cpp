#include "faults.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <memory>
#include <new>
#include <system_error>
#include <thread>

namespace korvex::torture {

namespace {

std::atomic<bool> gCounting{false};
std::atomic<long> gCalls{0};
std::atomic<long> gFailAt{0};
std::atomic<const char*> gFailed{nullptr};

// Numbers one call; true when it is the one to fail.
bool Fails(const char* name) {
    if (!gCounting.load(std::memory_order_acquire)) {
        return false;
    }
    const long number = gCalls.fetch_add(1, std::memory_order_acq_rel) + 1;
    if (number != gFailAt.load(std::memory_order_acquire)) {
        return false;
    }
    gFailed.store(name, std::memory_order_release);
    return true;
}

void* Allocate(std::size_t size) {
    return std::malloc(size != 0 ? size : 1);
}

}  // namespace

void StartCounting(long failAt) {
    gCalls.store(0);
    gFailAt.store(failAt);
    gFailed.store(nullptr);
    gCounting.store(true, std::memory_order_release);
}

long StopCounting() {
    gCounting.store(false, std::memory_order_release);
    return gCalls.load();
}

const char* FailedCall() {
    return gFailed.load(std::memory_order_acquire);
}

}  // namespace korvex::torture

using korvex::torture::Fails;

// Each wrapped call fails with -1 and an errno that the system could give it.
#define FAIL_WITH(name, error) \
    do {                       \
        if (Fails(name)) {     \
            errno = (error);   \
            return -1;         \
        }                      \
    } while (false)

extern "C" {

int __real_socket(int domain, int type, int protocol);
int __real_socketpair(int domain, int type, int protocol, int ends[2]);
int __real_connect(int socket, const sockaddr* address, socklen_t length);
int __real_poll(pollfd* entries, nfds_t count, int timeoutMs);
ssize_t __real_send(int socket, const void* data, size_t length, int flags);
ssize_t __real_recv(int socket, void* buffer, size_t capacity, int flags);
ssize_t __real_recvfrom(int socket, void* buffer, size_t capacity, int flags, sockaddr* from,
                        socklen_t* fromLength);
int __real_bind(int socket, const sockaddr* address, socklen_t length);
int __real_setsockopt(int socket, int level, int name, const void* value, socklen_t length);
int __real_getsockopt(int socket, int level, int name, void* value, socklen_t* length);
int __real_getpeername(int socket, sockaddr* address, socklen_t* length);
int __real_fcntl(int descriptor, int command, ...);
int __real_getaddrinfo(const char* node, const char* service, const addrinfo* hints,
                       addrinfo** result);
int __real_open(const char* path, int flags, ...);
ssize_t __real_read(int descriptor, void* buffer, size_t capacity);
int __real_fstat(int descriptor, struct stat* status);
int __real_stat(const char* path, struct stat* status);

int __wrap_socket(int domain, int type, int protocol) {
    FAIL_WITH("socket", EMFILE);
    return __real_socket(domain, type, protocol);
}

int __wrap_socketpair(int domain, int type, int protocol, int ends[2]) {
    FAIL_WITH("socketpair", EMFILE);
    return __real_socketpair(domain, type, protocol, ends);
}

int __wrap_connect(int socket, const sockaddr* address, socklen_t length) {
    FAIL_WITH("connect", ENETUNREACH);
    return __real_connect(socket, address, length);
}

int __wrap_poll(pollfd* entries, nfds_t count, int timeoutMs) {
    FAIL_WITH("poll", ENOMEM);
    return __real_poll(entries, count, timeoutMs);
}

ssize_t __wrap_send(int socket, const void* data, size_t length, int flags) {
    FAIL_WITH("send", ECONNRESET);
    return __real_send(socket, data, length, flags);
}

ssize_t __wrap_recv(int socket, void* buffer, size_t capacity, int flags) {
    FAIL_WITH("recv", ECONNRESET);
    return __real_recv(socket, buffer, capacity, flags);
}

ssize_t __wrap_recvfrom(int socket, void* buffer, size_t capacity, int flags, sockaddr* from,
                        socklen_t* fromLength) {
    FAIL_WITH("recvfrom", ENOMEM);
    return __real_recvfrom(socket, buffer, capacity, flags, from, fromLength);
}

int __wrap_bind(int socket, const sockaddr* address, socklen_t length) {
    FAIL_WITH("bind", EADDRINUSE);
    return __real_bind(socket, address, length);
}

int __wrap_setsockopt(int socket, int level, int name, const void* value, socklen_t length) {
    FAIL_WITH("setsockopt", ENOBUFS);
    return __real_setsockopt(socket, level, name, value, length);
}

int __wrap_getsockopt(int socket, int level, int name, void* value, socklen_t* length) {
    FAIL_WITH("getsockopt", ENOBUFS);
    return __real_getsockopt(socket, level, name, value, length);
}

int __wrap_getpeername(int socket, sockaddr* address, socklen_t* length) {
    FAIL_WITH("getpeername", ENOTCONN);
    return __real_getpeername(socket, address, length);
}

// The library's fcntl calls take an int argument or none.
int __wrap_fcntl(int descriptor, int command, ...) {
    va_list arguments;
    va_start(arguments, command);
    const int argument = va_arg(arguments, int);
    va_end(arguments);
    FAIL_WITH("fcntl", EBADF);
    return __real_fcntl(descriptor, command, argument);
}

int __wrap_getaddrinfo(const char* node, const char* service, const addrinfo* hints,
                       addrinfo** result) {
    if (Fails("getaddrinfo")) {
        return EAI_MEMORY;
    }
    return __real_getaddrinfo(node, service, hints, result);
}

int __wrap_open(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = (flags & O_CREAT) != 0 ? va_arg(arguments, mode_t) : 0;
    va_end(arguments);
    FAIL_WITH("open", EMFILE);
    return __real_open(path, flags, mode);
}

ssize_t __wrap_read(int descriptor, void* buffer, size_t capacity) {
    FAIL_WITH("read", EIO);
    return __real_read(descriptor, buffer, capacity);
}

int __wrap_fstat(int descriptor, struct stat* status) {
    FAIL_WITH("fstat", EIO);
    return __real_fstat(descriptor, status);
}

int __wrap_stat(const char* path, struct stat* status) {
    FAIL_WITH("stat", EACCES);
    return __real_stat(path, status);
}

// std::thread's constructor starts the thread through this member of libstdc++; a failed start
// throws what libstdc++ throws when pthread_create fails.
using ThreadState = std::unique_ptr<std::thread::_State>;
void __real__ZNSt6thread15_M_start_threadESt10unique_ptrINS_6_StateESt14default_deleteIS1_EEPFvvE(
    std::thread* thread, ThreadState state, void (*depend)());

void __wrap__ZNSt6thread15_M_start_threadESt10unique_ptrINS_6_StateESt14default_deleteIS1_EEPFvvE(
    std::thread* thread, ThreadState state, void (*depend)()) {
    if (Fails("thread start")) {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    }
    __real__ZNSt6thread15_M_start_threadESt10unique_ptrINS_6_StateESt14default_deleteIS1_EEPFvvE(
        thread, std::move(state), depend);
}

}  // extern "C"

// Every allocation of the program goes through these (malloc and free underneath, which the
// AddressSanitizer still watches for leaks and misuse).
void* operator new(std::size_t size) {
    void* memory = Fails("operator new") ? nullptr : korvex::torture::Allocate(size);
    if (memory == nullptr) {
        throw std::bad_alloc();
    }
    return memory;
}

void* operator new[](std::size_t size) {
    return operator new(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return Fails("operator new") ? nullptr : korvex::torture::Allocate(size);
}

void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}

void operator delete(void* memory) noexcept {
    std::free(memory);
}

void operator delete[](void* memory) noexcept {
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}

void operator delete[](void* memory, std::size_t) noexcept {
    std::free(memory);
}
