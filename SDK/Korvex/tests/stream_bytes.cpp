#include "stream_bytes.h"

#include "Korvex.h"

namespace korvex::test {

namespace {

void Put32(std::string& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<char>((value >> shift) & 0xff));
    }
}

void Put16(std::string& out, uint16_t value) {
    out.push_back(static_cast<char>(value & 0xff));
    out.push_back(static_cast<char>(value >> 8));
}

}  // namespace

std::string Packet(int type, const std::string& payload, uint64_t timestamp, uint32_t sequence,
                   uint8_t fragmentBits, const int64_t* lengthField) {
    std::string out;
    Put32(out, KORVEX_PACKET_MAGIC);
    out.push_back(static_cast<char>((type << 4) | fragmentBits));
    out.append(3, '\0');
    Put32(out, static_cast<uint32_t>(
                   lengthField != nullptr ? *lengthField : static_cast<int64_t>(payload.size())));
    Put32(out, sequence);
    Put32(out, static_cast<uint32_t>(timestamp));
    Put32(out, static_cast<uint32_t>(timestamp >> 32));
    return out + payload;
}

std::string MediaInfoPayload(int width, int height, int contentMask, int videoCodec) {
    std::string out;
    Put32(out, static_cast<uint32_t>(contentMask));
    Put16(out, static_cast<uint16_t>(width));
    Put16(out, static_cast<uint16_t>(height));
    Put32(out, static_cast<uint32_t>(videoCodec));
    Put16(out, 48000);
    Put16(out, 2);
    Put32(out, 0);
    return out;
}

std::string Payload(size_t length, uint8_t first) {
    std::string out(length, '\0');
    for (size_t i = 0; i < length; ++i) {
        out[i] = static_cast<char>(static_cast<uint8_t>(first + i) & 0x7f);  // no 0x20160520 here
    }
    return out;
}

}  // namespace korvex::test
