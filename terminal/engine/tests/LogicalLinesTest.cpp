#include "TestSupport.h"

#include "terminal/Line.h"

#include <gtest/gtest.h>

using namespace terminal;
using test::makeBuffer;
using test::write;

TEST(Line, AddsUpFragmentLengths)
{
    Line line;
    EXPECT_EQ(line.debugDescription(), "[]");
    EXPECT_EQ(line.append({"hello", 0, 0, 5}), 5);
    EXPECT_EQ(line.append({"\n", 0, -1, 1}), 6);
    EXPECT_EQ(line.length, 6);
    EXPECT_EQ(line.debugDescription(), "2/6: [hello][\\n][");
}

TEST(LogicalLines, JoinWrappedRowsAndBreakBetweenLines)
{
    auto buffer = makeBuffer(4, 6, 10);
    write(*buffer, "abcdefghij\nxy");
    const auto lines = buffer->logicalLines({0, 0}, {4, 3});
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].fragments, (std::vector<LineFragment>{
                                      {"abcd", 0, 0, 4}, {"efgh", 1, 0, 4}, {"ij", 2, 0, 2}, {"\n", 2, -1, 1}}));
    EXPECT_EQ(lines[1].fragments, (std::vector<LineFragment>{{"xy", 3, 0, 2}}));
    EXPECT_EQ(buffer->text({4, 3}, {0, 0}), "abcdefghij\nxy"); // either order
}

TEST(LogicalLines, SelectText)
{
    const struct {
        const char* name;
        const char* text;
        int thenX; // the cursor moves to this column of its row, then `more` is written
        const char* more;
        Position start;
        Position end;
        const char* selected;
    } cases[] = {
        {"columns of the first and last rows", "abcdefghij\nxy", -1, "", {1, 0}, {1, 3}, "bcdefghij\nx"},
        {"equal ends select nothing", "abc", -1, "", {1, 0}, {1, 0}, ""},
        {"empty rows between lines count, trailing ones do not", "ab\n\n\ncd\n\n", -1, "", {0, 0}, {4, 5}, "ab\n\n\ncd"},
        {"the end row is limited to the buffer", "ab\ncd", -1, "", {0, 0}, {4, 99}, "ab\ncd"},
        {"a start past the buffer selects nothing", "ab", -1, "", {0, 40}, {0, 50}, ""},
        {"a wide character's spacer adds no blank", "中x", -1, "", {0, 0}, {4, 0}, "中x"},
        {"nor does the gap before a wrapped wide character", "abc中d", -1, "", {0, 0}, {4, 1}, "abc中d"},
        {"never-written cells inside a line read as blanks", "ab", 3, "c", {0, 0}, {4, 0}, "ab c"},
        {"combined characters stay whole", "e\u0301x", -1, "", {0, 0}, {4, 0}, "e\u0301x"},
    };
    for (const auto& c : cases) {
        auto buffer = makeBuffer(4, 6, 10);
        write(*buffer, c.text);
        if (c.thenX >= 0) {
            buffer->setX(c.thenX);
            write(*buffer, c.more);
        }
        EXPECT_EQ(buffer->text(c.start, c.end), c.selected) << c.name;
    }
}
