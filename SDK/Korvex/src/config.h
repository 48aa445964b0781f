// The configuration commands behind KORVEX_GetConfig and KORVEX_SetConfig.
#pragma once

#include "session.h"

namespace korvex {

// Run the command of a Get or Set code. False on any failure, and for a code that is not a code of
// that entry (then nothing is sent).
bool GetConfig(const KorvexSession& session, int code, void* record, int timeoutMs, int channel);
bool SetConfig(const KorvexSession& session, int code, const void* record, int timeoutMs,
               int channel);

}  // namespace korvex
