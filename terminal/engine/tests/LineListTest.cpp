#include "terminal/CircularBufferLineList.h"

#include <gtest/gtest.h>

#include <string>

using namespace terminal;

namespace {

BufferLine named(char name)
{
    return BufferLine(4, CharData{name, 1, 0, {}, CharData::Null.attribute});
}

std::string names(const CircularBufferLineList& list)
{
    std::string out;
    for (int i = 0; i < list.count(); ++i)
        out += static_cast<char>(list[i][0].code);
    return out;
}

CircularBufferLineList listOf(int capacity, std::string_view rows)
{
    CircularBufferLineList list(capacity);
    for (char c : rows)
        list.push(named(c));
    return list;
}

} // namespace

TEST(CircularBufferLineList, KeepsTheNewestRowsAndMovesRowsInOneStep)
{
    const struct {
        const char* name;
        int capacity;
        const char* rows;
        void (*op)(CircularBufferLineList&);
        const char* after;
    } cases[] = {
        {"push past the capacity drops the oldest", 3, "ABC", [](CircularBufferLineList& l) { l.push(named('D')); }, "BCD"},
        {"recycle in a full list", 3, "ABC", [](CircularBufferLineList& l) { l.recycle() = named('D'); }, "BCD"},
        {"recycle below the capacity appends", 5, "ABC", [](CircularBufferLineList& l) { l.recycle() = named('D'); }, "ABCD"},
        {"insert below the capacity", 5, "ABC", [](CircularBufferLineList& l) { l.insert(1) = named('X'); }, "AXBC"},
        {"insert into a full list drops the oldest", 3, "ABC", [](CircularBufferLineList& l) { l.insert(2) = named('X'); }, "BXC"},
        {"insert at the end of a full list", 3, "ABC", [](CircularBufferLineList& l) { l.insert(3) = named('X'); }, "BCX"},
        {"insert at the front of a full list", 3, "ABC", [](CircularBufferLineList& l) { l.insert(0) = named('X'); }, "XBC"},
        {"rotate a region up", 5, "ABCDE", [](CircularBufferLineList& l) { l.rotate(1, 2, 4); }, "ACDBE"},
        {"rotate a region down", 5, "ABCDE", [](CircularBufferLineList& l) { l.rotate(1, 3, 4); }, "ADBCE"},
        {"rotate a bad range", 5, "ABCDE", [](CircularBufferLineList& l) { l.rotate(3, 1, 9); }, "ABCDE"},
        {"drop from the front", 5, "ABCDE", [](CircularBufferLineList& l) { l.dropFront(2); }, "CDE"},
        {"drop more than held", 5, "ABCDE", [](CircularBufferLineList& l) { l.dropBack(9); }, ""},
        {"a smaller capacity keeps the newest", 5, "ABCDE", [](CircularBufferLineList& l) { l.setMaxLength(2); }, "DE"},
        {"write through a clamped index", 5, "ABC", [](CircularBufferLineList& l) { l[7] = named('Z'); }, "ABZ"},
        // A list that has dropped rows keeps its oldest one in the middle of its slots.
        {"rotate over the end of the slots", 5, "ABCDEFG", [](CircularBufferLineList& l) { l.rotate(1, 2, 5); }, "CEFGD"},
        {"rotate before the end of the slots", 5, "ABCDEFG", [](CircularBufferLineList& l) { l.rotate(0, 1, 3); }, "DECFG"},
        {"insert into a turned list", 5, "ABCDEFG", [](CircularBufferLineList& l) { l.insert(3) = named('X'); }, "DEXFG"},
        {"insert at the end of a turned list", 5, "ABCDEFG", [](CircularBufferLineList& l) { l.insert(5) = named('X'); }, "DEFGX"},
        {"drop from the front of a turned list", 5, "ABCDEFG", [](CircularBufferLineList& l) { l.dropFront(2); }, "EFG"},
        {"drop from the back of a turned list", 5, "ABCDEFG", [](CircularBufferLineList& l) { l.dropBack(2); }, "CDE"},
        {"a larger capacity lets a turned list grow", 5, "ABCDEFG",
         [](CircularBufferLineList& l) {
             l.setMaxLength(7);
             l.push(named('H'));
         },
         "CDEFGH"},
        {"each row of a turned list in order", 5, "ABCDEFG",
         [](CircularBufferLineList& l) {
             std::string seen;
             l.forEach(1, 5, [&](BufferLine& row) { seen += static_cast<char>(row[0].code); });
             l[0] = named(seen == "DEFG" ? 'Y' : 'N');
         },
         "YDEFG"},
    };
    for (const auto& c : cases) {
        CircularBufferLineList list = listOf(c.capacity, c.rows);
        c.op(list);
        EXPECT_EQ(names(list), c.after) << c.name;
        EXPECT_LE(list.count(), list.maxLength()) << c.name;
    }
}

TEST(CircularBufferLineList, ReusesTheDroppedRowsStorage)
{
    CircularBufferLineList list = listOf(2, "AB");
    const CharData* storage = list[0].getData().data();
    bool dropped = false;
    BufferLine& reused = list.recycle(&dropped);
    EXPECT_TRUE(dropped);
    EXPECT_EQ(reused.getData().data(), storage);
    reused.reset(4, CharData::Null, true);
    EXPECT_EQ(reused.getData().data(), storage);
    EXPECT_TRUE(list[1].isWrapped);

    list.dropFront(9);
    list.recycle(&dropped);
    EXPECT_FALSE(dropped);
}

TEST(CircularBufferLineList, ReadsOfAnEmptyListGiveAnEmptyRow)
{
    CircularBufferLineList list(3);
    EXPECT_EQ(list[0].count(), 0);
    list[5].at(0).code = 'x'; // goes nowhere
    EXPECT_EQ(list.count(), 0);
    const CircularBufferLineList& view = list;
    EXPECT_EQ(view[-1].count(), 0);
}

// Rows of one size share chunks, keep what is written to them, and the chunks go back once
// their rows are gone (one is kept for the next rows). The sanitizer build gives every row a
// block of its own, and this has nothing to check there.
TEST(RowStorage, RowsShareChunksThatGoBackOnceEmpty)
{
    const std::size_t before = rowstorage::chunkCount();
    std::vector<BufferLine> rows;
    for (int i = 0; i < 3000; ++i)
        rows.emplace_back(200, CharData{'a' + i % 26, 1, 0, {}, CharData::Null.attribute});
    if (rowstorage::chunkCount() == before)
        GTEST_SKIP() << "rows are not pooled in this build";
    EXPECT_GE(rowstorage::chunkCount(), before + 5); // 3,000 rows of 4,000 bytes in 2 MiB chunks
    for (int i = 0; i < 3000; ++i) {
        ASSERT_EQ(reinterpret_cast<std::uintptr_t>(rows[static_cast<std::size_t>(i)].getData().data()) % 64, 0u);
        ASSERT_EQ(rows[static_cast<std::size_t>(i)][0].code, 'a' + i % 26);
        ASSERT_EQ(rows[static_cast<std::size_t>(i)][199].code, 'a' + i % 26);
    }
    // Freed in an order of their own, rows make room for rows of another size.
    for (std::size_t i = 0; i < rows.size(); i += 2)
        rows[i] = BufferLine(120);
    rows.clear();
    EXPECT_LE(rowstorage::chunkCount(), before + 1);
}
