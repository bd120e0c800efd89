#include "terminal/UnicodeUtil.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cwchar>
#include <string>

using namespace terminal;

TEST(ColumnWidth, OfCharacterKinds)
{
    const struct {
        std::uint32_t scalar;
        int width;
    } cases[] = {
        {'A', 1},      {0x00, 0},     {0x1B, 0},     {0x7F, 0},     {0x9B, 0},    {0xA0, 1},    {0xA1, 1},
        {0x0301, 0},   {0x200B, 0},   {0x200D, 0},   {0x2060, 0},   {0xFEFF, 0},  {0xFE0F, 0},  {0xE0001, 0},
        {0x1160, 0},   {0x4E2D, 2},   {0x303F, 1},   {0xAC00, 2},   {0xFF01, 2},  {0x20000, 2}, {0x3000, 2},
        {0x231A, 2},   {0x1F600, 2},  {0x1F44D, 2},  {0x2600, 1},   {0x1F1E6, 1}, {0x0378, 1},  {0x10FFFF, 1},
        {0xD800, 1},   {0x2028, 1},   {0x110000, 1}, {0xE000, 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(columnWidth(c.scalar), c.width) << std::hex << c.scalar;
}

// The generated table is the C library's: every scalar agrees with wcwidth under C.UTF-8,
// apart from the controls (0 here, -1 there) and the other unprintable scalars (1 here).
// A failure means the C library changed: regenerate the table (tools/GenerateWidthTable.cpp).
TEST(ColumnWidth, EqualsTheCLibraryForEveryScalar)
{
    const std::string previous = std::setlocale(LC_CTYPE, nullptr);
    ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr) << "the C.UTF-8 locale is missing";
    int mismatches = 0;
    for (std::uint32_t c = 0; c <= 0x10FFFF && mismatches < 10; ++c) {
        const bool surrogate = c >= 0xD800 && c <= 0xDFFF;
        const int libc = surrogate ? -1 : ::wcwidth(static_cast<wchar_t>(c));
        const bool control = c < 0x20 || (c >= 0x7F && c < 0xA0);
        const int expected = control ? 0 : libc < 0 ? 1 : libc;
        if (columnWidth(c) != expected) {
            ++mismatches;
            ADD_FAILURE() << std::hex << "U+" << c << ": " << columnWidth(c) << ", wcwidth " << libc;
        }
    }
    std::setlocale(LC_CTYPE, previous.c_str());
}

TEST(Utf8, DecodesEachInvalidSubpartAsOneReplacement)
{
    const struct {
        const char* bytes;
        std::u32string scalars;
    } cases[] = {
        {"a\xC3\xA9", U"a\u00E9"},
        {"\xF0\x9F\x99\x82", U"\U0001F642"},
        {"\xE4\xB8", U"\uFFFD"},               // cut short
        {"\xE4\xB8x", U"\uFFFDx"},             // the byte that broke it is read again
        {"\xC0\xAF", U"\uFFFD\uFFFD"},         // never a lead byte
        {"\xED\xA0\x80", U"\uFFFD\uFFFD\uFFFD"}, // a surrogate: the second byte is out of range
        {"\xF4\x90\x80\x80", U"\uFFFD\uFFFD\uFFFD\uFFFD"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(decodeUtf8(c.bytes), c.scalars) << c.bytes;

    std::string out;
    for (char32_t c : std::u32string_view(U"a\u00E9\u4E2D\U0001F642"))
        appendUtf8(out, c);
    appendUtf8(out, 0xD800);
    EXPECT_EQ(out, "a\u00E9\u4E2D\U0001F642\uFFFD");
}
