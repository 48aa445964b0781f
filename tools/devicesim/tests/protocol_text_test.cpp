// The request reader's rules and the receiver's window list, without sockets.
#include <gtest/gtest.h>

#include "device_state.h"
#include "display_layout.h"
#include "request.h"

namespace devicesim {
namespace {

TEST(RequestHead, ParsesCommandAndHeadersInOrder) {
    Request request;
    std::string error;
    ASSERT_TRUE(parseRequestHead(
        "RECV HDMI/1.0\r\nCHN:2\r\nRENDPT: 192.168.2.221\r\nCONTENT-LENGTH:0\r\n\r\n", request,
        error))
        << error;
    EXPECT_EQ(request.command, "RECV");
    ASSERT_EQ(request.headers.size(), 3u);
    EXPECT_EQ(*request.header("RENDPT"), "192.168.2.221");
    EXPECT_EQ(request.header("RPORT"), nullptr);

    ASSERT_TRUE(parseRequestHead("PLAY HDMI/1.0\r\nAUTHORIZATION: BASIC \r\n\r\n", request, error));
    EXPECT_EQ(*request.header("AUTHORIZATION"), "BASIC ");
}

TEST(RequestHead, RejectsWhatIsNotTheProtocol) {
    Request request;
    std::string error;
    for (const char* head : {
             "GET_SYSINFO HTTP/1.1\r\n\r\n",
             "GET_SYSINFO  HDMI/1.0\r\n\r\n",
             "get_sysinfo HDMI/1.0\r\n\r\n",
             "GET_SYSINFO HDMI/1.0\r\nCHN 0\r\n\r\n",
             "GET_SYSINFO HDMI/1.0\r\nCHN:0\n\r\n\r\n",
             "GET_SYSINFO HDMI/1.0\r\n:0\r\n\r\n",
         }) {
        EXPECT_FALSE(parseRequestHead(head, request, error)) << head;
    }
}

TEST(RequestHead, ContentLength) {
    Request request;
    std::string error;
    int64_t length = -1;
    ASSERT_TRUE(parseRequestHead("UPGRADE HDMI/1.0\r\n\r\n", request, error));
    EXPECT_TRUE(requestContentLength(request, length, error));
    EXPECT_EQ(length, 0);
    ASSERT_TRUE(
        parseRequestHead("UPGRADE HDMI/1.0\r\nCONTENT-LENGTH:40000\r\n\r\n", request, error));
    EXPECT_TRUE(requestContentLength(request, length, error));
    EXPECT_EQ(length, 40000);
    for (const char* bad : {"-1", "12a", "", "99999999999999999999"}) {
        ASSERT_TRUE(parseRequestHead(
            std::string("X HDMI/1.0\r\nCONTENT-LENGTH:") + bad + "\r\n\r\n", request, error));
        EXPECT_FALSE(requestContentLength(request, length, error)) << bad;
    }
}

TEST(KeyValues, ParsesLinesAndRejectsMalformedBodies) {
    KeyValues values;
    std::string error;
    ASSERT_TRUE(
        parseKeyValues("KEY=-1\r\nPEER_ADDR=\r\nRESOLUTION=3840x2160P30\r\n", values, error));
    ASSERT_EQ(values.size(), 3u);
    EXPECT_EQ(values[0], std::make_pair(std::string("KEY"), std::string("-1")));
    EXPECT_EQ(values[1].second, "");
    EXPECT_EQ(values[2].second, "3840x2160P30");
    EXPECT_TRUE(parseKeyValues("", values, error));
    EXPECT_TRUE(values.empty());
    for (const char* bad :
         {"KEY=1", "KEY=1\n", "=1\r\n", "KEY\r\n", "key=1\r\n", "A=1\r\nA=2\r\n"}) {
        EXPECT_FALSE(parseKeyValues(bad, values, error)) << bad;
    }
}

TEST(KeyValues, Int32IsStrictDecimal) {
    int32_t value = 0;
    EXPECT_TRUE(parseInt32("-2147483648", value));
    EXPECT_EQ(value, INT32_MIN);
    EXPECT_TRUE(parseInt32("2147483647", value));
    EXPECT_EQ(value, INT32_MAX);
    for (const char* bad : {"", "-", "2147483648", "1920x", " 5", "+5", "0x10"}) {
        EXPECT_FALSE(parseInt32(bad, value)) << bad;
    }
}

TEST(WindowList, RoundTripsTheLayoutsThePlayerSends) {
    for (const char* text : {"[]", "[3:0,0,100,100]", "[1:0,0,50,100 -a 2:50,0,50,100]",
                             "[1:0,0,50,50 -a 2:50,0,50,50 -a 3:0,50,50,50 -a 4:50,50,50,50]"}) {
        DisplayConfig config{};
        std::string error;
        ASSERT_TRUE(parseWindowList(text, config, error)) << text << ": " << error;
        EXPECT_EQ(formatWindowList(config), text);
    }
}

TEST(WindowList, RejectsMalformedLists) {
    for (const char* text : {"1:0,0,100,100", "[1:0,0,100]", "[1:0,0,100,100,5]",
                             "[1:0,0,50,100-a 2:50,0,50,100]", "[1-0,0,100,100]",
                             "[1:0,0,20,20 -a 1:0,0,20,20 -a 1:0,0,20,20 -a 1:0,0,20,20 -a "
                             "1:0,0,20,20 -a 1:0,0,20,20]"}) {
        DisplayConfig config{};
        std::string error;
        EXPECT_FALSE(parseWindowList(text, config, error)) << text;
    }
}

TEST(WindowList, ValidationKeepsWindowsInsideThePicture) {
    DisplayConfig config{};
    config.audio = -1;
    copyText(config.resolution, "3840x2160P30");
    config.count = 2;
    config.windows[0] = DisplayWindow{1, 0, 0, 50, 100};
    config.windows[1] = DisplayWindow{2, 50, 0, 50, 100};
    std::string error;
    EXPECT_TRUE(validateDisplay(config, error)) << error;

    DisplayConfig overlapEdge = config;
    overlapEdge.windows[1].x = 51;
    EXPECT_FALSE(validateDisplay(overlapEdge, error));
    DisplayConfig huge = config;
    huge.windows[1].width = INT32_MAX;
    EXPECT_FALSE(validateDisplay(huge, error)) << "x + width must not overflow into range";
    DisplayConfig mode = config;
    copyText(mode.resolution, "1080P60 ");
    EXPECT_FALSE(validateDisplay(mode, error));
}

}  // namespace
}  // namespace devicesim
