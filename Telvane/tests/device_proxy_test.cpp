// The device proxy against the library's fake device on loopback: poll reports, the stream's
// hand-over to the decoder (mute frames included), and prompt stops.
#include "fake_device.h"
#include "fake_lumadec.h"
#include "hdmi_device_proxy.h"
#include "stream_bytes.h"

#include <QtTest>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using korvex::test::FakeDevice;
using korvex::test::kWholeFrame;
using korvex::test::MediaInfoPayload;
using korvex::test::OkResponse;
using korvex::test::Packet;
using korvex::test::Reply;

namespace {

// A media-information packet; the audio description it carries is 48000, 2, 0, 0, 0.
std::string mediaInfo(int contentMask, int width, int height) {
    return Packet(KORVEX_PACKET_MEDIA_INFO, MediaInfoPayload(width, height, contentMask), 0, 0,
                  kWholeFrame);
}

DeviceProxyInfo infoFor(int port, uint64_t window = 0) {
    DeviceProxyInfo info;
    std::memset(&info, 0, sizeof info);
    std::strcpy(info.address, "127.0.0.1");
    info.port = port;
    info.transport = KORVEX_TRANSPORT_TCP;
    info.window = window;
    return info;
}

// A device that accepts PLAY and then streams `packets`, keeping the connection open.
Reply streaming(std::string packets) {
    Reply reply;
    reply.chunks = {{0, OkResponse()}, {100, std::move(packets)}};
    reply.closeAfter = false;
    return reply;
}

void stopAndWait(HDMIDeviceProxy& proxy) {
    proxy.stopImmediately();
    QVERIFY(proxy.wait(3000));
}

std::vector<LumadecCall> callsOf(const std::string& function) {
    std::vector<LumadecCall> matching;
    for (const auto& call : recordedLumadecCalls()) {
        if (call.function == function) {
            matching.push_back(call);
        }
    }
    return matching;
}

}  // namespace

// Collects a proxy's reports on the test's thread, the way the window receives them: as queued
// calls, whichever thread emitted them.
class Reports : public QObject {
    Q_OBJECT

  public:
    explicit Reports(HDMIDeviceProxy& proxy) {
        connect(&proxy, &HDMIDeviceProxy::deviceNotify, this, &Reports::received,
                Qt::QueuedConnection);
    }
    QList<void*> devices;
    QList<int> statuses;

  private slots:
    void received(void* device, int status) {
        devices << device;
        statuses << status;
    }
};

class DeviceProxyTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        clearRecordedLumadecCalls();
        pcAudioEnabled = false;
    }

    void monitoringProxyReportsAnsweredAndStopsPromptly() {
        FakeDevice device;
        device.setDefaultReply(
            korvex::test::Answer(OkResponse("SOFTVER=1\r\nHARDVER=2\r\nSERIAL=3\r\nMODEL=RX\r\n")));
        DeviceProxyInfo info = infoFor(device.port());
        HDMIDeviceProxy proxy(nullptr, false, &info);
        Reports reports(proxy);
        proxy.start();
        QTRY_VERIFY_WITH_TIMEOUT(!reports.statuses.isEmpty(), 3000);
        QCOMPARE(reports.devices.at(0), static_cast<void*>(&proxy));
        QCOMPARE(reports.statuses.at(0), 2);

        QElapsedTimer stopping;
        stopping.start();
        stopAndWait(proxy);
        QVERIFY(stopping.elapsed() < 1000);
    }

    // The proxy's thread is the device's command queue: commands run there one by one, in the
    // order they were queued, with the logged-in session; their replies come back on the owner's
    // thread, in the same order.
    void commandsRunInOrderOnTheProxysThread() {
        FakeDevice device;
        device.setDefaultReply(korvex::test::Answer(OkResponse("KEY=1\r\n")));
        DeviceProxyInfo info = infoFor(device.port());
        HDMIDeviceProxy proxy(nullptr, false, &info);
        QList<int> replies;
        std::mutex mutex;
        std::vector<QThread*> threads;
        for (int i = 0; i < 3; ++i) {
            proxy.enqueue([&, i](KorvexSession* session) -> HDMIDeviceProxy::Reply {
                const int result = KORVEX_SendRemoteKey(session, i);
                {
                    std::lock_guard<std::mutex> lock(mutex);
                    threads.push_back(QThread::currentThread());
                }
                return [&replies, i, result] { replies << (result == 0 ? i : -1); };
            });
        }
        proxy.start();
        QTRY_COMPARE_WITH_TIMEOUT(replies, (QList<int>{0, 1, 2}), 5000);
        for (QThread* thread : threads) {
            QCOMPARE(thread, static_cast<QThread*>(&proxy));
        }
        std::vector<std::string> keys;
        for (const std::string& request : device.requests()) {
            if (request.compare(0, 13, "NET_KEYBOARD ") == 0) {
                keys.push_back(request.substr(request.find("KEY=")));
            }
        }
        QCOMPARE(keys, (std::vector<std::string>{"KEY=0\r\n", "KEY=1\r\n", "KEY=2\r\n"}));
        stopAndWait(proxy);
    }

    // While a command runs, waiting ones of one kind replace each other (the last one queued
    // takes the first one's place); a stop returns at once, lets the running command finish and
    // drops the waiting ones.
    void waitingCommandsAreReplacedByKindAndDroppedAtTheStop() {
        FakeDevice device;
        DeviceProxyInfo info = infoFor(device.port());
        HDMIDeviceProxy proxy(nullptr, false, &info);
        std::mutex mutex;
        std::condition_variable changed;
        bool running = false;
        bool mayFinish = false;
        std::vector<std::string> ran;
        auto record = [&](const char* name) {
            return [&, name](KorvexSession*) -> HDMIDeviceProxy::Reply {
                std::lock_guard<std::mutex> lock(mutex);
                ran.push_back(name);
                return {};
            };
        };
        proxy.enqueue([&](KorvexSession*) -> HDMIDeviceProxy::Reply {
            std::unique_lock<std::mutex> lock(mutex);
            running = true;
            changed.notify_all();
            changed.wait_for(lock, std::chrono::seconds(5), [&] { return mayFinish; });
            ran.push_back("blocker");
            return {};
        });
        proxy.start();
        {
            std::unique_lock<std::mutex> lock(mutex);
            QVERIFY(changed.wait_for(lock, std::chrono::seconds(3), [&] { return running; }));
        }
        proxy.enqueue(record("first write"), 1);
        proxy.enqueue(record("other"));
        proxy.enqueue(record("last write"), 1);
        {
            std::lock_guard<std::mutex> lock(mutex);
            mayFinish = true;
            changed.notify_all();
        }
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                std::lock_guard<std::mutex> lock(mutex);
                return ran.size() == 3;
            }(),
            3000);
        QCOMPARE(ran, (std::vector<std::string>{"blocker", "last write", "other"}));

        {
            std::lock_guard<std::mutex> lock(mutex);
            mayFinish = false;
            running = false;
        }
        proxy.enqueue([&](KorvexSession*) -> HDMIDeviceProxy::Reply {
            std::unique_lock<std::mutex> lock(mutex);
            running = true;
            changed.notify_all();
            changed.wait_for(lock, std::chrono::seconds(5), [&] { return mayFinish; });
            return {};
        });
        {
            std::unique_lock<std::mutex> lock(mutex);
            QVERIFY(changed.wait_for(lock, std::chrono::seconds(3), [&] { return running; }));
        }
        proxy.enqueue(record("dropped"));
        QElapsedTimer stopping;
        stopping.start();
        proxy.stopImmediately();
        QVERIFY(stopping.elapsed() < 50);
        QVERIFY(!proxy.wait(200));  // still running its command
        {
            std::lock_guard<std::mutex> lock(mutex);
            mayFinish = true;
            changed.notify_all();
        }
        QVERIFY(proxy.wait(3000));
        QCOMPARE(ran.size(), size_t{3});
    }

    void monitoringProxyReportsUnansweredAndIncompleteAnswers() {
        FakeDevice device;
        device.setDefaultReply(korvex::test::Answer(OkResponse("SOFTVER=1\r\nHARDVER=2\r\n")));
        DeviceProxyInfo info = infoFor(device.port());
        HDMIDeviceProxy proxy(nullptr, false, &info);
        Reports reports(proxy);
        proxy.start();
        QTRY_VERIFY_WITH_TIMEOUT(!reports.statuses.isEmpty(), 3000);
        QCOMPARE(reports.statuses.at(0), 1);
        stopAndWait(proxy);

        DeviceProxyInfo refused = infoFor(korvex::test::RefusingPort());
        HDMIDeviceProxy unreachable(nullptr, false, &refused);
        Reports unreachableReports(unreachable);
        unreachable.start();
        QTRY_VERIFY_WITH_TIMEOUT(!unreachableReports.statuses.isEmpty(), 5000);
        QCOMPARE(unreachableReports.statuses.at(0), 1);
        stopAndWait(unreachable);
    }

    void proxyStoppedBeforeItsThreadRunsNeverLogsIn() {
        FakeDevice device;
        DeviceProxyInfo info = infoFor(device.port(), 42);
        HDMIDeviceProxy proxy(nullptr, true, &info);
        proxy.stopImmediately();
        proxy.stopImmediately();
        proxy.start();
        QVERIFY(proxy.wait(2000));
        QCOMPARE(device.connectionCount(), size_t{0});
    }

    void streamingProxyFeedsThePlayerAndMutesAudio() {
        FakeDevice device;
        const std::string video = std::string("\x00\x00\x00\x01\x65", 5) + "key";
        const std::string sound = "\xff\xf1" + std::string(30, 'a');
        device.script(streaming(mediaInfo(3, 1920, 1080) +
                                Packet(KORVEX_PACKET_KEY_FRAME, video, 10) +
                                Packet(KORVEX_PACKET_AUDIO, sound, 11) + Packet(0, "delta", 12)));
        DeviceProxyInfo info = infoFor(device.port(), 0x2a00007);
        HDMIDeviceProxy proxy(nullptr, true, &info);
        Reports reports(proxy);
        proxy.start();
        QTRY_VERIFY_WITH_TIMEOUT(callsOf("write").size() >= 3, 5000);

        auto opens = callsOf("open");
        QCOMPARE(opens.size(), size_t{1});
        QCOMPARE(opens[0].window, uint64_t{0x2a00007});
        QCOMPARE(opens[0].video.width, 1920);
        QCOMPARE(opens[0].video.height, 1080);
        QVERIFY(opens[0].hasAudio);
        QCOMPARE(opens[0].audio.param0, 48000);
        QCOMPARE(opens[0].audio.param1, 2);
        QCOMPARE(opens[0].audio.param4, 0);

        auto writes = callsOf("write");
        QCOMPARE(writes[0].type, 1);
        QCOMPARE(writes[0].data, video);
        QCOMPARE(writes[1].type, 3);
        QCOMPARE(writes[1].timestamp, uint64_t{11});
        QCOMPARE(writes[1].data.size(), size_t{128});
        QCOMPARE(writes[1].data.substr(0, 4), std::string("\xff\xf1\x4c\x40"));
        QCOMPARE(static_cast<uint8_t>(writes[1].data[127]), uint8_t{0x2f});
        QCOMPARE(writes[2].data, std::string("delta"));

        stopAndWait(proxy);
        QCOMPARE(callsOf("close").size(), size_t{1});
        QTRY_VERIFY_WITH_TIMEOUT(reports.statuses.contains(3), 2000);
        QCOMPARE(reports.statuses.mid(0, 2), (QList<int>{0, 2}));
    }

    void soundPassesUnchangedWhileThePcPlaysIt() {
        pcAudioEnabled = true;
        FakeDevice device;
        const std::string sound = "\xff\xf1" + std::string(40, 's');
        device.script(streaming(mediaInfo(1, 1280, 720) + Packet(KORVEX_PACKET_KEY_FRAME, "k", 1) +
                                Packet(KORVEX_PACKET_AUDIO, sound, 2)));
        DeviceProxyInfo info = infoFor(device.port(), 7);
        HDMIDeviceProxy proxy(nullptr, true, &info);
        proxy.start();
        QTRY_VERIFY_WITH_TIMEOUT(callsOf("write").size() >= 2, 5000);
        QVERIFY(!callsOf("open")[0].hasAudio);
        QCOMPARE(callsOf("write")[1].data, sound);
        stopAndWait(proxy);
    }

    void contentWithoutVideoOpensNoPlayerAndFramesAreDropped() {
        FakeDevice device;
        device.script(
            streaming(mediaInfo(2, 1920, 1080) + Packet(KORVEX_PACKET_KEY_FRAME, "k", 1)));
        DeviceProxyInfo info = infoFor(device.port(), 7);
        HDMIDeviceProxy proxy(nullptr, true, &info);
        Reports reports(proxy);
        proxy.start();
        QTRY_VERIFY_WITH_TIMEOUT(reports.statuses.contains(2), 5000);
        QTest::qWait(300);
        stopAndWait(proxy);
        QVERIFY(recordedLumadecCalls().empty());
    }
};

QTEST_GUILESS_MAIN(DeviceProxyTest)
#include "device_proxy_test.moc"
