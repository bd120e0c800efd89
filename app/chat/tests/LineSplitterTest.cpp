#include "chat/LineSplitter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace quillora::chat;

namespace {

struct Script {
    const char* name;
    std::vector<std::string> chunks;
    // Lines delivered after each chunk, "|" between chunks.
    std::string deliveries;
    std::string rest;
    int overflows = 0;
    std::size_t bound = LineSplitter::defaultMaxLineBytes;
};

TEST(LineSplitter, Scripts)
{
    const std::vector<Script> scripts{
        {"an object split across reads arrives once complete",
         {"{\"a\":1}\n{\"b\"", ":2}\n"}, "{\"a\":1}|{\"b\":2}", ""},
        {"blank lines are never delivered", {"\n\n  \n"}, "", ""},
        {"a carriage return before the line feed goes", {"one\r\ntwo\r\n"}, "one;two", ""},
        {"an unterminated word is the rest, not a line", {"word"}, "", "word"},
        {"a character split across reads arrives whole", {"caf\xC3", "\xA9\n"}, "|café", ""},
        {"a four-byte character split three ways", {"\xF0\x9F", "\x98", "\x80!\n"}, "||😀!", ""},
        {"ill-formed bytes become U+FFFD, one per maximal subpart",
         {"a\xFF" "b\xC0\xAF" "c\xE2\x82\n"}, "a\uFFFDb\uFFFD\uFFFDc\uFFFD", ""},
        {"surrogates and values past U+10FFFF are ill-formed", {"\xED\xA0\x80|\xF4\x90\x80\x80\n"},
         "\uFFFD\uFFFD\uFFFD|\uFFFD\uFFFD\uFFFD\uFFFD", ""},
        {"Unicode spaces are trimmed too", {"\u00A0\u3000x y\u2028\u0085\n"}, "x y", ""},
        {"an ill-formed rest is made valid", {"  ok\xFF  "}, "", "ok\uFFFD"},
        {"a line past the bound is dropped up to the next line feed",
         {"123456789\nok\n"}, "ok", "", 1, 8},
        {"the bound holds across reads, and a line at the bound passes",
         {"12345", "6789", "abc", "\n12345678\n"}, "|||12345678", "", 1, 8},
        {"a dropped line leaves no rest", {"1234", "56789"}, "|", "", 1, 8},
    };
    for (const Script& script : scripts) {
        LineSplitter splitter(script.bound);
        std::string deliveries;
        int overflows = 0;
        for (std::size_t i = 0; i < script.chunks.size(); ++i) {
            if (i > 0)
                deliveries += '|';
            std::string lines;
            splitter.feed(
                script.chunks[i],
                [&](std::string_view line) {
                    EXPECT_TRUE(isValidUtf8(line));
                    lines += (lines.empty() ? "" : ";") + std::string(line);
                },
                [&] { ++overflows; });
            deliveries += lines;
        }
        EXPECT_EQ(deliveries, script.deliveries) << script.name;
        EXPECT_EQ(splitter.finish(), script.rest) << script.name;
        EXPECT_EQ(overflows, script.overflows) << script.name;
    }
}

TEST(LineSplitter, LongStreamsStayBoundedAndLargeLinesPass)
{
    // 64 MiB without a line feed, in pipe-sized reads, against a 1 MiB bound: one drop, and the
    // splitter never holds more than the bound.
    LineSplitter splitter(1 << 20);
    const std::string chunk(65536, 'x');
    int overflows = 0;
    int lines = 0;
    for (int i = 0; i < 1024; ++i)
        splitter.feed(chunk, [&](std::string_view) { ++lines; }, [&] { ++overflows; });
    splitter.feed("\nafter\n", [&](std::string_view line) { EXPECT_EQ(line, "after"); ++lines; }, [&] { ++overflows; });
    EXPECT_EQ(overflows, 1);
    EXPECT_EQ(lines, 1);

    // A 1 MB line in many reads arrives once, whole.
    LineSplitter big;
    std::size_t length = 0;
    for (int i = 0; i < 16; ++i)
        big.feed(chunk, [&](std::string_view line) { length = line.size(); }, [] { FAIL(); });
    EXPECT_EQ(length, 0u);
    big.feed("\n", [&](std::string_view line) { length = line.size(); }, [] { FAIL(); });
    EXPECT_EQ(length, 16u * 65536u);
}

TEST(Utf8, PrefixEndsOnACharacterBoundary)
{
    EXPECT_EQ(utf8Prefix("abc", 5), "abc");
    EXPECT_EQ(utf8Prefix("ab\xC3\xA9", 3), "ab");
    EXPECT_EQ(utf8Prefix("ab\xC3\xA9" "c", 4), "ab\xC3\xA9");
    EXPECT_EQ(trimmedUtf8(" \t\u2003 "), "");
}

} // namespace
