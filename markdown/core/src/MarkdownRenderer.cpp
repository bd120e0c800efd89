#include "markdown/MarkdownRenderer.h"

#include "Cmark.h"
#include "NumberedItems.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>

namespace markdown {

namespace {

struct NodeDeleter {
    void operator()(cmark_node* node) const { cmark_node_free(node); }
};
using Node = std::unique_ptr<cmark_node, NodeDeleter>;

constexpr std::size_t maxTableColumns = UINT16_MAX;

// Extensions that own the nodes of their kinds, looked up once per render.
struct Extensions {
    cmark_syntax_extension* table = cmark_find_syntax_extension("table");
    cmark_syntax_extension* strikethrough = cmark_find_syntax_extension("strikethrough");
    cmark_syntax_extension* tasklist = cmark_find_syntax_extension("tasklist");
};

// Appends child to parent; a child cmark refuses is freed with its subtree.
void append(cmark_node* parent, Node child)
{
    if (child && cmark_node_append_child(parent, child.get()))
        child.release();
}

// cmark takes C strings: an embedded NUL would cut the text, so it becomes U+FFFD as
// it would in parsed text.
void setLiteral(cmark_node* node, const std::string& text)
{
    if (text.find('\0') == std::string::npos) {
        cmark_node_set_literal(node, text.c_str());
        return;
    }
    std::string safe;
    for (const char c : text) {
        if (c == '\0')
            safe += "\xEF\xBF\xBD";
        else
            safe += c;
    }
    cmark_node_set_literal(node, safe.c_str());
}

class TreeBuilder {
public:
    void appendBlocks(cmark_node* parent, const std::vector<BlockNode>& blocks) const
    {
        for (const BlockNode& block : blocks)
            append(parent, fromBlock(block));
    }

private:
    Node fromBlock(const BlockNode& block) const;
    Node fromInline(const InlineNode& node) const;
    void appendInlines(cmark_node* parent, const std::vector<InlineNode>& nodes) const
    {
        for (const InlineNode& node : nodes)
            append(parent, fromInline(node));
    }
    Node list(cmark_list_type type, bool isTight) const;
    // Appends an item node (skipped when cmark gave none) with its child blocks to a list.
    void appendItem(cmark_node* list, Node item, const std::vector<BlockNode>& children) const
    {
        if (!item)
            return;
        appendBlocks(item.get(), children);
        append(list, std::move(item));
    }
    Node numberedList(const BlockNode::NumberedList& list) const;
    Node table(const BlockNode::Table& table) const;

