#include "markdown/MarkdownParser.h"

#include "Cmark.h"
#include "InputGuard.h"
#include "markdown/Log.h"

#include <array>
#include <string>

namespace markdown {

namespace {

using detail::logCategory;

// cmark-gfm's node type strings, in a fixed order; the names are used in messages.
enum class NodeType {
    document, blockquote, list, item, codeBlock, htmlBlock, customBlock, paragraph, heading,
    thematicBreak, text, softBreak, lineBreak, code, html, customInline, emphasis, strong, link,
    image, inlineAttributes, none, unknown, strikethrough, table, tableHead, tableRow, tableCell,
    taskListItem,
};

struct NodeTypeName {
    NodeType type;
    const char* caseName;
    const char* rawValue;
};

constexpr std::array<NodeTypeName, 29> nodeTypeNames = {{
    {NodeType::document, "document", "document"},
    {NodeType::blockquote, "blockquote", "block_quote"},
    {NodeType::list, "list", "list"},
    {NodeType::item, "item", "item"},
    {NodeType::codeBlock, "codeBlock", "code_block"},
    {NodeType::htmlBlock, "htmlBlock", "html_block"},
    {NodeType::customBlock, "customBlock", "custom_block"},
    {NodeType::paragraph, "paragraph", "paragraph"},
    {NodeType::heading, "heading", "heading"},
    {NodeType::thematicBreak, "thematicBreak", "thematic_break"},
    {NodeType::text, "text", "text"},
    {NodeType::softBreak, "softBreak", "softbreak"},
    {NodeType::lineBreak, "lineBreak", "linebreak"},
    {NodeType::code, "code", "code"},
    {NodeType::html, "html", "html_inline"},
    {NodeType::customInline, "customInline", "custom_inline"},
    {NodeType::emphasis, "emphasis", "emph"},
    {NodeType::strong, "strong", "strong"},
    {NodeType::link, "link", "link"},
    {NodeType::image, "image", "image"},
    {NodeType::inlineAttributes, "inlineAttributes", "attribute"},
    {NodeType::none, "none", "NONE"},
    {NodeType::unknown, "unknown", "<unknown>"},
    {NodeType::strikethrough, "strikethrough", "strikethrough"},
    {NodeType::table, "table", "table"},
    {NodeType::tableHead, "tableHead", "table_header"},
    {NodeType::tableRow, "tableRow", "table_row"},
    {NodeType::tableCell, "tableCell", "table_cell"},
    {NodeType::taskListItem, "taskListItem", "tasklist"},
}};

const char* caseName(NodeType type) { return nodeTypeNames[static_cast<std::size_t>(type)].caseName; }

void reportImpossible(const std::string& message) { log(LogLevel::error, logCategory, message); }

// The node's type by its type string, or nothing (logged) for a string this converter
// does not know.
std::optional<NodeType> nodeTypeFromTypeString(cmark_node* node)
{
    const char* typeString = cmark_node_get_type_string(node);
    const std::string_view name = typeString ? typeString : "";
    for (const NodeTypeName& entry : nodeTypeNames) {
        if (name == entry.rawValue)
            return entry.type;
    }
    reportImpossible("Unknown node type '" + std::string(name) + "' found.");
    return std::nullopt;
}

// The node's type. Core nodes and the nodes of the attached extensions are told apart by
// their kind, which names the same type as their type string without comparing strings;
// anything else goes by its type string.
std::optional<NodeType> nodeTypeOf(cmark_node* node)
{
    switch (cmark_node_get_type(node)) {
    case CMARK_NODE_DOCUMENT: return NodeType::document;
    case CMARK_NODE_BLOCK_QUOTE: return NodeType::blockquote;
    case CMARK_NODE_LIST: return NodeType::list;
    case CMARK_NODE_ITEM: {
        static const cmark_syntax_extension* const tasklist = cmark_find_syntax_extension("tasklist");
        const cmark_syntax_extension* extension = cmark_node_get_syntax_extension(node);
        if (!extension)
            return NodeType::item;
        return extension == tasklist ? NodeType::taskListItem : nodeTypeFromTypeString(node);
    }
    case CMARK_NODE_CODE_BLOCK: return NodeType::codeBlock;
    case CMARK_NODE_HTML_BLOCK: return NodeType::htmlBlock;
    case CMARK_NODE_PARAGRAPH: return NodeType::paragraph;
    case CMARK_NODE_HEADING: return NodeType::heading;
    case CMARK_NODE_THEMATIC_BREAK: return NodeType::thematicBreak;
    case CMARK_NODE_TEXT: return NodeType::text;
    case CMARK_NODE_SOFTBREAK: return NodeType::softBreak;
    case CMARK_NODE_LINEBREAK: return NodeType::lineBreak;
    case CMARK_NODE_CODE: return NodeType::code;
    case CMARK_NODE_HTML_INLINE: return NodeType::html;
    case CMARK_NODE_EMPH: return NodeType::emphasis;
    case CMARK_NODE_STRONG: return NodeType::strong;
    case CMARK_NODE_LINK: return NodeType::link;
    case CMARK_NODE_IMAGE: return NodeType::image;
    default: break;
    }
    const detail::ExtensionNodeTypes& kinds = detail::extensionNodeTypes();
    const cmark_node_type kind = cmark_node_get_type(node);
    if (kind == kinds.table)
        return NodeType::table;
    if (kind == kinds.tableCell)
        return NodeType::tableCell;
    if (kind == kinds.strikethrough)
        return NodeType::strikethrough;
    return nodeTypeFromTypeString(node); // rows: "table_row" or "table_header"
}

std::size_t childCount(cmark_node* node)
{
    std::size_t count = 0;
    for (cmark_node* child = cmark_node_first_child(node); child; child = cmark_node_next(child))
        ++count;
    return count;
}

// Takes cmark-gfm's strings into the model, with the marks the guard replaced by placeholders
// turned back where it did.
struct Strings {
    bool placeholders = false;

