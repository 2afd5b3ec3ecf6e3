#pragma once
// A 5x7 bitmap font of printable ASCII for pictures written without a GUI
// toolkit (the CLI's contact sheet). Each glyph sits in a 6x8 cell.
#include <cstdint>
#include <string>

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;
constexpr int kGlyphAdvance = 6;  // cell width: one column of space
constexpr int kGlyphLine = 8;     // cell height: one row of space

// Rows of the glyph of c, top first; bit 4 is the leftmost column. A byte
// outside 0x20-0x7E gets the glyph of '?'.
const uint8_t* GlyphRows(unsigned char c);

// An RGB picture (3 bytes a pixel, rows packed) to draw into.
struct RgbCanvas {
  int width = 0;
  int height = 0;
  uint8_t* pixels = nullptr;
};

// Draws text from (x, y) (top left of the first cell), each font pixel as a
// scale x scale square, clipped to the canvas and to max_chars characters
// (a text that is cut ends in '~'). Returns the width drawn in pixels.
int DrawText(const RgbCanvas& c, int x, int y, int scale, const std::string& text, size_t max_chars,
             const uint8_t rgb[3]);
