// The DISPLAY list of a receiver's picture layout: "1:0,0,50,100 -a 2:50,0,50,100", one entry
// "id:x,y,width,height" per window, entries separated by " -a ".
#pragma once

#include <cstddef>

#include "Korvex.h"

namespace korvex {

constexpr size_t kDisplayListBufferSize = 1024;

// Writes the first `count` windows (0..5) into `out`. Returns false when `count` lies outside
// 0..5 or the list does not fit.
bool FormatDisplayList(char* out, size_t capacity, const DisplayWindow* windows, int count);

// What ParseDisplayList returns for a list whose "[" is not closed on its line: the answer was cut
// inside the list, and what arrived of it says nothing about the windows.
constexpr int kUnclosedDisplayList = -1;

// Reads the list that starts at `value` (the text behind "DISPLAY=") up to the first CR LF, at most
// 1023 characters, into `windows` (room for five). Entries that do not hold five numbers are
// skipped; accepted windows are packed from index 0. Only the first five entries are looked at,
// and each entry is cut to 63 characters. Returns the number of windows accepted, or
// kUnclosedDisplayList.
int ParseDisplayList(const char* value, DisplayWindow* windows);

}  // namespace korvex
