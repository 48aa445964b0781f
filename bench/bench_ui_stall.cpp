// The window's responsiveness: the longest stall of the UI thread's event loop (a 10 ms heartbeat
// timer, largest gap between two beats) while a script clicks every control of the window against
// devicesim on loopback addresses, once with every device answering after 900 ms and once with a
// receiver that hangs right after it has been seen connected. The baseline is the same heartbeat
// while the window sits idle in the same run.
//
// Usage: bench_ui_stall   (needs an X server: scripts/bench runs it under xvfb-run)
#include "device_table.h"
#include "telvane.h"
#include "usbip_launcher.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QTemporaryFile>
#include <QTimer>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

const char kReceiver[] = "127.0.0.88";
const char* const kTransmitters[] = {"127.0.0.220", "127.0.0.221", "127.0.0.222", "127.0.0.223"};
constexpr int kHeartbeatMs = 10;
constexpr int kPauseBetweenStepsMs = 300;

// A free TCP port on the receiver's loopback address (the same port then serves every device).
uint16_t FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    inet_pton(AF_INET, kReceiver, &address.sin_addr);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("bench_ui_stall: free port");
        std::exit(1);
    }
    ::close(fd);
    return ntohs(address.sin_port);
}

bool Answers(const char* host, uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    inet_pton(AF_INET, host, &address.sin_addr);
    const bool connected =
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

// One devicesim process serving `devices` (ROLE@ADDR:PORT), its log in /tmp.
class Devicesim {
  public:
    Devicesim(const std::vector<std::string>& devices, const std::vector<std::string>& options,
              const std::string& logName) {
        std::vector<std::string> arguments{DEVICESIM_PATH};
        for (const std::string& device : devices) {
            arguments.push_back("--device");
            arguments.push_back(device);
        }
        arguments.insert(arguments.end(), options.begin(), options.end());
        pid_ = ::fork();
        if (pid_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // no emulator outlives a benchmark cut short
            const std::string log = "/tmp/bench_ui_stall-" + logName + ".log";
            if (std::freopen(log.c_str(), "w", stderr) == nullptr) {
                _exit(127);
            }
            std::vector<char*> argv;
            argv.reserve(arguments.size() + 1);
            for (std::string& argument : arguments) {
                argv.push_back(argument.data());
            }
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            _exit(127);
        }
    }
    ~Devicesim() {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    Devicesim(const Devicesim&) = delete;
    Devicesim& operator=(const Devicesim&) = delete;

  private:
    pid_t pid_ = -1;
};

void WaitUntilListening(const std::vector<const char*>& hosts, uint16_t port) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    for (const char* host : hosts) {
        while (!Answers(host, port)) {
            if (std::chrono::steady_clock::now() > deadline) {
                std::fprintf(stderr, "bench_ui_stall: devicesim does not listen on %s:%u\n", host,
                             port);
                std::exit(1);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
}

// Records the largest gap between heartbeats, and which step of the script was running then.
class StallMeter {
  public:
    StallMeter() {
        QObject::connect(&timer_, &QTimer::timeout, [this] { beat(); });
    }
    void start() {
        longestMs_ = 0;
        over100_ = 0;
        clock_.start();
        timer_.start(kHeartbeatMs);
    }
    void stop() { timer_.stop(); }
    void setStep(const QString& step) { step_ = step; }
    qint64 longestMs() const { return longestMs_; }
    QString longestStep() const { return longestStep_; }
    int stallsOver100Ms() const { return over100_; }

  private:
    void beat() {
        const qint64 gap = clock_.restart() - kHeartbeatMs;
        if (gap > 100) {
            ++over100_;
        }
        if (gap > longestMs_) {
            longestMs_ = gap;
            longestStep_ = step_;
        }
    }

    QTimer timer_;
    QElapsedTimer clock_;
    QString step_;
    QString longestStep_;
    qint64 longestMs_ = 0;
    int over100_ = 0;
};

// Runs the event loop for `ms`.
void Idle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

QAbstractButton* Button(QWidget& window, const QString& box, const QString& caption) {
    for (QGroupBox* group : window.findChildren<QGroupBox*>()) {
        if (group->title() != box) {
            continue;
        }
        for (QAbstractButton* button : group->findChildren<QAbstractButton*>()) {
            if (button->text() == caption) {
                return button;
            }
        }
    }
    std::fprintf(stderr, "bench_ui_stall: no button \"%s\" in \"%s\"\n", qPrintable(caption),
                 qPrintable(box));
    std::exit(1);
}

QWidget* VideoArea(QMainWindow& window) {
    // The widest child without children of its own: the picture between the two panels.
    QWidget* video = nullptr;
    for (QWidget* child :
         window.centralWidget()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (child->minimumWidth() == 600) {
            video = child;
        }
    }
    return video;
}

struct Step {
    QString name;
    std::function<void()> action;
};

std::vector<Step> Script(QMainWindow& window, const QString& firmware) {
    auto click = [&window](const char* box, const char* caption) {
        return Step{QStringLiteral("%1 / %2").arg(box, caption), [&window, box, caption] {
                        QAbstractButton* button = Button(window, box, caption);
                        button->setEnabled(true);
                        button->click();
                    }};
    };
    auto hold = [&window](const char* caption) {
        return Step{QStringLiteral("hold PWM %1").arg(caption), [&window, caption] {
                        QAbstractButton* button = Button(window, "PWMControl", caption);
                        QTest::mousePress(button, Qt::LeftButton);
                        Idle(600);
                        QTest::mouseRelease(button, Qt::LeftButton);
                    }};
    };
    std::vector<Step> steps = {
        click("Channel Choose", "CH1"),
    };
    for (const char* caption : {"CH1", "CH2", "CH3", "CH4"}) {
        steps.push_back(click("Video", caption));
    }
    steps.push_back(click("Video", "60fps"));
    steps.push_back(click("Video", "30fps"));
    for (const char* caption : {"CH1|CH2", "CH3|CH4", "CH1|CH2\r\nCH3|CH4"}) {
        steps.push_back(click("Video", caption));
    }
    for (const char* caption : {"CH1", "CH2", "CH3", "CH4", "X"}) {
        steps.push_back(click("Audio", caption));
    }
    steps.push_back(click("Output", "4K@30fps"));
    steps.push_back(click("Output", "1080P@60fps"));
    steps.push_back(click("PWMControl", "Goto"));
    steps.push_back(hold("+"));
    steps.push_back(hold("-"));
    steps.push_back(click("PWMControl", "Control RX"));
    steps.push_back(click("PWMControl", "Goto"));
    steps.push_back(hold("+"));
    steps.push_back(click("PWMControl", "Control TX"));
    steps.push_back(click("TTLControl", "Control TX"));
    steps.push_back(click("TTLControl", "Control RX"));
    steps.push_back(
        {QStringLiteral("Upgrade / Choose"), [&window, firmware] {
             // Types the path into the dialog, as the operator would.
             QTimer::singleShot(200, [firmware] {
                 if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                     dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
                         ->setText(firmware);
                     QMetaObject::invokeMethod(dialog, "accept");
                 }
             });
             Button(window, "Upgrade", "Choose")->click();
         }});
    steps.push_back(click("Upgrade", "Upgrade TX"));
    steps.push_back({QStringLiteral("wait for the upload"), [] { Idle(4000); }});
    steps.push_back(click("Upgrade", "Upgrade RX"));
    steps.push_back({QStringLiteral("wait for the upload"), [] { Idle(4000); }});
    for (const char* caption : {"CH2", "CH3", "X", "CH4"}) {
        steps.push_back(click("Channel Choose", caption));
    }
    steps.push_back({QStringLiteral("drag the window's edge"), [&window] {
                         for (int i = 0; i < 10; ++i) {
                             window.resize(window.width() + 8, window.height());
                             Idle(15);
                         }
                     }});
    steps.push_back({QStringLiteral("double-click the picture (full screen and back)"), [&window] {
                         // Full screen holds the picture in a window of its own.
                         QWidget* picture = VideoArea(window);
                         QTest::mouseDClick(picture, Qt::LeftButton);
                         Idle(1500);
                         QTest::mouseDClick(picture, Qt::LeftButton);
                     }});
    return steps;
}

struct Result {
    qint64 longestMs = 0;
    QString step;
    int over100 = 0;
    qint64 closeMs = 0;
};

Result RunScenario(const DeviceTable& devices, const UsbIpLauncher& launcher, int settleMs,
                   const QString& firmware) {
    StallMeter meter;
    auto window = std::make_unique<Telvane>(devices, launcher);
    window->show();
    meter.start();
    meter.setStep(QStringLiteral("start-up and the first re-reads"));
    Idle(settleMs);
    for (const Step& step : Script(*window, firmware)) {
        meter.setStep(step.name);
        step.action();
        Idle(kPauseBetweenStepsMs);
    }
    meter.setStep(QStringLiteral("idle after the script"));
    Idle(3500);
    meter.stop();

    Result result{meter.longestMs(), meter.longestStep(), meter.stallsOver100Ms(), 0};
    QElapsedTimer closing;
    closing.start();
    window->close();
    window.reset();
    result.closeMs = closing.elapsed();
    return result;
}

qint64 IdleBaseline(const DeviceTable& devices, const UsbIpLauncher& launcher) {
    StallMeter meter;
    auto window = std::make_unique<Telvane>(devices, launcher);
    window->show();
    Idle(500);
    meter.start();
    Idle(2000);
    meter.stop();
    window.reset();
    return meter.longestMs();
}

void Print(const char* scenario, const Result& result, qint64 baselineMs) {
    std::printf("%-44s %8lld ms %10.1f %8d   %6lld ms   %s\n", scenario,
                static_cast<long long>(result.longestMs),
                baselineMs > 0 ? double(result.longestMs) / double(baselineMs) : 0.0,
                result.over100, static_cast<long long>(result.closeMs),
                qPrintable(result.step.simplified()));
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each row as soon as it is measured
    QApplication application(argc, argv);
    LauncherCommands commands;
    commands.processList = QStringList{QStringLiteral("echo"), QStringLiteral("usbip/Pellvor.exe")};
    const UsbIpLauncher launcher(commands, QStringLiteral("/nonexistent"));

    QTemporaryFile firmware;
    if (!firmware.open()) {
        return 1;
    }
    firmware.write(QByteArray(200000, 'f'));
    firmware.flush();

    const uint16_t port = FreePort();
    DeviceTable devices;
    devices.decodeDeviceAddress = QString::fromLatin1(kReceiver);
    std::vector<std::string> transmitterDevices;
    for (int i = 0; i < 4; ++i) {
        devices.encodeDeviceAddresses[static_cast<size_t>(i)] =
            QString::fromLatin1(kTransmitters[i]);
        transmitterDevices.push_back("tx" + std::to_string(i + 1) + "@" + kTransmitters[i] + ":" +
                                     std::to_string(port));
    }
    devices.port = port;
    const std::string receiverDevice = std::string("rx@") + kReceiver + ":" + std::to_string(port);
    std::vector<const char*> everyHost{kReceiver};
    everyHost.insert(everyHost.end(), std::begin(kTransmitters), std::end(kTransmitters));

    std::printf("%-44s %11s %10s %8s %11s   %s\n", "scenario", "longest", "x idle", ">100 ms",
                "close", "during");
    qint64 baseline = 0;
    Result slow;
    {
        std::vector<std::string> all = transmitterDevices;
        all.push_back(receiverDevice);
        Devicesim simulator(all, {"--answer-delay-ms", "900", "--upgrade-delay-ms", "500"}, "slow");
        WaitUntilListening(everyHost, port);
        baseline = std::max<qint64>(1, IdleBaseline(devices, launcher));
        std::printf("%-44s %8lld ms\n", "idle window (baseline)", static_cast<long long>(baseline));
        slow = RunScenario(devices, launcher, 6500, firmware.fileName());
    }
    Print("every device answers after 900 ms", slow, baseline);
    Result hanging;
    {
        Devicesim transmitters(transmitterDevices, {"--upgrade-delay-ms", "500"}, "transmitters");
        // The receiver answers the first poll and the first re-read, then hangs.
        Devicesim receiver({receiverDevice}, {"--mute-after", "4"}, "receiver");
        WaitUntilListening(everyHost, port);
        hanging = RunScenario(devices, launcher, 4500, firmware.fileName());
    }
    Print("receiver hangs after it was seen connected", hanging, baseline);
    return 0;
}
