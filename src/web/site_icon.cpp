#include <array>
#include <cstddef>
#include <string_view>

#include "web/status_page.h"  // SiteIcon

namespace web {
namespace {

// The picture as a browser shows it, top row first, one character per pixel:
// '.' transparent, 'k' black, 'g' dark grey, 'W' white, 'R' red, 'B' blue.
// A white thermometer lies from lower left to upper right with its red column
// and tick marks; degrees Fahrenheit upper left, Celsius lower right.
// clang-format off
constexpr std::array<std::string_view, 32> kPicture = {
    "................................",
    ".BBB.BBBBBB.....................",
    ".B.B.BBBBBB.............kkk.....",
    ".BBB.BB................kkkkk....",
    ".....BB...............kkWWWkk...",
    ".....BBBBB...........kkgWWWkk...",
    ".....BBBBB..........kkWWgWWkk...",
    ".....BB............kkgWWWWkk....",
    ".....BB...........kkWWWWWkk.....",
    ".....BB..........kkgWWWWkk......",
    ".....BB.........kkWWgWWkk.......",
    "...............kkgWWWWkk........",
    "..............kkWWWWWkk.........",
    ".............kkgRRWWkk..........",
    "............kkWRRRWkk...........",
    "...........kkgRRRWkk............",
    "..........kkWRRRWkk.............",
    ".........kkgRRRWkk..............",
    "........kkWRRRWkk...............",
    "......kkkWRRRWkk................",
    "....kkRRRRRRWkk.................",
    "...kRRRRRRRRkk.....BBB..BBBBB...",
    "...kRWRRRRRkk......B.B.BBBBBBB..",
    "..kRWRRRRRRRk......BBB.BB...BB..",
    "..kRWRRRRRRRk..........BB.......",
    "..kRRRRRRRRRk..........BB.......",
    "...kRRRRRRRk...........BB.......",
    "...kRRRRRRRk...........BB.......",
    "....kkRRRkk............BB...BB..",
    "......kkk..............BBBBBBB..",
    "........................BBBBB...",
    "................................",
};
// clang-format on

constexpr std::size_t kSide = 32;
constexpr std::size_t kHeaderBytes = 6;
constexpr std::size_t kDirectoryEntryBytes = 16;
constexpr std::size_t kBitmapHeaderBytes = 40;
constexpr std::size_t kPaletteBytes = 16 * 4;
constexpr std::size_t kPixelBytes = kSide * kSide / 2;  // 4 bits a pixel
constexpr std::size_t kMaskBytes = kSide * kSide / 8;   // 1 bit a pixel; rows of 4 bytes
constexpr std::size_t kImageBytes = kBitmapHeaderBytes + kPaletteBytes + kPixelBytes + kMaskBytes;
constexpr std::size_t kImageOffset = kHeaderBytes + kDirectoryEntryBytes;
constexpr std::size_t kIconBytes = kImageOffset + kImageBytes;
static_assert(kImageBytes == 744 && kIconBytes == 766);

struct Rgb {
    std::uint8_t red, green, blue;
};

// The standard 16-colour palette, in index order.
// clang-format off
constexpr std::array<Rgb, 16> kPalette = {{
    {0x00, 0x00, 0x00}, {0x80, 0x00, 0x00}, {0x00, 0x80, 0x00}, {0x80, 0x80, 0x00},
    {0x00, 0x00, 0x80}, {0x80, 0x00, 0x80}, {0x00, 0x80, 0x80}, {0xC0, 0xC0, 0xC0},
    {0x80, 0x80, 0x80}, {0xFF, 0x00, 0x00}, {0x00, 0xFF, 0x00}, {0xFF, 0xFF, 0x00},
    {0x00, 0x00, 0xFF}, {0xFF, 0x00, 0xFF}, {0x00, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF},
}};
// clang-format on

// Palette index of a picture character; transparent pixels are black under
// the mask. 16 for a character the table does not know.
constexpr std::uint8_t colourOf(char c) {
    switch (c) {
        case '.':
            return 0;
        case 'k':
            return 0;
        case 'g':
            return 8;
        case 'R':
            return 9;
        case 'B':
            return 12;
        case 'W':
            return 15;
        default:
            return 16;
    }
}

constexpr bool pictureIsWellFormed() {
    for (const std::string_view row : kPicture) {
        if (row.size() != kSide) return false;
        for (const char c : row) {
            if (colourOf(c) > 15) return false;
        }
    }
    return true;
}
static_assert(pictureIsWellFormed());

struct Writer {
    std::array<std::uint8_t, kIconBytes> bytes{};
    std::size_t at = 0;

    constexpr void u8(std::size_t value) { bytes[at++] = static_cast<std::uint8_t>(value); }
    constexpr void u16(std::size_t value) {
        u8(value & 0xFF);
        u8(value >> 8 & 0xFF);
    }
    constexpr void u32(std::size_t value) {
        u16(value & 0xFFFF);
        u16(value >> 16 & 0xFFFF);
    }
};

constexpr void writeHeaders(Writer& out) {
    out.u16(0);  // reserved
    out.u16(1);  // icon, not cursor
    out.u16(1);  // one image
    out.u8(kSide);
    out.u8(kSide);
    out.u8(0);   // colour count
    out.u8(0);   // reserved
    out.u16(1);  // planes
    out.u16(4);  // bits per pixel
    out.u32(kImageBytes);
    out.u32(kImageOffset);
    out.u32(kBitmapHeaderBytes);
    out.u32(kSide);
    out.u32(2 * kSide);  // the colour image and the mask stacked
    out.u16(1);          // planes
    out.u16(4);          // bits per pixel
    out.u32(0);          // uncompressed
    out.u32(kPixelBytes);
    for (int unused = 0; unused < 4; ++unused) out.u32(0);  // resolution, colours used
}

constexpr void writePalette(Writer& out) {
    for (const Rgb& colour : kPalette) {
        out.u8(colour.blue);
        out.u8(colour.green);
        out.u8(colour.red);
        out.u8(0);
    }
}

// Bitmaps store the bottom row first; the left pixel of a pair takes the
// high nibble, the left pixel of eight the high mask bit (1 = transparent).
constexpr void writePixelsAndMask(Writer& out) {
    for (std::size_t y = kSide; y-- > 0;) {
        for (std::size_t x = 0; x < kSide; x += 2) {
            out.u8(colourOf(kPicture[y][x]) << 4 | colourOf(kPicture[y][x + 1]));
        }
    }
    for (std::size_t y = kSide; y-- > 0;) {
        for (std::size_t x = 0; x < kSide; x += 8) {
            std::size_t bits = 0;
            for (std::size_t bit = 0; bit < 8; ++bit) {
                bits = bits << 1 | (kPicture[y][x + bit] == '.' ? 1 : 0);
            }
            out.u8(bits);
        }
    }
}

constexpr std::array<std::uint8_t, kIconBytes> packIcon() {
    Writer out;
    writeHeaders(out);
    writePalette(out);
    writePixelsAndMask(out);
    return out.bytes;
}

constexpr std::array<std::uint8_t, kIconBytes> kIcon = packIcon();

}  // namespace

std::span<const std::uint8_t> SiteIcon() {
    return kIcon;
}

}  // namespace web
