// Sixel decoding: sizes, colours, repeats, the bounds, and streams made by img2sixel
// (tests/images, re-made by tests/images/make.sh) decoded to their source pictures.
#include "TerminalScript.h"

#include "terminal/SixelDecoder.h"

#include <gtest/gtest.h>

#include <array>
#include <sstream>

namespace terminal::test {
namespace {

using Rgba = std::array<int, 4>;

Rgba pixel(const SixelImage& image, int x, int y)
{
    const auto at = (static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width) + static_cast<std::size_t>(x)) * 4;
    return {image.pixels[at], image.pixels[at + 1], image.pixels[at + 2], image.pixels[at + 3]};
}

const std::vector<Color>& palette()
{
    static const std::vector<Color> colors = makeAnsiPalette(defaultInstalledColors());
    return colors;
}

Rgba paletteColor(int index)
{
    const Color& c = palette()[static_cast<std::size_t>(index)];
    return {c.red >> 8, c.green >> 8, c.blue >> 8, 255};
}

constexpr Rgba none{0, 0, 0, 0};
constexpr Rgba red{255, 0, 0, 255};
constexpr Rgba green{0, 255, 0, 255};
constexpr Rgba blue{0, 0, 255, 255};

struct Case {
    const char* name;
    const char* data;
    int width;
    int height;
    // Pixels to check: x, y and the colour.
    std::vector<std::pair<std::pair<int, int>, Rgba>> pixels;
};

TEST(Sixel, DecodesSizesAndColours)
{
    const Case cases[] = {
        {"one red column", "#0;2;100;0;0~-", 1, 6, {{{0, 0}, red}, {{0, 5}, red}}},
        {"hue 0 is blue", "#1;1;0;50;100~", 1, 6, {{{0, 3}, blue}}},
        {"hue 120 is red", "#1;1;120;50;100~", 1, 6, {{{0, 3}, red}}},
        {"hue 240 is green", "#1;1;240;50;100~", 1, 6, {{{0, 3}, green}}},
        {"grey without saturation", "#1;1;77;50;0~", 1, 6, {{{0, 0}, {127, 127, 127, 255}}}},
        {"HLS in between", "#1;1;300;25;100~", 1, 6, {{{0, 0}, {0, 127, 127, 255}}}},
        {"percentages are clamped", "#1;2;200;50;0~", 1, 6, {{{0, 0}, {255, 127, 0, 255}}}},
        {"a repeat", "#0!5~-", 5, 6, {{{4, 5}, paletteColor(0)}}},
        {"a repeat without a number draws once", "#0!~-", 1, 6, {}},
        {"a zero repeat draws once", "#0!0~-", 1, 6, {}},
        {"bits from the top of the band", "#9@-@", 1, 7, {{{0, 0}, paletteColor(9)}, {{0, 1}, none}, {{0, 6}, paletteColor(9)}}},
        {"? moves on without drawing", "#1?~", 2, 6, {{{0, 0}, none}, {{1, 0}, paletteColor(1)}}},
        {"$ overprints the same band", "#1;2;100;0;0~~$#2;2;0;0;100?~", 2, 6, {{{0, 0}, red}, {{1, 0}, blue}}},
        {"a register never defined draws the terminal's colour", "#1~", 1, 6, {{{0, 0}, paletteColor(1)}}},
        {"a register past the palette draws nothing", "#300~~", 2, 6, {{{0, 0}, none}}},
        {"registers past the last are ignored", "#1;2;100;0;0#1024;2;0;100;0~", 1, 6, {{{0, 0}, red}}},
        {"register 1023 is the last", "#1023;2;0;100;0~", 1, 6, {{{0, 0}, green}}},
        {"a definition with too few numbers defines nothing", "#1;2;0;100~", 1, 6, {{{0, 0}, paletteColor(1)}}},
        {"an unknown colour system defines nothing", "#1;3;0;100;0~", 1, 6, {{{0, 0}, paletteColor(1)}}},
        {"the last band counts without a terminator", "#1~~~", 3, 6, {{{2, 5}, paletteColor(1)}}},
        {"a # without a number ends the data", "#1~#x~~~", 1, 6, {{{0, 0}, paletteColor(1)}}},
        {"raster attributes and other bytes are skipped", "\"1;1;40;40#1;2;0;0;100 \r\n~", 1, 6, {{{0, 0}, blue}}},
        {"data before any colour draws in register 15", "~~", 2, 6, {{{1, 1}, paletteColor(15)}}},
        {"only what is drawn counts for the height", "#1@-@-??", 2, 7, {{{0, 6}, paletteColor(1)}}},
        {"no drawing gives an empty picture", "#1;2;0;0;0", 0, 0, {}},
        {"empty data", "", 0, 0, {}},
        {"the widest picture", "#1!4096~", 4096, 6, {{{4095, 5}, paletteColor(1)}}},
    };
    for (const Case& c : cases) {
        const auto image = decodeSixel(c.data, palette());
        ASSERT_TRUE(image) << c.name;
        EXPECT_EQ(image->width, c.width) << c.name;
        EXPECT_EQ(image->height, c.height) << c.name;
        EXPECT_EQ(image->pixels.size(), static_cast<std::size_t>(c.width * c.height * 4)) << c.name;
        for (const auto& [at, color] : c.pixels)
            EXPECT_EQ(pixel(*image, at.first, at.second), color) << c.name << " at " << at.first << "," << at.second;
    }
}

TEST(Sixel, PicturesPastTheBoundsAreDropped)
{
    std::string tall;
    for (int band = 0; band < 682; ++band)
        tall += "-";
    // 682 bands reach row 4092: four more rows fit, six do not.
    EXPECT_TRUE(decodeSixel("#1" + tall + "N", palette()));
    EXPECT_FALSE(decodeSixel("#1" + tall + "~", palette()));
    EXPECT_FALSE(decodeSixel("#1!4097~", palette()));
    EXPECT_FALSE(decodeSixel("#1!4000~!97~", palette()));
    // Numbers saturate instead of wrapping round to small or negative values.
    EXPECT_FALSE(decodeSixel("#1!99999999999999999999~", palette()));
    const auto wrapped = decodeSixel("#99999999999999999999;2;100;0;0#1~", palette());
    ASSERT_TRUE(wrapped);
    EXPECT_EQ(pixel(*wrapped, 0, 0), paletteColor(1));
}

// A binary PPM (P6, maxval 255) as RGBA.
SixelImage readPpm(const std::string& path)
{
    std::istringstream in(readFile(path));
    std::string magic;
    int maxValue = 0;
    SixelImage image;
    in >> magic >> image.width >> image.height >> maxValue;
    in.get();
    EXPECT_EQ(magic, "P6");
    for (int i = 0; i < image.width * image.height; ++i) {
        char rgb[3];
        in.read(rgb, 3);
        for (char c : rgb)
            image.pixels.push_back(static_cast<std::uint8_t>(c));
        image.pixels.push_back(255);
    }
    return image;
}

// The picture a terminal hands to its host for a stream.
class BitmapHost : public RecordingDelegate {
public:
    std::vector<SixelImage> images;
    void createImageFromBitmap(Terminal&, std::vector<std::uint8_t>& bytes, int width, int height) override
    {
        images.push_back({width, height, bytes});
    }
};

// img2sixel quantises each channel to five bits and writes percentages: a channel comes back
// within 2 of a source that is a multiple of 8. With more colours than registers it dithers, so
// single pixels stray and only the mean error stays small.
TEST(Sixel, StreamsOfImg2sixelDecodeToTheirSources)
{
    const struct {
        const char* name;
        int maxError;
        double maxMeanError;
    } images[] = {{"colors", 2, 1.0}, {"gradient", 48, 6.0}};
    for (const auto& each : images) {
        const std::string dir = testDataDir() + "/images/";
        const SixelImage source = readPpm(dir + each.name + ".ppm");
        BitmapHost host;
        Terminal terminal(&host);
        terminal.feed(readFile(dir + each.name + ".six"));
        ASSERT_EQ(host.images.size(), 1u) << each.name;
        const SixelImage& decoded = host.images.front();
        ASSERT_EQ(decoded.width, source.width) << each.name;
        ASSERT_EQ(decoded.height, source.height) << each.name;
        int worst = 0;
        double total = 0;
        for (std::size_t i = 0; i < source.pixels.size(); ++i) {
            const int error = std::abs(decoded.pixels[i] - source.pixels[i]);
            worst = std::max(worst, error);
            total += error;
        }
        EXPECT_LE(worst, each.maxError) << each.name;
        EXPECT_LE(total / static_cast<double>(source.pixels.size()), each.maxMeanError) << each.name;
    }
}

TEST(Sixel, StringsCutOffOrOverTheirLimitShowNothing)
{
    BitmapHost host;
    Terminal terminal(&host);
    terminal.feed("\x1bPq#1~~\x18\x1bPq#1~~\x1a");
    std::string huge = "\x1bPq#1";
    huge.append(16 * 1024 * 1024, '~');
    terminal.feed(huge + "\x1b\\");
    EXPECT_TRUE(host.images.empty());
    terminal.feed("\x1bP0;1;0q\"1;1;2;6#1~~\x1b\\");
    ASSERT_EQ(host.images.size(), 1u);
    EXPECT_EQ(host.images[0].width, 2);
    EXPECT_EQ(pixel(host.images[0], 1, 5), paletteColor(1));
}

} // namespace
} // namespace terminal::test
