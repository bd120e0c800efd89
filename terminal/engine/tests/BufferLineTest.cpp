#include "TestSupport.h"

#include "terminal/BufferLine.h"
#include "terminal/CellTables.h"
#include "terminal/Log.h"

#include <gtest/gtest.h>

using namespace terminal;
using test::makeRow;

namespace {

const CharData fill{'f', 1, 0, {}, CharData::Null.attribute};
const Attribute red{Attribute::Color::defaultColor(), Attribute::Color::ansi256(1), CharacterStyle::none};

} // namespace

TEST(BufferLine, TrimsToTheLastCharacter)
{
    CellTables tables;
    BufferLine row = makeRow(tables, "....x", 10);
    row.at(7).attribute = red; // colour alone is content, but no character
    EXPECT_EQ(row.getTrimmedLength(), 5);
    EXPECT_TRUE(row.hasContent(7));
    EXPECT_FALSE(row.hasContent(8));
    EXPECT_TRUE(row.hasAnyContent());
    EXPECT_FALSE(BufferLine(10).hasAnyContent());
    EXPECT_EQ(makeRow(tables, "ab中", 10).getTrimmedLength(), 4); // the spacer belongs to the text
}

TEST(BufferLine, TranslatesCellsToText)
{
    CellTables tables;
    const BufferLine row = makeRow(tables, "a中b", 8);
    EXPECT_EQ(row.translateToString(tables, true), "a中b");
    EXPECT_EQ(row.translateToString(tables), "a中b    "); // never-written cells read as blanks, the spacer as nothing
    EXPECT_EQ(row.translateToString(tables, false, 1, 3), "中");
    EXPECT_EQ(row.translateToString(tables, true, 6), "");
    EXPECT_EQ(row.translateToString(tables, true, -4, 99), "a中b");
}

TEST(BufferLine, InsertsDeletesAndReplacesCellRanges)
{
    const struct {
        const char* name;
        const char* before;
        void (*op)(BufferLine&, CellTables&);
        const char* after;
    } cases[] = {
        {"insert inside the margin", "ABCDEFGH", [](BufferLine& r, CellTables&) { r.insertCells(2, 3, 5, fill); }, "ABfffCGH"},
        {"insert more than the span", "ABCDEFGH", [](BufferLine& r, CellTables&) { r.insertCells(2, 9, 5, fill); }, "ABffffGH"},
        {"delete inside the margin", "ABCDEF", [](BufferLine& r, CellTables&) { r.deleteCells(1, 2, 4, fill); }, "ADEffF"},
        {"delete more than the span", "ABCDEF", [](BufferLine& r, CellTables&) { r.deleteCells(1, 9, 4, fill); }, "AffffF"},
        {"replace a range", "ABCDEF", [](BufferLine& r, CellTables&) { r.replaceCells(1, 3, fill); }, "AffDEF"},
        {"replace past the end", "ABCDEF", [](BufferLine& r, CellTables&) { r.replaceCells(4, 99, fill); }, "ABCDff"},
        {"positions and margins out of range", "ABCDEF", [](BufferLine& r, CellTables&) { r.insertCells(-5, 1, 99, fill); },
         "fABCDE"},
        {"copy cut to both rows", "ABCDEF",
         [](BufferLine& r, CellTables& t) { r.copyFrom(makeRow(t, "xyz", 3), 1, 4, 9); }, "ABCDyz"},
        // Wide characters stay whole: a broken half becomes a fill cell.
        {"insert pushes a wide character past the margin", "AB中EF",
         [](BufferLine& r, CellTables&) { r.insertCells(0, 1, 3, fill); }, "fABfEF"},
        {"insert at a spacer splits the pair", "A中DEF", [](BufferLine& r, CellTables&) { r.insertCells(2, 1, 5, fill); },
         "AfffDE"},
        {"delete at a spacer", "A中DEF", [](BufferLine& r, CellTables&) { r.deleteCells(2, 1, 5, fill); }, "AfDEFf"},
        {"delete moves a pair whole", "AB中EF", [](BufferLine& r, CellTables&) { r.deleteCells(0, 1, 5, fill); }, "B中EFf"},
        {"replace half a wide character", "A中DEF", [](BufferLine& r, CellTables&) { r.replaceCells(0, 2, fill); }, "fffDEF"},
        {"cut through a wide character", "ABCD中", [](BufferLine& r, CellTables&) { r.resize(5); }, "ABCD"},
        {"copy over a spacer", "A中DEF", [](BufferLine& r, CellTables& t) { r.copyFrom(makeRow(t, "x", 1), 0, 2, 1); },
         "A.xDEF"},
        {"store over a wide character", "A中DEF", [](BufferLine& r, CellTables&) { r.setCell(1, fill); }, "Af.DEF"},
    };
    for (const auto& c : cases) {
        CellTables tables;
        BufferLine row = makeRow(tables, c.before, test::columnsOf(c.before));
        c.op(row, tables);
        EXPECT_EQ(test::rowText(tables, row), c.after) << c.name;
    }
}

TEST(BufferLine, ClampsIndicesFromOutside)
{
    CellTables tables;
    BufferLine row = makeRow(tables, "abc", 3);
    EXPECT_EQ(row[99].code, 'c');
    EXPECT_EQ(row[-1].code, 'a');
    std::vector<std::string> logged;
    setLogSink([&](std::string_view message) { logged.emplace_back(message); });
    row.at(80).code = 'z';
    setLogSink(nullptr);
    EXPECT_EQ(test::rowText(tables, row), "abz");
    EXPECT_EQ(logged, std::vector<std::string>{
                          "BufferLine: You passed an index out of range, adjusting to prevent crash, but you should "
                          "debug"});

    row.resize(0);
    EXPECT_EQ(row.count(), 0);
    EXPECT_EQ(row[0], CharData::Null);
    row.insertCells(0, 1, 0, fill);
    row.deleteCells(0, 1, 0, fill);
    row.replaceCells(0, 5, fill);
    EXPECT_EQ(row.count(), 0);
}
