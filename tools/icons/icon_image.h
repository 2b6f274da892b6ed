#pragma once
// The program's icon as plain RGBA pixels: read from its ICO form, scaled for
// the desktop's icon sizes, written as PNG.
#include <cstdint>
#include <span>
#include <vector>

namespace icons {

// Rows top first; each pixel 0xRRGGBBAA.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
};

// The first image of an ICO file, when it is a 4-bit palette bitmap with its
// transparency mask (the only kind the program's icon uses). false for any
// other or damaged file.
[[nodiscard]] bool DecodeIco(std::span<const std::uint8_t> ico, Image& image);

// `side` by `side` pixels, each the source pixel it falls on, so that the
// pixel art stays sharp at every size.
Image ScaleNearest(const Image& source, int side);

// A PNG file: 8-bit RGBA, not interlaced; the deflate stream uses stored
// blocks only, so the file needs no compressor.
std::vector<std::uint8_t> EncodePng(const Image& image);

}  // namespace icons
