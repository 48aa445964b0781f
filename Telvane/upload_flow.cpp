#include "upload_flow.h"

const char* UploadFlow::targetName(const HDMIDeviceProxy* receiver) const {
    return runsOn(receiver) ? "RX" : "TX";
}

bool UploadFlow::start(HDMIDeviceProxy* proxy) {
    if (running() || proxy == nullptr) {
        return false;
    }
    proxy_ = proxy;
    return true;
}

UploadFlow::AfterUpload UploadFlow::end() {
    AfterUpload after;
    if (!running()) {
        return after;
    }
    proxy_ = nullptr;
    after.restartStream = restartAfterUpload_;
    after.closeWindow = closeAfterUpload_;
    restartAfterUpload_ = false;
    closeAfterUpload_ = false;
    return after;
}

bool UploadFlow::mayRestartStream(const HDMIDeviceProxy* transmitter) {
    if (!runsOn(transmitter)) {
        return true;
    }
    restartAfterUpload_ = true;
    return false;
}

bool UploadFlow::mayClose() {
    if (!running()) {
        return true;
    }
    closeAfterUpload_ = true;
    return false;
}
