#include "LogCapture.h"
#include "ModelBuilders.h"
#include "Printers.h"
#include "markdown/MarkdownParser.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

using namespace markdown;
using namespace markdown::test;

namespace {

std::vector<BlockNode> parse(std::string_view text)
{
    auto blocks = parseMarkdownBlocks(text);
    EXPECT_TRUE(blocks.has_value());
    return blocks.value_or(std::vector<BlockNode>{});
}

RawTaskListItem task(bool done, const std::string& text) { return RawTaskListItem{done, {para(text)}}; }

struct Case {
    const char* name;
    const char* markdown;
    std::vector<BlockNode> expected;
};

} // namespace

TEST(Parser, ConvertsEachConstruct)
{
    const std::vector<Case> cases = {
        {"empty text", "", {}},
        {"open task then plain item", "- [ ] a\n- b\n", {B::taskList(true, {task(false, "a"), task(false, "b")})}},
        {"ordered task list loses numbering", "3. [x] a\n4. b\n", {B::taskList(true, {task(true, "a"), task(false, "b")})}},
        {"ordered from 1", "1. a\n2. b\n", {B::numberedList(true, 1, {item("a"), item("b")})}},
        {"ordered from 7", "7. a\n", {B::numberedList(true, 7, {item("a")})}},
        {"loose bullets", "- a\n\n- b\n", {B::bulletedList(false, {item("a"), item("b")})}},
        {"fence without info", "```\ncode\n```\n", {B::codeBlock("", "code\n")}},
        {"indented code", "    code\n", {B::codeBlock("", "code\n")}},
        {"fence with info", "``` swift  x\nlet\n```\n", {B::codeBlock("swift  x", "let\n")}},
        {"table alignments and header first",
         "| a | b | c | d |\n|:--|:-:|--:|---|\n| 1 | 2 | 3 | 4 |\n",
         {B::table({A::left, A::center, A::right, A::none},
                   {RawTableRow{{cell("a"), cell("b"), cell("c"), cell("d")}},
                    RawTableRow{{cell("1"), cell("2"), cell("3"), cell("4")}}})}},
        {"link title dropped", "[t](http://x.test \"title\")", {para({I::link("http://x.test", {I::text("t")})})}},
        {"hard break by spaces", "a  \nb", {para({I::text("a"), I::lineBreak(), I::text("b")})}},
        {"hard break by backslash", "a\\\nb", {para({I::text("a"), I::lineBreak(), I::text("b")})}},
        {"soft break", "a\nb", {para({I::text("a"), I::softBreak(), I::text("b")})}},
        {"CRLF line ends", "a\r\nb\r\n", {para({I::text("a"), I::softBreak(), I::text("b")})}},
        {"strikethrough", "~~s~~", {para({I::strikethrough({I::text("s")})})}},
        {"autolink", "see www.example.com",
         {para({I::text("see "), I::link("http://www.example.com", {I::text("www.example.com")})})}},
        {"inline html", "a <b>x</b>", {para({I::text("a "), I::html("<b>"), I::text("x"), I::html("</b>")})}},
        {"html block", "<div>\nhi\n</div>\n", {B::htmlBlock("<div>\nhi\n</div>\n")}},
        {"heading with emphasis", "## H *e*", {B::heading(2, {I::text("H "), I::emphasis({I::text("e")})})}},
        {"setext heading and break", "T\n=\n\n***\n", {B::heading(1, {I::text("T")}), B::thematicBreak()}},
        {"image alt text", "![alt **x**](a.png \"t\")",
         {para({I::image("a.png", {I::text("alt "), I::strong({I::text("x")})})})}},
        {"code span", "`c`", {para({I::code("c")})}},
        {"nested quote", "> a\n>\n> > b\n", {B::blockquote({para("a"), B::blockquote({para("b")})})}},
        {"NUL becomes replacement", std::string_view("a\0b", 3).data(), {}}, // replaced below
    };
    for (const Case& c : cases) {
        if (std::string_view(c.name) == "NUL becomes replacement")
            continue;
        SCOPED_TRACE(c.name);
        EXPECT_EQ(parse(c.markdown), c.expected);
    }
}

TEST(Parser, ReplacesNulAndIllFormedUtf8)
{
    const std::string replacement = "\xEF\xBF\xBD";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {std::string("a\0b", 3), "a" + replacement + "b"},
        {"x\xFFy", "x" + replacement + "y"},
        {"x\xE2\x82y", "x" + replacement + "y"},                 // truncated sequence: one replacement
        {"x\xC0\xAFy", "x" + replacement + replacement + "y"},   // overlong: each byte
        {"x\xED\xA0\x80y", "x" + replacement + replacement + replacement + "y"}, // surrogate
        {"\xF0\x9F\x98\x80 \xC3\xA9", "\xF0\x9F\x98\x80 \xC3\xA9"},       // well-formed stays
        {"end\xE2", "end" + replacement},
    };
    for (const auto& [input, text] : cases) {
        SCOPED_TRACE(input);
        EXPECT_EQ(parse(input), (std::vector<BlockNode>{para(text)}));
    }
}

TEST(Parser, TableRowsKeepTheCellsCmarkReports)
{
    // Short rows are padded to the header's width and long rows cut by cmark-gfm itself.
    const auto blocks = parse("| a | b |\n|---|---|\n| 1 |\n| 1 | 2 | 3 |\n");
    ASSERT_EQ(blocks.size(), 1u);
    const auto* table = blocks[0].as<B::Table>();
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->rows.size(), 3u);
    for (const RawTableRow& row : table->rows)
        EXPECT_EQ(row.cells.size(), 2u);
}

TEST(Parser, ParsesConcurrentlyAsSerially)
{
    const std::vector<std::string> documents = {
        "| a | b |\n|---|:-:|\n| ~~x~~ | www.example.com |\n",
        "- [x] done\n- [ ] open\n\n> quote *em* **strong**\n",
        "plain *text* with `code` and <span>html</span>\n\n```c\nint x;\n```\n",
        "1. one\n2. two ~~gone~~ and a_b_c\n",
    };
    std::vector<std::vector<BlockNode>> serial;
    for (const auto& document : documents)
        serial.push_back(parse(document));

    std::vector<std::future<bool>> results;
    for (int thread = 0; thread < 8; ++thread) {
        results.push_back(std::async(std::launch::async, [&, thread] {
            bool same = true;
            for (int round = 0; round < 200; ++round) {
                const std::size_t index = static_cast<std::size_t>(thread + round) % documents.size();
                same = same && parseMarkdownBlocks(documents[index]) == serial[index];
            }
            return same;
        }));
    }
    for (auto& result : results)
        EXPECT_TRUE(result.get());
}

TEST(Parser, ExtensionsParseWithoutErrors)
{
    LogCapture capture;
    parse("| a |\n|---|\n| ~~b~~ |\n\n- [x] c\n");
    EXPECT_TRUE(capture.entries().empty());
}
