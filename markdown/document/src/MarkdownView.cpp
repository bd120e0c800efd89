#include "mddoc/MarkdownView.h"

#include "mddoc/BlockViews.h"
#include "mddoc/Themes.h"

#include "BlockBudget.h"
#include "TopLevelBlocks.h"

#include "mdview/Environment.h"
#include "mdview/InlineRendering.h"
#include "mdview/RenderNode.h"

#include "markdown/InlineRewrite.h"

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
    std::vector<const InlineNode*> stack;
    for (const InlineNode& node : inlines)
        stack.push_back(&node);
    while (!stack.empty()) {
        const InlineNode* node = stack.back();
        stack.pop_back();
        if (node->is<InlineNode::Image>())
            return true;
        if (const auto* children = node->children()) {
            for (const InlineNode& child : *children)
                stack.push_back(&child);
        }
    }
    return false;
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

struct DocumentState {
    RenderNode* stack = nullptr; // the stack of top-level blocks of the last build
    Environment environment;     // what the blocks are built under
    Blocks blocks;
    // Per block: what a top-level list keeps to change its items in place.
    std::vector<std::optional<detail::ListItems>> lists;
    // Per block: shown as its plain text, the document being too large to lay out in time.
    std::vector<bool> degraded;
    std::size_t kept = 0;
};

namespace {

GapBetween gapRule(const Environment& environment)
{
    return [tight = environment.tightSpacingEnabled](const BlockMargin& previous, const BlockMargin& next) {
        return blockGap(previous, next, tight);
    };
}

// Builds blocks [from, end) of the state's blocks into the stack, after its first `keep` children.
void buildBlocks(DocumentState& state, std::size_t from, std::size_t keep)
{
    Environment inner = state.environment;
    inner.stackAxis = Axis::vertical;
    state.lists.resize(from);
    state.degraded = detail::degradedBlocks(state.blocks);
    std::vector<RenderNodePtr> built;
    for (std::size_t i = from; i < state.blocks.size(); ++i) {
        state.lists.emplace_back();
        built.push_back(state.degraded[i] ? detail::DegradedBlockView(*state.blocks[i]).build(inner)
                                          : detail::buildTopLevelBlock(state.blocks[i], inner, state.lists.back()));
    }
    replaceStackChildren(*state.stack, keep, std::move(built), gapRule(state.environment));
}

// The top-level blocks: a stack of separately built units.
View DocumentBlocks(Blocks blocks, std::shared_ptr<DocumentState> state)
{
    return BuiltView([blocks = std::move(blocks), state = std::move(state)](const Environment& environment) {
        RenderNodePtr node =
            VStackByMargins({}, environment.multilineTextAlignment, gapRule(environment)).build(environment);
        DocumentState local;
        DocumentState& target = state ? *state : local;
        target.stack = node.get();
        target.environment = environment;
        target.blocks = blocks;
        target.kept = 0;
        buildBlocks(target, 0, 0);
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
        View blocks = DocumentBlocks(filteredBlocks(content, environment.colorScheme), state);
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

bool updateDocument(DocumentState& state, const MarkdownContent& content)
{
    if (!state.stack)
        return false;
    Blocks blocks = filteredBlocks(content, state.environment.colorScheme);
    std::size_t same = 0;
    while (same < blocks.size() && same < state.blocks.size() && *blocks[same] == *state.blocks[same])
        ++same;
    if (same == blocks.size() && same == state.blocks.size())
        return true;
    // Children and blocks correspond one to one unless some block built to nothing; then build
    // everything again.
    if (state.stack->children().size() != state.blocks.size())
        same = 0;
    // A list that only grew at its end (text streaming into it) keeps its first items.
    std::size_t from = same;
    if (same < blocks.size() && same < state.blocks.size() && same < state.lists.size() && state.lists[same]
        && detail::updateListItems(*state.lists[same], *state.blocks[same], blocks[same]))
        ++from;
    state.blocks = std::move(blocks);
    state.kept = same;
    buildBlocks(state, from, from);
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
