// The transmitter switch without widgets: one current proxy, the next stream only once every
// replaced proxy has finished, only the last wish started, and every proxy deleted once.

#include "transmitter_switch.h"
#include "fake_device.h"
#include "hdmi_device_proxy.h"

#include <QPointer>
#include <QtTest>

#include <cstring>
#include <memory>
#include <vector>

namespace {

DeviceProxyInfo nowhere(int port) {
    DeviceProxyInfo info;
    std::memset(&info, 0, sizeof info);
    std::strcpy(info.address, "127.0.0.1");
    info.port = port;
    return info;
}

// Records which transmitters the switch started. The proxies are not started themselves unless
// `run` is set: a proxy's thread only matters for when it finishes, which the tests tell.
struct Starts {
    explicit Starts(bool run = false) : run(run) {}

    HDMIDeviceProxy* operator()(int id) {
        ids.push_back(id);
        const DeviceProxyInfo info = nowhere(korvex::test::RefusingPort());
        auto* proxy = new HDMIDeviceProxy(nullptr, true, &info);
        proxies.push_back(proxy);
        if (run) {
            proxy->start();
        }
        return proxy;
    }

    bool run;
    std::vector<int> ids;
    std::vector<QPointer<HDMIDeviceProxy>> proxies;
};

}  // namespace

class TransmitterSwitchTest : public QObject {
    Q_OBJECT

  private slots:
    void aChoiceWithNothingStoppingStartsAtOnce() {
        Starts starts;
        HDMIDeviceProxy* current = nullptr;
        TransmitterSwitch transmitters(current, std::ref(starts));
        transmitters.start(1);
        QCOMPARE(starts.ids, std::vector<int>{1});
        QCOMPARE(current, starts.proxies[0].data());
        for (int none : {4, -1, 7}) {
            const size_t started = starts.ids.size();
            transmitters.stop();
            transmitters.start(none);
            QVERIFY(current == nullptr);
            QVERIFY(transmitters.finished(transmitters.stopping().front()));
            QCOMPARE(starts.ids.size(), started);  // "X" or no choice starts nothing
            transmitters.start(1);
        }
        QCOMPARE(starts.ids, (std::vector<int>{1, 1, 1, 1}));
        for (HDMIDeviceProxy* proxy : transmitters.takeAll()) {
            delete proxy;
        }
    }

    // Quick switches while the first proxy still stops: only the last choice is started, and
    // only once every replaced proxy has finished; each is deleted once it has.
    void theNextStreamWaitsForEveryReplacedProxy() {
        Starts starts;
        HDMIDeviceProxy* current = nullptr;
        TransmitterSwitch transmitters(current, std::ref(starts));
        transmitters.start(0);
        transmitters.stop();
        transmitters.start(1);
        transmitters.stop();  // nothing current: nothing more to stop
        transmitters.start(2);
        QCOMPARE(starts.ids, std::vector<int>{0});
        QCOMPARE(transmitters.stopping().size(), size_t{1});
        QVERIFY(current == nullptr);

        QVERIFY(!transmitters.finished(nullptr));
        QVERIFY(transmitters.finished(starts.proxies[0]));
        QVERIFY(starts.proxies[0].isNull());
        QCOMPARE(starts.ids, (std::vector<int>{0, 2}));
        QCOMPARE(current, starts.proxies[1].data());
        QVERIFY(!transmitters.finished(starts.proxies[0]));  // once only

        // A wish made while one stops is replaced by a later one.
        transmitters.stop();
        transmitters.start(3);
        transmitters.start(0);
        QCOMPARE(starts.ids.size(), size_t{2});
        QVERIFY(transmitters.finished(starts.proxies[1]));
        QCOMPARE(starts.ids, (std::vector<int>{0, 2, 0}));

        std::vector<HDMIDeviceProxy*> all = transmitters.takeAll();
        QCOMPARE(all, std::vector<HDMIDeviceProxy*>{starts.proxies[2].data()});
        QVERIFY(current == nullptr);
        QVERIFY(transmitters.stopping().empty());
        delete all.front();
    }

    // With real threads: a replaced proxy is asked to stop, its thread ends, and the next one
    // starts from its finished() as the window wires it.
    void aStoppedProxyFinishesAndTheNextStarts() {
        QCOMPARE(KORVEX_Init(), 0);
        Starts starts(true);
        HDMIDeviceProxy* current = nullptr;
        auto transmitters = std::make_unique<TransmitterSwitch>(current, std::ref(starts));
        auto wire = [&](HDMIDeviceProxy* proxy) {
            connect(proxy, &QThread::finished, this,
                    [&transmitters, proxy] { transmitters->finished(proxy); });
        };
        transmitters->start(0);
        wire(current);
        transmitters->stop();
        transmitters->start(3);
        QTRY_COMPARE_WITH_TIMEOUT(starts.ids, (std::vector<int>{0, 3}), 10000);
        QVERIFY(starts.proxies[0].isNull());
        QVERIFY(current != nullptr && current->isRunning());
        for (HDMIDeviceProxy* proxy : transmitters->takeAll()) {
            proxy->stopImmediately();
            QVERIFY(proxy->wait(10000));
            delete proxy;
        }
        KORVEX_Exit();
    }
};

QTEST_GUILESS_MAIN(TransmitterSwitchTest)
#include "transmitter_switch_test.moc"
