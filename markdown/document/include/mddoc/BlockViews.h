#pragma once

// The views that draw the blocks of a document under the theme in the environment. Each block
// view builds a label from its payload and hands it, with the block as a one-block document, to
// the theme's block style of its kind.

#include "mdview/BlockStyle.h"
#include "mdview/InlineRendering.h"
#include "mdview/View.h"

#include "markdown/BlockNode.h"
#include "markdown/MarkdownParser.h"

#include <memory>
#include <optional>
#include <vector>

namespace mddoc {

using mdview::RawImageData;
using mdview::View;

// Block nesting deeper than this (content built in code; the parser stops at the same depth)
// is drawn as the plain text of the deeper blocks.
inline constexpr int maximumBlockDepth = markdown::maxBlockDepth;

// One block drawn by the view of its kind. The node is shared, not copied: views of nested
// blocks point into it.
View BlockNodeView(std::shared_ptr<const markdown::BlockNode> block);
View BlockNodeView(const markdown::BlockNode& block);

// Blocks one under the other; between two neighbours the larger of the earlier one's bottom
// margin and the later one's top margin (inside a tight list only the later one's top), or
// the default spacing when neither states one.
View BlockSequence(std::vector<View> children);
inline constexpr double defaultBlockSpacing = 8;
// The gap rule of BlockSequence, for stacks of separately built blocks.
double blockGap(const mdview::BlockMargin& previous, const mdview::BlockMargin& next, bool tightSpacing);

// Inline content as one text, with the images that stand directly in it once loaded (one
// failed image hides only itself).
View InlineText(std::shared_ptr<const std::vector<markdown::InlineNode>> inlines);
// The same, shown by `show` (a part of a text laid out in parts): `afterSoftBreak` when the
// inlines continue a list of them after a soft break.
View InlineText(std::shared_ptr<const std::vector<markdown::InlineNode>> inlines,
                std::function<View(mdview::StyledText)> show, bool afterSoftBreak);

// A block image through the environment's image provider, a link when the image is linked,
// in the theme's image style.
View ImageView(const RawImageData& data);
// The block image of a paragraph that is one image (or one link around one image).
std::optional<View> ImageView(const std::vector<markdown::InlineNode>& inlines);

// What a paragraph of images only flows: images and the line breaks between them.
struct ImageFlowItem {
    std::optional<RawImageData> image; // absent: a line break
    friend bool operator==(const ImageFlowItem&, const ImageFlowItem&) = default;
};
// The items of a paragraph made only of images, links around one image, line breaks, soft
// breaks and empty texts; absent for any other content.
std::optional<std::vector<ImageFlowItem>> imageFlowItems(const std::vector<markdown::InlineNode>& inlines);
// Images side by side in rows, a quarter of the base font size apart.
View ImageFlow(std::vector<ImageFlowItem> items);

} // namespace mddoc
