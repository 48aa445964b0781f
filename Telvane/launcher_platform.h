#pragma once

// What the USB/IP client launcher needs from the operating system: the tools that list processes
// and grant administrator rights, and an elevated start of a program that outlives the player.
// launcher_platform_linux.cpp implements it with ps and pkexec.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

struct LauncherCommands {
    // Prints every running process, one per line, with its command line.
    QStringList processList;
    int processListTimeoutMs = 30000;
    // Runs the program named after it with administrator rights.
    QStringList elevation;
    // How long the operator may take to answer the elevation prompt before the start is given up.
    int elevationAnswerTimeoutMs = 120000;
};

// The system's own tools.
LauncherCommands systemLauncherCommands();

struct ElevatedStart {
    // False when the program could not be started with administrator rights: the elevation tool is
    // missing or failed, or the operator declined or did not answer.
    bool started = false;
    // The process id when the program was still running waitMs after it began.
    std::optional<std::int64_t> runningPid;
};

// Starts `path` with `parameters` (split like a shell command line, never run by a shell) through
// the elevation tool, detached from the player, and blocks until the operator has answered the
// prompt and then up to waitMs more. A program still running at that point is left running.
ElevatedStart startElevated(const LauncherCommands& commands, const QString& path,
                            const QString& parameters, int waitMs);
