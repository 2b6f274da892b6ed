#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <set>
#include <span>
#include <vector>

#include "web/status_page.h"

namespace web {
namespace {

std::uint32_t le(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t width) {
    std::uint32_t value = 0;
    for (std::size_t i = width; i-- > 0;) value = value << 8 | bytes[at + i];
    return value;
}

// Palette index of the pixel at column x, row y counted from the top.
int pixel(std::span<const std::uint8_t> icon, int x, int y) {
    const std::size_t pixels = 22 + 40 + 64;
    const std::uint8_t pair = icon[pixels + static_cast<std::size_t>((31 - y) * 16 + x / 2)];
    return x % 2 == 0 ? pair >> 4 : pair & 0x0F;
}

bool transparent(std::span<const std::uint8_t> icon, int x, int y) {
    const std::size_t mask = 22 + 40 + 64 + 512;
    const std::uint8_t bits = icon[mask + static_cast<std::size_t>((31 - y) * 4 + x / 8)];
    return (bits >> (7 - x % 8) & 1) != 0;
}

TEST(SiteIcon, IsOne32By32SixteenColourIcon) {
    const std::span<const std::uint8_t> icon = SiteIcon();
    ASSERT_EQ(icon.size(), 766u);
    // Directory: reserved, type icon, one image.
    EXPECT_EQ(le(icon, 0, 2), 0u);
    EXPECT_EQ(le(icon, 2, 2), 1u);
    EXPECT_EQ(le(icon, 4, 2), 1u);
    // Its entry: 32 x 32, colour count 0, 1 plane, 4 bits, 744 bytes at 22.
    EXPECT_EQ(icon[6], 32);
    EXPECT_EQ(icon[7], 32);
    EXPECT_EQ(icon[8], 0);
    EXPECT_EQ(icon[9], 0);
    EXPECT_EQ(le(icon, 10, 2), 1u);
    EXPECT_EQ(le(icon, 12, 2), 4u);
    EXPECT_EQ(le(icon, 14, 4), 744u);
    EXPECT_EQ(le(icon, 18, 4), 22u);
    EXPECT_EQ(le(icon, 18, 4) + le(icon, 14, 4), icon.size());
    // The bitmap header: image and mask stacked to 64 rows, uncompressed.
    EXPECT_EQ(le(icon, 22, 4), 40u);
    EXPECT_EQ(le(icon, 26, 4), 32u);
    EXPECT_EQ(le(icon, 30, 4), 64u);
    EXPECT_EQ(le(icon, 34, 2), 1u);
    EXPECT_EQ(le(icon, 36, 2), 4u);
    EXPECT_EQ(le(icon, 38, 4), 0u);
    EXPECT_EQ(le(icon, 42, 4), 512u);
}

TEST(SiteIcon, UsesTheStandardPalette) {
    const std::span<const std::uint8_t> icon = SiteIcon();
    const std::size_t palette = 22 + 40;
    auto colour = [&](int index) {
        return le(icon, palette + static_cast<std::size_t>(index) * 4, 4);
    };
    EXPECT_EQ(colour(0), 0x000000u);
    EXPECT_EQ(colour(7), 0xC0C0C0u);
    EXPECT_EQ(colour(8), 0x808080u);
    EXPECT_EQ(colour(9), 0xFF0000u);   // red, stored blue first
    EXPECT_EQ(colour(12), 0x0000FFu);  // blue
    EXPECT_EQ(colour(15), 0xFFFFFFu);
}

TEST(SiteIcon, ShowsAThermometerWithBlueCornersOnATransparentGround) {
    const std::span<const std::uint8_t> icon = SiteIcon();
    constexpr int kRed = 9, kBlue = 12, kWhite = 15;
    // The corners away from the picture are see-through and black beneath.
    EXPECT_TRUE(transparent(icon, 0, 0));
    EXPECT_TRUE(transparent(icon, 31, 31));
    EXPECT_EQ(pixel(icon, 0, 0), 0);
    // The bulb at the lower left is red, the tube at the upper right white.
    EXPECT_EQ(pixel(icon, 7, 25), kRed);
    EXPECT_FALSE(transparent(icon, 7, 25));
    EXPECT_EQ(pixel(icon, 25, 5), kWhite);
    std::set<int> upperLeft, lowerRight;
    for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 12; ++x) {
            if (!transparent(icon, x, y)) upperLeft.insert(pixel(icon, x, y));
            if (!transparent(icon, 31 - x, 31 - y)) lowerRight.insert(pixel(icon, 31 - x, 31 - y));
        }
    }
    EXPECT_EQ(upperLeft, std::set<int>{kBlue});
    EXPECT_EQ(lowerRight, std::set<int>{kBlue});
}

// kelvarian.exe carries the icon as a resource, compiled from a file in the
// tree: it must stay the page's icon byte for byte.
TEST(SiteIcon, IsTheWindowsProgramsIconFile) {
    std::ifstream file(PROGRAM_ICON_FILE, std::ios::binary);
    ASSERT_TRUE(file.is_open()) << PROGRAM_ICON_FILE;
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file),
                                          std::istreambuf_iterator<char>()};
    const std::span<const std::uint8_t> icon = SiteIcon();
    EXPECT_EQ(bytes, std::vector<std::uint8_t>(icon.begin(), icon.end()));
}

}  // namespace
}  // namespace web
