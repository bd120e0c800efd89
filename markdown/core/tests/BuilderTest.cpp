#include "ModelBuilders.h"
#include "Printers.h"
#include "markdown/BlockContent.h"
#include "markdown/TextTable.h"

#include <gtest/gtest.h>

#include <list>
#include <unordered_set>

using namespace markdown;
using namespace markdown::test;

namespace {

struct BlockCase {
    const char* name;
    MarkdownContent declared;
    std::vector<BlockNode> expected;
};

struct InlineCase {
    const char* name;
    InlineContent declared;
    std::vector<InlineNode> expected;
};

struct Person {
    std::string name;
    int age;
};

} // namespace

TEST(BlockBuilders, ProduceTheirNodes)
{
    const std::vector<BlockCase> cases = {
        {"quote of a parsed string and a paragraph", MarkdownContent::of(Blockquote("# T", Paragraph("*p*"))),
         {B::blockquote({B::heading(1, {I::text("T")}), para("*p*")})}},
        {"quote inside a quote", MarkdownContent::of(Blockquote(MarkdownContent::of(Blockquote("q")))),
         {B::blockquote({B::blockquote({para("q")})})}},
        {"heading level 3", MarkdownContent::of(Heading(Heading::Level::level3, "h ", Code("c"))),
         {B::heading(3, {I::text("h "), I::code("c")})}},
        {"code block without language", MarkdownContent::of(CodeBlock(std::nullopt, "x")), {B::codeBlock(std::nullopt, "x")}},
        {"code block from a function", MarkdownContent::of(CodeBlock("swift", [] { return "let"; })),
         {B::codeBlock("swift", "let")}},
        {"thematic break", MarkdownContent::of(ThematicBreak()), {B::thematicBreak()}},
        {"strings are literal items", MarkdownContent::of(BulletedList(true, std::vector<std::string>{"a", "*b*"})),
         {B::bulletedList(true, {item("a"), item("*b*")})}},
        {"an item of two paragraphs loosens the list",
         MarkdownContent::of(BulletedList(true, ListItem("a"), ListItem("b", Paragraph("c")))),
         {B::bulletedList(false, {item("a"), RawListItem{{para("b"), para("c")}}})}},
        {"a paragraph and a nested list stay tight", MarkdownContent::of(BulletedList(true, ListItem("a", BulletedList(true, "x")))),
         {B::bulletedList(true, {RawListItem{{para("a"), B::bulletedList(true, {item("x")})}}})}},
        {"requested loose stays loose", MarkdownContent::of(NumberedList(false, 1, "a", "b")),
         {B::numberedList(false, 1, {item("a"), item("b")})}},
        {"start 0 and -3 kept", MarkdownContent::of(NumberedList(true, 0, "a"), NumberedList(true, -3, "b")),
         {B::numberedList(true, 0, {item("a")}), B::numberedList(true, -3, {item("b")})}},
        {"task from a string is open", MarkdownContent::of(TaskList(true, "t")),
         {B::taskList(true, {RawTaskListItem{false, {para("t")}}})}},
        {"task items", MarkdownContent::of(TaskList(false, TaskListItem(true, "done"), TaskListItem(false))),
         {B::taskList(false, {RawTaskListItem{true, {para("done")}}, RawTaskListItem{false, {}}})}},
        {"absent item and empty list", MarkdownContent::of(BulletedList(true, std::optional<ListItem>{}, "a"), BulletedList(true)),
         {B::bulletedList(true, {item("a")}), B::bulletedList(true, {})}},
        {"items per element", MarkdownContent::of(NumberedList::of(std::list<int>{1, 2}, true, 5, [](int i) {
             return std::vector<std::string>{std::to_string(i), std::to_string(i * 10)};
         })),
         {B::numberedList(true, 5, {item("1"), item("10"), item("2"), item("20")})}},
        {"task items per element", MarkdownContent::of(TaskList::of(std::vector<bool>{true, false}, true, [](bool done) {
             return TaskListItem(done, done ? "yes" : "no");
         })),
         {B::taskList(true, {RawTaskListItem{true, {para("yes")}}, RawTaskListItem{false, {para("no")}}})}},
        {"either", MarkdownContent::of(std::variant<Paragraph, ThematicBreak>(ThematicBreak()), std::optional<Paragraph>{}),
         {B::thematicBreak()}},
        {"loop", MarkdownContent::of(std::vector<Paragraph>{Paragraph("a"), Paragraph("b")}, std::vector<ThematicBreak>{}),
         {para("a"), para("b")}},
        {"nothing", MarkdownContent::of(), {}},
        {"empty content contributes nothing", MarkdownContent::of(MarkdownContent(), "x", MarkdownContent()), {para("x")}},
    };
    for (const BlockCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.declared.blocks(), c.expected);
    }
}

