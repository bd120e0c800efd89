#include "terminal/Color.h"

#include <gtest/gtest.h>

using namespace terminal;

TEST(Color, ParsesX11Specifications)
{
    const struct {
        const char* spec;
        std::optional<Color> color;
    } cases[] = {
        {"#fff", Color{0xFFFF, 0xFFFF, 0xFFFF}},
        {"#abc", Color{0xAAAA, 0xBBBB, 0xCCCC}},
        {"#0000ff", Color{0, 0, 0xFFFF}},
        {"#123456789", Color{0x1231, 0x4564, 0x7897}},
        {"#0123456789AB", Color{0x0123, 0x4567, 0x89AB}},
        {"rgb:ff/80/00", Color{0xFFFF, 0x8080, 0x0000}},
        {"rgb:abc/abc/abc", Color{0xABCA, 0xABCA, 0xABCA}},
        {"rgb:1234/5678/9abc", Color{0x1234, 0x5678, 0x9ABC}},
        {"rgb:f/ff/fff", Color{0xFFFF, 0xFFFF, 0xFFFF}}, // each component scaled by its own digits
        {"rgb:8/80/800", Color{0x8888, 0x8080, 0x8008}},
        {"#12345", std::nullopt},
        {"#", std::nullopt},
        {"#12g", std::nullopt},
        {"rgb:", std::nullopt},
        {"rgb:1/2", std::nullopt},
        {"rgb:1/2/3/4", std::nullopt},
        {"rgb:1//3", std::nullopt},
        {"rgb:12345/0/0", std::nullopt},
        {"rgb:1/2/3x", std::nullopt},
        {"hsl:1/2/3", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseColor(c.spec), c.color) << c.spec;
}

TEST(Color, FormatsAsXcolor)
{
    EXPECT_EQ(defaultBackgroundColor().formatAsXcolor(), "rgb:0000/0000/0000");
    EXPECT_EQ(defaultForegroundColor().formatAsXcolor(), "rgb:8a3d/8a3d/8a3d");
    EXPECT_EQ((Color{0xFFFF, 0, 0x8080}).formatAsXcolor(), "rgb:ffff/0000/8080");
    EXPECT_EQ(parseColor(Color::from8bit(1, 2, 254).formatAsXcolor()), Color::from8bit(1, 2, 254));
}

TEST(Color, BuildsThe256ColourPalette)
{
    const std::vector<Color> palette = makeAnsiPalette(defaultInstalledColors());
    ASSERT_EQ(palette.size(), 256u);
    EXPECT_EQ(palette[1], Color::from8bit(153, 0, 1));
    EXPECT_EQ(palette[16], Color::from8bit(0, 0, 0));
    EXPECT_EQ(palette[21], Color::from8bit(0, 0, 255));
    EXPECT_EQ(palette[196], Color::from8bit(255, 0, 0));
    EXPECT_EQ(palette[231], Color::from8bit(255, 255, 255));
    EXPECT_EQ(palette[232], (Color{0x0808, 0x0808, 0x0808}));
    EXPECT_EQ(palette[255], (Color{0xEEEE, 0xEEEE, 0xEEEE}));
}
