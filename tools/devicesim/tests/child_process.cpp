#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

namespace devicesim_test {

ChildProcess::ChildProcess(const std::string& path, const std::vector<std::string>& arguments,
                           Output output) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);

    if (output == Output::Terminal) {
        int master = -1;
        pid_ = ::forkpty(&master, nullptr, nullptr, nullptr);
        if (pid_ == 0) {
            ::execv(path.c_str(), argv.data());
            ::_exit(127);
        }
        outFd_ = master;  // stdout and stderr both arrive here
        return;
    }
    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
        return;
    }
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        const int nothing = ::open("/dev/null", O_RDONLY);
        ::dup2(nothing, 0);
        ::execv(path.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    outFd_ = out[0];
    errFd_ = err[0];
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !exited_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (outFd_ >= 0) {
        ::close(outFd_);
    }
    if (errFd_ >= 0) {
        ::close(errFd_);
    }
}

bool ChildProcess::readSome(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) {
        return false;
    }
    pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
    const nfds_t count = errFd_ >= 0 ? 2 : 1;
    if (::poll(fds, count, static_cast<int>(left)) <= 0) {
        return false;
    }
    bool any = false;
    char buffer[8192];
    for (nfds_t i = 0; i < count; ++i) {
        if (fds[i].revents == 0) {
            continue;
        }
        const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
        if (got > 0) {
            (i == 0 ? out_ : err_).append(buffer, static_cast<size_t>(got));
            any = true;
        }
    }
    return any;
}

template <typename Found>
bool ChildProcess::readUntil(Found found, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!found()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        readSome(
            std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(50)));
    }
    return true;
}

bool ChildProcess::waitForStdout(const std::string& text, int timeoutMs) {
    return readUntil([&] { return out_.find(text) != std::string::npos; }, timeoutMs);
}

bool ChildProcess::waitForStderr(const std::string& text, int timeoutMs) {
    return readUntil([&] { return err_.find(text) != std::string::npos; }, timeoutMs);
}

bool ChildProcess::waitForStderr(const std::regex& pattern, std::smatch& match, int timeoutMs) {
    return readUntil([&] { return std::regex_search(err_, match, pattern); }, timeoutMs);
}

int ChildProcess::wait(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!exited_) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            exited_ = true;
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return -1;
        }
        readSome(std::chrono::steady_clock::now() + std::chrono::milliseconds(20));
    }
    // What is left in the pipes (a pty reports an error once the child is gone).
    while (readSome(std::chrono::steady_clock::now() + std::chrono::milliseconds(50))) {
    }
    return status_;
}

void ChildProcess::signal(int number) {
    if (pid_ > 0 && !exited_) {
        ::kill(pid_, number);
    }
}

}  // namespace devicesim_test
