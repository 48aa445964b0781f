#include "session.h"

#include <cstdio>
#include <new>

#include "exchange.h"

namespace korvex {

namespace {

constexpr int kResetSendTimeoutMs = 1000;
constexpr int kResetReceiveTimeoutMs = 1000;
constexpr int kRemoteKeyTimeoutMs = 3000;

}  // namespace

KorvexSession* Login(const KorvexLoginInfo& info, KorvexSessionCallback callback, void* user) {
    auto* session = new (std::nothrow) KorvexSession();
    if (session == nullptr) {
        return nullptr;
    }
    // Cut to what the record holds, as the login promises: the length is not needed.
    (void)std::snprintf(session->host, sizeof session->host, "%.*s",
                        static_cast<int>(sizeof session->host - 1), info.host);
    session->port = info.port;
    session->callback = callback;
    session->user = user;
    return session;
}

void Logout(KorvexSession* session) {
    delete session;
}

bool ResetDevice(const KorvexSession& session) {
    char response[kResponseBufferSize];
    return StandardExchange(session, "SYSTEM_RESET", "", 0, kResetSendTimeoutMs,
                            kResetReceiveTimeoutMs, response, sizeof response);
}

bool SendRemoteKey(const KorvexSession& session, int key) {
    char body[kRequestBufferSize];
    (void)std::snprintf(body, sizeof body, "KEY=%d\r\n", key);  // at most 17 characters
    char response[kResponseBufferSize];
    return StandardExchange(session, "NET_KEYBOARD", body, 0, kRemoteKeyTimeoutMs,
                            kRemoteKeyTimeoutMs, response, sizeof response);
}

}  // namespace korvex
