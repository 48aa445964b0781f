// The exported C interface: argument checks and result mapping around the internal commands.
#include "Korvex.h"

#include "config.h"
#include "platform.h"
#include "session.h"
#include "stream.h"
#include "upgrade.h"

namespace {

constexpr int kOk = 0;
constexpr int kFailed = -1;
constexpr int kNoSession = -2;

int Result(bool succeeded) {
    return succeeded ? kOk : kFailed;
}

}  // namespace

extern "C" {

KORVEX_API int KORVEX_CALL KORVEX_Init(void) {
    return korvex::PlatformStartup();
}

KORVEX_API int KORVEX_CALL KORVEX_Exit(void) {
    return korvex::PlatformCleanup() == 0 ? kOk : kFailed;
}

KORVEX_API KorvexSession* KORVEX_CALL KORVEX_Login(const KorvexLoginInfo* info,
                                                   KorvexSessionCallback callback, void* user) {
    return info != nullptr ? korvex::Login(*info, callback, user) : nullptr;
}

KORVEX_API void KORVEX_CALL KORVEX_Logout(KorvexSession* session) {
    // A running upload still reads the session: it is waited for, or, when this is called from
    // the upload's own callback, the upload thread frees the session as it ends.
    if (session != nullptr && korvex::ReleaseUpgradeForLogout(*session)) {
        korvex::Logout(session);
    }
}

KORVEX_API int KORVEX_CALL KORVEX_GetConfig(KorvexSession* session, int code, void* record,
                                            int /*size*/, int timeoutMs, int channel) {
    if (session == nullptr) {
        return kNoSession;
    }
    return Result(korvex::GetConfig(*session, code, record, timeoutMs, channel));
}

KORVEX_API int KORVEX_CALL KORVEX_SetConfig(KorvexSession* session, int code, void* record,
                                            int /*size*/, int timeoutMs, int channel) {
    if (session == nullptr) {
        return kNoSession;
    }
    return Result(korvex::SetConfig(*session, code, record, timeoutMs, channel));
}

KORVEX_API KorvexStream* KORVEX_CALL KORVEX_StartPlay(KorvexSession* session,
                                                      const KorvexPlayParams* params) {
    if (session == nullptr || params == nullptr) {
        return nullptr;
    }
    return korvex::StartPlay(*session, *params);
}

KORVEX_API void KORVEX_CALL KORVEX_StopPlay(KorvexSession* session, KorvexStream* stream) {
    if (session != nullptr && stream != nullptr) {
        korvex::StopPlay(stream);
    }
}

KORVEX_API int KORVEX_CALL KORVEX_Upgrade(KorvexSession* session, const char* path) {
    if (session == nullptr) {
        return kNoSession;
    }
    return korvex::StartUpgrade(*session, path);
}

KORVEX_API int KORVEX_CALL KORVEX_Reset(KorvexSession* session) {
    if (session == nullptr) {
        return kNoSession;
    }
    return Result(korvex::ResetDevice(*session));
}

KORVEX_API int KORVEX_CALL KORVEX_SendRemoteKey(KorvexSession* session, int key) {
    if (session == nullptr) {
        return kNoSession;
    }
    return Result(korvex::SendRemoteKey(*session, key));
}

}  // extern "C"
