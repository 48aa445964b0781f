// A program (devicesim, korvexctl) as a child process, the way a script runs it: its exit status,
// stdout and stderr, read while it runs, with signals for Ctrl-C. Optionally on a pseudo-terminal,
// where stdout (and stderr) are a terminal.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <regex>
#include <string>
#include <vector>

namespace devicesim_test {

class ChildProcess {
  public:
    enum class Output { Pipes, Terminal };

    // Starts the program at `path` with `arguments` (argv[1]...).
    ChildProcess(const std::string& path, const std::vector<std::string>& arguments,
                 Output output = Output::Pipes);
    ~ChildProcess();  // kills the child when it still runs
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Reads output until stdout holds `text`, at most `timeoutMs`.
    bool waitForStdout(const std::string& text, int timeoutMs);
    bool waitForStderr(const std::string& text, int timeoutMs);
    // Reads output until `pattern` matches stderr (into `match`), at most `timeoutMs`.
    bool waitForStderr(const std::regex& pattern, std::smatch& match, int timeoutMs);
    // Waits for the end, at most `timeoutMs`: the exit status, -1 on timeout, 128 + signal when
    // a signal ended it.
    int wait(int timeoutMs);
    void signal(int number);

    const std::string& out() const { return out_; }
    const std::string& err() const { return err_; }

  private:
    bool readSome(std::chrono::steady_clock::time_point deadline);
    template <typename Found>
    bool readUntil(Found found, int timeoutMs);

    pid_t pid_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    bool exited_ = false;
    int status_ = -1;
    std::string out_;
    std::string err_;
};

}  // namespace devicesim_test
