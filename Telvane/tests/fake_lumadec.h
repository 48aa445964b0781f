#pragma once

#include <Lumadec.h>

#include <mutex>
#include <string>
#include <vector>

// A recording stand-in for the decode/render library, linked into the proxy's tests instead of
// libLumadec: it keeps every call so the tests can see what the proxy hands over.
struct LumadecCall {
    std::string function;  // "open", "write", "close", "record" (data: the path), "close recording"
    uint64_t window = 0;
    LumadecVideoDescription video{};
    bool hasAudio = false;
    LumadecAudioDescription audio{};
    int32_t type = 0;
    uint64_t timestamp = 0;
    std::string data;
};

std::vector<LumadecCall> recordedLumadecCalls();
void clearRecordedLumadecCalls();
