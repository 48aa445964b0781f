// Request framing, the response reader and the success test, against the fake device.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>

#include "exchange.h"
#include "fake_device.h"

namespace korvex {
namespace {

using namespace std::chrono_literals;
using test::Answer;
using test::Chunk;
using test::FakeDevice;
using test::Reply;
using Clock = std::chrono::steady_clock;

TEST(RequestFraming, HeaderLinesBodyAndLengths) {
    char out[kRequestBufferSize];
    int length = FormatRequest(out, sizeof out, "NET_KEYBOARD", "KEY=5\r\n", 0);
    const std::string expected =
        "NET_KEYBOARD HDMI/1.0\r\nAUTHORIZATION: BASIC \r\nCHN:0\r\nCONTENT-LENGTH:7\r\n\r\n"
        "KEY=5\r\n";
    EXPECT_EQ(std::string(out, static_cast<size_t>(length)), expected);

    length = FormatRequest(out, sizeof out, "GET_VIDEOENC", nullptr, 3);
    EXPECT_EQ(
        std::string(out, static_cast<size_t>(length)),
        "GET_VIDEOENC HDMI/1.0\r\nAUTHORIZATION: BASIC \r\nCHN:3\r\nCONTENT-LENGTH:0\r\n\r\n");
}

TEST(RequestFraming, RequestThatDoesNotFitIsRefused) {
    char out[kRequestBufferSize];
    std::string body(kRequestBufferSize, 'x');
    EXPECT_EQ(FormatRequest(out, sizeof out, "SET_TTL", body.c_str(), 0), -1);
    // Exactly 2047 characters still fit; one more does not. (The body's length has four digits
    // where the empty body's has one.)
    const int header = FormatRequest(out, sizeof out, "SET_TTL", "", 0) + 3;
    std::string exact(kRequestBufferSize - 1 - static_cast<size_t>(header), 'y');
    EXPECT_EQ(FormatRequest(out, sizeof out, "SET_TTL", exact.c_str(), 0), 2047);
    exact += 'y';
    EXPECT_EQ(FormatRequest(out, sizeof out, "SET_TTL", exact.c_str(), 0), -1);
}

TEST(OkResponse, LetterCaseIgnoredFifteenCharactersNeeded) {
    EXPECT_TRUE(IsOkResponse("HDMI/1.0 200 OK\r\n", 17));
    EXPECT_TRUE(IsOkResponse("hdmi/1.0 200 ok\r\n", 17));
    EXPECT_TRUE(IsOkResponse("HDMI/1.0 200 OKAY", 17));
    EXPECT_FALSE(IsOkResponse("HDMI/1.0 200 O", 14));
    EXPECT_FALSE(IsOkResponse("HDMI/1.0 404 Not Found\r\n", 24));
    EXPECT_FALSE(IsOkResponse("HDMI/1", 6));
    EXPECT_FALSE(IsOkResponse("", 0));
}

// Connects to the fake device, sends a request and reads the answer.
struct ReadResult {
    std::string text;
    size_t count;
    Clock::duration took;
};

ReadResult ReadFrom(FakeDevice& device, int timeoutMs, size_t capacity = kResponseBufferSize) {
    Socket socket(ConnectWithTimeout("127.0.0.1", device.port(), 1000));
    EXPECT_TRUE(socket.valid());
    EXPECT_GT(SendRequest(socket.get(), "GET_SYSINFO", nullptr, 1000, 0), 0);
    std::string buffer(capacity, '\0');
    auto started = Clock::now();
    size_t count = ReadResponse(socket.get(), buffer.data(), capacity, timeoutMs);
    return {buffer.substr(0, count), count, Clock::now() - started};
}

TEST(ResponseReader, StopsAsSoonAsHeaderAndBodyAreIn) {
    FakeDevice device;
    Reply reply;
    reply.chunks = {{0, "HDMI/1.0 200 OK\r\nCONTENT-LENGTH:10\r\n\r\n"}, {200, "0123456789"}};
    reply.closeAfter = false;  // the device keeps the connection open: only the count can stop
    device.script(reply);
    ReadResult result = ReadFrom(device, 3000);
    EXPECT_EQ(result.text, "HDMI/1.0 200 OK\r\nCONTENT-LENGTH:10\r\n\r\n0123456789");
    EXPECT_GE(result.took, 150ms);
    EXPECT_LT(result.took, 1500ms);
}

TEST(ResponseReader, FirstChunkWithoutBlankLineEndsTheRead) {
    FakeDevice device;
    Reply reply;
    reply.chunks = {{0, "HDMI/1.0 200 OK\r\nCONTENT-LENGTH:4\r\n"}, {100, "\r\nBODY"}};
    reply.closeAfter = false;
    device.script(reply);
    ReadResult result = ReadFrom(device, 3000);
    EXPECT_EQ(result.text, "HDMI/1.0 200 OK\r\nCONTENT-LENGTH:4\r\n");
}

TEST(ResponseReader, OtherLetterCaseOfContentLengthMeansNoBody) {
    FakeDevice device;
    Reply reply;
    reply.chunks = {{0, "HDMI/1.0 200 OK\r\nContent-Length:5\r\n\r\n"}, {100, "HELLO"}};
    reply.closeAfter = false;
    device.script(reply);
    ReadResult result = ReadFrom(device, 3000);
    EXPECT_EQ(result.text, "HDMI/1.0 200 OK\r\nContent-Length:5\r\n\r\n");
    EXPECT_LT(result.took, 1s);
}

TEST(ResponseReader, ShortBodyIsReturnedAsFarAsItCameWhenThePeerCloses) {
    FakeDevice device;
    device.script(Answer("HDMI/1.0 200 OK\r\nCONTENT-LENGTH:100\r\n\r\nSOFTVER=1\r\n"));
    ReadResult result = ReadFrom(device, 3000);
    EXPECT_EQ(result.text, "HDMI/1.0 200 OK\r\nCONTENT-LENGTH:100\r\n\r\nSOFTVER=1\r\n");
    EXPECT_LT(result.took, 1s);
}

TEST(ResponseReader, ABodyCutInsideALineIsReturnedUpToItsLastWholeLine) {
    const std::string header = "HDMI/1.0 200 OK\r\nCONTENT-LENGTH:40\r\n\r\n";
    FakeDevice device;
    Reply silent = Answer(header + "WIDTH=1920\r\nBITRATE=40");
    silent.closeAfter = false;
    for (const Reply& reply : {Answer(header + "WIDTH=1920\r\nBITRATE=40"), silent}) {
        device.script(reply);
        EXPECT_EQ(ReadFrom(device, 300).text, header + "WIDTH=1920\r\n");
    }
    device.script(Answer(header + "BITRATE=4000\r"));
    EXPECT_EQ(ReadFrom(device, 300).text, header);
}

TEST(ResponseReader, ATricklingAnswerEndsAfterThreeReceiveWaitsInAll) {
    // Each byte comes well inside one receive wait; the whole answer would take 4 s.
    FakeDevice device;
    Reply trickle = Answer("HDMI/1.0 200 OK\r\nCONTENT-LENGTH:100\r\n\r\n");
    trickle.closeAfter = false;
    for (int i = 0; i < 50; ++i) {
        trickle.chunks.push_back({40, "A\r\n"});
    }
    device.script(trickle);
    ReadResult result = ReadFrom(device, 200);
    EXPECT_GT(result.count, 40u);
    EXPECT_GE(result.took, 550ms);
    EXPECT_LT(result.took, 1500ms);
}

TEST(ResponseReader, LongAnswerIsCutAndStaysZeroTerminated) {
    FakeDevice device;
    std::string body(5000, 'A');
    device.script(Answer(test::OkResponse(body)));
    ReadResult result = ReadFrom(device, 2000, 64);
    EXPECT_EQ(result.count, 63u);
    EXPECT_EQ(result.text.size(), 63u);
}

TEST(ResponseReader, NothingAtAllGivesZeroAfterOneWait) {
    FakeDevice device;
    device.script(test::Silence());
    ReadResult result = ReadFrom(device, 300);
    EXPECT_EQ(result.count, 0u);
    EXPECT_LT(result.took, 1s);
}

TEST(ResponseReader, HugeContentLengthDoesNotOverrunTheBuffer) {
    FakeDevice device;
    device.script(Answer("HDMI/1.0 200 OK\r\nCONTENT-LENGTH:99999999999999999999\r\n\r\nX"));
    ReadResult result = ReadFrom(device, 300, 128);
    // The body never comes whole; its one unfinished line is not returned.
    EXPECT_EQ(result.text, "HDMI/1.0 200 OK\r\nCONTENT-LENGTH:99999999999999999999\r\n\r\n");
}

}  // namespace
}  // namespace korvex
