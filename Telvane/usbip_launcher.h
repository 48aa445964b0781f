#pragma once

#include "launcher_platform.h"

#include <QString>

#include <cstdint>
#include <cstdio>
#include <optional>

// Makes sure that the USB/IP client Pellvor.exe, which ships in "usbip" beside the program, is
// running, and starts it with administrator rights when it is not. It keeps no state and never
// stops the client; what it finds is printed to `out` (standard output in the program).
class UsbIpLauncher {
  public:
    UsbIpLauncher(LauncherCommands commands, QString applicationDir, std::FILE* out = stdout);

    // Blocks for up to the process list's timeout, the operator's answer to the elevation prompt
    // and 500 ms more. Never fails: every outcome is a printed line or nothing at all.
    void startUsbIpClient() const;

    // Starts `path` elevated and returns its process id when it is still running `waitMs` after
    // the operator has answered; prints "Execute <path> <parameters> Failed" when the start itself
    // fails.
    std::optional<std::int64_t> runElevated(const QString& path, const QString& parameters,
                                            int waitMs) const;

  private:
    QByteArray listProcesses() const;

    LauncherCommands commands;
    QString applicationDir;
    std::FILE* out;
};
