#include "window_fixture.h"

#include "stream_bytes.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QtTest>

#include <sys/socket.h>

#include <chrono>
#include <thread>

DeviceTable loopbackDevices() {
    DeviceTable devices;
    devices.decodeDeviceAddress = QStringLiteral("127.0.0.88");
    devices.encodeDeviceAddresses = {QStringLiteral("127.0.0.220"), QStringLiteral("127.0.0.221"),
                                     QStringLiteral("127.0.0.222"), QStringLiteral("127.0.0.223")};
    devices.port = 1;  // nothing listens there
    return devices;
}

const UsbIpLauncher& idleLauncher() {
    static const UsbIpLauncher launcher = [] {
        LauncherCommands commands;
        commands.processList =
            QStringList{QStringLiteral("echo"), QStringLiteral("/opt/usbip/Pellvor.exe")};
        return UsbIpLauncher(commands, QStringLiteral("/nonexistent"));
    }();
    return launcher;
}

FakeInstallation::FakeInstallation()
    : receiver(std::make_unique<korvex::test::FakeDevice>("127.0.0.88")) {
    receiver->setDefaultReply(serving(everyKey("1:0,0,100,100", 1, 30)));
    const DeviceTable table = loopbackDevices();
    for (size_t i = 0; i < transmitters.size(); ++i) {
        transmitters[i] = std::make_unique<korvex::test::FakeDevice>(
            table.encodeDeviceAddresses[i].toLatin1().constData(), receiver->port());
        transmitters[i]->setDefaultReply(streaming(everyKey("", 1, 30)));
    }
}

FakeInstallation::~FakeInstallation() = default;

DeviceTable FakeInstallation::devices() const {
    DeviceTable table = loopbackDevices();
    table.port = receiver->port();
    return table;
}

std::string everyKey(const std::string& display, int audio, int frameRate) {
    return "SOFTVER=1.0\r\nHARDVER=A\r\nSERIAL=77\r\nMODEL=RX\r\nAUDIO=" + std::to_string(audio) +
           "\r\nRESOLUTION=1080P60\r\nDISPLAY=[" + display +
           "]\r\nCODEC=0\r\nWIDTH=1920\r\nHEIGHT=1080\r\nBITRATE=8000\r\nKEYGOP=60\r\n"
           "FRAMERATE=" +
           std::to_string(frameRate) +
           "\r\nRC=1\r\nQUALITY=3\r\nPROFILE=2\r\nMODE=1\r\nCLIENT=0\r\nBAUDRATE=115200\r\n"
           "PORT=5000\r\nPEER_PORT=6000\r\nPEER_ADDR=10.1.1.1\r\n";
}

korvex::test::Reply serving(const std::string& body, int delayMs) {
    korvex::test::Reply reply;
    reply.chunks.push_back({delayMs, korvex::test::OkResponse(body)});
    reply.closeAfter = false;
    return reply;
}

korvex::test::Reply streaming(const std::string& body) {
    korvex::test::Reply reply = serving(body);
    reply.then = [](int socket, const std::string& request) {
        if (request.compare(0, 5, "PLAY ") != 0) {
            return;
        }
        using korvex::test::Packet;
        // Apart from the answer, which is read with one receive that drops what came with it.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        std::string packets =
            Packet(KORVEX_PACKET_MEDIA_INFO, korvex::test::MediaInfoPayload(1920, 1080, 1), 0, 0,
                   korvex::test::kWholeFrame);
        for (uint64_t frame = 1; frame <= 600; ++frame) {
            packets += Packet(KORVEX_PACKET_KEY_FRAME, "picture", frame);
            if (::send(socket, packets.data(), packets.size(), MSG_NOSIGNAL) !=
                static_cast<ssize_t>(packets.size())) {
                return;  // the client has gone
            }
            packets.clear();
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    };
    return reply;
}

std::vector<std::string> requestsFor(const korvex::test::FakeDevice& device,
                                     const std::string& word) {
    std::vector<std::string> matching;
    for (const std::string& request : device.requests()) {
        if (request.compare(0, word.size() + 1, word + " ") == 0) {
            matching.push_back(request);
        }
    }
    return matching;
}

std::vector<std::string> commandWords(const korvex::test::FakeDevice& device) {
    std::vector<std::string> words;
    for (const std::string& request : device.requests()) {
        words.push_back(request.substr(0, request.find(' ')));
    }
    return words;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

bool waitForQuiet(const korvex::test::FakeDevice& device, int quietMs, int timeoutMs) {
    QElapsedTimer total;
    total.start();
    QElapsedTimer quiet;
    quiet.start();
    size_t seen = device.requests().size();
    while (quiet.elapsed() < quietMs) {
        if (total.elapsed() > timeoutMs) {
            return false;
        }
        QTest::qWait(10);
        if (device.requests().size() != seen) {
            seen = device.requests().size();
            quiet.restart();
        }
    }
    return true;
}

namespace {

// Tries every 20 ms for about two seconds until the dialog is open.
void answerFileDialog(const QString& path, int triesLeft) {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) {
        if (triesLeft > 0) {
            QTimer::singleShot(20, [path, triesLeft] { answerFileDialog(path, triesLeft - 1); });
        }
        return;
    }
    if (path.isEmpty()) {
        dialog->reject();
        return;
    }
    dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(path);
    QMetaObject::invokeMethod(dialog, "accept");
}

}  // namespace

void answerNextFileDialog(const QString& path) {
    answerFileDialog(path, 100);
}

QStringList clippedCaptions(Telvane& window) {
    QStringList clipped;
    auto check = [&](const QString& text, const QFontMetrics& metrics, int room) {
        int needed = 0;
        for (const QString& line : text.split(QStringLiteral("\r\n"))) {
            needed = qMax(needed, metrics.horizontalAdvance(line));
        }
        if (!text.trimmed().isEmpty() && needed > room) {
            clipped << QStringLiteral("%1 (%2 > %3)").arg(text).arg(needed).arg(room);
        }
    };
    for (QWidget* widget : window.findChildren<QWidget*>()) {
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            check(label->text(), label->fontMetrics(), label->contentsRect().width());
        } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = button->text();
            const QRect contents =
                button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
            check(button->text(), button->fontMetrics(), contents.width());
        } else if (auto* box = qobject_cast<QGroupBox*>(widget)) {
            // The title sits on the frame's top edge, inset from both sides.
            check(box->title(), box->fontMetrics(), box->width() - 16);
        }
    }
    return clipped;
}
