// Firmware upload through KORVEX_Upgrade to a sink on 127.0.0.1 that takes the whole image and
// answers "200 OK": throughput, and the process's peak memory (VmHWM) after each size, which must
// not grow with the image because the file is streamed through one buffer.
//
// Usage: bench_upgrade [MiB ...]   (default: 8 64; arguments starting with "-" are ignored)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Korvex.h"

namespace {

using Clock = std::chrono::steady_clock;

// Peak resident set of this process in KiB, from /proc/self/status.
long PeakResidentKib() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

// Accepts one upload at a time on 127.0.0.1, reads the header and CONTENT-LENGTH body bytes into
// a small buffer that it overwrites, then answers OK. Every wait is bounded.
class Sink {
  public:
    Sink() {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener_, 4) != 0 ||
            getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            std::perror("sink");
            std::exit(1);
        }
        port_ = ntohs(address.sin_port);
    }
    ~Sink() { ::close(listener_); }

    int port() const { return port_; }

    // Serves one connection on a thread of its own; join() it after the upload.
    std::thread serveOne() {
        return std::thread([this] {
            pollfd wait{listener_, POLLIN, 0};
            if (poll(&wait, 1, 10000) <= 0) {
                return;
            }
            int socket = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (socket >= 0) {
                drain(socket);
                ::close(socket);
            }
        });
    }

  private:
    static void drain(int socket) {
        std::vector<char> buffer(65536);
        std::string header;
        uint64_t bodyLeft = 0;
        bool headerDone = false;
        for (;;) {
            pollfd wait{socket, POLLIN, 0};
            if (poll(&wait, 1, 10000) <= 0) {
                return;
            }
            ssize_t count = ::recv(socket, buffer.data(), buffer.size(), 0);
            if (count <= 0) {
                return;
            }
            size_t used = static_cast<size_t>(count);
            if (!headerDone) {
                header.append(buffer.data(), used);
                size_t end = header.find("\r\n\r\n");
                if (end == std::string::npos) {
                    continue;
                }
                size_t key = header.find("CONTENT-LENGTH:");
                bodyLeft = key != std::string::npos
                               ? std::strtoull(header.c_str() + key + 15, nullptr, 10)
                               : 0;
                used = header.size() - (end + 4);  // body bytes that came with the header
                headerDone = true;
            }
            bodyLeft -= std::min<uint64_t>(bodyLeft, used);
            if (bodyLeft == 0) {
                const char ok[] = "HDMI/1.0 200 OK\r\nCONTENT-LENGTH:0\r\n\r\n";
                (void)!::send(socket, ok, sizeof ok - 1, MSG_NOSIGNAL);
                return;
            }
        }
    }

    int listener_ = -1;
    int port_ = 0;
};

// Waits for the end of an upload (event 1003 or 1004).
struct Outcome {
    std::mutex mutex;
    std::condition_variable ended;
    int32_t event = 0;

    static void Callback(KorvexSession*, int32_t event, void*, void* user) {
        auto* self = static_cast<Outcome*>(user);
        if (event == KORVEX_UPGRADE_SUCCEEDED || event == KORVEX_UPGRADE_FAILED) {
            std::lock_guard<std::mutex> lock(self->mutex);
            self->event = event;
            self->ended.notify_all();
        }
    }
    bool wait(std::chrono::seconds timeout) {
        std::unique_lock<std::mutex> lock(mutex);
        return ended.wait_for(lock, timeout, [this] { return event != 0; });
    }
};

// Writes `mebibytes` of varying bytes through a small buffer (never the whole image in memory).
std::string MakeImage(int mebibytes) {
    std::string path = (std::filesystem::temp_directory_path() /
                        ("bench_upgrade_" + std::to_string(getpid()) + ".bin"))
                           .string();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::vector<char> block(65536);
    uint32_t state = 2463534242u;
    for (int i = 0; i < mebibytes * 16; ++i) {
        for (char& byte : block) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            byte = static_cast<char>(state);
        }
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    return path;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i) {
        const long size = std::strtol(argv[i], nullptr, 10);
        if (argv[i][0] != '-' && size > 0) {
            sizes.push_back(static_cast<int>(size));
        }
    }
    if (sizes.empty()) {
        sizes = {8, 64};
    }
    KORVEX_Init();
    Sink sink;
    std::printf("%-10s %10s %12s %14s\n", "image", "seconds", "MiB/s", "VmHWM (KiB)");
    std::printf("%-10s %10s %12s %14ld\n", "(start)", "", "", PeakResidentKib());
    int failures = 0;
    for (int mebibytes : sizes) {
        std::string path = MakeImage(mebibytes);
        Outcome outcome;
        KorvexLoginInfo login{};
        std::snprintf(login.host, sizeof login.host, "127.0.0.1");
        login.port = sink.port();
        KorvexSession* session = KORVEX_Login(&login, &Outcome::Callback, &outcome);
        std::thread server = sink.serveOne();
        auto started = Clock::now();
        bool ended =
            KORVEX_Upgrade(session, path.c_str()) == 0 && outcome.wait(std::chrono::seconds(60));
        double seconds = std::chrono::duration<double>(Clock::now() - started).count();
        server.join();
        KORVEX_Logout(session);
        std::filesystem::remove(path);
        if (!ended || outcome.event != KORVEX_UPGRADE_SUCCEEDED) {
            std::printf("%4d MiB   upload failed\n", mebibytes);
            ++failures;
            continue;
        }
        std::printf("%4d MiB   %10.3f %12.1f %14ld\n", mebibytes, seconds, mebibytes / seconds,
                    PeakResidentKib());
    }
    KORVEX_Exit();
    return failures == 0 ? 0 : 1;
}
