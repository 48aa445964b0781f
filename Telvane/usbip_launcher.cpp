#include "usbip_launcher.h"

#include <QFileInfo>
#include <QProcess>

#include <utility>

namespace {

const char kClientName[] = "Pellvor.exe";
// A start counts only when the client is still running this long after it began.
constexpr int kClientRunCheckMs = 500;

}  // namespace

UsbIpLauncher::UsbIpLauncher(LauncherCommands commands, QString applicationDir, std::FILE* out)
    : commands(std::move(commands)), applicationDir(std::move(applicationDir)), out(out) {}

QByteArray UsbIpLauncher::listProcesses() const {
    if (commands.processList.isEmpty()) {
        return {};
    }
    QProcess process;
    process.start(commands.processList.first(), commands.processList.mid(1), QIODevice::ReadWrite);
    // A tool that is missing, fails or hangs leaves the list empty or partial; the client then
    // counts as not running. Destroying the QProcess kills one that is still running.
    process.waitForFinished(commands.processListTimeoutMs);
    return process.readAllStandardOutput();
}

void UsbIpLauncher::startUsbIpClient() const {
    if (listProcesses().contains(kClientName)) {
        return;
    }
    const QString clientPath = applicationDir + QStringLiteral("/usbip") + QStringLiteral("/") +
                               QLatin1String(kClientName);
    if (!QFileInfo(clientPath).isFile()) {
        std::fprintf(out, "USBIP Client Execute File:%s Not Exist\n",
                     clientPath.toLocal8Bit().constData());
        std::fflush(out);
        return;
    }
    if (runElevated(clientPath, QString(), kClientRunCheckMs)) {
        std::fprintf(out, "Start USBIP Clinet Success\n");
    } else {
        std::fprintf(out, "Start USBIP Client Failed\n");
    }
    std::fflush(out);
}

std::optional<std::int64_t> UsbIpLauncher::runElevated(const QString& path,
                                                       const QString& parameters,
                                                       int waitMs) const {
    const ElevatedStart start = startElevated(commands, path, parameters, waitMs);
    if (!start.started) {
        std::fprintf(out, "Execute %s %s Failed\n", path.toLocal8Bit().constData(),
                     parameters.toLocal8Bit().constData());
        std::fflush(out);
    }
    return start.runningPid;
}
