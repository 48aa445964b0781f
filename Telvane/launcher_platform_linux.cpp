// Linux side of the launcher: "ps" lists the processes and pkexec (polkit) grants the rights.
//
// The elevated program is our own child, started in a session of its own. It is not double-forked:
// pkexec asks polkit about its parent process and refuses to run for one that has gone. pkexec
// execs the program in place after the operator has answered, so the child's process name tells
// the stages apart: first still ours (posix_spawn may return before the child has exec'd, as it
// does once QProcess has run), then the tool's while the prompt is open, then the program's. The
// run check starts at the third.

#include "launcher_platform.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <chrono>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPollInterval = std::chrono::milliseconds(5);
constexpr auto kStopGrace = std::chrono::milliseconds(1000);
// Kernel limit on a process name (TASK_COMM_LEN without the terminating zero).
constexpr int kProcessNameLength = 15;

class SpawnSetup {
  public:
    SpawnSetup() {
        posix_spawn_file_actions_init(&actions);
        // No terminal to prompt on: pkexec must use the desktop's polkit agent or fail.
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        // The program outlives the player: it must not hold on to the player's sockets or locks.
        posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
        posix_spawnattr_init(&attributes);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&attributes, &none);
        sigset_t all;
        sigfillset(&all);
        posix_spawnattr_setsigdefault(&attributes, &all);
        posix_spawnattr_setflags(
            &attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~SpawnSetup() {
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
};

// True when the child has ended; its wait status goes to *status. A child that someone else has
// already reaped counts as ended with exit code 127, the tools' own "could not run it".
bool hasEnded(pid_t pid, int* status) {
    pid_t result;
    do {
        result = waitpid(pid, status, WNOHANG);
    } while (result == -1 && errno == EINTR);
    if (result == -1) {
        *status = 127 << 8;
        return true;
    }
    return result == pid;
}

// pkexec and env both end with 126 or 127 when they could not run the program they were given.
bool elevationFailed(int status) {
    if (WIFSIGNALED(status)) {
        return true;
    }
    return WIFEXITED(status) && (WEXITSTATUS(status) == 126 || WEXITSTATUS(status) == 127);
}

QByteArray readProcessName(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QByteArray name = file.readAll();
    if (name.endsWith('\n')) {
        name.chop(1);
    }
    return name;
}

QByteArray processName(pid_t pid) {
    return readProcessName(QStringLiteral("/proc/%1/comm").arg(pid));
}

// The program keeps running after the check; this thread collects it whenever it ends, so that it
// never lingers as a zombie while the player runs.
void reapInBackground(pid_t pid) {
    std::thread([pid] {
        int status = 0;
        while (waitpid(pid, &status, 0) == -1 && errno == EINTR) {
        }
    }).detach();
}

// Closes a prompt that nobody answered in time.
void stopUnanswered(pid_t pid) {
    kill(pid, SIGTERM);
    const auto deadline = Clock::now() + kStopGrace;
    int status = 0;
    while (!hasEnded(pid, &status)) {
        if (Clock::now() >= deadline) {
            reapInBackground(pid);
            return;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
}

}  // namespace

LauncherCommands systemLauncherCommands() {
    LauncherCommands commands;
    // -ww: whole command lines, whatever COLUMNS says; cut, a long path hides the client's name.
    commands.processList =
        QStringList{QStringLiteral("ps"), QStringLiteral("-ww"), QStringLiteral("-e"),
                    QStringLiteral("-o"), QStringLiteral("args=")};
    commands.elevation = QStringList{QStringLiteral("pkexec")};
    return commands;
}

ElevatedStart startElevated(const LauncherCommands& commands, const QString& path,
                            const QString& parameters, int waitMs) {
    ElevatedStart result;
    if (commands.elevation.isEmpty()) {
        return result;
    }
    const QStringList arguments = QStringList(commands.elevation)
                                  << path << QProcess::splitCommand(parameters);
    std::vector<QByteArray> encoded;
    encoded.reserve(arguments.size());
    for (const QString& argument : arguments) {
        encoded.push_back(argument.toLocal8Bit());
    }
    std::vector<char*> argv;
    argv.reserve(encoded.size() + 1);
    for (QByteArray& argument : encoded) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    pid_t pid = 0;
    {
        SpawnSetup setup;
        if (posix_spawnp(&pid, argv[0], &setup.actions, &setup.attributes, argv.data(), environ) !=
            0) {
            return result;
        }
    }

    // Wait for the operator's answer: the tool either becomes the program or ends.
    const QByteArray spawnerName = readProcessName(QStringLiteral("/proc/thread-self/comm"));
    const QByteArray toolName = QFile::encodeName(QFileInfo(commands.elevation.first()).fileName())
                                    .left(kProcessNameLength);
    const auto answerDeadline =
        Clock::now() + std::chrono::milliseconds(commands.elevationAnswerTimeoutMs);
    int status = 0;
    for (;;) {
        if (hasEnded(pid, &status)) {
            // Ended before we saw the program: a refusal, or a program that ran and ended at once.
            result.started = !elevationFailed(status);
            return result;
        }
        const QByteArray name = processName(pid);
        if (!name.isEmpty() && name != toolName && name != spawnerName) {
            break;
        }
        if (Clock::now() >= answerDeadline) {
            stopUnanswered(pid);
            return result;
        }
        std::this_thread::sleep_for(kPollInterval);
    }

    result.started = true;
    const auto runDeadline = Clock::now() + std::chrono::milliseconds(waitMs);
    while (Clock::now() < runDeadline) {
        if (hasEnded(pid, &status)) {
            return result;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    if (hasEnded(pid, &status)) {
        return result;
    }
    reapInBackground(pid);
    result.runningPid = pid;
    return result;
}
