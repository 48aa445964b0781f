// reset, key and actuator: the device commands that change no record.
#include <chrono>
#include <cstdio>
#include <thread>

#include "commands.h"
#include "device.h"
#include "output.h"
#include "records.h"

namespace korvexctl {

namespace {

constexpr int kHoldStepMs = 10;  // the window repeats a held step every 10 ms

void expectNoWords(const Arguments& positional, size_t allowed, const std::string& command) {
    if (positional.size() > allowed) {
        throw UsageError("unexpected \"" + positional[allowed] + "\"", command);
    }
}

}  // namespace

std::string resetHelp() {
    return R"(Usage: korvexctl --host ADDR reset

Restarts the device (SYSTEM_RESET). The device then does not answer for a while. Korvex
waits up to 3000 ms to connect, 1000 ms to send and 1000 ms for the answer (--timeout does
not apply).
)";
}

int runReset(const GlobalOptions& options, const Arguments& arguments) {
    OptionParser parser("reset");
    Arguments positional;
    if (!parser.parse(arguments, positional)) {
        return printHelp(resetHelp());
    }
    expectNoWords(positional, 0, "reset");
    Device device(options, "reset");
    if (KORVEX_Reset(device.session()) != 0) {
        throw DeviceFailure(device.failureText("SYSTEM_RESET"));
    }
    Value result;
    result.add("command", "SYSTEM_RESET").add("ok", Value::boolean(true));
    if (options.json) {
        printResult(result, true);
    } else {
        std::printf("%s accepted SYSTEM_RESET: it restarts now\n", device.name().c_str());
    }
    return kExitOk;
}

std::string keyHelp() {
    return R"(Usage: korvexctl --host ADDR key CODE

Sends one remote-control key code (NET_KEYBOARD, KEY=CODE), a whole number that Korvex
passes on unchanged (negative codes too). Korvex waits up to 3000 ms to connect, to send
and for the answer (--timeout does not apply).
)";
}

int runKey(const GlobalOptions& options, const Arguments& arguments) {
    OptionParser parser("key");
    Arguments positional;
    if (!parser.parse(arguments, positional)) {
        return printHelp(keyHelp());
    }
    if (positional.empty()) {
        throw UsageError("name the key code (a whole number)", "key");
    }
    expectNoWords(positional, 1, "key");
    const int key =
        static_cast<int>(parseInteger(positional[0], INT32_MIN, INT32_MAX, "CODE", "key"));
    Device device(options, "key");
    if (KORVEX_SendRemoteKey(device.session(), key) != 0) {
        throw DeviceFailure(device.failureText("NET_KEYBOARD"));
    }
    Value result;
    result.add("command", "NET_KEYBOARD").add("key", key).add("ok", Value::boolean(true));
    if (options.json) {
        printResult(result, true);
    } else {
        std::printf("%s accepted key %d\n", device.name().c_str(), key);
    }
    return kExitOk;
}

