// Reading KEY=value lines: substring matching, number conversion and text cutting.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "key_reader.h"

namespace korvex {
namespace {

TEST(KeyReader, NumbersWithSignSpacesAndTrailingText) {
    EXPECT_EQ(ParseInt32("1920x"), 1920);
    EXPECT_EQ(ParseInt32("  \r\n-42\r\n"), -42);
    EXPECT_EQ(ParseInt32("+7"), 7);
    EXPECT_EQ(ParseInt32("x12"), 0);
    EXPECT_EQ(ParseInt32(""), 0);
    EXPECT_EQ(ParseInt32("-"), 0);
}

TEST(KeyReader, NumbersBeyondInt32AreClamped) {
    EXPECT_EQ(ParseInt32("2147483647"), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(ParseInt32("2147483648"), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(ParseInt32("-2147483648"), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(ParseInt32("-2147483649"), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(ParseInt32("99999999999999999999999999"), std::numeric_limits<int32_t>::max());
}

TEST(KeyReader, FirstOccurrenceAnywhereExactCase) {
    const char* answer =
        "HDMI/1.0 200 OK\r\nCONTENT-LENGTH:40\r\n\r\n"
        "PEER_PORT=9000\r\nPORT=8000\r\nwidth=1\r\nWIDTH=1920x\r\nNOVALUE=\r\n";
    int32_t value = -5;
    EXPECT_TRUE(ReadNumberKey(answer, "PORT", &value));
    EXPECT_EQ(value, 9000);  // inside PEER_PORT, which comes first
    EXPECT_TRUE(ReadNumberKey(answer, "WIDTH", &value));
    EXPECT_EQ(value, 1920);
    EXPECT_TRUE(ReadNumberKey(answer, "NOVALUE", &value));
    EXPECT_EQ(value, 0);
    value = 77;
    EXPECT_FALSE(ReadNumberKey(answer, "HEIGHT", &value));
    EXPECT_EQ(value, 0);
    // The header counts too.
    EXPECT_FALSE(ReadNumberKey(answer, "CONTENT-LENGTH", &value));
}

TEST(KeyReader, TextsEndAtCrLfAndAreCutToTheirField) {
    const char* answer =
        "SOFTVER=V1.2\r\nMODEL=0123456789012345678901234567890123456789\r\n"
        "LASTLINE=no end";
    char field[32];
    EXPECT_TRUE(ReadTextKey(answer, "SOFTVER", field, sizeof field));
    EXPECT_STREQ(field, "V1.2");

    std::memset(field, 'z', sizeof field);
    EXPECT_TRUE(ReadTextKey(answer, "MODEL", field, sizeof field));
    EXPECT_EQ(std::strlen(field), 31u);
    EXPECT_STREQ(field, "0123456789012345678901234567890");

    std::strcpy(field, "old");
    EXPECT_FALSE(ReadTextKey(answer, "LASTLINE", field, sizeof field));
    EXPECT_STREQ(field, "");
    std::strcpy(field, "old");
    EXPECT_FALSE(ReadTextKey(answer, "SERIAL", field, sizeof field));
    EXPECT_STREQ(field, "");
}

TEST(KeyReader, TextFieldNeverWrittenPastItsEnd) {
    struct {
        char field[24];
        char guard[8];
    } record;
    std::memset(&record, '#', sizeof record);
    std::string answer = "PEER_ADDR=" + std::string(500, 'a') + "\r\n";
    EXPECT_TRUE(ReadTextKey(answer.c_str(), "PEER_ADDR", record.field, sizeof record.field));
    EXPECT_EQ(std::strlen(record.field), 23u);
    EXPECT_EQ(std::string(record.guard, sizeof record.guard), std::string(8, '#'));
}

}  // namespace
}  // namespace korvex
