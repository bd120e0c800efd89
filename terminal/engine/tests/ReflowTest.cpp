#include "TestSupport.h"

#include <gtest/gtest.h>

#include <random>

using namespace terminal;
using test::makeBuffer;
using test::rows;
using test::write;
using Strings = std::vector<std::string>;

namespace {

struct Resize {
    int cols;
    int rows;
};

struct Case {
    const char* name;
    int cols;
    int rows;
    std::optional<int> scrollback;
    std::string text;
    std::optional<Position> cursor; // moved there after writing
    std::vector<Resize> resizes;
    Strings after;                  // every row of the buffer
    int yBase;
    Position cursorAfter;
};

std::string repeat(char c, int n)
{
    return std::string(static_cast<std::size_t>(n), c);
}

} // namespace

TEST(Reflow, RewrapsTextAndKeepsTheCursorWithItsCharacter)
{
    const std::vector<Case> cases = {
        {"widening joins a wrapped line and moves the cursor up", 8, 3, 10, "0123456789", {}, {{12, 3}},
         {"|0123456789", "|", "|"}, 0, {10, 0}},
        {"narrowing adds continuation rows", 8, 4, 10, "0123456789\nab", {}, {{4, 4}},
         {"|0123", ">4567", ">89", "|ab"}, 0, {2, 3}},
        {"80 to 120 columns", 80, 3, 10, repeat('x', 100), {}, {{120, 3}}, {"|" + repeat('x', 100), "|", "|"}, 0, {100, 0}},
        {"120 to 40 columns", 120, 4, 10, repeat('x', 100), {}, {{40, 4}},
         {"|" + repeat('x', 40), ">" + repeat('x', 40), ">" + repeat('x', 20), "|"}, 0, {20, 2}},
        {"a wide character that does not fit starts the next row", 6, 3, 10, "ab中cd中", {}, {{3, 3}},
         {"|ab", ">中c", ">d中"}, 0, {3, 2}},
        {"and comes back when the rows widen", 6, 3, 10, "ab中cd中", {}, {{3, 3}, {6, 3}}, {"|ab中cd", ">中", "|"}, 0, {2, 1}},
        {"the gap left before a wrapped wide character is not text", 5, 3, 10, "abcd中e", {}, {{8, 3}},
         {"|abcd中e", "|", "|"}, 0, {7, 0}},
        {"a cursor inside its line stays on its character", 8, 3, 10, "0123456789", Position{1, 1}, {{4, 3}},
         {"|0123", ">4567", ">89"}, 0, {1, 2}},
        {"and again when widening", 8, 3, 10, "0123456789", Position{1, 1}, {{12, 3}}, {"|0123456789", "|", "|"}, 0,
         {9, 0}},
        {"a pending wrap stays pending", 8, 3, 10, "01234567", {}, {{4, 3}}, {"|0123", ">4567", "|"}, 0, {4, 1}},
        {"a cursor after the text keeps its distance", 8, 3, 10, "ab", Position{6, 0}, {{4, 3}}, {"|ab", ">", "|"}, 0,
         {2, 1}},
        {"a full screen pushes its top into the scroll-back", 4, 2, 10, "abcdef\nxy", {}, {{2, 2}},
         {"|ab", ">cd", ">ef", "|xy"}, 2, {2, 1}},
        {"a narrower screen past the capacity drops the oldest rows", 4, 2, 1, "abcdef\nxy", {}, {{2, 2}},
         {">cd", ">ef", "|xy"}, 1, {2, 1}},
        {"growing pulls rows back from the scroll-back", 4, 5, 10, "a\nb\nc\nd\ne\nf\ng\nh", {}, {{4, 10}},
         {"|a", "|b", "|c", "|d", "|e", "|f", "|g", "|h", "|", "|"}, 0, {1, 7}},
        {"growing below a cursor with rows under it adds rows", 4, 3, 10, "a\nb\nc\nd", Position{0, 0}, {{4, 5}},
         {"|a", "|b", "|c", "|d", "|", "|"}, 1, {0, 0}},
        {"shrinking with the cursor on the last row raises yBase", 4, 5, 10, "a\nb\nc\nd\ne", {}, {{4, 3}},
         {"|a", "|b", "|c", "|d", "|e"}, 2, {1, 2}},
        {"shrinking drops the blank rows below the cursor", 4, 5, 10, "a\nb", {}, {{4, 3}}, {"|a", "|b", "|"}, 0, {1, 1}},
        {"without scroll-back the rows keep their cells", 8, 2, std::nullopt, "0123456789", {}, {{4, 2}},
         {"|01234567", ">89"}, 0, {2, 1}},
        {"and lose the rows that no longer fit", 8, 3, std::nullopt, "a\nb\nc", {}, {{8, 2}}, {"|b", "|c"}, 0, {1, 1}},
    };
    for (const Case& c : cases) {
        auto buffer = makeBuffer(c.cols, c.rows, c.scrollback);
        write(*buffer, c.text);
        if (c.cursor) {
            buffer->setX(c.cursor->col);
            buffer->setY(c.cursor->row);
        }
        for (const Resize& r : c.resizes)
            buffer->resize(r.cols, r.rows);
        EXPECT_EQ(rows(*buffer), c.after) << c.name;
        EXPECT_EQ(buffer->yBase(), c.yBase) << c.name;
        EXPECT_EQ((Position{buffer->x(), buffer->y()}), c.cursorAfter) << c.name;
        EXPECT_EQ(buffer->checkInvariants(), "") << c.name;
    }
}

