#include "BlockParts.h"

#include "mdview/TextNode.h"

#include "richtext/EmojiPresentation.h"

#include <QString>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <limits>

namespace mddoc::detail {

using markdown::BlockNode;
using markdown::InlineNode;

namespace {

// What a character beyond the first plane costs beside a byte of plain text.
constexpr std::uint64_t supplementaryUnits = 24;
constexpr std::uint64_t runUnits = 5;
constexpr std::uint64_t linkUnits = 40;
constexpr std::uint64_t cellUnits = 40;
// A table part holds at most this many rows, however short.
constexpr std::size_t partRows = 64;
// How far a cut inside a long text looks for a space: without one that far, the cut falls in a
// run long enough to be given breaks (the part above runs on into it, see TextContinuation).
constexpr qsizetype cutWindow = mdview::TextNode::longestUnbrokenRun + 1;

thread_local int wholeBlocks = 0;

std::uint64_t nodeUnits(const InlineNode& root)
{
    std::uint64_t units = 0;
    std::vector<const InlineNode*> stack{&root};
    while (!stack.empty()) {
        const InlineNode* node = stack.back();
        stack.pop_back();
        if (const auto* t = node->as<InlineNode::Text>())
            units += textUnits(t->text);
        else if (const auto* c = node->as<InlineNode::Code>())
            units += runUnits + textUnits(c->code);
        else if (const auto* h = node->as<InlineNode::Html>())
            units += runUnits + textUnits(h->html);
        else
            units += node->is<InlineNode::Link>() || node->is<InlineNode::Image>() ? linkUnits : runUnits;
        if (const auto* children = node->children()) {
            for (const InlineNode& child : *children)
                stack.push_back(&child);
        }
    }
    return units;
}

std::uint64_t inlinesUnits(const std::vector<InlineNode>& inlines)
{
    std::uint64_t units = 0;
    for (const InlineNode& node : inlines)
        units += nodeUnits(node);
    return units;
}

// Where to cut a long text into parts: byte offsets, the first after about `first` units, the
// others every paragraphPartUnits after it; each right after a space if one is near, else
// between two characters (never inside one) in a run without a space that goes on past the
// cutWindow. `rest` gets the units after the last cut.
std::vector<std::size_t> textCuts(const std::string& utf8, std::uint64_t first, std::uint64_t& rest)
{
    // As laid out: a cluster too long to be one picture is cut between its pieces.
    const QString text = richtext::partedForLayout(QString::fromUtf8(utf8.data(), qsizetype(utf8.size())));
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, text);
    // The place of a cut at or after a position; -1 where the text ends too soon for one.
    const auto cutFrom = [&](qsizetype at) -> qsizetype {
        characters.setPosition(at);
        if (!characters.isAtBoundary())
            at = characters.toNextBoundary();
        if (at < 0)
            return -1;
        const qsizetype end = std::min(text.size(), at + cutWindow);
        for (qsizetype i = at; i < end; ++i) {
            if (mdview::TextNode::isSpace(text.at(i)))
                return i + 1 < text.size() ? i + 1 : -1;
        }
        return end - at == cutWindow ? at : -1;
    };
    std::vector<std::size_t> cuts;
    std::uint64_t units = 0;
    std::uint64_t target = first;
    std::size_t byte = 0;
    qsizetype cutAt = -1; // the next cut, once its place is chosen
    for (qsizetype i = 0; i < text.size();) {
        if (cutAt < 0 && units >= target && i > 0) {
            cutAt = cutFrom(i);
            if (cutAt < 0)
                target = std::numeric_limits<std::uint64_t>::max(); // none fits before the end
        }
        if (i == cutAt) {
            cuts.push_back(byte);
            units = 0;
            target = paragraphPartUnits;
            cutAt = -1;
            continue;
        }
        const char16_t u = text.at(i).unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            byte += 4;
            units += 4 + supplementaryUnits;
            i += 2;
        } else {
            const std::size_t bytes = u < 0x80 ? 1 : u < 0x800 ? 2 : 3;
            byte += bytes;
            units += bytes;
            ++i;
        }
    }
    rest = units;
    return cuts;
}

// The text of an inline a paragraph's cut may fall inside: plain text or a code span (a line
// that is one code span is as long as one of words).
const std::string* cutText(const InlineNode& node)
{
    if (const auto* t = node.as<InlineNode::Text>())
        return &t->text;
    if (const auto* c = node.as<InlineNode::Code>())
        return &c->code;
    return nullptr;
}

