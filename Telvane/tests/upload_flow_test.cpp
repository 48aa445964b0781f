// The upload flow without widgets: one upload at a time, and a restart of its transmitter's
// stream or a close of the window held until its verdict.

#include "upload_flow.h"

#include <QtTest>

#include <cstdint>

namespace {

// The flow only compares and keeps proxy pointers: any two distinct addresses stand for two.
HDMIDeviceProxy* const kTransmitter = reinterpret_cast<HDMIDeviceProxy*>(std::uintptr_t{0x10});
HDMIDeviceProxy* const kReceiver = reinterpret_cast<HDMIDeviceProxy*>(std::uintptr_t{0x20});

}  // namespace

class UploadFlowTest : public QObject {
    Q_OBJECT

  private slots:
    void oneUploadAtATimeOnTheSessionItStartedOn() {
        UploadFlow upload;
        QVERIFY(!upload.running());
        QVERIFY(!upload.start(nullptr));  // no usable device: nothing happens
        QVERIFY(!upload.running());
        QVERIFY(upload.start(kReceiver));
        QVERIFY(upload.runsOn(kReceiver));
        QVERIFY(!upload.runsOn(kTransmitter));
        QCOMPARE(upload.targetName(kReceiver), "RX");
        QVERIFY(!upload.start(kTransmitter));
        QVERIFY(upload.runsOn(kReceiver));
        const UploadFlow::AfterUpload after = upload.end();
        QVERIFY(!after.restartStream && !after.closeWindow);
        QVERIFY(!upload.running());
        QVERIFY(upload.start(kTransmitter));
        QCOMPARE(upload.targetName(kReceiver), "TX");
    }

    // A resize restarts the stream of a transmitter at once unless the upload runs on its
    // session; then the restart, like a close, comes with the verdict, once.
    void restartAndCloseWaitForTheVerdict() {
        UploadFlow upload;
        QVERIFY(upload.mayRestartStream(kTransmitter));
        QVERIFY(upload.mayClose());

        QVERIFY(upload.start(kReceiver));
        QVERIFY(upload.mayRestartStream(kTransmitter));
        QVERIFY(!upload.mayClose());
        QVERIFY(upload.closeWaiting());
        UploadFlow::AfterUpload after = upload.end();
        QVERIFY(!after.restartStream);
        QVERIFY(after.closeWindow);
        QVERIFY(!upload.closeWaiting());

        QVERIFY(upload.start(kTransmitter));
        QVERIFY(!upload.mayRestartStream(kTransmitter));
        QVERIFY(upload.mayRestartStream(nullptr));
        after = upload.end();
        QVERIFY(after.restartStream);
        QVERIFY(!after.closeWindow);
        // A second verdict (the proxy's end after its upload's 1004) asks for nothing more.
        after = upload.end();
        QVERIFY(!after.restartStream && !after.closeWindow);
    }
};

QTEST_GUILESS_MAIN(UploadFlowTest)
#include "upload_flow_test.moc"
