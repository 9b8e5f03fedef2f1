// A 5 x 7 pixel font for the titles in the mask and the lettering meshes.
#pragma once

#include <cstdint>

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;
// Horizontal distance from one character to the next, in glyph cells.
constexpr int kGlyphAdvance = 6;

// Row r (0 = top) of the glyph for `c`: bit 4 is the leftmost cell. Letters
// are upper case; lower case maps to them; a character without a glyph is blank.
uint8_t glyphRow(char c, int r);

// Width in cells of `text` set in one line, without trailing spacing.
int textCells(const char* text);