std::optional<BlockParts> paragraphParts(const std::vector<InlineNode>& inlines)
{
    if (wholeBlocks > 0 || inlinesUnits(inlines) <= partedUnits)
        return std::nullopt;
    BlockParts parts;
    parts.cuts.push_back({0, 0});
    BlockParts::Extent extent;
    std::uint64_t units = 0;
    auto cut = [&](BlockParts::Cut at) {
        parts.cuts.push_back(at);
        parts.extents.push_back(extent);
        extent = {};
        units = 0;
    };
    for (std::size_t i = 0; i < inlines.size(); ++i) {
        const InlineNode& node = inlines[i];
        if (node.is<InlineNode::SoftBreak>()) {
            // Where the source's lines end, preferably.
            extent.characters += 1;
            if (units >= paragraphPartUnits)
                cut({i + 1, 0});
            else
                units += 1;
            continue;
        }
        const std::string* text = cutText(node);
        const std::uint64_t nodeWork = nodeUnits(node);
        if (text && units + nodeWork > 2 * paragraphPartUnits) {
            std::uint64_t rest = 0;
            std::size_t from = 0;
            for (const std::size_t offset :
                 textCuts(*text, paragraphPartUnits > units ? paragraphPartUnits - units : 0, rest)) {
                extent.characters += double(offset - from);
                cut({i, offset});
                from = offset;
            }
            extent.characters += double(text->size() - from);
            units = rest;
            continue;
        }
        units += nodeWork;
        if (node.is<InlineNode::LineBreak>())
            extent.lines += 1;
        else
            extent.characters += double(nodeWork);
    }
    const BlockParts::Cut end{inlines.size(), 0};
    if (parts.cuts.back().inlineIndex != end.inlineIndex || parts.cuts.back().offset != 0) {
        parts.cuts.push_back(end);
        parts.extents.push_back(extent);
    }
    if (parts.count() < 2)
        return std::nullopt;
    return parts;
}

std::optional<BlockParts> codeParts(const std::string& content)
{
    if (wholeBlocks > 0 || textUnits(content) <= partedUnits)
        return std::nullopt;
    BlockParts parts;
    BlockParts::Extent extent;
    std::uint64_t units = 0;
    std::size_t start = 0;
    for (std::size_t at = 0; at < content.size();) {
        const std::size_t feed = content.find('\n', at);
        const std::size_t end = feed == std::string::npos ? content.size() : feed + 1;
        units += textUnits(std::string_view(content).substr(at, end - at));
        extent.characters += double(end - at);
        extent.lines += 1;
        at = end;
        if (units >= partUnits || at == content.size()) {
            parts.starts.push_back(start);
            parts.extents.push_back(extent);
            start = at;
            extent = {};
            units = 0;
        }
    }
    parts.starts.push_back(content.size());
    if (parts.count() < 2)
        return std::nullopt;
    return parts;
}

std::optional<BlockParts> tableParts(const BlockNode::Table& table)
{
    std::vector<std::uint64_t> rowUnits;
    rowUnits.reserve(table.rows.size());
    std::uint64_t total = 0;
    for (const auto& row : table.rows) {
        std::uint64_t units = 0;
        for (const auto& cell : row.cells)
            units += cellUnits + inlinesUnits(cell.content);
        rowUnits.push_back(units);
        total += units;
    }
    if (wholeBlocks > 0 || total <= partedUnits || table.rows.size() <= columnWidthRows)
        return std::nullopt;
    BlockParts parts;
    BlockParts::Extent extent;
    std::uint64_t units = 0;
    for (std::size_t row = 0; row < table.rows.size(); ++row) {
        if (extent.lines == 0)
            parts.starts.push_back(row);
        units += rowUnits[row];
        extent.lines += 1;
        extent.characters += double(rowUnits[row]);
        if (units >= partUnits || extent.lines >= double(partRows) || row + 1 == table.rows.size()) {
            parts.extents.push_back(extent);
            extent = {};
            units = 0;
        }
    }
    parts.starts.push_back(table.rows.size());
    return parts;
}

} // namespace

std::uint64_t textUnits(std::string_view utf8)
{
    std::uint64_t supplementary = 0;
    for (const char c : utf8)
        supplementary += (static_cast<unsigned char>(c) & 0xF8) == 0xF0;
    return utf8.size() + supplementary * supplementaryUnits;
}

std::optional<BlockParts> blockParts(const BlockNode& block)
{
    if (const auto* p = block.as<BlockNode::Paragraph>())
        return paragraphParts(p->content);
    if (const auto* c = block.as<BlockNode::CodeBlock>())
        return codeParts(c->content);
    if (const auto* t = block.as<BlockNode::Table>())
        return tableParts(*t);
    return std::nullopt;
}

WholeBlocksForTesting::WholeBlocksForTesting()
{
    ++wholeBlocks;
}

WholeBlocksForTesting::~WholeBlocksForTesting()
{
    --wholeBlocks;
}

std::vector<InlineNode> partInlines(const std::vector<InlineNode>& inlines, const BlockParts& parts, std::size_t part)
{
    const BlockParts::Cut from = parts.cuts[part];
    const BlockParts::Cut to = parts.cuts[part + 1];
    std::vector<InlineNode> result;
    for (std::size_t i = from.inlineIndex; i < inlines.size() && (i < to.inlineIndex || (i == to.inlineIndex && to.offset > 0)); ++i) {
        const std::size_t begin = i == from.inlineIndex ? from.offset : 0;
        const std::string* text = cutText(inlines[i]);
        const std::size_t end = !text ? 0 : i == to.inlineIndex ? to.offset : text->size();
        if (!text || (begin == 0 && end == text->size()))
            result.push_back(inlines[i]);
        else if (inlines[i].is<InlineNode::Code>())
            result.push_back(InlineNode::code(text->substr(begin, end - begin)));
        else
            result.push_back(InlineNode::text(text->substr(begin, end - begin)));
    }
    return result;
}

std::string partCode(const std::string& content, const BlockParts& parts, std::size_t part)
{
    std::string code = content.substr(parts.starts[part], parts.starts[part + 1] - parts.starts[part]);
    if (!code.empty() && code.back() == '\n')
        code.pop_back();
    return code;
}

} // namespace mddoc::detail