TEST(Reflow, KeepsTheSavedCursorMarginsAndTabStopsInStep)
{
    auto buffer = makeBuffer(80, 5, 10);
    write(*buffer, "a\nb\nc\nd\ne");
    buffer->savedY = 2;
    buffer->savedX = 70;
    buffer->resize(40, 3);
    EXPECT_EQ(buffer->y(), 2);
    EXPECT_EQ(buffer->savedY, 0);
    EXPECT_EQ(buffer->savedX, 39);
    EXPECT_EQ(buffer->marginRight(), 39);
    EXPECT_EQ(buffer->scrollBottom(), 2);

    buffer->resize(100, 3);
    EXPECT_EQ(buffer->marginRight(), 99); // a margin at the edge follows it
    EXPECT_TRUE(buffer->tabStops()[96]);
    buffer->setMarginRight(50);
    buffer->resize(120, 3);
    EXPECT_EQ(buffer->marginRight(), 50);
}

TEST(Reflow, FollowsTheDisplayOnlyWhenItFollowedOutput)
{
    auto buffer = makeBuffer(8, 2, 20);
    write(*buffer, "first\n0123456789\nb\nc\nd\ne");
    buffer->setYDisp(1); // the user scrolled back to the long line
    buffer->resize(4, 2);
    EXPECT_EQ(test::rowText(*buffer, buffer->lines()[buffer->yDisp()]), "|0123");
    buffer->setYDisp(buffer->yBase());
    buffer->resize(8, 2);
    EXPECT_EQ(buffer->yDisp(), buffer->yBase());
}

// Any sequence of resizes keeps the text of the logical lines, except rows that no longer fit
// the scroll-back, and the cursor stays where the next character belongs.
TEST(Reflow, RandomResizesKeepTheText)
{
    const char* const pieces[] = {"lorem ", "ipsum ", "中文字", "🙂", "e\u0301", "x", "wide中", "\n", "\n", "a b  c"};
    std::mt19937 random(1234);
    for (int round = 0; round < 60; ++round) {
        const bool roomy = round % 2 == 0;
        auto buffer = makeBuffer(2 + static_cast<int>(random() % 40), 1 + static_cast<int>(random() % 12), roomy ? 2000 : 6);
        std::string text;
        for (int i = 0; i < 80; ++i)
            text += pieces[random() % std::size(pieces)];
        text += '!';
        write(*buffer, text);
        const std::string before = buffer->allText();
        for (int step = 0; step < 12; ++step) {
            buffer->resize(2 + static_cast<int>(random() % 50), 1 + static_cast<int>(random() % 14));
            ASSERT_EQ(buffer->checkInvariants(), "") << "round " << round << " step " << step;
            const std::string after = buffer->allText();
            if (roomy)
                ASSERT_EQ(after, before) << "round " << round << " step " << step;
            else
                ASSERT_TRUE(before.ends_with(after)) << "round " << round << " step " << step << "\n" << after;
        }
        const std::string kept = buffer->allText();
        write(*buffer, "END");
        if (roomy)
            EXPECT_EQ(buffer->allText(), kept + "END") << "round " << round;
        else
            EXPECT_TRUE((kept + "END").ends_with(buffer->allText())) << "round " << round;
    }
}
