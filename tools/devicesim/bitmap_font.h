// A 5x7 pixel font for the test picture's captions (digits, capitals and a little punctuation),
// built into the program so it needs no font files.
#pragma once

namespace devicesim {

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;

// True when pixel (x, y) of the character's glyph is set. Characters without a glyph are blank;
// lower-case letters use their capitals.
bool glyphPixel(char c, int x, int y);

}  // namespace devicesim
