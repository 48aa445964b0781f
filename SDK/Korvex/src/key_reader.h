// Reading KEY=value lines out of an answer's text. Keys are found as plain substrings (first
// occurrence anywhere in the text, exact letter case), so "PORT=" also matches inside "PEER_PORT=".
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvex {

// The start of the value behind the first "KEY=" in `text` (`key` is given without the "="), or
// nullptr when the key is missing. `text` is zero-terminated.
const char* FindKeyValue(const char* text, const char* key);

// Decimal integer at `text`: leading white space skipped, an optional sign, digits up to the first
// non-digit; no digits gives 0; values beyond int32 are clamped. Sets *end behind the digits (or to
// `text` when there were none) when `end` is given.
int32_t ParseInt32(const char* text, const char** end = nullptr);

// Reads the number of `key`. Missing key: *out = 0 and false.
bool ReadNumberKey(const char* text, const char* key, int32_t* out);

// Reads the text of `key` up to the first CR LF behind it into `out` (capacity `size`, always
// zero-terminated; a longer value is cut to size - 1 characters). Missing key or no CR LF behind
// it: `out` becomes empty and false.
bool ReadTextKey(const char* text, const char* key, char* out, size_t size);

}  // namespace korvex
