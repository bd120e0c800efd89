#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace terminal;
using test::makeBuffer;
using test::screen;
using test::write;
using Strings = std::vector<std::string>;

namespace {

const Attribute blueOnRed{Attribute::Color::ansi256(4), Attribute::Color::ansi256(1), CharacterStyle::bold};

std::vector<int> stops(const Buffer& buffer)
{
    std::vector<int> out;
    for (int col = 0; col < buffer.cols(); ++col) {
        if (buffer.tabStops()[static_cast<std::size_t>(col)])
            out.push_back(col);
    }
    return out;
}

} // namespace

TEST(Buffer, LaysOutAndFindsTabStops)
{
    auto buffer = makeBuffer(80, 5);
    EXPECT_EQ(stops(*buffer), (std::vector<int>{0, 8, 16, 24, 32, 40, 48, 56, 64, 72}));
    const struct {
        int from;
        int next;
        int previous;
    } cases[] = {{0, 8, 0}, {3, 8, 0}, {9, 16, 8}, {72, 79, 64}, {75, 79, 72}, {79, 79, 72}, {200, 79, 72}};
    for (const auto& c : cases) {
        EXPECT_EQ(buffer->nextTabStop(c.from), c.next) << c.from;
        EXPECT_EQ(buffer->previousTabStop(c.from), c.previous) << c.from;
    }

    buffer->setMarginRight(30);
    EXPECT_EQ(buffer->nextTabStop(25, true), 30);
    buffer->tabSet(3);
    buffer->clearTabStop(8);
    buffer->tabSet(80);
    buffer->clearTabStop(-1);
    EXPECT_EQ(buffer->nextTabStop(0), 3);
    EXPECT_EQ(buffer->nextTabStop(3), 16);
    buffer->setX(20);
    EXPECT_EQ(buffer->previousTabStop(), 16);
    buffer->clearAllTabStops();
    EXPECT_EQ(stops(*buffer), std::vector<int>{});
    EXPECT_EQ(buffer->nextTabStop(0), 79);

    buffer->setupTabStops(-1, 4);
    EXPECT_EQ(stops(*buffer).size(), 20u);
    buffer->setupTabStops(-1, 0);
    EXPECT_TRUE(stops(*buffer).empty());
}

TEST(Buffer, PrintsAtTheCursor)
{
    const struct {
        const char* name;
        int x;
        bool wraparound;
        bool insertMode;
        const char* text;
        Strings screen;
        int cursorX;
        int cursorY;
    } cases[] = {
        {"wraps onto a continuation row", 8, true, false, "abc", {"|........ab", ">c", "|"}, 1, 1},
        {"a pending wrap waits for the next character", 8, true, false, "ab", {"|........ab", "|", "|"}, 10, 0},
        {"without wrap-around the last column is written over", 8, false, false, "abc", {"|........ac", "|", "|"}, 10, 0},
        {"a wide character that does not fit wraps whole", 9, true, false, "中", {"|", ">中", "|"}, 2, 1},
        {"without wrap-around it is dropped", 9, false, false, "中", {"|", "|", "|"}, 9, 0},
        {"a wide character takes two columns", 0, true, false, "中x", {"|中x", "|", "|"}, 3, 0},
        {"insert mode shifts the row", 0, true, true, "中", {"|中01234567", "|", "|"}, 2, 0},
    };
    for (const auto& c : cases) {
        auto buffer = makeBuffer(10, 3);
        if (c.insertMode) {
            write(*buffer, "0123456789");
            buffer->setX(0);
        }
        buffer->setX(c.x);
        buffer->wraparound = c.wraparound;
        buffer->insertMode = c.insertMode;
        write(*buffer, c.text);
        EXPECT_EQ(screen(*buffer), c.screen) << c.name;
        EXPECT_EQ(buffer->x(), c.cursorX) << c.name;
        EXPECT_EQ(buffer->y(), c.cursorY) << c.name;
        EXPECT_EQ(buffer->checkInvariants(), "") << c.name;
    }
}

TEST(Buffer, FillsItsOwnCellsWithTheCurrentBackground)
{
    auto buffer = makeBuffer(10, 2);
    write(*buffer, "中", blueOnRed);
    const CharData& spacer = buffer->screenLine(0)[1];
    EXPECT_TRUE(spacer.isSpacer());
    EXPECT_EQ(spacer.attribute, fillAttribute(blueOnRed.bg));

    // Writing over either half of a wide character clears the other half the same way.
    buffer->setX(1);
    write(*buffer, "x", blueOnRed);
    EXPECT_EQ(buffer->screenLine(0)[0], CharData::blank(fillAttribute(blueOnRed.bg)));
    EXPECT_EQ(test::rowText(*buffer, buffer->screenLine(0)), "|.x");

    write(*buffer, "中", blueOnRed);
    buffer->setX(2);
    buffer->insertMode = true;
    write(*buffer, "y", blueOnRed);
    EXPECT_EQ(test::rowText(*buffer, buffer->screenLine(0)), "|.xy中");
    EXPECT_EQ(buffer->checkInvariants(), "");
}