TEST(InlineBuilders, ProduceTheirNodes)
{
    const std::vector<InlineCase> cases = {
        {"strings and strong in order", InlineContent::of("a", Strong("b"), "c"), {I::text("a"), I::strong({I::text("b")}), I::text("c")}},
        {"image without alternative text", InlineContent::of(InlineImage(Url{"i.png"})), {I::image("i.png", {})}},
        {"image with alternative text", InlineContent::of(InlineImage("alt", Url{"i.png"})), {I::image("i.png", {I::text("alt")})}},
        {"link from text", InlineContent::of(InlineLink("t", Url{"https://x.test/"})), {I::link("https://x.test/", {I::text("t")})}},
        {"link from statements", InlineContent::of(InlineLink(Url{"u"}, Emphasis("e"), " x")),
         {I::link("u", {I::emphasis({I::text("e")}), I::text(" x")})}},
        {"empty emphasis", InlineContent::of(Emphasis()), {I::emphasis({})}},
        {"breaks", InlineContent::of(SoftBreak(), LineBreak()), {I::softBreak(), I::lineBreak()}},
        {"code and strikethrough", InlineContent::of(Code("c"), Strikethrough("s")), {I::code("c"), I::strikethrough({I::text("s")})}},
        {"emphasis inside emphasis", InlineContent::of(Emphasis(InlineContent::of(Emphasis("x")))), {I::emphasis({I::emphasis({I::text("x")})})}},
        {"absent, loop and either", InlineContent::of(std::optional<Code>{}, std::vector<std::string>{"x", "y"}, std::variant<Code, LineBreak>(LineBreak())),
         {I::text("x"), I::text("y"), I::lineBreak()}},
    };
    for (const InlineCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.declared.inlines(), c.expected);
    }
    EXPECT_EQ(InlineContent::of("a", SoftBreak()), InlineContent::of("a", SoftBreak()));
    EXPECT_EQ(MarkdownContent::of(Paragraph("x")).renderHTML(), "<p>x</p>\n");
}

TEST(Builders, StringStatementsParseOnlyInBlockBuilders)
{
    const std::string text = "*a* b";
    const std::vector<InlineNode> parsed = {I::emphasis({I::text("a")}), I::text(" b")};
    const std::vector<InlineNode> literal = {I::text(text)};
    const std::vector<std::pair<const char*, std::vector<BlockNode>>> cases = {
        {"block content parses", MarkdownContent::of(text).blocks()},
        {"list item content parses", MarkdownContent::of(BulletedList(true, ListItem(text))).blocks()[0].blockChildren()},
        {"task item content parses", MarkdownContent::of(TaskList(true, TaskListItem(false, text))).blocks()[0].blockChildren()},
        {"paragraph is literal", MarkdownContent::of(Paragraph(text)).blocks()},
        {"list statement is literal", MarkdownContent::of(BulletedList(true, text)).blocks()[0].blockChildren()},
        {"task list statement is literal", MarkdownContent::of(TaskList(true, text)).blocks()[0].blockChildren()},
    };
    for (const auto& [name, blocks] : cases) {
        SCOPED_TRACE(name);
        const bool parses = std::string_view(name).ends_with("parses");
        EXPECT_EQ(blocks, std::vector<BlockNode>{para(parses ? parsed : literal)});
    }
    const TextTable table(std::vector<int>{}, TextTableColumn<int>(std::nullopt, text, [](int) { return ""; }));
    EXPECT_EQ(table.rows[0].cells[0].content, literal);
}

TEST(Builders, StatementFormFollowsControlFlow)
{
    const bool withRule = false;
    const MarkdownContent built = MarkdownContent::build([&](auto& add) {
        add("# Title");
        for (int i = 0; i < 2; ++i)
            add(Paragraph(InlineContent::build([&](auto& inlines) {
                inlines("n");
                if (i == 1)
                    inlines(Strong(std::to_string(i)));
            })));
        if (withRule)
            add(ThematicBreak());
        add(BulletedList(true, ListContentBuilder::build([](auto& items) { items("a")("b"); })));
    });
    EXPECT_EQ(built.blocks(), (std::vector<BlockNode>{B::heading(1, {I::text("Title")}), para("n"),
                                                      para({I::text("n"), I::strong({I::text("1")})}),
                                                      B::bulletedList(true, {item("a"), item("b")})}));
}

TEST(Builders, HeadingLevelsFromRawValues)
{
    for (const std::int64_t invalid : {0, 7, -1, 100})
        EXPECT_FALSE(Heading::levelFromRawValue(invalid)) << invalid;
    for (std::int64_t raw = 1; raw <= 6; ++raw) {
        const auto level = Heading::levelFromRawValue(raw);
        ASSERT_TRUE(level);
        EXPECT_EQ(MarkdownContent::of(Heading(*level, "h")).blocks()[0].as<B::Heading>()->level, raw);
    }
}

TEST(Builders, ListItemsCompareAndHashByFields)
{
    EXPECT_EQ(ListItem("a"), ListItem("a"));
    EXPECT_EQ(std::hash<ListItem>{}(ListItem("a")), std::hash<ListItem>{}(ListItem("a")));
    EXPECT_NE(TaskListItem(true, "a"), TaskListItem(false, "a"));
    std::unordered_set<TaskListItem> set{TaskListItem(true, "a"), TaskListItem(false, "a"), TaskListItem(true, "a")};
    EXPECT_EQ(set.size(), 2u);
}

