#include "TestSupport.h"

#include "terminal/CellTables.h"
#include "terminal/CharData.h"
#include "terminal/TerminalOptions.h"

#include <gtest/gtest.h>

using namespace terminal;
using Color = Attribute::Color;

TEST(Attribute, WritesEveryStyleAndColourAsSgr)
{
    const struct {
        Attribute attribute;
        const char* sgr;
    } cases[] = {
        {Attribute::empty, "0m"},
        {CharData::Null.attribute, "0m"},
        {{Color::ansi256(1), Color::ansi256(12), CharacterStyle::bold}, "0;1;31;104m"},
        {{Color::ansi256(16), Color::defaultColor(), CharacterStyle::none}, "0;38;5;16m"},
        {{Color::defaultColor(), Color::ansi256(7), CharacterStyle::none}, "0;47m"},
        {{Color::ansi256(9), Color::ansi256(255), CharacterStyle::none}, "0;91;48;5;255m"},
        {{Color::trueColor(255, 0, 128), Color::trueColor(1, 2, 3), CharacterStyle::none}, "0;38;2;255;0;128;48;2;1;2;3m"},
        {{Color::defaultColor(), Color::defaultColor(), CharacterStyle(0xFF)}, "0;1;2;3;4;5;7;8;9m"},
        {{Color::defaultColor(), Color::defaultColor(), CharacterStyle::dim | CharacterStyle::italic}, "0;2;3m"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.attribute.toSgr(), c.sgr);
}

TEST(Attribute, ComparesEveryField)
{
    const Attribute plain = CharData::Null.attribute;
    Attribute dim = plain;
    dim.style.insert(CharacterStyle::dim);
    EXPECT_NE(plain, dim);
    EXPECT_NE(Color::ansi256(1), Color::trueColor(1, 0, 0));
    EXPECT_NE(Color::defaultColor(), Color::defaultInvertedColor());
    EXPECT_EQ(Color::trueColor(1, 2, 3), Color::trueColor(1, 2, 3));
}

TEST(CellTables, StoresSingleScalarsDirectlyAndClustersOnce)
{
    CellTables tables;
    EXPECT_EQ(tables.encode(U"A"), 65);
    EXPECT_EQ(tables.encode(U"\u00E9"), 0xE9);
    EXPECT_EQ(tables.encode(U"\U0001F600"), 0x1F600); // astral scalars need no table entry
    EXPECT_EQ(tables.encode(std::u32string(1, char32_t(0xD800))), 0xFFFD);
    EXPECT_EQ(tables.encode(std::u32string(1, char32_t(0x110000))), 0xFFFD);
    EXPECT_EQ(tables.clusters().size(), 0u);

    const std::int32_t accented = tables.encode(U"e\u0301");
    EXPECT_EQ(accented, CharData::firstClusterCode);
    EXPECT_EQ(tables.encode(U"e\u0301"), accented);
    EXPECT_EQ(tables.encode(U"\U0001F44D\U0001F3FD"), CharData::firstClusterCode + 1);
    EXPECT_EQ(tables.scalars(accented), U"e\u0301");

    std::string text;
    tables.appendUtf8(accented, text);
    tables.appendUtf8(0, text);
    tables.appendUtf8(CharData::firstClusterCode + 99, text); // never given out
    tables.appendUtf8(0x3FFFFF, text);                        // not a scalar
    EXPECT_EQ(text, "e\u0301 \uFFFD\uFFFD");

    EXPECT_EQ(CharData{0xE9}.debugDescription(), "CharData: 233 \u00E9");
    EXPECT_EQ(CharData{accented}.debugDescription(), "CharData: 4194305 ?");
    EXPECT_EQ(CharData{0xD800}.debugDescription(), "CharData: 55296 ?");
}

TEST(CellTables, BoundsClusterLength)
{
    CellTables tables;
    const std::u32string longest = U"a" + std::u32string(CellTables::maxClusterScalars - 1, U'\u0301');
    EXPECT_GE(tables.encode(longest), CharData::firstClusterCode);
    EXPECT_EQ(tables.encode(longest + U'\u0301'), 0xFFFD);
}

TEST(CellTables, GivesOutClusterCodesAgainOnceNoCellHoldsThem)
{
    auto tables = std::make_shared<CellTables>(4, 4);
    Buffer buffer(10, 2, 8, 0, tables);
    buffer.fillViewportRows();
    auto store = [&](int col, std::u32string_view scalars) {
        buffer.lines()[0].at(col) = CharData{tables->encode(scalars), 1, 0, {}, CharData::Null.attribute};
    };
    const std::u32string clusters[] = {U"a\u0301", U"b\u0301", U"c\u0301", U"d\u0301"};
    for (int i = 0; i < 4; ++i)
        store(i, clusters[i]);
    EXPECT_TRUE(tables->clusters().isFull());

    // Cells 0 and 1 are written over: their codes come back for new clusters.
    store(0, U"x");
    store(1, U"y");
    store(4, U"e\u0301");
    store(5, U"f\u0301");
    EXPECT_EQ(test::rowText(*tables, buffer.lines()[0]), "xyc\u0301d\u0301e\u0301f\u0301");

    // Every code is held by a cell: a new cluster falls back to its first scalar.
    store(6, U"g\u0301");
    EXPECT_EQ(test::rowText(*tables, buffer.lines()[0]), "xyc\u0301d\u0301e\u0301f\u0301g");
}

TEST(CellTables, KeepsOnePayloadCodeEachAndPinnedCodesThroughCollection)
{
    auto tables = std::make_shared<CellTables>(4, 2);
    Buffer buffer(10, 2, 8, 0, tables);
    buffer.fillViewportRows();

    const auto first = tables->payloadAtom("https://a.test");
    ASSERT_TRUE(first);
    EXPECT_EQ(tables->payloadAtom("https://a.test"), first);
    const auto second = tables->payloadAtom("https://b.test");
    ASSERT_TRUE(second);
    EXPECT_NE(first, second);

    // An open link holds its code before any cell does.
    tables->pinPayload(*first);
    buffer.lines()[0].at(0).payload = *second;
    tables->collect();
    EXPECT_EQ(tables->payload(*first), "https://a.test");
    EXPECT_EQ(tables->payload(*second), "https://b.test");

    // The full table frees the code no cell holds once the link is closed.
    tables->unpinPayload(*first);
    const auto third = tables->payloadAtom("https://c.test");
    ASSERT_TRUE(third);
    EXPECT_EQ(third, first);
    EXPECT_EQ(tables->payload(*third), "https://c.test");
    buffer.lines()[1].at(0).payload = *third;
    EXPECT_FALSE(tables->payloadAtom("https://d.test"));
}

TEST(TerminalOptions, DefaultsNamesAndClamping)
{
    TerminalOptions copy = TerminalOptions::defaultOptions();
    copy.cols = 132;
    EXPECT_EQ(TerminalOptions::defaultOptions().cols, 80);
    EXPECT_EQ(TerminalOptions::defaultOptions().rows, 25);
    EXPECT_EQ(TerminalOptions::defaultOptions().termName, "xterm-256color");
    EXPECT_EQ(TerminalOptions::defaultOptions().scrollback, 500);

    EXPECT_EQ(cursorStyleFrom("steadyBar"), CursorStyle::steadyBar);
    EXPECT_EQ(cursorStyleFrom("blinkUnderline"), CursorStyle::blinkUnderline);
    EXPECT_EQ(cursorStyleFrom("SteadyBar"), std::nullopt);
    EXPECT_EQ(cursorStyleFrom("bar"), std::nullopt);

    TerminalOptions hostile;
    hostile.cols = -3;
    hostile.rows = 0;
    hostile.scrollback = 2'000'000'000;
    hostile.tabStopWidth = -8;
    const TerminalOptions clamped = hostile.clamped();
    EXPECT_EQ(clamped.cols, limits::minCols);
    EXPECT_EQ(clamped.rows, limits::minRows);
    EXPECT_EQ(clamped.scrollback, limits::maxScrollback);
    EXPECT_EQ(clamped.tabStopWidth, 0);
}
