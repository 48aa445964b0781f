// The command line: the options every command shares, the two kinds of error that end a command
// with a status (usage: 2, device: 1), and a small option parser that says what went wrong.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace korvexctl {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;         // the device failed, refused or did not answer
constexpr int kExitUsage = 2;          // the command line is wrong; nothing was sent
constexpr int kExitInterrupted = 130;  // Ctrl-C, as a shell reports a process that SIGINT ended

constexpr int kDefaultControlPort = 15380;
constexpr int kDefaultTimeoutMs = 2000;

// A mistake on the command line. `command` names the help to point at ("" for the program's).
class UsageError : public std::runtime_error {
  public:
    UsageError(const std::string& message, const std::string& command = "")
        : std::runtime_error(message), command_(command) {}
    const std::string& command() const { return command_; }

  private:
    std::string command_;
};

// The device did not do what was asked. The message says what was asked of whom.
class DeviceFailure : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The options before the command.
struct GlobalOptions {
    std::string host;  // empty: not given
    int port = kDefaultControlPort;
    int timeoutMs = kDefaultTimeoutMs;
    bool json = false;
};

// Turns the installation's device names (rx, tx1..tx4) into their fixed addresses; any other
// text is returned unchanged.
std::string resolveDeviceName(const std::string& host);

// A whole number in [minimum, maximum]; otherwise a UsageError that names `what` (such as
// "--port") and the allowed range. `command` is passed to the error.
long long parseInteger(const std::string& text, long long minimum, long long maximum,
                       const std::string& what, const std::string& command);

// Options of one command: "--name VALUE", "--name=VALUE" and flags, in any order, among
// positional words. "--" ends the options. Option names are matched exactly as registered unless
// `looseNames` is set, in which case letter case, "-" and "_" are ignored (for record fields:
// --keyGop, --keygop and --key-gop are one option).
class OptionParser {
  public:
    explicit OptionParser(std::string command, bool looseNames = false)
        : command_(std::move(command)), looseNames_(looseNames) {}

    void value(const std::string& name, std::function<void(const std::string&)> apply);
    void flag(const std::string& name, std::function<void()> apply);

    // Applies the options and returns the positional words. Returns false (and applies nothing
    // more) when --help or -h is among them. Throws UsageError.
    bool parse(const std::vector<std::string>& arguments, std::vector<std::string>& positional);

  private:
    struct Entry {
        std::string name;
        bool takesValue;
        std::function<void(const std::string&)> apply;
    };
    const Entry* find(const std::string& name) const;

    std::string command_;
    bool looseNames_;
    std::vector<Entry> entries_;
};

}  // namespace korvexctl
