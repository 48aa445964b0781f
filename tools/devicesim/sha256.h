// SHA-256 of an uploaded image, fed chunk by chunk (libavutil's implementation).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct AVSHA;

namespace devicesim {

class Sha256 {
  public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void update(const void* data, size_t length);
    // The digest as 64 lower-case hex digits; ends the hash.
    std::string finishHex();

  private:
    AVSHA* context_;
};

}  // namespace devicesim
