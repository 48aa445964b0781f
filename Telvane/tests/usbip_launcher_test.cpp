// The USB/IP client launcher with stand-ins for ps and pkexec: "env" grants the rights by running
// the client as it is, shell snippets refuse, and small scripts play the client.

#include "usbip_launcher.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>
#include <csignal>
#include <cstdio>
#include <memory>

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// Everything the launcher prints, captured in a temporary file.
class Output {
  public:
    Output() : file(std::tmpfile()) {}
    std::FILE* stream() const { return file.get(); }
    QByteArray text() const {
        std::fflush(file.get());
        std::rewind(file.get());
        QByteArray bytes;
        char buffer[512];
        size_t count;
        while ((count = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
            bytes.append(buffer, int(count));
        }
        return bytes;
    }

  private:
    std::unique_ptr<std::FILE, FileCloser> file;
};

LauncherCommands commands(QStringList processList, QStringList elevation) {
    LauncherCommands result;
    result.processList = std::move(processList);
    result.elevation = std::move(elevation);
    result.elevationAnswerTimeoutMs = 5000;
    return result;
}

const QStringList kNoClientRunning = {QStringLiteral("echo"), QStringLiteral("/usr/bin/other")};
const QStringList kGrantAtOnce = {QStringLiteral("env")};

// A client that records its pid and arguments beside itself and keeps running.
const char kLongRunningClient[] =
    "#!/bin/sh\n"
    "printf '%s\\n' \"$@\" > \"$0.args\"\n"
    "echo $$ > \"$0.pid\"\n"
    "exec sleep 30\n";

bool isRunning(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return false;
    }
    // The state follows the name in parentheses; a zombie has ended.
    const QByteArray line = stat.readAll();
    const int state = line.lastIndexOf(')') + 2;
    return state < line.size() && line[state] != 'Z';
}

}  // namespace

class UsbIpLauncherTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        directory = std::make_unique<QTemporaryDir>();
        QVERIFY(directory->isValid());
        clientPath = directory->path() + QStringLiteral("/usbip/Pellvor.exe");
    }

    void cleanup() {
        for (qint64 pid : std::as_const(startedClients)) {
            ::kill(pid_t(pid), SIGTERM);
        }
        for (qint64 pid : std::as_const(startedClients)) {
            QTRY_VERIFY(!isRunning(pid));
        }
        startedClients.clear();
        directory.reset();
    }

    void runningClientIsLeftAloneSilently_data() {
        QTest::addColumn<QString>("processList");
        QTest::newRow("own line") << "1 init\n/opt/player/usbip/Pellvor.exe\n";
        QTest::newRow("inside a longer line") << "pkexec /opt/usbip/Pellvor.exe --daemon";
    }

    void runningClientIsLeftAloneSilently() {
        QFETCH(QString, processList);
        writeClient(kLongRunningClient);
        Output output;
        UsbIpLauncher launcher(commands({"printf", "%s", processList}, kGrantAtOnce),
                               directory->path(), output.stream());
        launcher.startUsbIpClient();
        QCOMPARE(output.text(), QByteArray());
        QVERIFY(!QFile::exists(clientPath + ".pid"));
    }

    void nameInOtherLetterCaseDoesNotCount() {
        Output output;
        UsbIpLauncher launcher(commands({"echo", "/opt/usbip/pellvor.exe"}, kGrantAtOnce),
                               directory->path(), output.stream());
        launcher.startUsbIpClient();
        QCOMPARE(output.text(), notExist());
    }

    void missingClientIsReported() {
        Output output;
        UsbIpLauncher launcher(commands(kNoClientRunning, kGrantAtOnce), directory->path(),
                               output.stream());
        launcher.startUsbIpClient();
        QCOMPARE(output.text(), notExist());
    }

    void folderInPlaceOfTheClientIsReported() {
        QVERIFY(QDir().mkpath(clientPath));
        Output output;
        UsbIpLauncher launcher(commands(kNoClientRunning, kGrantAtOnce), directory->path(),
                               output.stream());
        launcher.startUsbIpClient();
        QCOMPARE(output.text(), notExist());
    }

    // The client runs detached in a session of its own and is still running afterwards.
    void clientStillRunningAfterTheCheckIsStarted() {
        writeClient(kLongRunningClient);
        Output output;
        UsbIpLauncher launcher(commands(kNoClientRunning, kGrantAtOnce), directory->path(),
                               output.stream());
        QElapsedTimer elapsed;
        elapsed.start();
        launcher.startUsbIpClient();
        QVERIFY(elapsed.elapsed() >= 500);
        QCOMPARE(output.text(), QByteArray("Start USBIP Clinet Success\n"));

        const qint64 pid = clientPid();
        QVERIFY(pid > 0);
        startedClients << pid;
        QVERIFY(isRunning(pid));
        QCOMPARE(::getsid(pid_t(pid)), pid_t(pid));
        QCOMPARE(readFile(clientPath + ".args"), QByteArray("\n"));
    }

    // Only the standard streams reach the client, whatever the player has open.
    void clientInheritsNoOtherDescriptors() {
        writeClient(
            "#!/bin/sh\n"
            "ls /proc/$$/fd > \"$0.fds\"\n"
            "echo $$ > \"$0.pid\"\n"
            "exec sleep 30\n");
        QFile held(directory->path() + QStringLiteral("/held"));
        QVERIFY(held.open(QIODevice::WriteOnly));
        QVERIFY(::fcntl(held.handle(), F_SETFD, 0) == 0);  // inheritable on purpose
        Output output;
        UsbIpLauncher launcher(commands(kNoClientRunning, kGrantAtOnce), directory->path(),
                               output.stream());
        launcher.startUsbIpClient();
        QCOMPARE(output.text(), QByteArray("Start USBIP Clinet Success\n"));
        startedClients << clientPid();
        // The shell's own descriptor for the script may come on top of 0, 1 and 2.
        const QList<QByteArray> descriptors = readFile(clientPath + ".fds").split('\n');
        QVERIFY(!descriptors.contains(QByteArray::number(held.handle())));
        for (const QByteArray& descriptor : descriptors) {
            QVERIFY2(descriptor.isEmpty() || descriptor.toInt() <= 2 || descriptor.toInt() >= 10,
                     descriptor.constData());
        }
    }

    void clientThatEndsAtOnceCountsAsFailed() {
        writeClient("#!/bin/sh\nexit 0\n");
        Output output;
        UsbIpLauncher launcher(commands(kNoClientRunning, kGrantAtOnce), directory->path(),
                               output.stream());
        QElapsedTimer elapsed;
        elapsed.start();
        launcher.startUsbIpClient();
        QCOMPARE(output.text(), QByteArray("Start USBIP Client Failed\n"));
        // The check ends as soon as the client does.
        QVERIFY(elapsed.elapsed() < 450);
    }

    void clientEndingWithinTheCheckCountsAsFailed() {
        writeClient("#!/bin/sh\nsleep 0.2\n");
        Output output;
        UsbIpLauncher launcher(commands(kNoClientRunning, kGrantAtOnce), directory->path(),
                               output.stream());
        launcher.startUsbIpClient();
        QCOMPARE(output.text(), QByteArray("Start USBIP Client Failed\n"));
    }

    void failedElevationIsReported_data() {
        QTest::addColumn<QStringList>("elevation");
        QTest::newRow("declined") << QStringList{"sh", "-c", "exit 126"};
        QTest::newRow("no authentication agent") << QStringList{"sh", "-c", "exit 127"};
        QTest::newRow("tool missing") << QStringList{"/nonexistent/pkexec"};
        QTest::newRow("no tool at all") << QStringList();
    }

    void failedElevationIsReported() {
        QFETCH(QStringList, elevation);
        writeClient(kLongRunningClient);
        Output output;
        UsbIpLauncher launcher(commands(kNoClientRunning, elevation), directory->path(),
                               output.stream());
        launcher.startUsbIpClient();
        QCOMPARE(output.text(),
                 "Execute " + clientPath.toLocal8Bit() + "  Failed\nStart USBIP Client Failed\n");
        QVERIFY(!QFile::exists(clientPath + ".pid"));
    }

    // Nobody answers the prompt: the start is given up, the prompt closed and nothing left over.
    void unansweredPromptIsGivenUp() {
        writeClient(kLongRunningClient);
        const QString toolPidFile = directory->path() + QStringLiteral("/tool.pid");
        LauncherCommands unanswered =
            commands(kNoClientRunning,
                     {"sh", "-c", "echo $$ > '" + toolPidFile + "'; while :; do sleep 0.05; done",
                      "prompt"});
        unanswered.elevationAnswerTimeoutMs = 300;
        Output output;
        UsbIpLauncher launcher(unanswered, directory->path(), output.stream());
        QElapsedTimer elapsed;
        elapsed.start();
        launcher.startUsbIpClient();
        QVERIFY(elapsed.elapsed() < 3000);
        QCOMPARE(output.text(),
                 "Execute " + clientPath.toLocal8Bit() + "  Failed\nStart USBIP Client Failed\n");
        const qint64 toolPid = readFile(toolPidFile).trimmed().toLongLong();
        QVERIFY(toolPid > 0);
        if (isRunning(toolPid)) {
            startedClients << toolPid;
            QFAIL("the unanswered prompt is still open");
        }
    }

    // A missing or hanging process list leaves it empty: the client counts as not running.
    void brokenProcessListStillLetsTheStartGoOn_data() {
        QTest::addColumn<QStringList>("processList");
        QTest::newRow("missing") << QStringList{"/nonexistent/ps"};
        QTest::newRow("hanging") << QStringList{"sleep", "30"};
    }

    void brokenProcessListStillLetsTheStartGoOn() {
        QFETCH(QStringList, processList);
        LauncherCommands broken = commands(processList, kGrantAtOnce);
        broken.processListTimeoutMs = 200;
        Output output;
        UsbIpLauncher launcher(broken, directory->path(), output.stream());
        QElapsedTimer elapsed;
        elapsed.start();
        launcher.startUsbIpClient();
        QVERIFY(elapsed.elapsed() < 3000);
        QCOMPARE(output.text(), notExist());
    }

    // Paths and parameters reach the client as they are: nothing passes through a shell.
    void awkwardPathAndParametersArriveIntact() {
        directory = std::make_unique<QTemporaryDir>(QDir::tempPath() +
                                                    QStringLiteral("/odd 'dir' \"$HOME\" ;XXXXXX"));
        QVERIFY(directory->isValid());
        clientPath = directory->path() + QStringLiteral("/usbip/Pellvor.exe");
        writeClient(kLongRunningClient);
        Output output;
        UsbIpLauncher launcher(commands(kNoClientRunning, kGrantAtOnce), directory->path(),
                               output.stream());
        const auto pid =
            launcher.runElevated(clientPath, QStringLiteral("--bus 1-1 \"two words\" $PATH"), 500);
        QVERIFY(pid.has_value());
        startedClients << *pid;
        QCOMPARE(output.text(), QByteArray());
        QCOMPARE(*pid, clientPid());
        QCOMPARE(readFile(clientPath + ".args"), QByteArray("--bus\n1-1\ntwo words\n$PATH\n"));
    }

    void failedStartNamesPathAndParameters() {
        Output output;
        UsbIpLauncher launcher(commands(kNoClientRunning, {"/nonexistent/pkexec"}),
                               directory->path(), output.stream());
        QVERIFY(!launcher.runElevated(clientPath, QStringLiteral("-a b"), 500).has_value());
        QCOMPARE(output.text(), "Execute " + clientPath.toLocal8Bit() + " -a b Failed\n");
    }

    // The system's own process list shows whole command lines, where the client's name appears.
    void systemProcessListShowsCommandLines() {
        const LauncherCommands system = systemLauncherCommands();
        QProcess ps;
        ps.start(system.processList.first(), system.processList.mid(1));
        QVERIFY(ps.waitForFinished(10000));
        // Longer than the 15 characters of a process name: only a command line holds it whole.
        const QByteArray ownName =
            QFileInfo(QCoreApplication::applicationFilePath()).fileName().toLocal8Bit();
        QVERIFY(ownName.size() > 15);
        QVERIFY(ps.readAllStandardOutput().contains(ownName));
        QCOMPARE(system.elevation, QStringList{"pkexec"});
        QCOMPARE(system.processListTimeoutMs, 30000);
    }

    // A narrow terminal's COLUMNS must not cut the list: a client with a long command line is
    // still found, and nothing is printed or started.
    void systemProcessListIsReadInFullWidth() {
        const QByteArray padding(120, 'x');
        const QString longClient = directory->path() + QStringLiteral("/") +
                                   QString::fromLatin1(padding) + QStringLiteral("/Pellvor.exe");
        QProcess client;
        client.start(QStringLiteral("sh"),
                     {QStringLiteral("-c"), QStringLiteral("sleep 30; :"), longClient});
        QVERIFY(client.waitForStarted(5000));
        const QByteArray columns = qgetenv("COLUMNS");
        const bool hadColumns = qEnvironmentVariableIsSet("COLUMNS");
        qputenv("COLUMNS", "80");
        Output output;
        UsbIpLauncher launcher(systemLauncherCommands(), directory->path(), output.stream());
        launcher.startUsbIpClient();
        if (hadColumns) {
            qputenv("COLUMNS", columns);
        } else {
            qunsetenv("COLUMNS");
        }
        client.kill();
        client.waitForFinished(5000);
        QCOMPARE(output.text(), QByteArray());
    }

  private:
    void writeClient(const char* script) {
        QVERIFY(QDir().mkpath(QFileInfo(clientPath).path()));
        QFile client(clientPath);
        QVERIFY(client.open(QIODevice::WriteOnly));
        client.write(script);
        client.close();
        QVERIFY(client.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }

    qint64 clientPid() const { return readFile(clientPath + ".pid").trimmed().toLongLong(); }

    static QByteArray readFile(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QByteArray notExist() const {
        return "USBIP Client Execute File:" + clientPath.toLocal8Bit() + " Not Exist\n";
    }

    std::unique_ptr<QTemporaryDir> directory;
    QString clientPath;
    QList<qint64> startedClients;
};

QTEST_GUILESS_MAIN(UsbIpLauncherTest)
#include "usbip_launcher_test.moc"
