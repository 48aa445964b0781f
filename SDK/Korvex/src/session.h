// The session record behind a KorvexSession handle, and the event hand-off to its callback.
#pragma once

#include <cstdint>

#include "Korvex.h"

namespace korvex {
struct UpgradeTask;
}

struct KorvexSession {
    korvex::UpgradeTask* upgradeTask = nullptr;  // latest upload of the session, or none
    char host[64] = {};                          // never changes after login
    int32_t port = 0;
    KorvexSessionCallback callback = nullptr;
    void* user = nullptr;
};

namespace korvex {

// Delivers a session event to the session's callback, when it has one.
inline void NotifySession(KorvexSession& session, int32_t event, void* data = nullptr) {
    if (session.callback != nullptr) {
        session.callback(&session, event, data, session.user);
    }
}

KorvexSession* Login(const KorvexLoginInfo& info, KorvexSessionCallback callback, void* user);
void Logout(KorvexSession* session);

// "SYSTEM_RESET" and "NET_KEYBOARD": true when the device answered "HDMI/1.0 200 OK".
bool ResetDevice(const KorvexSession& session);
bool SendRemoteKey(const KorvexSession& session, int key);

}  // namespace korvex