    Extensions extensions_;
    const detail::ExtensionNodeTypes& kinds_ = detail::extensionNodeTypes();
};

Node TreeBuilder::list(cmark_list_type type, bool isTight) const
{
    Node node(cmark_node_new(CMARK_NODE_LIST));
    if (node) {
        cmark_node_set_list_type(node.get(), type);
        cmark_node_set_list_tight(node.get(), isTight ? 1 : 0);
    }
    return node;
}

// The items write their own numbers, counted on from the start; a number beyond what cmark
// reads back repeats the largest one (only the first item's number is read as the start).
Node TreeBuilder::numberedList(const BlockNode::NumberedList& list) const
{
    Node node = this->list(CMARK_ORDERED_LIST, list.isTight);
    if (!node)
        return node;
    const std::int64_t start = std::clamp<std::int64_t>(list.start, 0, detail::maxListNumber);
    cmark_node_set_list_start(node.get(), static_cast<int>(start));
    std::int64_t number = start;
    for (const RawListItem& item : list.items)
        appendItem(node.get(), Node(detail::newNumberedItem(number++)), item.children);
    return node;
}

Node TreeBuilder::table(const BlockNode::Table& table) const
{
    if (!extensions_.table)
        return nullptr;
    Node node(cmark_node_new_with_ext(static_cast<cmark_node_type>(kinds_.table), extensions_.table));
    if (!node)
        return nullptr;

    std::size_t columns = table.columnAlignments.size();
    for (const RawTableRow& row : table.rows)
        columns = std::max(columns, row.cells.size());
    columns = std::min(columns, maxTableColumns);
    std::vector<std::uint8_t> alignments(columns, 0);
    for (std::size_t i = 0; i < std::min(columns, table.columnAlignments.size()); ++i)
        alignments[i] = static_cast<std::uint8_t>(rawValue(table.columnAlignments[i]));
    cmark_gfm_extensions_set_table_columns(node.get(), static_cast<std::uint16_t>(columns));
    cmark_gfm_extensions_set_table_alignments(node.get(), static_cast<std::uint16_t>(columns), alignments.data());

    bool isHeader = true;
    for (const RawTableRow& row : table.rows) {
        Node rowNode(cmark_node_new_with_ext(kinds_.tableRow, extensions_.table));
        if (!rowNode)
            continue;
        // Renderers index the alignments by cell position: never more cells than columns.
        const std::size_t cellCount = isHeader ? columns : std::min(columns, row.cells.size());
        for (std::size_t i = 0; i < cellCount; ++i) {
            // Made as the parser makes cells: cmark_node_new_with_ext would allocate cell
            // data that this cmark-gfm never frees.
            Node cellNode(cmark_node_new(kinds_.tableCell));
            if (!cellNode || !cmark_node_set_syntax_extension(cellNode.get(), extensions_.table))
                continue;
            if (i < row.cells.size())
                appendInlines(cellNode.get(), row.cells[i].content);
            append(rowNode.get(), std::move(cellNode));
        }
        if (isHeader)
            cmark_gfm_extensions_set_table_row_is_header(rowNode.get(), 1);
        isHeader = false;
        append(node.get(), std::move(rowNode));
    }
    return node;
}

Node TreeBuilder::fromBlock(const BlockNode& block) const
{
    return std::visit(
        [this](const auto& b) -> Node {
            using Case = std::decay_t<decltype(b)>;
            if constexpr (std::is_same_v<Case, BlockNode::Blockquote>) {
                Node node(cmark_node_new(CMARK_NODE_BLOCK_QUOTE));
                if (node)
                    appendBlocks(node.get(), b.children);
                return node;
            } else if constexpr (std::is_same_v<Case, BlockNode::BulletedList>) {
                Node node = list(CMARK_BULLET_LIST, b.isTight);
                if (node) {
                    for (const RawListItem& item : b.items)
                        appendItem(node.get(), Node(cmark_node_new(CMARK_NODE_ITEM)), item.children);
                }
                return node;
            } else if constexpr (std::is_same_v<Case, BlockNode::NumberedList>) {
                return numberedList(b);
            } else if constexpr (std::is_same_v<Case, BlockNode::TaskList>) {
                Node node = list(CMARK_BULLET_LIST, b.isTight);
                if (!node)
                    return node;
                for (const RawTaskListItem& item : b.items) {
                    if (!extensions_.tasklist)
                        continue;
                    Node itemNode(cmark_node_new_with_ext(CMARK_NODE_ITEM, extensions_.tasklist));
                    if (itemNode)
                        cmark_gfm_extensions_set_tasklist_item_checked(itemNode.get(), item.isCompleted);
                    appendItem(node.get(), std::move(itemNode), item.children);
                }
                return node;
            } else if constexpr (std::is_same_v<Case, BlockNode::CodeBlock>) {
                Node node(cmark_node_new(CMARK_NODE_CODE_BLOCK));
                if (!node)
                    return node;
                if (b.fenceInfo)
                    cmark_node_set_fence_info(node.get(), b.fenceInfo->c_str());
                setLiteral(node.get(), b.content);
                return node;
            } else if constexpr (std::is_same_v<Case, BlockNode::HtmlBlock>) {
                Node node(cmark_node_new(CMARK_NODE_HTML_BLOCK));
                if (node)
                    setLiteral(node.get(), b.content);
                return node;
            } else if constexpr (std::is_same_v<Case, BlockNode::Paragraph>) {
                Node node(cmark_node_new(CMARK_NODE_PARAGRAPH));
                if (node)
                    appendInlines(node.get(), b.content);
                return node;
            } else if constexpr (std::is_same_v<Case, BlockNode::Heading>) {
                Node node(cmark_node_new(CMARK_NODE_HEADING));
                if (!node)
                    return node;
                cmark_node_set_heading_level(node.get(), static_cast<int>(std::clamp<std::int64_t>(b.level, 1, 6)));
                appendInlines(node.get(), b.content);
                return node;
            } else if constexpr (std::is_same_v<Case, BlockNode::Table>) {
                return table(b);
            } else {
                return Node(cmark_node_new(CMARK_NODE_THEMATIC_BREAK));
            }
        },
        block.value);
}

Node TreeBuilder::fromInline(const InlineNode& inlineNode) const
{
    return std::visit(
        [this](const auto& n) -> Node {
            using Case = std::decay_t<decltype(n)>;
            Node node;
            if constexpr (std::is_same_v<Case, InlineNode::Text>) {
                node.reset(cmark_node_new(CMARK_NODE_TEXT));
                if (node)
                    setLiteral(node.get(), n.text);
            } else if constexpr (std::is_same_v<Case, InlineNode::Code>) {
                node.reset(cmark_node_new(CMARK_NODE_CODE));
                if (node)
                    setLiteral(node.get(), n.code);
            } else if constexpr (std::is_same_v<Case, InlineNode::Html>) {
                node.reset(cmark_node_new(CMARK_NODE_HTML_INLINE));
                if (node)
                    setLiteral(node.get(), n.html);
            } else if constexpr (std::is_same_v<Case, InlineNode::SoftBreak>) {
                node.reset(cmark_node_new(CMARK_NODE_SOFTBREAK));
            } else if constexpr (std::is_same_v<Case, InlineNode::LineBreak>) {
                node.reset(cmark_node_new(CMARK_NODE_LINEBREAK));
            } else {
                if constexpr (std::is_same_v<Case, InlineNode::Emphasis>) {
                    node.reset(cmark_node_new(CMARK_NODE_EMPH));
                } else if constexpr (std::is_same_v<Case, InlineNode::Strong>) {
                    node.reset(cmark_node_new(CMARK_NODE_STRONG));
                } else if constexpr (std::is_same_v<Case, InlineNode::Strikethrough>) {
                    if (extensions_.strikethrough)
                        node.reset(cmark_node_new_with_ext(kinds_.strikethrough, extensions_.strikethrough));
                } else if constexpr (std::is_same_v<Case, InlineNode::Link>) {
                    node.reset(cmark_node_new(CMARK_NODE_LINK));
                    if (node)
                        cmark_node_set_url(node.get(), n.destination.c_str());
                } else {
                    node.reset(cmark_node_new(CMARK_NODE_IMAGE));
                    if (node)
                        cmark_node_set_url(node.get(), n.source.c_str());
                }
                if (node)
                    appendInlines(node.get(), n.children);
            }
            return node;
        },
        inlineNode.value);
}

using Renderer = std::function<char*(cmark_node* root)>;

std::optional<std::string> renderBlocksWithCmark(const std::vector<BlockNode>& blocks, const Renderer& render)
{
    detail::ensureExtensionsRegistered();
    Node root(cmark_node_new(CMARK_NODE_DOCUMENT));
    if (!root)
        return std::nullopt;
    TreeBuilder().appendBlocks(root.get(), blocks);
    char* text = render(root.get());
    if (!text)
        return std::nullopt;
    std::string result(text);
    cmark_get_default_mem_allocator()->free(text);
    return result;
}

} // namespace

std::optional<std::string> renderBlocksAsCommonMark(const std::vector<BlockNode>& blocks)
{
    return renderBlocksWithCmark(blocks, [](cmark_node* root) { return cmark_render_commonmark(root, CMARK_OPT_DEFAULT, 0); });
}

std::optional<std::string> renderBlocksAsPlainText(const std::vector<BlockNode>& blocks)
{
    return renderBlocksWithCmark(blocks, [](cmark_node* root) { return cmark_render_plaintext(root, CMARK_OPT_DEFAULT, 0); });
}

std::optional<std::string> renderBlocksAsHTML(const std::vector<BlockNode>& blocks)
{
    return renderBlocksWithCmark(blocks, [](cmark_node* root) { return cmark_render_html(root, CMARK_OPT_DEFAULT, nullptr); });
}

} // namespace markdown
