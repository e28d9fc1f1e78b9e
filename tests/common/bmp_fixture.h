#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace quorvane::test {

using Bytes = std::vector<std::uint8_t>;
using PixelFn = std::function<std::array<std::uint8_t, 4>(int x, int y)>;  // r, g, b, a

// Black left half, white right half: the picture most fixtures carry.
std::array<std::uint8_t, 4> HalfBlack(int x, int y, int width);

// Little-endian fields, as in BMP, PNG sizes aside, and GIF headers.
void Put16(Bytes& b, std::size_t at, std::uint32_t v);
void Put32(Bytes& b, std::size_t at, std::uint32_t v);

// A BMP of 1, 4, 8, 24 or 32 bits per pixel, rows bottom-up unless ATopDown. Version 1 header
// (40 bytes), or version 5 (124) with bit fields for 32 bits with alpha. Up to 8 bits the
// palette is a grey ramp, index 0 black and the last white, and a pixel's red picks the index.
Bytes MakeBmp(int ABits, int AWidth, int AHeight, bool ATopDown, const PixelFn& APixel,
              bool AWithAlpha = false);

// A 24-bit BMP whose left half is black.
Bytes HalfBlackBmp(int AWidth, int AHeight);

}  // namespace quorvane::test
