// Caps how many bytes one send() call of the test program takes. A loopback socket nearly always
// takes a whole chunk, so the tests use this to see how code copes with a send that takes only
// part. The program is linked with --wrap=send, which routes every send() through the cap.
#pragma once

#include <cstddef>

namespace korvex::test {

// While it lives, each send() takes at most `maxBytes` bytes.
class SendLimit {
  public:
    explicit SendLimit(size_t maxBytes);
    ~SendLimit();
    SendLimit(const SendLimit&) = delete;
    SendLimit& operator=(const SendLimit&) = delete;
};

}  // namespace korvex::test
