#include "markdown/BlockNode.h"
#include "markdown/MarkdownContent.h"
#include "Printers.h"

#include <gtest/gtest.h>

#include <thread>
#include <unordered_set>

using namespace markdown;

namespace {

using I = InlineNode;
using B = BlockNode;

RawListItem item(std::vector<BlockNode> children) { return RawListItem{std::move(children)}; }
BlockNode para(const std::string& text) { return B::paragraph({I::text(text)}); }

struct UnequalPair {
    const char* name;
    BlockNode a;
    BlockNode b;
};

} // namespace

TEST(NodeModel, DistinctValuesCompareUnequalAndHashApart)
{
    const std::vector<UnequalPair> pairs = {
        {"absent vs empty fence info", B::codeBlock(std::nullopt, "x"), B::codeBlock("", "x")},
        {"list start", B::numberedList(true, 1, {item({para("a")})}), B::numberedList(true, 2, {item({para("a")})})},
        {"tightness", B::bulletedList(true, {item({para("a")})}), B::bulletedList(false, {item({para("a")})})},
        {"table alignments", B::table({RawTableColumnAlignment::left}, {}), B::table({RawTableColumnAlignment::right}, {})},
        {"soft vs hard break", B::paragraph({I::softBreak()}), B::paragraph({I::lineBreak()})},
        {"link destinations", B::paragraph({I::link("a", {I::text("t")})}), B::paragraph({I::link("b", {I::text("t")})})},
        {"link vs image", B::paragraph({I::link("a", {I::text("t")})}), B::paragraph({I::image("a", {I::text("t")})})},
        {"text vs code", B::paragraph({I::text("a")}), B::paragraph({I::code("a")})},
        {"task state", B::taskList(true, {RawTaskListItem{true, {}}}), B::taskList(true, {RawTaskListItem{false, {}}})},
        {"heading level", B::heading(1, {I::text("a")}), B::heading(2, {I::text("a")})},
        {"child order", B::blockquote({para("a"), para("b")}), B::blockquote({para("b"), para("a")})},
        {"bulleted vs task list", B::bulletedList(true, {}), B::taskList(true, {})},
    };
    for (const auto& pair : pairs) {
        SCOPED_TRACE(pair.name);
        EXPECT_NE(pair.a, pair.b);
        EXPECT_NE(std::hash<BlockNode>{}(pair.a), std::hash<BlockNode>{}(pair.b));
        const BlockNode copy = pair.a;
        EXPECT_EQ(copy, pair.a);
        EXPECT_EQ(std::hash<BlockNode>{}(copy), std::hash<BlockNode>{}(pair.a));
    }
}

TEST(NodeModel, EmptyTablesAreEqualAndUsableAsSetKeys)
{
    EXPECT_EQ(B::table({}, {}), B::table({}, {}));
    std::unordered_set<BlockNode> set{B::thematicBreak(), B::thematicBreak(), para("a"), para("a"), para("b")};
    EXPECT_EQ(set.size(), 3u);
    std::unordered_set<InlineNode> inlines{I::softBreak(), I::lineBreak(), I::softBreak()};
    EXPECT_EQ(inlines.size(), 2u);
}

TEST(NodeModel, ConstructionKeepsValuesUnvalidated)
{
    const BlockNode heading = B::heading(9, {});
    EXPECT_EQ(heading.as<B::Heading>()->level, 9);
    const BlockNode list = B::numberedList(false, -4, {});
    EXPECT_EQ(list.as<B::NumberedList>()->start, -4);
    const BlockNode table = B::table({RawTableColumnAlignment::none}, {RawTableRow{{{}, {}}}, RawTableRow{}});
    EXPECT_EQ(table.as<B::Table>()->rows[0].cells.size(), 2u);
}

