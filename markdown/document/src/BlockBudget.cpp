#include "BlockBudget.h"

#include "TopLevelBlocks.h"

#include "mddoc/BlockViews.h"

#include "mdview/TextStyle.h"

#include "markdown/Log.h"

#include <algorithm>
#include <numeric>
#include <string>

namespace mddoc::detail {

using markdown::BlockNode;
using markdown::InlineNode;
using namespace mdview;

namespace {

constexpr std::uint64_t blockViewWork = 100;
constexpr std::uint64_t tableCellWork = 60;
constexpr std::uint64_t runWork = 5;
constexpr std::uint64_t linkWork = 40;

std::uint64_t inlineWork(const std::vector<InlineNode>& inlines)
{
    std::uint64_t work = 0;
    forEachInline(inlines, [&work](const InlineNode& node) {
        if (const auto* t = node.as<InlineNode::Text>())
            work += runWork + t->text.size();
        else if (const auto* c = node.as<InlineNode::Code>())
            work += runWork + c->code.size();
        else if (const auto* h = node.as<InlineNode::Html>())
            work += runWork + h->html.size();
        else
            work += node.is<InlineNode::Link>() || node.is<InlineNode::Image>() ? linkWork : runWork;
        return true;
    });
    return work;
}

const char* kindName(const BlockNode& block)
{
    if (block.is<BlockNode::Paragraph>())
        return "paragraph";
    if (block.is<BlockNode::Heading>())
        return "heading";
    if (block.is<BlockNode::Blockquote>())
        return "quote";
    if (block.is<BlockNode::Table>())
        return "table";
    if (block.is<BlockNode::CodeBlock>())
        return "code block";
    if (block.is<BlockNode::HtmlBlock>())
        return "HTML block";
    if (block.is<BlockNode::BulletedList>() || block.is<BlockNode::NumberedList>() || block.is<BlockNode::TaskList>())
        return "list";
    return "block";
}

// A code block, or a paragraph whose text is code spans more than anything else: its plain text
// keeps the code face.
bool isMostlyCode(const BlockNode& block)
{
    if (block.is<BlockNode::CodeBlock>())
        return true;
    const auto* p = block.as<BlockNode::Paragraph>();
    if (!p)
        return false;
    std::size_t code = 0;
    std::size_t other = 0;
    forEachInline(p->content, [&](const InlineNode& node) {
        if (const auto* c = node.as<InlineNode::Code>())
            code += c->code.size();
        else if (const auto* t = node.as<InlineNode::Text>())
            other += t->text.size();
        return true;
    });
    return code > other;
}

} // namespace

std::uint64_t blockWork(const BlockNode& root)
{
    std::uint64_t work = 0;
    // A block and its copies; kept from call to call, as a document asks once per block.
    thread_local std::vector<std::pair<const BlockNode*, std::uint64_t>> stack;
    stack.assign(1, {&root, 1});
    while (!stack.empty()) {
        const auto [block, copies] = stack.back();
        stack.pop_back();
        work += blockViewWork;
        if (const auto* p = block->as<BlockNode::Paragraph>()) {
            work += copies * inlineWork(p->content);
        } else if (const auto* h = block->as<BlockNode::Heading>()) {
            work += copies * inlineWork(h->content);
        } else if (const auto* c = block->as<BlockNode::CodeBlock>()) {
            work += copies * c->content.size();
        } else if (const auto* html = block->as<BlockNode::HtmlBlock>()) {
            work += copies * html->content.size();
        } else if (const auto* t = block->as<BlockNode::Table>()) {
            for (const auto& row : t->rows) {
                work += blockViewWork;
                for (const auto& cell : row.cells)
                    work += tableCellWork + copies * inlineWork(cell.content);
            }
        }
        forEachChildList(*block, [&](const std::vector<BlockNode>& children) {
            work += blockViewWork; // the list item or the quote's sequence
            for (const BlockNode& child : children)
                stack.emplace_back(&child, copies + 1);
        });
    }
    return work;
}

std::vector<bool> degradedBlocks(const std::vector<std::shared_ptr<const BlockNode>>& blocks, bool wholeDocument,
                                 const std::vector<bool>& exempt)
{
    std::vector<std::uint64_t> works;
    works.reserve(blocks.size());
    for (std::size_t i = 0; i < blocks.size(); ++i)
        works.push_back(i < exempt.size() && exempt[i] ? 0 : blockWork(*blocks[i]));
    const std::uint64_t total = std::accumulate(works.begin(), works.end(), std::uint64_t(0));
    std::vector<bool> degraded(blocks.size(), false);
    std::uint64_t left = total;
    std::size_t count = 0;
    const auto degrade = [&](std::size_t i) {
        left -= works[i];
        degraded[i] = true;
        ++count;
    };
    std::uint64_t largest = 0;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        largest = std::max(largest, works[i]);
        if (works[i] > maxBlockWork)
            degrade(i);
    }
    if (wholeDocument && left > maxDocumentWork) {
        std::vector<std::size_t> order(blocks.size());
        std::iota(order.begin(), order.end(), 0);
        std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return works[a] > works[b]; });
        for (const std::size_t i : order) {
            if (left <= maxDocumentWork || works[i] < minDegradedWork)
                break;
            if (!degraded[i])
                degrade(i);
        }
    }
    if (count == 0)
        return degraded;
    const std::string measure = largest > maxBlockWork
        ? "the largest block about " + std::to_string(largest) + " units of work, at most " + std::to_string(maxBlockWork)
        : "about " + std::to_string(total) + " units of work, at most " + std::to_string(maxDocumentWork);
    markdown::log(markdown::LogLevel::warning, "MarkdownView",
                  "The document is too large to lay out in time (" + measure + "); " + std::to_string(count)
                      + (count == 1 ? " block is" : " blocks are") + " shown as plain text.");
    return degraded;
}

View DegradedBlockView(const BlockNode& block)
{
    const QString notice = QStringLiteral("This %1 is shown as plain text: it is too large to lay out in time.")
                               .arg(QLatin1String(kindName(block)));
    std::string flat = flattenedText(block).toStdString();
    const auto text = std::make_shared<const BlockNode>(
        BlockNode::paragraph({isMostlyCode(block) ? InlineNode::code(std::move(flat)) : InlineNode::text(std::move(flat))}));
    return VStack({Text(notice).markdownTextStyle([] {
                       return textStyle(FontSize(RelativeSize::em(0.85)), ForegroundColor(Color::secondary()));
                   }),
                   BlockNodeView(text)},
                  HorizontalAlignment::leading, 4);
}

} // namespace mddoc::detail
