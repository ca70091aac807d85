// A small bitmap font built into the program, for the captions of pictures.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace md3 {

// Each character takes a cell of kGlyphWidth x kGlyphHeight pixels: a 5 x 7
// glyph with one blank column to its right and one blank row below.
inline constexpr int kGlyphWidth = 6;
inline constexpr int kGlyphHeight = 8;

using Rgb = std::array<std::uint8_t, 3>;

// Draws `text` with its first cell's top left corner at (x, y) into the 8-bit
// RGB image `rgb` of `width` x `height` pixels, three bytes per pixel, rows
// top to bottom. Printable ASCII is drawn as itself; every other byte (control
// bytes, and each byte of a UTF-8 sequence) as '?'. Characters are cut at
// `right` (and at the image's edges): nothing is drawn at x >= right.
void draw_text(std::uint8_t* rgb, int width, int height, int x, int y, int right,
               std::string_view text, Rgb colour);

}  // namespace md3
