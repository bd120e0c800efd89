#include "QtPrinters.h"
#include "highlighter/Theme.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace highlighter;
using namespace highlighter::Highlight;
using K = TokenType::Kind;

namespace {

struct Preset {
    const char* name;
    Theme (*make)(Font);
    // plain, keyword, string, type, call, number, comment, property, dotAccess, preprocessing, background
    double colours[11][3];
};

const Preset presets[] = {
    {"brindlesColors", Theme::brindlesColors,
     {{0.66, 0.74, 0.74}, {0.91, 0.2, 0.54}, {0.98, 0.39, 0.12}, {0.51, 0.51, 0.79}, {0.2, 0.56, 0.9},
      {0.86, 0.44, 0.34}, {0.42, 0.54, 0.58}, {0.13, 0.67, 0.62}, {0.57, 0.7, 0.0}, {0.71, 0.54, 0.0},
      {0.098, 0.098, 0.098}}},
    {"presentation", Theme::presentation,
     {{0.0, 0.0, 0.0}, {0.706, 0.0, 0.384}, {0.729, 0.0, 0.067}, {0.267, 0.537, 0.576}, {0.267, 0.537, 0.576},
      {0.0, 0.043, 1.0}, {0.336, 0.376, 0.42}, {0.267, 0.537, 0.576}, {0.267, 0.537, 0.576},
      {0.431, 0.125, 0.051}, {1.0, 1.0, 1.0}}},
    {"midnight", Theme::midnight,
     {{1.0, 1.0, 1.0}, {0.828, 0.095, 0.583}, {1.0, 0.171, 0.219}, {0.137, 1.0, 0.512}, {0.137, 1.0, 0.512},
      {0.469, 0.426, 1.0}, {0.255, 0.801, 0.27}, {0.431, 0.714, 0.533}, {0.431, 0.714, 0.533},
      {0.896, 0.488, 0.284}, {0.0, 0.0, 0.0}}},
    {"sunset", Theme::sunset,
     {{0.0, 0.0, 0.0}, {0.161, 0.259, 0.467}, {0.875, 0.027, 0.0}, {0.706, 0.27, 0.0}, {0.278, 0.415, 0.593},
      {0.161, 0.259, 0.467}, {0.765, 0.455, 0.11}, {0.278, 0.415, 0.593}, {0.278, 0.415, 0.593},
      {0.392, 0.391, 0.52}, {1.0, 0.99, 0.9}}},
    {"wwdc17", Theme::wwdc17,
     {{0.84, 0.84, 0.84}, {0.992, 0.791, 0.45}, {0.966, 0.517, 0.29}, {0.431, 0.714, 0.533},
      {0.431, 0.714, 0.533}, {0.559, 0.504, 0.745}, {0.484, 0.483, 0.504}, {0.431, 0.714, 0.533},
      {0.431, 0.714, 0.533}, {0.992, 0.791, 0.45}, {0.18, 0.19, 0.2}}},
    {"wwdc18", Theme::wwdc18,
     {{1.0, 1.0, 1.0}, {0.948, 0.14, 0.547}, {0.988, 0.273, 0.317}, {0.584, 0.898, 0.361},
      {0.584, 0.898, 0.361}, {0.587, 0.517, 0.974}, {0.424, 0.475, 0.529}, {0.584, 0.898, 0.361},
      {0.584, 0.898, 0.361}, {0.952, 0.526, 0.229}, {0.163, 0.163, 0.182}}},
};

richtext::Color colour(const double (&c)[3])
{
    return {c[0], c[1], c[2], 1.0};
}

TEST(Theme, PresetsHoldTheExactColours)
{
    const K kinds[] = {K::keyword, K::string, K::type, K::call, K::number,
                       K::comment, K::property, K::dotAccess, K::preprocessing};
    const Font font(QStringLiteral("/fonts/Mono.ttf"), 17);
    for (const Preset& preset : presets) {
        SCOPED_TRACE(preset.name);
        const Theme theme = preset.make(font);
        EXPECT_EQ(theme.font, font);
        EXPECT_EQ(theme.plainTextColor, colour(preset.colours[0]));
        EXPECT_EQ(theme.backgroundColor, colour(preset.colours[10]));
        EXPECT_EQ(theme.tokenColors.size(), 9);
        for (int i = 0; i < 9; ++i)
            EXPECT_EQ(theme.tokenColors.value(kinds[i]), colour(preset.colours[i + 1])) << i;
        EXPECT_FALSE(theme.tokenColors.contains(TokenType::custom("keyword")));
    }
}

TEST(Theme, FontsResolveToDescriptions)
{
    const richtext::FontSpec system = Font(13).resolved();
    EXPECT_EQ(system.family, "Courier New");
    EXPECT_TRUE(system.monospaced);
    EXPECT_EQ(system.pixelSize, 13);
    EXPECT_TRUE(system.filePath.isEmpty());

    const richtext::FontSpec file = Font(QStringLiteral("/x/Font.ttf"), 9).resolved();
    EXPECT_EQ(file.filePath, "/x/Font.ttf");
    EXPECT_EQ(file.pixelSize, 9);

    EXPECT_EQ(std::get<Font::Path>(Font(QStringLiteral("~/f.ttf"), 9).resource).path, QDir::homePath() + "/f.ttf");
    EXPECT_EQ(std::get<Font::Path>(Font(QStringLiteral("~"), 9).resource).path, QDir::homePath());
    EXPECT_EQ(std::get<Font::Path>(Font(QStringLiteral("a/~b"), 9).resource).path, "a/~b");

    richtext::FontSpec ready;
    ready.family = "Ready";
    ready.pixelSize = 20;
    EXPECT_EQ(Font(Font::Preloaded{ready}, 13).resolved(), ready); // keeps its own size
}

} // namespace
