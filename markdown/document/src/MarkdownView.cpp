#include "mddoc/MarkdownView.h"

#include "mddoc/BlockViews.h"
#include "mddoc/Themes.h"

#include "BlockBudget.h"
#include "BlockParts.h"
#include "TopLevelBlocks.h"

#include "mdview/Environment.h"
#include "mdview/InlineRendering.h"
#include "mdview/RenderNode.h"

#include "markdown/InlineRewrite.h"

#include <map>

namespace mddoc {

using namespace mdview;
using markdown::BlockNode;
using markdown::InlineNode;
using markdown::MarkdownContent;

namespace {

// Documents draw with the basic theme wherever no theme is set.
[[maybe_unused]] const bool basicIsTheDefault = [] {
    Environment::setDefaultTheme(themes::basic());
    return true;
}();

using Blocks = std::vector<std::shared_ptr<const BlockNode>>;

bool hasImage(const std::vector<InlineNode>& inlines)
{
    return !detail::forEachInline(inlines, [](const InlineNode& node) { return !node.is<InlineNode::Image>(); });
}

bool hasImage(const BlockNode& root)
{
    std::vector<const BlockNode*> stack{&root};
    while (!stack.empty()) {
        const BlockNode* block = stack.back();
        stack.pop_back();
        if (const auto* p = block->as<BlockNode::Paragraph>()) {
            if (hasImage(p->content))
                return true;
        } else if (const auto* h = block->as<BlockNode::Heading>()) {
            if (hasImage(h->content))
                return true;
        } else if (const auto* t = block->as<BlockNode::Table>()) {
            for (const auto& row : t->rows)
                for (const auto& cell : row.cells)
                    if (hasImage(cell.content))
                        return true;
        }
        detail::forEachChildList(*block, [&stack](const std::vector<BlockNode>& children) {
            for (const BlockNode& child : children)
                stack.push_back(&child);
        });
    }
    return false;
}

// The filtered blocks, sharing the content's own nodes where there was nothing to filter.
Blocks filteredBlocks(const MarkdownContent& content, ColorScheme scheme)
{
    const auto owner = std::make_shared<const MarkdownContent>(content);
    Blocks blocks;
    blocks.reserve(owner->blocks().size());
    const markdown::InlineRewriter filter = [scheme](InlineNode node) {
        return mdview::filterImagesByColorScheme(node, scheme);
    };
    for (const BlockNode& block : owner->blocks()) {
        // Nesting past the cap (content built in code) is flattened before anything copies it.
        const std::optional<BlockNode> capped = detail::cappedBlock(block);
        const BlockNode& shallow = capped ? *capped : block;
        if (hasImage(shallow))
            blocks.push_back(std::make_shared<const BlockNode>(shallow.rewriteInlines(filter).front()));
        else if (capped)
            blocks.push_back(std::make_shared<const BlockNode>(std::move(*capped)));
        else
            blocks.push_back(std::shared_ptr<const BlockNode>(owner, &block));
    }
    return blocks;
}

} // namespace

// How much a block holds, in lines of the base font: lines it takes at any width, and
// characters that wrap by the width.
struct BlockExtent {
    double lines = 0;
    double characters = 0;
};

namespace {

void addInlines(const std::vector<InlineNode>& inlines, BlockExtent& extent)
{
    detail::forEachInline(inlines, [&extent](const InlineNode& node) {
        if (const auto* text = node.as<InlineNode::Text>())
            extent.characters += double(text->text.size());
        else if (const auto* code = node.as<InlineNode::Code>())
            extent.characters += double(code->code.size());
        else if (node.is<InlineNode::LineBreak>())
            extent.lines += 1;
        else if (node.is<InlineNode::SoftBreak>())
            extent.characters += 1;
        return true;
    });
}

// A text wraps onto a line more than its characters fill, half of one on average.
void addText(const std::vector<InlineNode>& inlines, double lines, BlockExtent& extent)
{
    extent.lines += lines + 0.5;
    addInlines(inlines, extent);
}

BlockExtent extentOf(const BlockNode& root)
{
    BlockExtent extent;
    std::vector<const BlockNode*> stack{&root};
    while (!stack.empty()) {
        const BlockNode* block = stack.back();
        stack.pop_back();
        if (const auto* p = block->as<BlockNode::Paragraph>()) {
            addText(p->content, 1, extent);
        } else if (const auto* h = block->as<BlockNode::Heading>()) {
            addText(h->content, 1.5, extent);
        } else if (const auto* c = block->as<BlockNode::CodeBlock>()) {
            extent.lines += 2 + double(std::count(c->content.begin(), c->content.end(), '\n'));
        } else if (const auto* html = block->as<BlockNode::HtmlBlock>()) {
            extent.lines += 1 + double(std::count(html->content.begin(), html->content.end(), '\n'));
        } else if (const auto* t = block->as<BlockNode::Table>()) {
            for (const auto& row : t->rows) {
                extent.lines += 1.2;
                for (const auto& cell : row.cells)
                    addInlines(cell.content, extent);
            }
        } else if (block->is<BlockNode::ThematicBreak>()) {
            extent.lines += 1;
        }
        detail::forEachChildList(*block, [&stack](const std::vector<BlockNode>& children) {
            for (const BlockNode& child : children)
                stack.push_back(&child);
        });
    }
    return extent;
}

} // namespace

struct DocumentState {
    RenderNode* stack = nullptr; // the stack of top-level blocks of the last build
    Environment environment;     // what the blocks are built under
    double fontSize = FontProperties::defaultSize;
    Blocks blocks;
    // By block: what a built top-level list keeps to change its items in place.
    std::map<std::size_t, std::optional<detail::ListItems>> lists;
    // Per block: laid out in parts when it is long (absent when whole).
    std::vector<std::shared_ptr<const detail::BlockParts>> parts;
    // Per block: shown as its plain text, the document being too large to lay out in time;
    // chosen once a block is built, for the stack laid out whole or lazily.
    std::optional<std::vector<bool>> degraded;
    bool laidOutWhole = true;
    std::vector<std::optional<BlockExtent>> extents;
    std::size_t kept = 0;
};

namespace {

GapBetween gapRule(const Environment& environment)
{
    return [tight = environment.tightSpacingEnabled](const BlockMargin& previous, const BlockMargin& next) {
        return blockGap(previous, next, tight);
    };
}

// The top-level blocks as the lazy stack builds them, for the state's blocks.
LazyStackContent blockContent(const std::shared_ptr<DocumentState>& state)
{
    const std::size_t count = state->blocks.size();
    state->extents.resize(count);
    // The blocks kept from before keep their parts.
    state->parts.resize(std::min(state->parts.size(), state->kept));
    for (std::size_t i = state->parts.size(); i < count; ++i) {
        auto parts = detail::blockParts(*state->blocks[i]);
        state->parts.push_back(parts ? std::make_shared<const detail::BlockParts>(std::move(*parts)) : nullptr);
    }
    state->degraded.reset();
    LazyStackContent content;
    content.count = count;
    content.build = [state](std::size_t index) -> RenderNodePtr {
        Environment inner = state->environment;
        inner.stackAxis = Axis::vertical;
        if (!state->degraded) {
            // Laid out lazily, a block in parts costs what the viewport shows of it.
            std::vector<bool> exempt(state->blocks.size(), false);
            for (std::size_t i = 0; i < exempt.size() && !state->laidOutWhole; ++i)
                exempt[i] = state->parts[i] != nullptr;
            state->degraded = detail::degradedBlocks(state->blocks, state->laidOutWhole, exempt);
        }
        if ((*state->degraded)[index])
            return detail::DegradedBlockView(*state->blocks[index]).build(inner);
        // Only lists keep an entry: the others would cost an environment each.
        std::optional<detail::ListItems> items;
        RenderNodePtr node = detail::buildTopLevelBlock(state->blocks[index], inner, items, state->parts[index]);
        if (items)
            state->lists.insert_or_assign(index, std::move(items));
        else
            state->lists.erase(index);
        return node;
    };
    content.parts = [state](std::size_t index) { return state->parts[index] ? state->parts[index]->count() : 0; };
    content.released = [state](std::size_t index) { state->lists.erase(index); };
    content.layoutMode = [state](bool whole) {
        if (whole != state->laidOutWhole)
            state->degraded.reset();
        state->laidOutWhole = whole;
    };
    content.estimate = [state](std::size_t index, double width) {
        std::optional<BlockExtent>& extent = state->extents[index];
        if (!extent)
            extent = extentOf(*state->blocks[index]);
        const double lineHeight = 1.25 * state->fontSize;
        const double characterWidth = 0.5 * state->fontSize;
        return lineHeight * (extent->lines + extent->characters * characterWidth / std::max(width, 1.0));
    };
    return content;
}

// The top-level blocks: a lazily built stack of separately built units. Without a state of the
// caller's, each build has its own.
View DocumentBlocks(Blocks blocks, double fontSize, std::shared_ptr<DocumentState> state)
{
    return BuiltView([blocks = std::move(blocks), fontSize, state = std::move(state)](const Environment& environment) {
        const std::shared_ptr<DocumentState> target = state ? state : std::make_shared<DocumentState>();
        target->environment = environment;
        target->fontSize = fontSize;
        target->blocks = blocks;
        target->lists.clear();
        target->extents.clear();
        target->kept = 0;
        RenderNodePtr node = LazyVStack([&target](const Environment&) { return blockContent(target); },
                                        environment.multilineTextAlignment, gapRule(environment))
                                 .build(environment);
        target->stack = node.get();
        return node;
    });
}

} // namespace

std::shared_ptr<DocumentState> makeDocumentState()
{
    return std::make_shared<DocumentState>();
}

View MarkdownView(MarkdownContent content, std::optional<QUrl> baseURL, std::optional<QUrl> imageBaseURL,
                  std::shared_ptr<DocumentState> state)
{
    if (!imageBaseURL)
        imageBaseURL = baseURL;
    return EnvironmentReader([content = std::move(content), baseURL, imageBaseURL,
                              state = std::move(state)](const Environment& outer) {
        Environment environment = outer;
        environment.baseURL = baseURL;
        environment.imageBaseURL = imageBaseURL;
        // The base text style, then the theme's text style, then the base size: relative sizes
        // below work from it.
        environment.textStyle = TextStylePair{environment.textStyle, environment.theme().text};
        const AttributeContainer attributes = environment.textStyle.attributes();
        const double size = attributes.fontProperties ? attributes.fontProperties->size : FontProperties::defaultSize;
        environment.textStyle = TextStylePair{environment.textStyle, FontSize(size)};
        if (attributes.foregroundColor)
            environment.foregroundColor = attributes.foregroundColor;
        // The page colour is drawn once, behind the document: text repeating it would show as
        // boxes on shaded table rows and quotes.
        if (attributes.backgroundColor)
            environment.textStyle = TextStylePair{environment.textStyle, BackgroundColor(std::nullopt)};
        View blocks = DocumentBlocks(filteredBlocks(content, environment.colorScheme), size, state);
        if (attributes.backgroundColor)
            blocks = blocks.background(*attributes.backgroundColor);
        return blocks.transformEnvironment([environment](Environment& e) { e = environment; });
    });
}

View MarkdownView(const QString& text, std::optional<QUrl> baseURL, std::optional<QUrl> imageBaseURL)
{
    const QByteArray utf8 = text.toUtf8();
    return MarkdownView(MarkdownContent(std::string_view(utf8.constData(), std::size_t(utf8.size()))),
                        std::move(baseURL), std::move(imageBaseURL));
}

bool updateDocument(const std::shared_ptr<DocumentState>& state, const MarkdownContent& content)
{
    if (!state->stack)
        return false;
    Blocks blocks = filteredBlocks(content, state->environment.colorScheme);
    std::size_t same = 0;
    while (same < blocks.size() && same < state->blocks.size() && *blocks[same] == *state->blocks[same])
        ++same;
    if (same == blocks.size() && same == state->blocks.size())
        return true;
    // A built list that only grew at its end (text streaming into it) keeps its first items.
    std::size_t from = same;
    const auto list = state->lists.find(same);
    if (same < blocks.size() && same < state->blocks.size() && list != state->lists.end() && list->second
        && detail::updateListItems(*list->second, *state->blocks[same], blocks[same]))
        ++from;
    state->blocks = std::move(blocks);
    state->kept = same;
    state->lists.erase(state->lists.lower_bound(from), state->lists.end());
    state->extents.resize(from);
    replaceLazyStackChildren(*state->stack, from, blockContent(state));
    return true;
}

std::size_t keptBlocks(const DocumentState& state)
{
    return state.kept;
}

MarkdownContent filterImagesByColorScheme(const MarkdownContent& content, ColorScheme scheme)
{
    std::vector<BlockNode> blocks;
    for (const auto& block : filteredBlocks(content, scheme))
        blocks.push_back(*block);
    return MarkdownContent(std::move(blocks));
}

} // namespace mddoc
