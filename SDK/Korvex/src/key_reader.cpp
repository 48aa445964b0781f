#include "key_reader.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace korvex {

namespace {

// Room for the longest key of the protocol and its "=".
constexpr size_t kMaxKeyLength = 31;

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

}  // namespace

const char* FindKeyValue(const char* text, const char* key) {
    char pattern[kMaxKeyLength + 2];
    size_t length = std::strlen(key);
    if (length > kMaxKeyLength) {
        return nullptr;
    }
    std::memcpy(pattern, key, length);
    pattern[length] = '=';
    pattern[length + 1] = '\0';
    const char* found = std::strstr(text, pattern);
    return found != nullptr ? found + length + 1 : nullptr;
}

int32_t ParseInt32(const char* text, const char** end) {
    const char* p = text;
    while (IsSpace(*p)) {
        ++p;
    }
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    if (*p < '0' || *p > '9') {
        if (end != nullptr) {
            *end = text;
        }
        return 0;
    }
    // Accumulate in 64 bits and stop growing once past the int32 range; the digits still run on.
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    int64_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = std::min(value * 10 + (*p - '0'), kLimit);
    }
    if (end != nullptr) {
        *end = p;
    }
    if (negative) {
        return static_cast<int32_t>(-value);  // -2^31 at most: exactly the int32 minimum
    }
    return static_cast<int32_t>(std::min<int64_t>(value, std::numeric_limits<int32_t>::max()));
}

bool ReadNumberKey(const char* text, const char* key, int32_t* out) {
    const char* value = FindKeyValue(text, key);
    *out = value != nullptr ? ParseInt32(value) : 0;
    return value != nullptr;
}

bool ReadTextKey(const char* text, const char* key, char* out, size_t size) {
    const char* value = FindKeyValue(text, key);
    const char* lineEnd = value != nullptr ? std::strstr(value, "\r\n") : nullptr;
    if (lineEnd == nullptr) {
        out[0] = '\0';
        return false;
    }
    size_t length = std::min(static_cast<size_t>(lineEnd - value), size - 1);
    std::memcpy(out, value, length);
    out[length] = '\0';
    return true;
}

}  // namespace korvex
