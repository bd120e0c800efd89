#include "mddoc/BlockViews.h"

#include "BlockParts.h"
#include "CodeHighlighting.h"
#include "TopLevelBlocks.h"

#include "mdview/Environment.h"
#include "mdview/RenderNode.h"
#include "mdview/TableStyle.h"
#include "mdview/TextNode.h"
#include "mdview/TextUtilities.h"
#include "mdview/Theme.h"

#include "markdown/InlineRewrite.h"

#include <QHash>
#include <QLoggingCategory>

#include <algorithm>
#include <set>

namespace mddoc {

using namespace mdview;
using markdown::BlockNode;
using markdown::InlineNode;
using markdown::MarkdownContent;

namespace detail {

using namespace mdview;

// A list marker in a frame whose width the list sets once its items are built.
class MarkerFrameNode final : public mdview::RenderNode {
public:
    const char* typeName() const override { return "MarkerFrame"; }
    QString describe() const override
    {
        return m_width ? QStringLiteral("width=%1").arg(*m_width) : QString();
    }
    bool hasFixedWidth() const override { return m_width || childrenHaveFixedWidth(); }
    // Before the first layout, or with discardLayout after it.
    void setWidth(double width)
    {
        if (m_width != width) {
            m_width = width;
            discardLayout();
        }
    }
    double naturalWidth() { return child().measure({}).width(); }
    std::optional<double> firstBaseline(const QSizeF& size) override
    {
        const QRectF inner = childFrame(QRectF(QPointF(0, 0), size));
        const auto baseline = child().firstBaseline(inner.size());
        return baseline ? std::optional(*baseline + inner.top()) : std::nullopt;
    }

protected:
    QSizeF sizeThatFits(const ProposedSize& proposal) override
    {
        const QSizeF size = child().measure({m_width ? m_width : proposal.width, proposal.height});
        return {m_width.value_or(size.width()), size.height()};
    }
    void placeChildren() override { child().place(childFrame(frame())); }

private:
    RenderNode& child() const { return *m_children.front(); }
    // Trailing, vertically centred.
    QRectF childFrame(const QRectF& frame)
    {
        const QSizeF size = child().measure({frame.width(), frame.height()});
        return {frame.topLeft() + alignedOffset(frame.size(), size, Alignment::trailing()), size};
    }
    std::optional<double> m_width;
};

} // namespace detail

using detail::MarkerFrameNode;

namespace {

template <typename T>
using Shared = std::shared_ptr<const T>;

// A pointer into a shared tree that keeps the whole tree alive.
template <typename T, typename Owner>
Shared<T> alias(const Shared<Owner>& owner, const T& member)
{
    return Shared<T>(owner, &member);
}

QString fromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

QString plainText(const std::vector<InlineNode>& inlines)
{
    QString text;
    for (const std::string& piece : markdown::collectInlineText(inlines))
        text += fromUtf8(piece);
    return text;
}

// The block as the one-block document its style is handed, shared rather than copied.
MarkdownContent contentOf(const Shared<BlockNode>& block)
{
    return MarkdownContent::sharing(block);
}

// --- Depth ------------------------------------------------------------------------------------

thread_local int blockDepth = 0;

struct DepthGuard {
    DepthGuard() { ++blockDepth; }
    ~DepthGuard() { --blockDepth; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;
};

// --- Paragraphs, headings, quotes, code --------------------------------------------------------

View ParagraphView(Shared<BlockNode> block, View label)
{
    return EnvironmentReader([block = std::move(block), label = std::move(label)](const Environment& environment) {
        return environment.theme().paragraph.makeBody({label, contentOf(block)});
    });
}

View ParagraphView(Shared<BlockNode> block, Shared<std::vector<InlineNode>> inlines)
{
    View label;
    if (auto image = ImageView(*inlines))
        label = *image;
    else if (auto items = imageFlowItems(*inlines))
        label = ImageFlow(std::move(*items));
    else
        label = InlineText(inlines);
    return ParagraphView(std::move(block), std::move(label));
}

View HeadingView(Shared<BlockNode> block)
{
    const auto& heading = *block->as<BlockNode::Heading>();
    const int level = int(std::clamp<std::int64_t>(heading.level, 1, 6));
    const View label = InlineText(alias(block, heading.content));
    const QString identifier = headingIdentifier(plainText(heading.content));
    return EnvironmentReader([block, label, level, identifier](const Environment& environment) {
        return environment.theme().heading(level).makeBody({label, contentOf(block)}).id(identifier);
    });
}

View blocksOf(const Shared<BlockNode>& owner, const std::vector<BlockNode>& children)
{
    std::vector<View> views;
    views.reserve(children.size());
    for (const BlockNode& child : children)
        views.push_back(BlockNodeView(alias(owner, child)));
    return BlockSequence(std::move(views));
}

View BlockquoteView(Shared<BlockNode> block)
{
    const View label = blocksOf(block, block->as<BlockNode::Blockquote>()->children);
    return EnvironmentReader([block, label](const Environment& environment) {
        return environment.theme().blockquote.makeBody({label, contentOf(block)});
    });
}

// `label` is built where the style puts it, so the code takes the style's font and colour.
View CodeBlockView(std::optional<QString> language, QString code, View label)
{
    return EnvironmentReader([language = std::move(language), code = std::move(code),
                              label = std::move(label)](const Environment& environment) {
        return environment.theme().codeBlock.makeBody({language, code, label});
    });
}

View CodeBlockView(std::optional<QString> language, QString code)
{
    View label = EnvironmentReader([language, code](const Environment& inner) {
        return Text(highlightedCode(inner.codeSyntaxHighlighter, code, language, inner.colorScheme));
    });
    return CodeBlockView(std::move(language), std::move(code), std::move(label));
}

// A code block's content loses one final line feed.
QString withoutFinalLineFeed(const std::string& text)
{
    QString result = fromUtf8(text);
    if (result.endsWith(QLatin1Char('\n')))
        result.chop(1);
    return result;
}

// --- Lists --------------------------------------------------------------------------------------

// The markers built inside the list being built, innermost list last. A numbered list gives its
// own markers the width of the widest marker anywhere inside it, nested lists' included.
struct MarkerColumn {
    std::vector<MarkerFrameNode*> own;
    double widest = 0;
};
thread_local std::vector<MarkerColumn*> markerColumns;

View MarkerFrame(View marker)
{
    return BuiltView([marker = std::move(marker)](const Environment& environment) -> RenderNodePtr {
        auto node = std::make_unique<MarkerFrameNode>();
        node->addChild(marker.build(environment));
        if (!markerColumns.empty()) {
            markerColumns.back()->own.push_back(node.get());
            markerColumns.back()->widest = std::max(markerColumns.back()->widest, node->naturalWidth());
        }
        return node;
    });
}

View ListItemView(Shared<markdown::RawListItem> item, int number, BlockStyle<ListMarkerConfiguration> markerStyle)
{
    return EnvironmentReader([item, number, markerStyle = std::move(markerStyle)](const Environment& environment) {
        const View marker = MarkerFrame(markerStyle.makeBody({environment.listLevel, number}));
        std::vector<View> blocks;
        for (const BlockNode& child : item->children)
            blocks.push_back(BlockNodeView(alias(item, child)));
        const View label = Label(BlockSequence(std::move(blocks)), marker);
        return environment.theme().listItem.makeBody({label, MarkdownContent::sharing(alias(item, item->children))});
    });
}

// The top-level list being built, when its items are to be kept (set around the build of a
// top-level block and taken by the first list sequence that starts).
thread_local std::optional<detail::ListItems>* topLevelList = nullptr;

std::vector<View> listItemViews(const std::vector<Shared<markdown::RawListItem>>& items, std::size_t from,
                                std::int64_t start, const BlockStyle<ListMarkerConfiguration>& style)
{
    std::vector<View> views;
    for (std::size_t i = from; i < items.size(); ++i) {
        const std::int64_t number = std::clamp<std::int64_t>(start + std::int64_t(i), INT_MIN, INT_MAX);
        views.push_back(ListItemView(items[i], int(number), style));
    }
    return views;
}

// Builds with a marker column of its own; the widest marker inside counts for an enclosing
// list too.
template <typename Build>
RenderNodePtr withMarkerColumn(MarkerColumn& column, Build build)
{
    markerColumns.push_back(&column);
    RenderNodePtr node;
    try {
        node = build();
    } catch (...) {
        markerColumns.pop_back();
        throw;
    }
    markerColumns.pop_back();
    if (!markerColumns.empty())
        markerColumns.back()->widest = std::max(markerColumns.back()->widest, column.widest);
    return node;
}

std::vector<Shared<markdown::RawListItem>> sharedItems(const Shared<BlockNode>& block,
                                                       const std::vector<markdown::RawListItem>& items)
{
    std::vector<Shared<markdown::RawListItem>> shared;
    shared.reserve(items.size());
    for (const auto& item : items)
        shared.push_back(alias(block, item));
    return shared;
}

// The items of a list, numbered from `start`, with the markers of a numbered list in one column.
View ListItemSequence(Shared<BlockNode> block, const std::vector<markdown::RawListItem>& items, std::int64_t start,
                      bool numbered)
{
    return BuiltView([shared = sharedItems(block, items), start, numbered](const Environment& environment) {
        std::optional<detail::ListItems>* keep = std::exchange(topLevelList, nullptr);
        const Theme& theme = environment.theme();
        const auto& style = numbered ? theme.numberedListMarker : theme.bulletedListMarker;
        MarkerColumn column;
        RenderNodePtr node = withMarkerColumn(
            column, [&] { return BlockSequence(listItemViews(shared, 0, start, style)).build(environment); });
        if (numbered) {
            for (MarkerFrameNode* marker : column.own)
                marker->setWidth(column.widest);
        }
        if (keep)
            *keep = detail::ListItems{node.get(), environment, std::move(column.own), column.widest};
        return node;
    });
}

View inList(View view, int level, bool isTight)
{
    return view.transformEnvironment([level, isTight](Environment& environment) {
        environment.listLevel = level + 1;
        environment.tightSpacingEnabled = isTight;
    });
}

View ListView(Shared<BlockNode> block, const std::vector<markdown::RawListItem>& items, bool isTight,
              std::int64_t start, bool numbered)
{
    const View sequence = ListItemSequence(block, items, start, numbered);
    return EnvironmentReader([block, sequence, isTight](const Environment& environment) {
        const View label = inList(sequence, environment.listLevel, isTight);
        return environment.theme().list.makeBody({label, contentOf(block)});
    });
}

View TaskListItemView(Shared<markdown::RawTaskListItem> item)
{
    return EnvironmentReader([item](const Environment& environment) {
        const View marker = environment.theme().taskListMarker.makeBody({item->isCompleted});
        std::vector<View> blocks;
        for (const BlockNode& child : item->children)
            blocks.push_back(BlockNodeView(alias(item, child)));
        const View label = Label(BlockSequence(std::move(blocks)), marker);
        return environment.theme().listItem.makeBody({label, MarkdownContent::sharing(alias(item, item->children))});
    });
}

View TaskListView(Shared<BlockNode> block)
{
    const auto& list = *block->as<BlockNode::TaskList>();
    std::vector<View> items;
    for (const auto& item : list.items)
        items.push_back(TaskListItemView(alias(block, item)));
    const View sequence = BlockSequence(std::move(items));
    return EnvironmentReader([block, sequence, isTight = list.isTight](const Environment& environment) {
        const View label = inList(sequence, environment.listLevel, isTight);
        return environment.theme().list.makeBody({label, contentOf(block)});
    });
}

// --- Tables -------------------------------------------------------------------------------------

HorizontalAlignment cellAlignment(markdown::RawTableColumnAlignment alignment)
{
    switch (alignment) {
    case markdown::RawTableColumnAlignment::center: return HorizontalAlignment::center;
    case markdown::RawTableColumnAlignment::right: return HorizontalAlignment::trailing;
    case markdown::RawTableColumnAlignment::none:
    case markdown::RawTableColumnAlignment::left: break;
    }
    return HorizontalAlignment::leading;
}

View TableCellView(int row, int column, Shared<markdown::RawTableCell> cell)
{
    View label;
    const auto items = cell->content.empty() ? std::nullopt : imageFlowItems(cell->content);
    if (items)
        label = ImageFlow(*items);
    else
        label = InlineText(alias(cell, cell->content));
    return EnvironmentReader([row, column, cell, label](const Environment& environment) {
        const MarkdownContent content(std::vector<BlockNode>{BlockNode::paragraph(cell->content)});
        return environment.theme().tableCell.makeBody({row, column, label, content});
    });
}

// The border lines the environment's border style selects, each stroked inside its rectangle.
View TableBorderView(const TableBounds& bounds)
{
    return EnvironmentReader([bounds](const Environment& environment) {
        const TableBorderStyle& style = environment.tableBorderStyle;
        std::vector<View> lines;
        for (const QRectF& rect : style.visibleBorders.rectangles(bounds, style.strokeStyle.lineWidth)) {
            ShapeStyle shape;
            shape.stroke = style.color;
            shape.strokeStyle = style.strokeStyle;
            lines.push_back(Shape(ShapeKind::rectangle, shape).frame(rect.width(), rect.height()).offset(rect.x(), rect.y()));
        }
        return ZStack(std::move(lines), Alignment::topLeading());
    });
}

// The grid's geometry as seen from its padded frame: the border lines lie in the padding.
TableBounds padded(const TableBounds& grid, double padding)
{
    TableBounds result = grid;
    result.bounds = grid.bounds.adjusted(0, 0, 2 * padding, 2 * padding);
    for (auto& row : result.rows)
        row.minY += padding;
    for (auto& column : result.columns)
        column.minX += padding;
    return result;
}

// One cell per column: a short row ends in empty cells, extra cells are not shown.
std::vector<View> tableRowCells(const Shared<BlockNode>& block, std::size_t row)
{
    static const auto emptyCell = std::make_shared<const markdown::RawTableCell>();
    const auto& table = *block->as<BlockNode::Table>();
    const auto& cells = table.rows[row].cells;
    std::vector<View> views;
    views.reserve(table.columnAlignments.size());
    for (std::size_t c = 0; c < table.columnAlignments.size(); ++c)
        views.push_back(TableCellView(int(row), int(c), c < cells.size() ? alias(block, cells[c]) : emptyCell));
    return views;
}

GridOptions tableGridOptions(const BlockNode::Table& table, double borderWidth)
{
    GridOptions options;
    options.horizontalSpacing = borderWidth;
    options.verticalSpacing = borderWidth;
    for (const auto alignment : table.columnAlignments)
        options.columnAlignments.push_back(cellAlignment(alignment));
    options.background = [borderWidth](const TableBounds& bounds) {
        return TableBackgroundView(padded(bounds, borderWidth)).offset(-borderWidth, -borderWidth);
    };
    options.overlay = [borderWidth](const TableBounds& bounds) {
        return TableBorderView(padded(bounds, borderWidth)).offset(-borderWidth, -borderWidth);
    };
    return options;
}

// The table's style around its grid, which `grid` makes from the border width.
View TableView(Shared<BlockNode> block, std::function<View(double borderWidth)> grid)
{
    return EnvironmentReader([block = std::move(block), grid = std::move(grid)](const Environment& environment) {
        const double borderWidth = std::max(0.0, environment.tableBorderStyle.strokeStyle.lineWidth);
        const View label = grid(borderWidth).padding(borderWidth);
        return environment.theme().table.makeBody({label, contentOf(block)});
    });
}

View TableView(Shared<BlockNode> block)
{
    return TableView(block, [block](double borderWidth) {
        const auto& table = *block->as<BlockNode::Table>();
        std::vector<std::vector<View>> rows;
        rows.reserve(table.rows.size());
        for (std::size_t r = 0; r < table.rows.size(); ++r)
            rows.push_back(tableRowCells(block, r));
        return Grid(std::move(rows), tableGridOptions(table, borderWidth));
    });
}

// --- Blocks laid out in parts -------------------------------------------------------------------

// The views of a long block's parts, made afresh for each build of the stack of them: how to build
// a part, and, for parts that each take up where the one above left off, what follows from one
// being measured (see LazyStackContent::measured).
struct PartViews {
    std::function<View(std::size_t part)> build;
    std::function<bool(std::size_t part, RenderNode& node)> measured;
};

// The parts of a long block one below the other, as lines of one text follow each other: each
// built when the document's lazy stack asks for it, estimated until measured. Parts that are
// texts of their own are set apart by the line spacing (`spaced`); parts of one text space
// themselves as its lines.
View PartStack(std::shared_ptr<const detail::BlockParts> parts, std::function<PartViews()> views, bool spaced)
{
    return EnvironmentReader([parts = std::move(parts), views = std::move(views), spaced](const Environment& environment) {
        const AttributeContainer attributes = environment.textStyle.attributes();
        const double size = attributes.fontProperties ? attributes.fontProperties->scaledSize() : FontProperties::defaultSize;
        const double spacing = spaced && std::isfinite(environment.lineSpacing) ? std::max(0.0, environment.lineSpacing) : 0;
        return LazyVStack(
            [parts, views, size](const Environment& inner) {
                PartViews made = views();
                LazyStackContent content;
                content.count = parts->count();
                content.build = [build = std::move(made.build), inner](std::size_t i) { return build(i).build(inner); };
                content.measured = std::move(made.measured);
                content.estimate = [parts, size](std::size_t i, double width) {
                    const detail::BlockParts::Extent& extent = parts->extents[i];
                    return 1.25 * size * (extent.lines + extent.characters * 0.5 * size / std::max(width, 1.0));
                };
                return content;
            },
            environment.multilineTextAlignment, [spacing](const BlockMargin&, const BlockMargin&) { return spacing; });
    });
}

// Where each part of a paragraph laid out in parts begins, as the part above it was last
// measured; at its cut, without a text from above, until it is.
class PartStarts {
public:
    explicit PartStarts(std::size_t count) : m_starts(count) {}

