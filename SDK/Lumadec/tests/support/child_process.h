// Helper servers (Xvfb, pulseaudio) started by the tests.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace lumadec_test {

// Starts `argv[0]` from PATH with its output sent to /dev/null, in `environment` (the test's own
// when null). The child is killed when the test process dies, even by an abort, so a failing
// test leaves no server behind. Returns the pid, or -1 (with a reason) when it cannot be run.
pid_t StartChild(const std::vector<std::string>& argv, const std::vector<std::string>* environment,
                 std::string* error);

// Kills the child with `signal` and reaps it; sets `pid` to -1. Nothing when it is already -1.
void StopChild(pid_t& pid, int signal);

}  // namespace lumadec_test
