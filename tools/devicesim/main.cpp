// devicesim: serves emulated HDMI/1.0 devices until SIGINT or SIGTERM.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

extern "C" {
#include <libavutil/log.h>
}

#include "log.h"
#include "options.h"
#include "simulator.h"

int main(int argc, char** argv) {
    using namespace devicesim;
    Options options;
    std::string error;
    if (!parseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "devicesim: %s\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(usageText().c_str(), stdout);
        return 0;
    }
    // The encoders' chatter would drown the request log.
    av_log_set_level(AV_LOG_ERROR);

    // Signals are taken by sigwait below; every thread inherits this mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    Simulator simulator(options);
    if (!simulator.start(error)) {
        logf("devicesim: %s", error.c_str());
        return 1;
    }
    if (!options.pidFile.empty()) {
        std::ofstream pidFile(options.pidFile, std::ios::trunc);
        pidFile << getpid() << "\n";
        if (!pidFile) {
            logf("devicesim: cannot write %s", options.pidFile.c_str());
        }
    }
    logf("devicesim %d running; SIGINT or SIGTERM stops it", static_cast<int>(getpid()));

    int received = 0;
    sigwait(&signals, &received);
    logf("devicesim: %s, stopping", received == SIGINT ? "SIGINT" : "SIGTERM");
    simulator.stop();
    if (!options.pidFile.empty()) {
        std::remove(options.pidFile.c_str());
    }
    // cppcheck-suppress ignoredReturnValue ; devicesim's own logf, not the C library's
    logf("devicesim: stopped");
    return 0;
}