    TextNode::RunOn start(std::size_t part) const
    {
        if (m_starts[part])
            return *m_starts[part];
        TextNode::RunOn cut;
        cut.continuation.above = part > 0;
        return cut;
    }
    // A part was measured: true when the part below begins elsewhere now.
    bool measured(std::size_t part, RenderNode& node)
    {
        const std::vector<TextNode*> texts = collectTextNodes(node);
        if (texts.empty())
            return false;
        TextNode::RunOn rest = texts.front()->runOn();
        if (m_starts[part + 1] == rest)
            return false;
        m_starts[part + 1] = std::move(rest);
        return true;
    }

private:
    std::vector<std::optional<TextNode::RunOn>> m_starts;
};

View PartedParagraphView(const Shared<BlockNode>& block, std::shared_ptr<const detail::BlockParts> parts)
{
    auto views = [block, parts] {
        auto starts = std::make_shared<PartStarts>(parts->count());
        PartViews made;
        made.build = [block, parts, starts](std::size_t part) {
            const auto& inlines = block->as<BlockNode::Paragraph>()->content;
            const detail::BlockParts::Cut from = parts->cuts[part];
            const bool afterSoftBreak = from.offset == 0 && from.inlineIndex > 0
                && inlines[from.inlineIndex - 1].is<InlineNode::SoftBreak>();
            const bool runsOn = part + 1 < parts->count();
            // The part's own inlines after the text the part above left to it.
            auto show = [starts, part, runsOn](StyledText styled) {
                return EnvironmentReader([starts, part, runsOn, styled = std::make_shared<const StyledText>(std::move(styled))](
                                             const Environment& environment) {
                    TextNode::RunOn text = starts->start(part);
                    appendStyledText(text.text, text.images, *styled, environment.colorScheme);
                    text.continuation.below = runsOn;
                    return Text(std::move(text.text), std::move(text.images), text.continuation);
                });
            };
            return InlineText(std::make_shared<const std::vector<InlineNode>>(detail::partInlines(inlines, *parts, part)),
                              std::move(show), afterSoftBreak);
        };
        made.measured = [starts](std::size_t part, RenderNode& node) { return starts->measured(part, node); };
        return made;
    };
    return ParagraphView(block, PartStack(parts, std::move(views), false));
}

View PartedCodeBlockView(const Shared<BlockNode>& block, std::shared_ptr<const detail::BlockParts> parts)
{
    const auto& code = *block->as<BlockNode::CodeBlock>();
    auto language = code.fenceInfo ? std::optional(fromUtf8(*code.fenceInfo)) : std::nullopt;
    // Each part highlighted alone: a token that spans two parts (a comment of many lines) is
    // read as two.
    View label = EnvironmentReader([block, parts, language](const Environment& inner) {
        auto views = [block, parts, language, inner] {
            return PartViews{[block, parts, language, inner](std::size_t part) {
                                 const QString text = fromUtf8(detail::partCode(block->as<BlockNode::CodeBlock>()->content, *parts, part));
                                 return Text(highlightedCode(inner.codeSyntaxHighlighter, text, language, inner.colorScheme));
                             },
                             {}};
        };
        return PartStack(parts, std::move(views), true);
    });
    return CodeBlockView(std::move(language), withoutFinalLineFeed(code.content), std::move(label));
}

View PartedTableView(const Shared<BlockNode>& block, std::shared_ptr<const detail::BlockParts> parts)
{
    return TableView(block, [block, parts](double borderWidth) {
        GridParts grid;
        grid.starts = parts->starts;
        grid.row = [block](std::size_t row) { return tableRowCells(block, row); };
        grid.widthRows = detail::columnWidthRows;
        grid.estimate = [parts](std::size_t part, double) {
            // A row of one line, with the cells' padding.
            return 28 * parts->extents[part].lines;
        };
        return PartedGrid(std::move(grid), tableGridOptions(*block->as<BlockNode::Table>(), borderWidth));
    });
}

// --- Dispatch -----------------------------------------------------------------------------------

View dispatch(const Shared<BlockNode>& block)
{
    return std::visit(
        [&block](const auto& value) -> View {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, BlockNode::Blockquote>) {
                return BlockquoteView(block);
            } else if constexpr (std::is_same_v<T, BlockNode::BulletedList>) {
                return ListView(block, value.items, value.isTight, 1, false);
            } else if constexpr (std::is_same_v<T, BlockNode::NumberedList>) {
                return ListView(block, value.items, value.isTight, value.start, true);
            } else if constexpr (std::is_same_v<T, BlockNode::TaskList>) {
                return TaskListView(block);
            } else if constexpr (std::is_same_v<T, BlockNode::CodeBlock>) {
                const auto language = value.fenceInfo ? std::optional(fromUtf8(*value.fenceInfo)) : std::nullopt;
                return CodeBlockView(language, withoutFinalLineFeed(value.content));
            } else if constexpr (std::is_same_v<T, BlockNode::HtmlBlock>) {
                // Shown as its source, never interpreted.
                const QString source = withoutFinalLineFeed(value.content);
                const auto paragraph = std::make_shared<const BlockNode>(
                    BlockNode::paragraph({InlineNode::text(source.toStdString())}));
                return ParagraphView(paragraph, alias(paragraph, paragraph->as<BlockNode::Paragraph>()->content));
            } else if constexpr (std::is_same_v<T, BlockNode::Paragraph>) {
                return ParagraphView(block, alias(block, value.content));
            } else if constexpr (std::is_same_v<T, BlockNode::Heading>) {
                return HeadingView(block);
            } else if constexpr (std::is_same_v<T, BlockNode::Table>) {
                return TableView(block);
            } else {
                return ThematicBreakView();
            }
        },
        block->value);
}

} // namespace

View BlockNodeView(std::shared_ptr<const BlockNode> block)
{
    return BuiltView([block = std::move(block)](const Environment& environment) {
        const DepthGuard depth;
        if (blockDepth > maximumBlockDepth) {
            // Too deep to draw as structure: the text, kept, as one paragraph.
            const auto paragraph = std::make_shared<const BlockNode>(
                BlockNode::paragraph({InlineNode::text(detail::flattenedText(*block).toStdString())}));
            return ParagraphView(paragraph, alias(paragraph, paragraph->as<BlockNode::Paragraph>()->content))
                .build(environment);
        }
        return dispatch(block).build(environment);
    });
}

View BlockNodeView(const BlockNode& block)
{
    return BlockNodeView(std::make_shared<const BlockNode>(block));
}

namespace detail {

QString flattenedText(const BlockNode& root)
{
    QStringList pieces;
    std::vector<const BlockNode*> stack{&root};
    while (!stack.empty()) {
        const BlockNode* block = stack.back();
        stack.pop_back();
        if (const auto* p = block->as<BlockNode::Paragraph>())
            pieces << plainText(p->content);
        else if (const auto* h = block->as<BlockNode::Heading>())
            pieces << plainText(h->content);
        else if (const auto* c = block->as<BlockNode::CodeBlock>())
            pieces << fromUtf8(c->content);
        else if (const auto* html = block->as<BlockNode::HtmlBlock>())
            pieces << fromUtf8(html->content);
        else if (const auto* t = block->as<BlockNode::Table>()) {
            for (const auto& row : t->rows) {
                QStringList cells;
                for (const auto& cell : row.cells)
                    cells << plainText(cell.content);
                pieces << cells.join(QLatin1Char('\t'));
            }
        }
        // Children in reading order: the stack takes them last first.
        std::vector<const BlockNode*> children;
        forEachChildList(*block, [&children](const std::vector<BlockNode>& list) {
            for (const BlockNode& child : list)
                children.push_back(&child);
        });
        stack.insert(stack.end(), children.rbegin(), children.rend());
    }
    pieces.removeAll(QString());
    return pieces.join(QLatin1Char('\n'));
}

namespace {

// How deep the block nesting under a block goes, counted up to `limit` without recursion.
int depthUpTo(const BlockNode& root, int limit)
{
    int deepest = 1;
    std::vector<std::pair<const BlockNode*, int>> stack{{&root, 1}};
    while (!stack.empty()) {
        const auto [block, depth] = stack.back();
        stack.pop_back();
        deepest = std::max(deepest, depth);
        if (deepest > limit)
            return deepest;
        forEachChildList(*block, [&stack, depth](const std::vector<BlockNode>& children) {
            for (const BlockNode& child : children)
                stack.push_back({&child, depth + 1});
        });
    }
    return deepest;
}

BlockNode capped(const BlockNode& block, int depth)
{
    if (depth >= maximumBlockDepth && depthUpTo(block, 1) > 1)
        return BlockNode::paragraph({InlineNode::text(flattenedText(block).toStdString())});
    auto children = [depth](const std::vector<BlockNode>& blocks) {
        std::vector<BlockNode> result;
        result.reserve(blocks.size());
        for (const BlockNode& child : blocks)
            result.push_back(capped(child, depth + 1));
        return result;
    };
    if (const auto* q = block.as<BlockNode::Blockquote>())
        return BlockNode::blockquote(children(q->children));
    if (const auto* b = block.as<BlockNode::BulletedList>()) {
        std::vector<markdown::RawListItem> items;
        for (const auto& item : b->items)
            items.push_back({children(item.children)});
        return BlockNode::bulletedList(b->isTight, std::move(items));
    }
    if (const auto* n = block.as<BlockNode::NumberedList>()) {
        std::vector<markdown::RawListItem> items;
        for (const auto& item : n->items)
            items.push_back({children(item.children)});
        return BlockNode::numberedList(n->isTight, n->start, std::move(items));
    }
    if (const auto* t = block.as<BlockNode::TaskList>()) {
        std::vector<markdown::RawTaskListItem> items;
        for (const auto& item : t->items)
            items.push_back({item.isCompleted, children(item.children)});
        return BlockNode::taskList(t->isTight, std::move(items));
    }
    return block;
}

} // namespace

std::optional<BlockNode> cappedBlock(const BlockNode& block)
{
    if (depthUpTo(block, maximumBlockDepth) <= maximumBlockDepth)
        return std::nullopt;
    return capped(block, 1);
}

RenderNodePtr buildTopLevelBlock(const std::shared_ptr<const BlockNode>& block, const Environment& environment,
                                 std::optional<ListItems>& items, std::shared_ptr<const BlockParts> parts)
{
    items.reset();
    if (parts) {
        const DepthGuard depth;
        if (block->is<BlockNode::Paragraph>())
            return PartedParagraphView(block, std::move(parts)).build(environment);
        if (block->is<BlockNode::CodeBlock>())
            return PartedCodeBlockView(block, std::move(parts)).build(environment);
        if (block->is<BlockNode::Table>())
            return PartedTableView(block, std::move(parts)).build(environment);
    }
    const bool isList = block->is<BlockNode::BulletedList>() || block->is<BlockNode::NumberedList>();
    topLevelList = isList ? &items : nullptr;
    RenderNodePtr node = BlockNodeView(block).build(environment);
    topLevelList = nullptr;
    return node;
}

bool updateListItems(ListItems& items, const BlockNode& before, const std::shared_ptr<const BlockNode>& after)
{
    const std::vector<markdown::RawListItem>* oldItems = nullptr;
    const std::vector<markdown::RawListItem>* newItems = nullptr;
    std::int64_t start = 1;
    bool numbered = false;
    if (const auto* a = before.as<BlockNode::BulletedList>()) {
        const auto* b = after->as<BlockNode::BulletedList>();
        if (!b || a->isTight != b->isTight)
            return false;
        oldItems = &a->items;
        newItems = &b->items;
    } else if (const auto* a = before.as<BlockNode::NumberedList>()) {
        const auto* b = after->as<BlockNode::NumberedList>();
        if (!b || a->isTight != b->isTight || a->start != b->start)
            return false;
        oldItems = &a->items;
        newItems = &b->items;
        start = b->start;
        numbered = true;
    } else {
        return false;
    }
    std::size_t same = 0;
    while (same < oldItems->size() && same < newItems->size() && (*oldItems)[same] == (*newItems)[same])
        ++same;
    if (same == 0 || items.stack->children().size() != oldItems->size() || items.markers.size() != oldItems->size())
        return false;
    const DepthGuard depth; // the items stand one level below the document
    const Theme& theme = items.environment.theme();
    const auto& style = numbered ? theme.numberedListMarker : theme.bulletedListMarker;
    const auto shared = sharedItems(after, *newItems);
    MarkerColumn column;
    column.widest = items.widest;
    std::vector<RenderNodePtr> built;
    Environment inner = items.environment;
    inner.stackAxis = Axis::vertical;
    withMarkerColumn(column, [&] {
        for (View& view : listItemViews(shared, same, start, style))
            built.push_back(view.build(inner));
        return RenderNodePtr();
    });
    // The list's own markers are one per item, in order: those of the items kept stay.
    items.markers.resize(same);
    items.markers.insert(items.markers.end(), column.own.begin(), column.own.end());
    items.widest = column.widest;
    if (numbered) {
        for (MarkerFrameNode* marker : items.markers)
            marker->setWidth(items.widest);
    }
    const bool tight = items.environment.tightSpacingEnabled;
    replaceStackChildren(*items.stack, same, std::move(built),
                         [tight](const BlockMargin& previous, const BlockMargin& next) {
                             return blockGap(previous, next, tight);
                         });
    return true;
}

} // namespace detail

double blockGap(const BlockMargin& previous, const BlockMargin& next, bool tightSpacing)
{
    const std::optional<double> above = tightSpacing ? std::optional(0.0) : previous.bottom;
    if (!above && !next.top)
        return defaultBlockSpacing;
    return std::max(above.value_or(0), next.top.value_or(0));
}

View BlockSequence(std::vector<View> children)
{
    return EnvironmentReader([children = std::move(children)](const Environment& environment) {
        const bool tight = environment.tightSpacingEnabled;
        return VStackByMargins(children, environment.multilineTextAlignment,
                               [tight](const BlockMargin& previous, const BlockMargin& next) {
                                   return blockGap(previous, next, tight);
                               });
    });
}

} // namespace mddoc