TEST(Buffer, ScrollsTheRegionAndKeepsScrollback)
{
    auto buffer = makeBuffer(4, 3, 2);
    write(*buffer, "a\nb\nc\nd\ne\nf");
    EXPECT_EQ(test::rows(*buffer), (Strings{"|b", "|c", "|d", "|e", "|f"}));
    EXPECT_EQ(buffer->yBase(), 2);
    EXPECT_EQ(buffer->yDisp(), 2);
    EXPECT_EQ(buffer->linesTop, 1);

    // A region below the top scrolls within itself; the scroll-back stays.
    buffer->setScrollTop(1);
    buffer->scroll(false, Attribute::Color::ansi256(2));
    EXPECT_EQ(test::rows(*buffer), (Strings{"|b", "|c", "|d", "|f", "|"}));
    EXPECT_EQ(buffer->screenLine(2)[0].attribute.bg, Attribute::Color::ansi256(2));

    // A region at the top with rows below it sends its top row into the scroll-back.
    auto region = makeBuffer(4, 3, 5);
    write(*region, "a\nb\nc");
    region->setScrollBottom(1);
    region->setY(1);
    region->scroll(false);
    EXPECT_EQ(test::rows(*region), (Strings{"|a", "|b", "|", "|c"}));
    EXPECT_EQ(region->yBase(), 1);

    // While the user has scrolled back, the display stays on its rows.
    region->setYDisp(0);
    region->scroll(false, Attribute::Color::defaultColor(), true);
    EXPECT_EQ(region->yDisp(), 0);
    EXPECT_EQ(region->yBase(), 2);
    EXPECT_EQ(region->checkInvariants(), "");
}

TEST(Buffer, ClampsSizesAndPositionsFromOutside)
{
    Buffer tiny(0, -5, -1, 1'000'000'000);
    EXPECT_EQ(tiny.cols(), 2);
    EXPECT_EQ(tiny.rows(), 1);
    EXPECT_EQ(tiny.scrollback(), 100'000);
    Buffer huge(1'000'000, 1'000'000, 8);
    EXPECT_EQ(huge.cols(), 2048);
    EXPECT_EQ(huge.rows(), 1024);

    auto buffer = makeBuffer(10, 4);
    buffer->setY(2);
    buffer->setY(-1);
    EXPECT_EQ(buffer->y(), 2);
    buffer->setY(99);
    buffer->setX(99);
    buffer->setYDisp(5);
    buffer->setScrollBottom(40);
    buffer->setMarginRight(40);
    buffer->setYBase(7);
    EXPECT_EQ(buffer->y(), 3);
    EXPECT_EQ(buffer->x(), 10);
    EXPECT_EQ(buffer->yDisp(), 0);
    EXPECT_EQ(buffer->scrollBottom(), 3);
    EXPECT_EQ(buffer->marginRight(), 9);
    EXPECT_EQ(buffer->yBase(), 0);

    EXPECT_EQ(buffer->cellAtScreen({50, 0}), CharData::Null);
    EXPECT_EQ(buffer->cellAtScreen({0, -1}), CharData::Null);
    EXPECT_EQ(buffer->cellAtBuffer({0, 400}), CharData::Null);

    // The buffer's own operations work on a buffer that has no rows yet.
    Buffer empty(5, 2, 8, 10);
    empty.wraparound = true;
    empty.insertCharacter({'a', 1, 0, {}, CharData::Null.attribute});
    empty.scroll(false);
    empty.resize(7, 3);
    EXPECT_EQ(empty.checkInvariants(), "");
    EXPECT_EQ(empty.allText(), "a");
}

TEST(Buffer, ReadsCellsRelativeToTheDisplayOrTheBuffer)
{
    auto buffer = makeBuffer(4, 2, 5);
    write(*buffer, "a\nb\nc\nd");
    buffer->setYDisp(1);
    EXPECT_EQ(buffer->cellAtScreen({0, 0}).code, 'b');
    EXPECT_EQ(buffer->cellAtBuffer({0, 0}).code, 'a');
    EXPECT_EQ(buffer->cellAtBuffer({0, 3}).code, 'd');
}

TEST(Buffer, ClearAndSoftReset)
{
    auto buffer = makeBuffer(6, 2, 5);
    write(*buffer, "a\nb\nc\nd");
    buffer->savedX = 3;
    buffer->savedOriginMode = true;
    buffer->setMarginLeft(2);
    buffer->softReset();
    EXPECT_EQ(buffer->savedX, 0);
    EXPECT_FALSE(buffer->savedOriginMode);
    EXPECT_EQ(buffer->marginLeft(), 0);
    EXPECT_EQ(buffer->marginRight(), 5);

    buffer->clear();
    EXPECT_TRUE(buffer->lines().isEmpty());
    EXPECT_EQ(buffer->yBase(), 0);
    buffer->fillViewportRows();
    buffer->fillViewportRows();
    EXPECT_EQ(buffer->lines().count(), 2);
    EXPECT_EQ(buffer->checkInvariants(), "");
}
