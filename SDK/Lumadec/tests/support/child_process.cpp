#include "child_process.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

extern char** environ;

namespace lumadec_test {

namespace {
std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (auto& s : strings) {
        pointers.push_back(s.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}
}  // namespace

pid_t StartChild(const std::vector<std::string>& argv, const std::vector<std::string>* environment,
                 std::string* error) {
    // Everything the child needs is made before the fork: it only calls async-signal-safe
    // functions.
    std::vector<std::string> arguments = argv;
    std::vector<std::string> variables = environment ? *environment : std::vector<std::string>();
    std::vector<char*> argp = Pointers(arguments);
    std::vector<char*> envp = Pointers(variables);
    char* const* childEnvironment = environment ? envp.data() : environ;
    // Closed by a successful exec; carries errno when the exec fails.
    int status[2];
    if (pipe2(status, O_CLOEXEC) != 0) {
        *error = "pipe failed";
        return -1;
    }
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        close(status[0]);
        close(status[1]);
        *error = "fork failed";
        return -1;
    }
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) {
            _exit(127);  // the test died before the line above
        }
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execvpe(argp[0], argp.data(), childEnvironment);
        const int code = errno;
        (void)!write(status[1], &code, sizeof code);
        _exit(127);
    }
    close(status[1]);
    int code = 0;
    ssize_t got;
    do {
        got = read(status[0], &code, sizeof code);
    } while (got < 0 && errno == EINTR);
    close(status[0]);
    if (got > 0) {
        int ignored = 0;
        waitpid(pid, &ignored, 0);
        *error = argv[0] + ": " + std::strerror(code);
        return -1;
    }
    return pid;
}

void StopChild(pid_t& pid, int signal) {
    if (pid > 0) {
        kill(pid, signal);
        int ignored = 0;
        waitpid(pid, &ignored, 0);
        pid = -1;
    }
}

}  // namespace lumadec_test