TEST(Builders, DeclaredDocumentEqualsItsParsedText)
{
    const std::vector<Person> people = {{"Ann", 42}, {"Bo", 7}};
    const MarkdownContent declared = MarkdownContent::of(
        Heading(Heading::Level::level1, "Title ", Emphasis("em")),
        Paragraph("Para ", Strong("strong"), " ", Strikethrough("gone"), " ", Code("code"), " ",
                  InlineLink("link", Url{"https://x.test/"}), " ", InlineImage("img", Url{"i.png"}), SoftBreak(),
                  "second", LineBreak(), "third"),
        Blockquote(Paragraph("quoted")),
        BulletedList(true, "a", "b"),
        NumberedList(false, 3, "c", "d"),
        TaskList(true, TaskListItem(true, Paragraph("done")), TaskListItem(false, "open")),
        CodeBlock("swift", "let x = 1\n"),
        ThematicBreak(),
        TextTable(people, TextTableColumn<Person>(TextTableColumnAlignment::leading, "Name", &Person::name),
                  TextTableColumn<Person>::value(TextTableColumnAlignment::trailing, "Age", &Person::age)));
    const MarkdownContent parsed("# Title *em*\n\n"
                                 "Para **strong** ~~gone~~ `code` [link](https://x.test/) ![img](i.png)\nsecond\\\nthird\n\n"
                                 "> quoted\n\n"
                                 "- a\n- b\n\n"
                                 "3. c\n\n4. d\n\n"
                                 "- [x] done\n- [ ] open\n\n"
                                 "```swift\nlet x = 1\n```\n\n"
                                 "---\n\n"
                                 "| Name | Age |\n|:-----|----:|\n| Ann | 42 |\n| Bo | 7 |\n");
    EXPECT_EQ(declared, parsed);
}

TEST(TextTables, RowsAndColumns)
{
    const std::vector<Person> people = {{"Ann", 42}, {"Bo", 7}, {"Cy", 0}};
    std::vector<int> calls(4, 0);
    const auto counted = [&calls](int column) {
        return [&calls, column](const Person& person) {
            ++calls[static_cast<std::size_t>(column)];
            return person.name;
        };
    };
    const TextTable table(people, TextTableColumn<Person>(TextTableColumnAlignment::leading, "a", counted(0)),
                          TextTableColumn<Person>(std::nullopt, "b", counted(1)),
                          TextTableColumn<Person>(TextTableColumnAlignment::trailing, "c", counted(2)),
                          TextTableColumn<Person>(TextTableColumnAlignment::center, "d", counted(3)),
                          std::optional<TextTableColumn<Person>>{});
    EXPECT_EQ(table.columnAlignments, (std::vector<A>{A::left, A::none, A::right, A::center}));
    ASSERT_EQ(table.rows.size(), people.size() + 1);
    for (const RawTableRow& row : table.rows)
        EXPECT_EQ(row.cells.size(), 4u);
    EXPECT_EQ(calls, (std::vector<int>{3, 3, 3, 3}));
    EXPECT_EQ(table.rows[2].cells[3].content, std::vector<InlineNode>{I::text("Bo")});

    const TextTable noRows(std::vector<Person>{}, TextTableColumn<Person>::value(std::nullopt, "Age", &Person::age));
    EXPECT_EQ(noRows.rows, (std::vector<RawTableRow>{RawTableRow{{RawTableCell{{I::text("Age")}}}}}));
    const TextTable noColumns(people);
    EXPECT_TRUE(noColumns.columnAlignments.empty());
    EXPECT_EQ(noColumns.rows, std::vector<RawTableRow>(4));

    const TextTable ages(people, TextTableColumn<Person>::value(std::nullopt, Strong("Age"), &Person::age));
    EXPECT_EQ(ages.rows[0].cells[0].content, std::vector<InlineNode>{I::strong({I::text("Age")})});
    EXPECT_EQ(ages.rows[1].cells[0].content, std::vector<InlineNode>{I::text("42")});
    EXPECT_EQ(ages.markdownContent().blocks(), std::vector<BlockNode>{B::table(ages.columnAlignments, ages.rows)});
}

TEST(TextTables, RowsAreReadBeforeColumns)
{
    std::vector<std::string> order;
    const TextTable table = TextTable::build<double>(
        [&order] {
            order.push_back("columns");
            return std::vector<TextTableColumn<double>>{TextTableColumn<double>::value(std::nullopt, "x", [](double v) { return v; })};
        },
        [&order] {
            order.push_back("rows");
            return TextTableRowBuilder<double>::build([](auto& rows) { rows(TextTableRow(0.5))(TextTableRow(3.0)); });
        });
    EXPECT_EQ(order, (std::vector<std::string>{"rows", "columns"}));
    EXPECT_EQ(table.rows, (std::vector<RawTableRow>{RawTableRow{{RawTableCell{{I::text("x")}}}},
                                                    RawTableRow{{RawTableCell{{I::text("0.5")}}}},
                                                    RawTableRow{{RawTableCell{{I::text("3")}}}}}));
}
