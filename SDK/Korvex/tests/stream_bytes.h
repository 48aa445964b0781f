// Stream packets as bytes, for the tests of everything that receives them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace korvex::test {

constexpr uint8_t kFirstFragment = 0x01;
constexpr uint8_t kLastFragment = 0x02;
constexpr uint8_t kWholeFrame = kFirstFragment | kLastFragment;

// One stream packet: header (magic, type and fragment bits, length, sequence, timestamp) and
// payload. `lengthField` replaces the payload's length in the header when given.
std::string Packet(int type, const std::string& payload, uint64_t timestamp = 0,
                   uint32_t sequence = 0, uint8_t fragmentBits = 0,
                   const int64_t* lengthField = nullptr);
// A media-information payload (20 bytes) for the given picture size.
std::string MediaInfoPayload(int width, int height, int contentMask = 3, int videoCodec = 0);
// A payload of `length` bytes that counts up from `first` (and never holds the packet magic).
std::string Payload(size_t length, uint8_t first = 1);

}  // namespace korvex::test