std::string actuatorHelp() {
    return R"(Usage: korvexctl --host ADDR actuator --id N ACTION

Drives a PWM actuator of the device (ACTUATOR_MOVE). --id N is the actuator, 0..5 (the
desktop program's PWM index 1..6 is id 0..5).

Actions:
  goto PERCENT      go to the output 0..100, as the desktop program's "Goto": the angle sent
                    is PERCENT / 100 * 90 + 42, truncated (0: 42, 50: 87, 100: 132). A value
                    outside 0..100 is refused (exit status 2), not clamped.
  inc [--hold MS]   step up (ORIENT 2), repeated every 10 ms for MS milliseconds as while the
                    "+" button is held (default 0: one step), then stop (ORIENT 0)
  dec [--hold MS]   the same downwards (ORIENT 3)
  stop              stop a movement (ORIENT 0)

--timeout applies to each request (default 2000 ms, as the desktop program's).
)";
}

namespace {

// An actuator ACTION of the command line: its word, its ORIENT and, for goto, the output.
struct ActuatorAction {
    std::string word;
    int orient = KORVEX_ACTUATOR_STOP;
    int percent = -1;
};

ActuatorAction parseActuatorAction(const Arguments& positional, const std::string& command) {
    if (positional.empty()) {
        throw UsageError("name the action: goto PERCENT, inc, dec or stop", command);
    }
    ActuatorAction action;
    action.word = positional[0];
    if (action.word == "goto") {
        if (positional.size() < 2) {
            throw UsageError("goto needs the output PERCENT, 0..100", command);
        }
        expectNoWords(positional, 2, command);
        action.percent =
            static_cast<int>(parseInteger(positional[1], 0, 100, "goto PERCENT", command));
        action.orient = KORVEX_ACTUATOR_GOTO;
    } else if (action.word == "inc" || action.word == "dec") {
        expectNoWords(positional, 1, command);
        action.orient = action.word == "inc" ? KORVEX_ACTUATOR_INC : KORVEX_ACTUATOR_DEC;
    } else if (action.word == "stop") {
        expectNoWords(positional, 1, command);
    } else {
        throw UsageError(
            "no action \"" + action.word + "\" (allowed: goto PERCENT, inc, dec, stop)", command);
    }
    return action;
}

void moveActuator(Device& device, int id, int orient, int angle) {
    ActuatorMoveRequest request{id, orient, angle};
    device.set(CFG_ACTUATOR_MOVE, "ACTUATOR_MOVE", &request, sizeof request);
}

// As the window does while a button is held: steps back to back, at most every 10 ms, and one
// stop at the end, also when a step was refused. Returns the steps the device took.
int holdActuator(Device& device, int id, int orient, int holdMs) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(holdMs);
    int steps = 0;
    std::string failure;
    do {
        const auto stepStart = std::chrono::steady_clock::now();
        try {
            moveActuator(device, id, orient, 0);
            ++steps;
        } catch (const DeviceFailure& error) {
            failure = error.what();
            break;
        }
        std::this_thread::sleep_until(stepStart + std::chrono::milliseconds(kHoldStepMs));
    } while (std::chrono::steady_clock::now() < until);
    bool stopped = true;
    try {
        moveActuator(device, id, KORVEX_ACTUATOR_STOP, 0);
    } catch (const DeviceFailure& error) {
        stopped = false;
        if (failure.empty()) {
            failure = error.what();
        }
    }
    if (!failure.empty()) {
        throw DeviceFailure(failure + " (after " + std::to_string(steps) + " step" +
                            (steps == 1 ? "" : "s") + "; the stop was " +
                            (stopped ? "accepted)" : "not accepted either)"));
    }
    return steps;
}

}  // namespace

int runActuator(const GlobalOptions& options, const Arguments& arguments) {
    const std::string command = "actuator";
    OptionParser parser(command);
    int id = -1;
    int holdMs = 0;
    bool holdGiven = false;
    parser.value("--id", [&](const std::string& v) {
        id = static_cast<int>(parseInteger(v, 0, kActuatorLastId, "--id", command));
    });
    parser.value("--hold", [&](const std::string& v) {
        holdMs = static_cast<int>(parseInteger(v, 0, 600000, "--hold", command));
        holdGiven = true;
    });
    Arguments positional;
    if (!parser.parse(arguments, positional)) {
        return printHelp(actuatorHelp());
    }
    const ActuatorAction action = parseActuatorAction(positional, command);
    const bool held = action.orient == KORVEX_ACTUATOR_INC || action.orient == KORVEX_ACTUATOR_DEC;
    if (holdGiven && !held) {
        throw UsageError("--hold goes with inc and dec only", command);
    }
    if (id < 0) {
        throw UsageError("name the actuator with --id N (0..5)", command);
    }

    Device device(options, command);
    Value result;
    result.add("id", id).add("action", action.word);
    if (action.orient == KORVEX_ACTUATOR_GOTO) {
        const int angle = KORVEX_ACTUATOR_ANGLE(action.percent);
        moveActuator(device, id, KORVEX_ACTUATOR_GOTO, angle);
        result.add("percent", action.percent).add("orient", action.orient).add("angle", angle);
        if (!options.json) {
            std::printf("actuator %d: goto %d%% sent as ANGLE %d\n", id, action.percent, angle);
        }
    } else if (!held) {
        moveActuator(device, id, KORVEX_ACTUATOR_STOP, 0);
        result.add("orient", action.orient);
        if (!options.json) {
            std::printf("actuator %d: stop\n", id);
        }
    } else {
        const int steps = holdActuator(device, id, action.orient, holdMs);
        result.add("orient", action.orient).add("steps", steps);
        if (!options.json) {
            std::printf("actuator %d: %s, %d step%s, then stop\n", id, action.word.c_str(), steps,
                        steps == 1 ? "" : "s");
        }
    }
    if (options.json) {
        printResult(result, true);
    }
    return kExitOk;
}

}  // namespace korvexctl
