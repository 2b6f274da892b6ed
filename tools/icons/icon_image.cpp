#include "icon_image.h"

#include <cstddef>

namespace icons {
namespace {

constexpr std::size_t DirectoryBytes = 6;
constexpr std::size_t EntryBytes = 16;
constexpr std::size_t BitmapHeaderBytes = 40;
constexpr std::size_t PaletteEntries = 16;

std::uint32_t littleEndian(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t width) {
    std::uint32_t value = 0;
    for (std::size_t i = width; i-- > 0;) value = value << 8 | bytes[at + i];
    return value;
}

// Bitmap rows are padded to whole 4-byte words.
std::size_t rowBytes(std::size_t width, std::size_t bitsPerPixel) {
    return (width * bitsPerPixel + 31) / 32 * 4;
}

}  // namespace

bool DecodeIco(std::span<const std::uint8_t> ico, Image& image) {
    if (ico.size() < DirectoryBytes + EntryBytes) return false;
    if (littleEndian(ico, 0, 2) != 0 || littleEndian(ico, 2, 2) != 1 ||
        littleEndian(ico, 4, 2) == 0) {
        return false;
    }
    const std::size_t at = littleEndian(ico, DirectoryBytes + 12, 4);
    if (at > ico.size() || ico.size() - at < BitmapHeaderBytes) return false;
    const std::span<const std::uint8_t> bitmap = ico.subspan(at);
    const std::size_t width = littleEndian(bitmap, 4, 4);
    // The height counts the colour image and the mask stacked.
    const std::size_t height = littleEndian(bitmap, 8, 4) / 2;
    if (littleEndian(bitmap, 0, 4) != BitmapHeaderBytes || littleEndian(bitmap, 14, 2) != 4 ||
        littleEndian(bitmap, 16, 4) != 0 || width == 0 || width > 256 || height == 0 ||
        height > 256) {
        return false;
    }
    const std::size_t palette = BitmapHeaderBytes;
    const std::size_t colours = palette + PaletteEntries * 4;
    const std::size_t mask = colours + rowBytes(width, 4) * height;
    if (bitmap.size() < mask + rowBytes(width, 1) * height) return false;

    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    image.pixels.assign(width * height, 0);
    for (std::size_t y = 0; y < height; ++y) {
        // Bitmaps store the bottom row first.
        const std::size_t row = height - 1 - y;
        for (std::size_t x = 0; x < width; ++x) {
            const std::uint8_t pair = bitmap[colours + row * rowBytes(width, 4) + x / 2];
            const std::size_t index = x % 2 == 0 ? pair >> 4 : pair & 0x0F;
            const std::uint8_t bits = bitmap[mask + row * rowBytes(width, 1) + x / 8];
            if ((bits >> (7 - x % 8) & 1) != 0) continue;   // a set mask bit is see-through
            const std::size_t entry = palette + index * 4;  // blue, green, red, unused
            image.pixels[y * width + x] = static_cast<std::uint32_t>(bitmap[entry + 2]) << 24 |
                                          static_cast<std::uint32_t>(bitmap[entry + 1]) << 16 |
                                          static_cast<std::uint32_t>(bitmap[entry]) << 8 | 0xFF;
        }
    }
    return true;
}

Image ScaleNearest(const Image& source, int side) {
    Image scaled{side, side, std::vector<std::uint32_t>(static_cast<std::size_t>(side * side))};
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const int fromX = x * source.width / side;
            const int fromY = y * source.height / side;
            scaled.pixels[static_cast<std::size_t>(y * side + x)] =
                source.pixels[static_cast<std::size_t>(fromY * source.width + fromX)];
        }
    }
    return scaled;
}

}  // namespace icons