TEST(NodeModel, BlockChildrenTakeOneLevel)
{
    const BlockNode nested = B::blockquote({para("deep")});
    const BlockNode list = B::bulletedList(true, {item({para("a"), nested}), item({}), item({para("c")})});
    EXPECT_EQ(list.blockChildren(), (std::vector<BlockNode>{para("a"), nested, para("c")}));

    const BlockNode tasks = B::taskList(false, {RawTaskListItem{true, {para("x")}}, RawTaskListItem{false, {para("y")}}});
    EXPECT_EQ(tasks.blockChildren(), (std::vector<BlockNode>{para("x"), para("y")}));
    EXPECT_EQ(nested.blockChildren(), (std::vector<BlockNode>{para("deep")}));

    for (const BlockNode& leaf : {para("p"), B::heading(1, {I::text("h")}), B::table({}, {}),
                                  B::codeBlock("", "c"), B::htmlBlock("<div>"), B::thematicBreak()})
        EXPECT_TRUE(leaf.blockChildren().empty());
}

TEST(NodeModel, InlineChildrenOfContainersOnly)
{
    EXPECT_EQ(I::text("a").children(), nullptr);
    EXPECT_EQ(I::lineBreak().children(), nullptr);
    const InlineNode link = I::link("u", {I::text("t")});
    ASSERT_NE(link.children(), nullptr);
    EXPECT_EQ(*link.children(), std::vector<InlineNode>{I::text("t")});
}

TEST(NodeModel, ColumnAlignmentRawValues)
{
    const std::vector<std::pair<char, std::optional<RawTableColumnAlignment>>> cases = {
        {'\0', RawTableColumnAlignment::none}, {'l', RawTableColumnAlignment::left},
        {'c', RawTableColumnAlignment::center}, {'r', RawTableColumnAlignment::right},
        {'L', std::nullopt}, {'x', std::nullopt}, {' ', std::nullopt},
    };
    for (const auto& [raw, expected] : cases) {
        EXPECT_EQ(rawTableColumnAlignmentFromRawValue(raw), expected) << int(raw);
        if (expected) {
            EXPECT_EQ(rawValue(*expected), raw);
        }
    }
}

TEST(MarkdownContentValue, EqualityAndChildContent)
{
    const MarkdownContent empty;
    EXPECT_TRUE(empty.blocks().empty());
    EXPECT_FALSE(empty.childContent());

    const MarkdownContent leaves({para("a"), B::heading(2, {}), B::codeBlock(std::nullopt, ""), B::table({}, {}),
                                  B::thematicBreak()});
    EXPECT_FALSE(leaves.childContent());

    const MarkdownContent quoted({B::blockquote({para("a"), para("b")}),
                                  B::bulletedList(true, {item({para("c")}), item({B::blockquote({para("d")})})})});
    const auto children = quoted.childContent();
    ASSERT_TRUE(children);
    EXPECT_EQ(*children, MarkdownContent({para("a"), para("b"), para("c"), B::blockquote({para("d")})}));

    const MarkdownContent copy = quoted;
    EXPECT_EQ(copy, quoted);
    EXPECT_EQ(MarkdownContent({para("a")}), MarkdownContent({para("a")}));
    EXPECT_NE(MarkdownContent({para("a")}), MarkdownContent({para("a"), para("a")}));
}

// A document of one shared block is that block's document, in every use and from every copy,
// read from any thread; it copies the block once, when its blocks are first read.
TEST(MarkdownContentValue, ADocumentSharingABlockIsThatBlocksDocument)
{
    auto block = std::make_shared<const BlockNode>(B::blockquote({para("a"), para("b")}));
    const MarkdownContent shared = MarkdownContent::sharing(block);
    const MarkdownContent copy = shared;
    const MarkdownContent copied({*block});
    EXPECT_EQ(copy, copied);
    EXPECT_EQ(copied, shared);
    EXPECT_EQ(&shared.blocks(), &copy.blocks());
    EXPECT_EQ(shared.renderMarkdown(), copied.renderMarkdown());
    EXPECT_EQ(shared.childContent(), copied.childContent());

    const MarkdownContent late = MarkdownContent::sharing(block);
    block.reset(); // the document keeps it
    std::vector<std::thread> readers;
    std::vector<const std::vector<BlockNode>*> seen(4);
    for (std::size_t i = 0; i < seen.size(); ++i)
        readers.emplace_back([&, i] { seen[i] = &late.blocks(); });
    for (std::thread& reader : readers)
        reader.join();
    for (const auto* blocks : seen)
        EXPECT_EQ(blocks, seen.front());
    EXPECT_EQ(late, copied);
}
