#pragma once

#include "markdown/Hasher.h"
#include "markdown/InlineNode.h"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace markdown {

struct BlockNode;

// Column alignment of a table, stored as the letter the table extension uses for it.
enum class RawTableColumnAlignment : char { none = '\0', left = 'l', center = 'c', right = 'r' };

// Accepts exactly the four letters (NUL, 'l', 'c', 'r'); anything else has no alignment.
std::optional<RawTableColumnAlignment> rawTableColumnAlignmentFromRawValue(char rawValue);
inline char rawValue(RawTableColumnAlignment alignment) { return static_cast<char>(alignment); }

struct RawListItem {
    std::vector<BlockNode> children;
    bool operator==(const RawListItem&) const = default;
};

struct RawTaskListItem {
    bool isCompleted = false;
    std::vector<BlockNode> children;
    bool operator==(const RawTaskListItem&) const = default;
};

struct RawTableCell {
    std::vector<InlineNode> content;
    bool operator==(const RawTableCell&) const = default;
};

struct RawTableRow {
    std::vector<RawTableCell> cells;
    bool operator==(const RawTableRow&) const = default;
};

// Block-level structure of a document. Alternatives are declared in a fixed order (the
// variant index is the case's position, used in hashing). Construction does no
// validation: levels, starts and cell counts are kept as given.
struct BlockNode {
    struct Blockquote {
        std::vector<BlockNode> children;
        bool operator==(const Blockquote&) const = default;
    };
    struct BulletedList {
        bool isTight = false;
        std::vector<RawListItem> items;
        bool operator==(const BulletedList&) const = default;
    };
    struct NumberedList {
        bool isTight = false;
        std::int64_t start = 1;
        std::vector<RawListItem> items;
        bool operator==(const NumberedList&) const = default;
    };
    struct TaskList {
        bool isTight = false;
        std::vector<RawTaskListItem> items;
        bool operator==(const TaskList&) const = default;
    };
    struct CodeBlock {
        // Absent and empty are distinct: a parsed block always has a (possibly empty) info.
        std::optional<std::string> fenceInfo;
        std::string content;
        bool operator==(const CodeBlock&) const = default;
    };
    struct HtmlBlock {
        std::string content;
        bool operator==(const HtmlBlock&) const = default;
    };
    struct Paragraph {
        std::vector<InlineNode> content;
        bool operator==(const Paragraph&) const = default;
    };
    struct Heading {
        std::int64_t level = 1;
        std::vector<InlineNode> content;
        bool operator==(const Heading&) const = default;
    };
    struct Table {
        std::vector<RawTableColumnAlignment> columnAlignments;
        std::vector<RawTableRow> rows; // header row first
        bool operator==(const Table&) const = default;
    };
    struct ThematicBreak {
        bool operator==(const ThematicBreak&) const = default;
    };

    using Value = std::variant<Blockquote, BulletedList, NumberedList, TaskList, CodeBlock, HtmlBlock,
                               Paragraph, Heading, Table, ThematicBreak>;

    Value value;

    static BlockNode blockquote(std::vector<BlockNode> children) { return {Blockquote{std::move(children)}}; }
    static BlockNode bulletedList(bool isTight, std::vector<RawListItem> items)
    {
        return {BulletedList{isTight, std::move(items)}};
    }
    static BlockNode numberedList(bool isTight, std::int64_t start, std::vector<RawListItem> items)
    {
        return {NumberedList{isTight, start, std::move(items)}};
    }
    static BlockNode taskList(bool isTight, std::vector<RawTaskListItem> items)
    {
        return {TaskList{isTight, std::move(items)}};
    }
    static BlockNode codeBlock(std::optional<std::string> fenceInfo, std::string content)
    {
        return {CodeBlock{std::move(fenceInfo), std::move(content)}};
    }
    static BlockNode htmlBlock(std::string content) { return {HtmlBlock{std::move(content)}}; }
    static BlockNode paragraph(std::vector<InlineNode> content) { return {Paragraph{std::move(content)}}; }
    static BlockNode heading(std::int64_t level, std::vector<InlineNode> content)
    {
        return {Heading{level, std::move(content)}};
    }
    static BlockNode table(std::vector<RawTableColumnAlignment> columnAlignments, std::vector<RawTableRow> rows)
    {
        return {Table{std::move(columnAlignments), std::move(rows)}};
    }
    static BlockNode thematicBreak() { return {ThematicBreak{}}; }

    template <typename Case> bool is() const { return std::holds_alternative<Case>(value); }
    template <typename Case> const Case* as() const { return std::get_if<Case>(&value); }

    // The blocks directly below this one: a quote's children, or every list item's
    // children concatenated in item order. Empty for all other cases.
    std::vector<BlockNode> blockChildren() const;

    // This block with every inline below it rewritten (see rewriteInlineNodes), its block
    // structure unchanged; always exactly one block. Code blocks, HTML blocks and
    // thematic breaks come back as they are, without calling the rewriter.
    std::vector<BlockNode> rewriteInlines(const InlineRewriter& rewriter) const;

    bool operator==(const BlockNode&) const = default;
};

void hashInto(Hasher& hasher, const BlockNode& node);
void hashInto(Hasher& hasher, const RawListItem& item);
void hashInto(Hasher& hasher, const RawTaskListItem& item);
void hashInto(Hasher& hasher, const RawTableRow& row);
void hashInto(Hasher& hasher, const RawTableCell& cell);
inline void hashInto(Hasher& hasher, RawTableColumnAlignment alignment)
{
    hasher.feedByte(static_cast<std::uint8_t>(rawValue(alignment)));
}

} // namespace markdown

// std::hash for every hashable model type, through hashInto.
#define QUILLORA_MARKDOWN_STD_HASH(Type)                                                                     \
    template <> struct std::hash<Type> {                                                                     \
        std::size_t operator()(const Type& value) const { return markdown::hashValue(value); }               \
    };
QUILLORA_MARKDOWN_STD_HASH(markdown::BlockNode)
QUILLORA_MARKDOWN_STD_HASH(markdown::RawListItem)
QUILLORA_MARKDOWN_STD_HASH(markdown::RawTaskListItem)
QUILLORA_MARKDOWN_STD_HASH(markdown::RawTableRow)
QUILLORA_MARKDOWN_STD_HASH(markdown::RawTableCell)
#undef QUILLORA_MARKDOWN_STD_HASH
