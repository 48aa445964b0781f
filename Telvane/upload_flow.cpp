#include "upload_flow.h"

const char* UploadFlow::targetName(const HDMIDeviceProxy* receiver) const {
    return runsOn(receiver) ? "RX" : "TX";
}

bool UploadFlow::start(HDMIDeviceProxy* proxy) {
    if (running() || proxy == nullptr) {
        return false;
    }
    uploadProxy = proxy;
    return true;
}

UploadFlow::AfterUpload UploadFlow::end() {
    AfterUpload after;
    if (!running()) {
        return after;
    }
    uploadProxy = nullptr;
    after.restartStream = restartAfterUpload;
    after.closeWindow = closeAfterUpload;
    restartAfterUpload = false;
    closeAfterUpload = false;
    return after;
}

bool UploadFlow::mayRestartStream(const HDMIDeviceProxy* transmitter) {
    if (!runsOn(transmitter)) {
        return true;
    }
    restartAfterUpload = true;
    return false;
}

bool UploadFlow::mayClose() {
    if (!running()) {
        return true;
    }
    closeAfterUpload = true;
    return false;
}
