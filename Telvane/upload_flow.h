#pragma once

// A firmware upload from the click to the device's verdict, without the window's widgets.
//
// One upload at a time, on the session of the proxy it was started on. From the click on, the
// upload buttons and the channel choice are off, so that the transmitter proxy whose session the
// upload uses is not replaced; a restart of that proxy's stream (after a resize) and a close of
// the window wait for the verdict, which the upload's events 1003 and 1004 bring, or a refusal of
// the start, or the end of the proxy.

class HDMIDeviceProxy;

class UploadFlow {
  public:
    // What the window does once an upload has ended.
    struct AfterUpload {
        bool restartStream = false;  // a restart of the transmitter's stream waited for it
        bool closeWindow = false;    // a close of the window waited for it
    };

    bool running() const { return uploadProxy != nullptr; }
    // Whether the upload runs on `proxy`'s session.
    bool runsOn(const HDMIDeviceProxy* proxy) const {
        return proxy != nullptr && proxy == uploadProxy;
    }
    // "RX" for an upload to `receiver`, "TX" otherwise (also when none runs).
    const char* targetName(const HDMIDeviceProxy* receiver) const;
    // A close of the window waits for the verdict.
    bool closeWaiting() const { return closeAfterUpload; }

    // The click: the upload runs on `proxy`'s session from now on. False, changing nothing, when
    // one runs already.
    bool start(HDMIDeviceProxy* proxy);
    // The verdict, a refusal of the start or the end of the upload's proxy. Nothing to do when no
    // upload runs (a verdict that came before the answer to the start has ended it already).
    AfterUpload end();

    // A restart of the current transmitter's stream, `transmitter`: false when it has to wait
    // for the verdict (its session carries the upload); end() then asks for it.
    bool mayRestartStream(const HDMIDeviceProxy* transmitter);
    // A close of the window: false while an upload runs; end() then asks for it.
    bool mayClose();

  private:
    HDMIDeviceProxy* uploadProxy = nullptr;
    bool restartAfterUpload = false;
    bool closeAfterUpload = false;
};
