// The devicesim program itself: its command line, its log, and a clean stop on a signal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "wire_client.h"

namespace devicesim_test {
namespace {

// A devicesim process with its stdout and stderr read through pipes.
class Process {
  public:
    explicit Process(const std::vector<std::string>& arguments) {
        int out[2];
        int err[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
            return;
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            ::dup2(err[1], 2);
            std::vector<char*> argv;
            argv.push_back(const_cast<char*>(DEVICESIM_PATH));
            for (const std::string& argument : arguments) {
                argv.push_back(const_cast<char*>(argument.c_str()));
            }
            argv.push_back(nullptr);
            ::execv(DEVICESIM_PATH, argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        ::close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }
    ~Process() {
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(out_);
        ::close(err_);
    }

    // Reads stderr until `pattern` matches, for at most `timeoutMs`.
    bool waitForLog(const std::regex& pattern, std::smatch& match, int timeoutMs) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!std::regex_search(stderrText_, match, pattern)) {
            if (!readSome(deadline)) {
                return false;
            }
        }
        return true;
    }

    // Waits up to `timeoutMs` for the exit; the exit code, or -1.
    int wait(int timeoutMs) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                while (
                    readSome(std::chrono::steady_clock::now() + std::chrono::milliseconds(100))) {
                }
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            readSome(std::chrono::steady_clock::now() + std::chrono::milliseconds(20));
        }
        return -1;
    }

    void signal(int number) { ::kill(pid_, number); }
    pid_t pid() const { return pid_; }
    const std::string& stdoutText() const { return stdoutText_; }
    const std::string& stderrText() const { return stderrText_; }

  private:
    bool readSome(std::chrono::steady_clock::time_point deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
        if (left <= 0 || ::poll(fds, 2, static_cast<int>(left)) <= 0) {
            return false;
        }
        char buffer[4096];
        bool any = false;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].revents != 0) {
                const ssize_t count = ::read(fds[i].fd, buffer, sizeof buffer);
                if (count > 0) {
                    (i == 0 ? stdoutText_ : stderrText_).append(buffer, static_cast<size_t>(count));
                    any = true;
                }
            }
        }
        return any;
    }

    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    bool exited_ = false;
    std::string stdoutText_;
    std::string stderrText_;
};

TEST(Program, HelpAndCommandLineErrors) {
    Process help({"--help"});
    EXPECT_EQ(help.wait(5000), 0);
    EXPECT_NE(help.stdoutText().find("Usage: devicesim"), std::string::npos);

    Process badRole({"--device", "tx9@127.0.0.1"});
    EXPECT_EQ(badRole.wait(5000), 2);
    EXPECT_NE(badRole.stderrText().find("role must be rx or tx1..tx4"), std::string::npos);

    Process none({});
    EXPECT_EQ(none.wait(5000), 2);
    EXPECT_NE(none.stderrText().find("no device given"), std::string::npos);
}

TEST(Program, AnswersThenStopsCleanlyOnSignals) {
    const std::string pidFile = "/tmp/devicesim-test-" + std::to_string(::getpid()) + ".pid";
    for (int signalNumber : {SIGTERM, SIGINT}) {
        Process process({"--device", "rx@127.0.0.1:0", "--device", "tx1@127.0.0.1:0",
                         "--loop-seconds", "1", "--pid-file", pidFile});
        std::smatch match;
        ASSERT_TRUE(
            process.waitForLog(std::regex(R"(rx listening on 127\.0\.0\.1:(\d+))"), match, 5000))
            << process.stderrText();
        const uint16_t rx = static_cast<uint16_t>(std::stoi(match[1]));
        ASSERT_TRUE(
            process.waitForLog(std::regex(R"(tx1 listening on 127\.0\.0\.1:(\d+))"), match, 5000));
        const uint16_t tx = static_cast<uint16_t>(std::stoi(match[1]));
        ASSERT_TRUE(process.waitForLog(std::regex("running; SIGINT or SIGTERM"), match, 5000));

        struct stat info {};
        EXPECT_EQ(::stat(pidFile.c_str(), &info), 0);
        EXPECT_EQ(ask(rx, request("GET_SYSINFO", 0)).substr(0, 15), "HDMI/1.0 200 OK");
        EXPECT_TRUE(process.waitForLog(
            std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} rx 127\.0\.0\.1:\d+: GET_SYSINFO)"),
            match, 2000))
            << "every request is logged with a timestamp";

        // A stream that is running must not hold up the stop.
        const int stream = connectLoopback(tx, 3000);
        ASSERT_GE(stream, 0);
        sendText(stream,
                 "PLAY HDMI/1.0\r\nAUTHORIZATION: BASIC \r\nCHN:0\r\nSTREAM:0\r\nTRANSPORT:0\r\n"
                 "CONTENT-LENGTH:0\r\n\r\n");
        ASSERT_TRUE(process.waitForLog(std::regex("streaming on this connection"), match, 3000));

        const auto signalled = std::chrono::steady_clock::now();
        process.signal(signalNumber);
        EXPECT_EQ(process.wait(5000), 0) << process.stderrText();
        EXPECT_LT(std::chrono::steady_clock::now() - signalled, std::chrono::seconds(3));
        EXPECT_NE(process.stderrText().find("devicesim: stopped"), std::string::npos);
        EXPECT_NE(::stat(pidFile.c_str(), &info), 0) << "the pid file is removed";
        bool closed = false;
        readUntilClosed(stream, 2000, &closed);
        EXPECT_TRUE(closed);
        ::close(stream);
    }
}

TEST(Program, AddressInUseIsReported) {
    Process first({"--device", "rx@127.0.0.1:0"});
    std::smatch match;
    ASSERT_TRUE(first.waitForLog(std::regex(R"(rx listening on 127\.0\.0\.1:(\d+))"), match, 5000));
    const std::string port = match[1];
    Process second({"--device", "tx1@127.0.0.1:" + port});
    EXPECT_EQ(second.wait(5000), 1);
    EXPECT_NE(second.stderrText().find("tx1: bind 127.0.0.1:" + port), std::string::npos)
        << second.stderrText();
}

}  // namespace
}  // namespace devicesim_test