    std::string operator()(const char* s) const
    {
        std::string taken = s ? s : "";
        if (placeholders)
            detail::restoreMarks(taken);
        return taken;
    }
    std::string literalOf(cmark_node* node) const { return (*this)(cmark_node_get_literal(node)); }
};

bool isLeafBlock(NodeType type)
{
    switch (type) {
    case NodeType::codeBlock:
    case NodeType::htmlBlock:
    case NodeType::paragraph:
    case NodeType::heading:
    case NodeType::thematicBreak:
    case NodeType::table:
        return true;
    default:
        return false;
    }
}

bool isBlockContainer(NodeType type)
{
    return type == NodeType::blockquote || type == NodeType::list || type == NodeType::item
        || type == NodeType::taskListItem;
}

bool isLeafInline(NodeType type)
{
    return type == NodeType::text || type == NodeType::softBreak || type == NodeType::lineBreak
        || type == NodeType::code || type == NodeType::html;
}

bool isInlineContainer(NodeType type)
{
    return type == NodeType::emphasis || type == NodeType::strong || type == NodeType::strikethrough
        || type == NodeType::link || type == NodeType::image;
}

// Visits the descendants of root in document order without recursion. visit returns
// whether to descend into the node it was given.
template <typename Visit> void walkDescendants(cmark_node* root, Visit visit)
{
    cmark_node* node = cmark_node_first_child(root);
    while (node) {
        cmark_node* child = visit(node) ? cmark_node_first_child(node) : nullptr;
        if (child) {
            node = child;
            continue;
        }
        while (node != root && !cmark_node_next(node))
            node = cmark_node_parent(node);
        node = node == root ? nullptr : cmark_node_next(node);
    }
}

std::vector<RawTableColumnAlignment> columnAlignmentsOf(cmark_node* table)
{
    const std::uint16_t columns = cmark_gfm_extensions_get_table_columns(table);
    std::vector<RawTableColumnAlignment> alignments;
    const std::uint8_t* bytes = columns ? cmark_gfm_extensions_get_table_alignments(table) : nullptr;
    if (!bytes)
        return alignments;
    alignments.reserve(columns);
    for (std::uint16_t i = 0; i < columns; ++i)
        alignments.push_back(
            rawTableColumnAlignmentFromRawValue(static_cast<char>(bytes[i])).value_or(RawTableColumnAlignment::none));
    return alignments;
}

std::vector<InlineNode> inlineNodesFromCmarkChildren(cmark_node* node, int depth, const Strings& strings);

// Keeps the leaves of an inline subtree that lies beyond the depth cap, in order.
void appendFlattenedInlines(cmark_node* node, std::vector<InlineNode>& out, const Strings& strings)
{
    walkDescendants(node, [&out, &strings](cmark_node* descendant) {
        const std::optional<NodeType> type = nodeTypeOf(descendant);
        if (!type)
            return false;
        if (isLeafInline(*type)) {
            if (*type == NodeType::text)
                out.push_back(InlineNode::text(strings.literalOf(descendant)));
            else if (*type == NodeType::code)
                out.push_back(InlineNode::code(strings.literalOf(descendant)));
            else if (*type == NodeType::html)
                out.push_back(InlineNode::html(strings.literalOf(descendant)));
            else if (*type == NodeType::softBreak)
                out.push_back(InlineNode::softBreak());
            else
                out.push_back(InlineNode::lineBreak());
            return false;
        }
        return isInlineContainer(*type);
    });
}

std::optional<InlineNode> inlineNodeFromCmark(cmark_node* node, int depth, const Strings& strings)
{
    const std::optional<NodeType> type = nodeTypeOf(node);
    if (!type)
        return std::nullopt;
    switch (*type) {
    case NodeType::text:
        return InlineNode::text(strings.literalOf(node));
    case NodeType::softBreak:
        return InlineNode::softBreak();
    case NodeType::lineBreak:
        return InlineNode::lineBreak();
    case NodeType::code:
        return InlineNode::code(strings.literalOf(node));
    case NodeType::html:
        return InlineNode::html(strings.literalOf(node));
    case NodeType::emphasis:
        return InlineNode::emphasis(inlineNodesFromCmarkChildren(node, depth + 1, strings));
    case NodeType::strong:
        return InlineNode::strong(inlineNodesFromCmarkChildren(node, depth + 1, strings));
    case NodeType::strikethrough:
        return InlineNode::strikethrough(inlineNodesFromCmarkChildren(node, depth + 1, strings));
    case NodeType::link:
        return InlineNode::link(strings(cmark_node_get_url(node)),
                                inlineNodesFromCmarkChildren(node, depth + 1, strings));
    case NodeType::image:
        return InlineNode::image(strings(cmark_node_get_url(node)),
                                 inlineNodesFromCmarkChildren(node, depth + 1, strings));
    default:
        return std::nullopt;
    }
}

std::vector<InlineNode> inlineNodesFromCmarkChildren(cmark_node* node, int depth, const Strings& strings)
{
    std::vector<InlineNode> nodes;
    if (depth >= maxInlineDepth) {
        appendFlattenedInlines(node, nodes, strings);
        return nodes;
    }
    nodes.reserve(childCount(node));
    for (cmark_node* child = cmark_node_first_child(node); child; child = cmark_node_next(child)) {
        if (std::optional<InlineNode> converted = inlineNodeFromCmark(child, depth, strings))
            nodes.push_back(std::move(*converted));
    }
    return nodes;
}

std::vector<BlockNode> blockNodesFromCmarkChildren(cmark_node* node, int depth, const Strings& strings);
std::optional<BlockNode> blockNodeFromCmark(cmark_node* node, int depth, const Strings& strings);

// Keeps the leaf blocks of a container that lies beyond the depth cap, in order.
void appendFlattenedBlocks(cmark_node* node, int depth, std::vector<BlockNode>& out, const Strings& strings)
{
    walkDescendants(node, [&](cmark_node* descendant) {
        const std::optional<NodeType> type = nodeTypeOf(descendant);
        if (!type)
            return false;
        if (isLeafBlock(*type)) {
            if (std::optional<BlockNode> leaf = blockNodeFromCmark(descendant, depth, strings))
                out.push_back(std::move(*leaf));
            return false;
        }
        return isBlockContainer(*type);
    });
}

std::vector<BlockNode> blockNodesFromCmarkChildren(cmark_node* node, int depth, const Strings& strings)
{
    std::vector<BlockNode> blocks;
    if (depth >= maxBlockDepth) {
        appendFlattenedBlocks(node, depth, blocks, strings);
        return blocks;
    }
    blocks.reserve(childCount(node));
    for (cmark_node* child = cmark_node_first_child(node); child; child = cmark_node_next(child)) {
        if (std::optional<BlockNode> converted = blockNodeFromCmark(child, depth, strings))
            blocks.push_back(std::move(*converted));
    }
    return blocks;
}

// Items of a list; a child of another kind is reported and left out with its content.
template <typename Item, typename MakeItem>
std::vector<Item> listItemsOf(cmark_node* list, bool acceptTaskItems, MakeItem makeItem)
{
    std::vector<Item> items;
    for (cmark_node* child = cmark_node_first_child(list); child; child = cmark_node_next(child)) {
        const std::optional<NodeType> type = nodeTypeOf(child);
        if (!type)
            continue;
        if (*type == NodeType::item || (acceptTaskItems && *type == NodeType::taskListItem))
            items.push_back(makeItem(child, *type));
        else
            reportImpossible(std::string("Expected a list item but got a '") + caseName(*type) + "' instead.");
    }
    return items;
}

BlockNode listFromCmark(cmark_node* node, int depth, const Strings& strings)
{
    const bool isTight = cmark_node_get_list_tight(node) != 0;
    bool hasTaskItem = false;
    for (cmark_node* child = cmark_node_first_child(node); child && !hasTaskItem; child = cmark_node_next(child))
        hasTaskItem = nodeTypeOf(child) == NodeType::taskListItem;

    if (hasTaskItem) {
        return BlockNode::taskList(
            isTight, listItemsOf<RawTaskListItem>(node, true, [depth, &strings](cmark_node* child, NodeType type) {
                const bool checked = type == NodeType::taskListItem
                    && cmark_gfm_extensions_get_tasklist_item_checked(child);
                return RawTaskListItem{checked, blockNodesFromCmarkChildren(child, depth + 1, strings)};
            }));
    }
    auto items = listItemsOf<RawListItem>(node, false, [depth, &strings](cmark_node* child, NodeType) {
        return RawListItem{blockNodesFromCmarkChildren(child, depth + 1, strings)};
    });
    switch (cmark_node_get_list_type(node)) {
    case CMARK_ORDERED_LIST:
        return BlockNode::numberedList(isTight, cmark_node_get_list_start(node), std::move(items));
    case CMARK_BULLET_LIST:
        break;
    default:
        reportImpossible("cmark reported a list node without a list type.");
        break;
    }
    return BlockNode::bulletedList(isTight, std::move(items));
}

BlockNode tableFromCmark(cmark_node* node, const Strings& strings)
{
    std::vector<RawTableRow> rows;
    for (cmark_node* row = cmark_node_first_child(node); row; row = cmark_node_next(row)) {
        const std::optional<NodeType> rowType = nodeTypeOf(row);
        if (!rowType)
            continue;
        if (*rowType != NodeType::tableRow && *rowType != NodeType::tableHead) {
            reportImpossible(std::string("Expected a table row but got a '") + caseName(*rowType) + "' instead.");
            continue;
        }
        RawTableRow converted;
        for (cmark_node* cell = cmark_node_first_child(row); cell; cell = cmark_node_next(cell)) {
            const std::optional<NodeType> cellType = nodeTypeOf(cell);
            if (!cellType)
                continue;
            if (*cellType != NodeType::tableCell) {
                reportImpossible(std::string("Expected a table cell but got a '") + caseName(*cellType)
                                 + "' instead.");
                continue;
            }
            converted.cells.push_back(RawTableCell{inlineNodesFromCmarkChildren(cell, 0, strings)});
        }
        rows.push_back(std::move(converted));
    }
    return BlockNode::table(columnAlignmentsOf(node), std::move(rows));
}

std::optional<BlockNode> blockNodeFromCmark(cmark_node* node, int depth, const Strings& strings)
{
    const std::optional<NodeType> type = nodeTypeOf(node);
    if (!type)
        return std::nullopt;
    switch (*type) {
    case NodeType::blockquote:
        return BlockNode::blockquote(blockNodesFromCmarkChildren(node, depth + 1, strings));
    case NodeType::list:
        return listFromCmark(node, depth, strings);
    case NodeType::codeBlock: {
        const char* info = cmark_node_get_fence_info(node);
        return BlockNode::codeBlock(info ? std::optional<std::string>(strings(info)) : std::nullopt,
                                    strings.literalOf(node));
    }
    case NodeType::htmlBlock:
        return BlockNode::htmlBlock(strings.literalOf(node));
    case NodeType::paragraph:
        return BlockNode::paragraph(inlineNodesFromCmarkChildren(node, 0, strings));
    case NodeType::heading:
        return BlockNode::heading(cmark_node_get_heading_level(node), inlineNodesFromCmarkChildren(node, 0, strings));
    case NodeType::thematicBreak:
        return BlockNode::thematicBreak();
    case NodeType::table:
        return tableFromCmark(node, strings);
    default:
        return std::nullopt;
    }
}

} // namespace

std::optional<std::vector<BlockNode>> detail::parseMarkdownBlocks(std::string_view markdown, MarkStyle style)
{
    // cmark-gfm copies invalid UTF-8 into its literals; the model holds valid text only.
    const std::optional<std::string> repaired = detail::repairUtf8(markdown);
    if (repaired)
        markdown = *repaired;

    detail::GuardedInput guarded;
    detail::guardInput(markdown, guarded, style);
    for (const std::string& warning : guarded.warnings)
        log(LogLevel::warning, logCategory, warning);

    using detail::CmarkExtension;
    const unsigned extensions = CmarkExtension::strikethrough | CmarkExtension::tagfilter | CmarkExtension::tasklist
        | (guarded.tables ? CmarkExtension::table : 0u) | (guarded.bareLinks ? CmarkExtension::autolink : 0u);
    // A rewritten copy is as long as the text: it goes once the parser has read it.
    const detail::CmarkTree root
        = detail::parseCmark(guarded.text, extensions, [&guarded] { std::string().swap(guarded.rewritten); });
    if (!root)
        return std::nullopt;
    return blockNodesFromCmarkChildren(root.get(), 0, Strings{guarded.placeholders});
}

std::optional<std::vector<BlockNode>> parseMarkdownBlocks(std::string_view markdown)
{
    return detail::parseMarkdownBlocks(markdown, detail::MarkStyle::placeholders);
}

} // namespace markdown
