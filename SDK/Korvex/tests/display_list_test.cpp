// The DISPLAY list, as written by SET_DISPLAY and read from GET_DISPLAY.
#include <gtest/gtest.h>

#include <string>

#include "display_list.h"

namespace korvex {
namespace {

std::string Format(const DisplayWindow* windows, int count) {
    char out[kDisplayListBufferSize];
    EXPECT_TRUE(FormatDisplayList(out, sizeof out, windows, count));
    return out;
}

TEST(DisplayListWriter, SeparatorAndEmptyList) {
    DisplayWindow windows[5] = {{1, 0, 0, 50, 100}, {2, 50, 0, 50, 100}};
    EXPECT_EQ(Format(windows, 2), "1:0,0,50,100 -a 2:50,0,50,100");
    EXPECT_EQ(Format(windows, 1), "1:0,0,50,100");
    EXPECT_EQ(Format(windows, 0), "");
}

TEST(DisplayListWriter, CountOutsideZeroToFiveIsRefused) {
    DisplayWindow windows[5] = {};
    char out[kDisplayListBufferSize];
    EXPECT_FALSE(FormatDisplayList(out, sizeof out, windows, -1));
    EXPECT_FALSE(FormatDisplayList(out, sizeof out, windows, 6));
    const DisplayWindow extreme = {-2147483647 - 1, -2147483647 - 1, -2147483647 - 1,
                                   -2147483647 - 1, -2147483647 - 1};
    DisplayWindow five[5] = {extreme, extreme, extreme, extreme, extreme};
    EXPECT_TRUE(FormatDisplayList(out, sizeof out, five, 5));
}

TEST(DisplayListReader, ReadsWhatTheWriterWrites) {
    DisplayWindow quad[5] = {
        {1, 0, 0, 50, 50}, {2, 50, 0, 50, 50}, {3, 0, 50, 50, 50}, {4, 50, 50, 50, 50}};
    std::string text = "[" + Format(quad, 4) + "]\r\n";
    DisplayWindow read[5] = {};
    ASSERT_EQ(ParseDisplayList(text.c_str(), read), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(read[i].id, quad[i].id);
        EXPECT_EQ(read[i].x, quad[i].x);
        EXPECT_EQ(read[i].y, quad[i].y);
        EXPECT_EQ(read[i].width, quad[i].width);
        EXPECT_EQ(read[i].height, quad[i].height);
    }
}

TEST(DisplayListReader, EmptyListAndSkippedEntriesArePacked) {
    DisplayWindow read[5] = {};
    EXPECT_EQ(ParseDisplayList("[]\r\n", read), 0);
    EXPECT_EQ(ParseDisplayList("", read), 0);

    ASSERT_EQ(ParseDisplayList("[3:0,0,100 -a 2:50,0,50,100]\r\n", read), 1);
    EXPECT_EQ(read[0].id, 2);
    EXPECT_EQ(read[0].x, 50);
    EXPECT_EQ(read[0].height, 100);

    // Letters and spaces are dropped, extra numbers ignored, text after "]" not looked at.
    ASSERT_EQ(ParseDisplayList("[ 1 : 0 , 0 , 9 , 9 , 7 ] -a 2:0,0,1,1\r\n", read), 1);
    EXPECT_EQ(read[0].id, 1);
    EXPECT_EQ(read[0].height, 9);
}

TEST(DisplayListReader, OnlyTheFirstFiveEntriesAndSixtyThreeCharactersEach) {
    DisplayWindow read[5] = {};
    std::string many =
        "[1:0,0,1,1 -a 2:0,0,1,1 -a 3:0,0,1,1 -a 4:0,0,1,1 -a 5:0,0,1,1 -a "
        "6:0,0,1,1 -a 7:0,0,1,1]\r\n";
    ASSERT_EQ(ParseDisplayList(many.c_str(), read), 5);
    EXPECT_EQ(read[4].id, 5);

    std::string longEntry = "[9:1,2,3," + std::string(100, '4') + " -a 2:0,0,1,1]\r\n";
    ASSERT_EQ(ParseDisplayList(longEntry.c_str(), read), 2);
    EXPECT_EQ(read[0].id, 9);
    EXPECT_EQ(read[0].height, 2147483647);  // the cut run of digits, clamped
    EXPECT_EQ(read[1].id, 2);
}

TEST(DisplayListReader, ValueLongerThanTheWorkBufferIsCut) {
    std::string huge = "[1:0,0,1,1" + std::string(5000, ' ') + " -a 2:0,0,1,1]\r\n";
    DisplayWindow read[5] = {};
    EXPECT_EQ(ParseDisplayList(huge.c_str(), read), 1);
}

}  // namespace
}  // namespace korvex
