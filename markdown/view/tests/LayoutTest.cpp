#include "mdview/Environment.h"
#include "mdview/Host.h"
#include "mdview/TextNode.h"
#include "mdview/View.h"

#include <gtest/gtest.h>

using namespace mdview;

namespace {

View box(double width, double height)
{
    return ColorView(Color::black()).frame(width, height);
}

// The frame of the n-th node of a type in document order, as "x,y wxh".
QString frameOf(const RenderNode& node)
{
    const QRectF& f = node.frame();
    return QStringLiteral("%1,%2 %3x%4").arg(f.x()).arg(f.y()).arg(f.width()).arg(f.height());
}

std::vector<const RenderNode*> nodesOfType(const RenderNode& root, const char* type)
{
    std::vector<const RenderNode*> out;
    std::function<void(const RenderNode&)> walk = [&](const RenderNode& n) {
        if (qstrcmp(n.typeName(), type) == 0)
            out.push_back(&n);
        for (const auto& child : n.children())
            walk(*child);
    };
    walk(root);
    return out;
}

QStringList framesOfType(const RenderNode& root, const char* type)
{
    QStringList frames;
    for (const RenderNode* node : nodesOfType(root, type))
        frames << frameOf(*node);
    return frames;
}

} // namespace

TEST(Layout, VerticalStackAppliesSpacingAndAlignment)
{
    const Environment env;
    struct Case {
        HorizontalAlignment alignment;
        QStringList frames;
    } cases[] = {
        {HorizontalAlignment::leading, {"0,0 40x20", "0,30 80x10"}},
        {HorizontalAlignment::center, {"20,0 40x20", "0,30 80x10"}},
        {HorizontalAlignment::trailing, {"40,0 40x20", "0,30 80x10"}},
    };
    for (const Case& c : cases) {
        const auto root = layoutView(VStack({box(40, 20), EmptyView(), box(80, 10)}, c.alignment, 10), env, 80);
        EXPECT_EQ(frameOf(*root), "0,0 80x40");
        EXPECT_EQ(framesOfType(*root, "Frame"), c.frames);
    }
}

TEST(Layout, HorizontalStackSharesWidthAndSpacerTakesTheRest)
{
    const Environment env;
    const auto root = layoutView(HStack({box(30, 10), Spacer(), box(20, 30)}, VerticalAlignment::bottom, 5), env, 200);
    EXPECT_EQ(framesOfType(*root, "Frame"), (QStringList{"0,20 30x10", "180,0 20x30"}));
    EXPECT_EQ(framesOfType(*root, "Spacer"), (QStringList{"35,30 140x0"}));
}

TEST(Layout, PaddingAndFramesPlaceTheirContent)
{
    const Environment env;
    const auto root = layoutView(
        VStack({box(10, 10).padding(EdgeInsets{1, 2, 3, 4}),
                box(10, 10).frame(View::FlexibleFrame{std::nullopt, infinity, std::nullopt, std::nullopt,
                                                      Alignment::trailing()}),
                box(10, 10).frame(View::FlexibleFrame{30.0, std::nullopt, std::nullopt, std::nullopt,
                                                      Alignment::center()})},
               HorizontalAlignment::leading, 0),
        env, 100);
    const QString dump = dumpLayout(*root);
    EXPECT_EQ(framesOfType(*root, "Padding"), (QStringList{"0,0 16x14"})) << qPrintable(dump);
    EXPECT_EQ(framesOfType(*root, "FlexibleFrame"), (QStringList{"0,14 100x10", "0,24 30x10"}));
    // The boxes themselves: inset by the padding, pushed right, centred.
    EXPECT_EQ(framesOfType(*root, "Frame"), (QStringList{"2,1 10x10", "90,14 10x10", "10,24 10x10"}));
}

TEST(Layout, FirstBaselineAlignmentLinesUpTextOfDifferentSizes)
{
    Environment big;
    big.textStyle = textStyle(FontProperties{}, FontSize(26.0));
    const View small = Text(QStringLiteral("small"));
    const View large = Text(QStringLiteral("Large")).transformEnvironment([big](Environment& e) { e = big; });
    const auto root = layoutView(HStack({small, large, box(4, 4)}, VerticalAlignment::firstTextBaseline, 4),
                                 Environment{}, 400);
    const auto texts = collectTextNodes(*const_cast<RenderNode*>(root.get()));
    ASSERT_EQ(texts.size(), 2u);
    const double smallBaseline = texts[0]->frame().top() + *texts[0]->firstBaseline(texts[0]->frame().size());
    const double largeBaseline = texts[1]->frame().top() + *texts[1]->firstBaseline(texts[1]->frame().size());
    EXPECT_NEAR(smallBaseline, largeBaseline, 0.01);
    EXPECT_GT(texts[0]->frame().top(), texts[1]->frame().top());
    // A view without text sits on the baseline with its bottom.
    EXPECT_NEAR(nodesOfType(*root, "Frame").front()->frame().bottom(), largeBaseline, 0.01);
    // The stack reports the shared baseline as its own.
    EXPECT_NEAR(*root->firstBaseline(root->frame().size()), largeBaseline, 0.01);
}

TEST(Layout, FlowBreaksRowsAndAlignsItemsAtTheRowBottom)
{
    const Environment env;
    struct Case {
        const char* name;
        std::vector<View> children;
        std::optional<double> width;
        double vertical;
        QString size;
        QStringList frames;
    } cases[] = {
        {"third child wraps", {box(40, 20), box(40, 20), box(40, 20)}, 130, 0, "90x40",
         {"0,0 40x20", "50,0 40x20", "0,20 40x20"}},
        {"exact fit", {box(40, 20), box(40, 20), box(40, 20)}, 140, 0, "140x20",
         {"0,0 40x20", "50,0 40x20", "100,0 40x20"}},
        {"wide first child stays", {box(300, 20), box(10, 10)}, 100, 0, "300x30", {"0,0 300x20", "0,20 10x10"}},
        {"unspecified width is one row", {box(300, 20), box(300, 20)}, std::nullopt, 0, "610x20",
         {"0,0 300x20", "310,0 300x20"}},
        {"bottoms align", {box(10, 20), box(10, 50)}, 100, 0, "30x50", {"0,30 10x20", "20,0 10x50"}},
        {"vertical spacing", {box(60, 20), box(60, 30)}, 100, 4, "60x54", {"0,0 60x20", "0,24 60x30"}},
        {"no children", {}, 100, 4, "0x0", {}},
        // A child of negative priority is offered what is left of the row; others the whole width.
        {"negative priority takes the rest",
         {box(20, 10), ColorView(Color::black()).frame(std::nullopt, 10).layoutPriority(-1)}, 100, 0, "100x10",
         {"0,0 20x10", "30,0 70x10"}},
        {"default priority is offered the width",
         {box(20, 10), ColorView(Color::black()).frame(std::nullopt, 10)}, 100, 0, "100x20",
         {"0,0 20x10", "0,10 100x10"}},
        {"child as wide as the flow fills a row", {box(20, 10), box(100, 10), box(20, 10)}, 100, 0, "100x30",
         {"0,0 20x10", "0,10 100x10", "0,20 20x10"}},
    };
    for (const Case& c : cases) {
        RenderNodePtr root = Flow(c.children, 10, c.vertical).build(env);
        const QSizeF size = root->measure({c.width, std::nullopt});
        root->place(QRectF(QPointF(0, 0), size));
        EXPECT_EQ(QStringLiteral("%1x%2").arg(size.width()).arg(size.height()), c.size) << c.name;
        EXPECT_EQ(framesOfType(*root, "Frame"), c.frames) << c.name;
    }
}

TEST(Layout, FlowPlacesTheRowsOfItsFrameWhateverWasMeasuredLast)
{
    RenderNodePtr flow = Flow({box(40, 20), box(40, 20), box(40, 20)}, 10, 0).build(Environment{});
    const QSizeF narrow = flow->measure({100.0, std::nullopt});
    flow->measure({300.0, std::nullopt}); // wider for a while, then back: the narrow size is cached
    ASSERT_EQ(flow->measure({100.0, std::nullopt}), narrow);
    flow->place(QRectF(QPointF(0, 0), narrow));
    EXPECT_EQ(framesOfType(*flow, "Frame"), (QStringList{"0,0 40x20", "50,0 40x20", "0,20 40x20"}));
    // Fractional sizes: a row exactly as wide as the frame stays one row.
    RenderNodePtr fractional = Flow({box(10.1, 5), box(20.7, 5), box(0.3, 5)}, 0.1, 0).build(Environment{});
    const QSizeF ideal = fractional->measure({});
    fractional->place(QRectF(QPointF(0, 0), ideal));
    EXPECT_EQ(nodesOfType(*fractional, "Frame").back()->frame().top(), 0);
}

TEST(Layout, ResizeToFitShrinksToTheOfferedWidthOnly)
{
    const Environment env;
    struct Case {
        QSizeF natural;
        std::optional<double> width;
        std::optional<double> height;
        QSizeF expected;
    } cases[] = {
        {{800, 400}, 200, std::nullopt, {200, 100}},
        {{100, 50}, 300, std::nullopt, {100, 50}},
        {{100, 50}, 100, std::nullopt, {100, 50}},
        {{100, 50}, std::nullopt, std::nullopt, {100, 50}},
        {{100, 50}, 300, 10, {100, 50}},
        {{500, 0}, 100, std::nullopt, {100, 0}},
    };
    for (const Case& c : cases) {
        RenderNodePtr node = ResizeToFit(box(c.natural.width(), c.natural.height())).build(env);
        EXPECT_EQ(node->measure({c.width, c.height}), c.expected) << c.natural.width() << "x" << c.natural.height();
    }
    RenderNodePtr empty = ResizeToFit(EmptyView()).build(env);
    EXPECT_EQ(empty->measure({100.0, std::nullopt}), QSizeF(0, 0));
}

TEST(Layout, GridExposesTableBoundsAndBuildsLayersFromThem)
{
    const Environment env;
    std::vector<TableBounds> seen;
    GridOptions options;
    options.horizontalSpacing = 1;
    options.verticalSpacing = 1;
    options.background = [&seen](const TableBounds& bounds) {
        seen.push_back(bounds);
        return EmptyView();
    };
    // The second row is short: its missing cell counts as empty.
    const auto root = layoutView(Grid({{box(40, 10), box(20, 10)}, {box(30, 25)}}, options), env, 300);
    const auto grids = nodesOfType(*root, "Grid");
    ASSERT_EQ(seen.size(), 1u);
    const TableBounds& b = seen.front();
    EXPECT_EQ(b.bounds, QRectF(0, 0, 61, 36));
    EXPECT_EQ(b.rows, (std::vector<TableBounds::Row>{{0, 10}, {11, 25}}));
    EXPECT_EQ(b.columns, (std::vector<TableBounds::Column>{{0, 40}, {41, 20}}));
    EXPECT_TRUE(dumpLayout(*root).contains("rows[0+10 11+25] columns[0+40 41+20]"));
}

TEST(Layout, GridShrinksColumnsToTheOfferedWidth)
{
    const Environment env;
    const View wide = Text(QStringLiteral("many words that wrap when the column gets narrow"));
    const auto root = layoutView(Grid({{wide, box(20, 10)}}), env, 120);
    EXPECT_LE(root->frame().width(), 120);
    const auto texts = collectTextNodes(*root);
    EXPECT_LE(texts.front()->frame().right(), 100.5);
    EXPECT_GT(texts.front()->frame().height(), 20); // wrapped onto several lines

    // Short columns keep their words whole; the long one wraps in what they leave.
    const View shortText = Text(QStringLiteral("Folder"));
    const double line = shortText.build(env)->measure({}).height();
    const auto table = layoutView(Grid({{shortText, wide, Text(QStringLiteral("Lines"))},
                                        {Text(QStringLiteral("platform")), Text(QStringLiteral("services")),
                                         Text(QStringLiteral("4,210"))}}),
                                  env, 200);
    EXPECT_LE(table->frame().width(), 200);
    const auto cells = collectTextNodes(*table);
    for (std::size_t i : {0, 2, 3, 4, 5})
        EXPECT_EQ(cells[i]->frame().height(), line) << qPrintable(cells[i]->text());
    EXPECT_GT(cells[1]->frame().height(), 2 * line);
}

TEST(Layout, DumpShowsMarginsAndIdentifiers)
{
    const Environment env;
    const View view = VStack({box(10, 10).markdownMargin(8, std::nullopt).id(QStringLiteral("intro")),
                              box(10, 10).markdownMargin(12, 4)}, HorizontalAlignment::leading, 0);
    const QString dump = dumpLayout(view, env, 50);
    EXPECT_TRUE(dump.startsWith("VStack 0,0 10x20 margin(12,4)\n")) << qPrintable(dump);
    EXPECT_TRUE(dump.contains("Frame 0,0 10x10 margin(8,-) id=intro")) << qPrintable(dump);
}

TEST(Layout, DecorationsTakeTheirContentsSize)
{
    const Environment env;
    const View view = box(40, 20)
                          .background(ColorView(Color::white()).padding(-2))
                          .overlay(box(10, 10), Alignment::bottomLeading())
                          .offset(5, 7)
                          .clipRoundedRect(4);
    const auto root = layoutView(VStack({view, box(1, 1)}, HorizontalAlignment::leading, 0), env, 100);
    EXPECT_EQ(framesOfType(*root, "Clip"), (QStringList{"0,0 40x20"}));
    EXPECT_EQ(framesOfType(*root, "Offset"), (QStringList{"0,0 40x20"}));
    EXPECT_EQ(framesOfType(*root, "Overlay"), (QStringList{"5,7 40x20"}));
    // The background is proposed the content's size; the overlay is aligned bottom-leading.
    EXPECT_EQ(framesOfType(*root, "Padding"), (QStringList{"5,7 40x20"}));
    EXPECT_EQ(framesOfType(*root, "Frame"), (QStringList{"5,7 40x20", "5,17 10x10", "0,20 1x1"}));
    // The following sibling ignores the offset.
    EXPECT_EQ(frameOf(*root), "0,0 40x21");
}

TEST(Layout, LabelAndZStackAlignment)
{
    const Environment env;
    const auto root = layoutView(ZStack({box(50, 30), box(10, 10)}, Alignment::topTrailing()), env, 100);
    EXPECT_EQ(framesOfType(*root, "Frame"), (QStringList{"0,0 50x30", "40,0 10x10"}));
    const auto label = layoutView(Label(Text(QStringLiteral("Title")), box(8, 8)), env, 200);
    const auto texts = collectTextNodes(*label);
    ASSERT_EQ(texts.size(), 1u);
    const double baseline = texts[0]->frame().top() + *texts[0]->firstBaseline(texts[0]->frame().size());
    EXPECT_NEAR(nodesOfType(*label, "Frame").front()->frame().bottom(), baseline, 0.01);
    EXPECT_EQ(texts[0]->frame().left(), 14);
}

TEST(Layout, HorizontalScrollOffersUnlimitedWidthAndClampsItsOffset)
{
    const Environment env;
    RenderNodePtr root = layoutView(
        VStack({HorizontalScroll(Text(QStringLiteral("a long line of code that does not wrap at all in the scroller"))),
                box(50, 5)},
               HorizontalAlignment::leading, 0),
        env, 100);
    const RenderNode* scroll = nodesOfType(*root, "HorizontalScroll").front();
    const auto texts = collectTextNodes(*root);
    EXPECT_EQ(scroll->frame().width(), 100);
    const double textWidth = texts[0]->frame().width();
    EXPECT_GT(textWidth, 200);
    EXPECT_LT(texts[0]->frame().height(), 20); // one line
    // Scrolling moves the content's frames and stops at the ends.
    ViewHost host;
    host.setView(VStack({HorizontalScroll(Text(QStringLiteral("a long line of code that does not wrap at all")))}));
    host.layout(100);
    const auto hostTexts = collectTextNodes(*host.root());
    const QPointF inside(50, hostTexts[0]->frame().center().y());
    EXPECT_TRUE(host.scrollHorizontally(inside, 30));
    EXPECT_EQ(hostTexts[0]->frame().left(), -30);
    EXPECT_TRUE(host.scrollHorizontally(inside, 10000));
    EXPECT_EQ(hostTexts[0]->frame().right(), 100);
    EXPECT_FALSE(host.scrollHorizontally(inside, 5));
    EXPECT_TRUE(host.scrollHorizontally(inside, -10000));
    EXPECT_EQ(hostTexts[0]->frame().left(), 0);
}

TEST(Layout, HitTestingFindsTheChildInALongStack)
{
    const Environment env;
    std::vector<View> rows;
    for (int i = 0; i < 2000; ++i)
        rows.push_back(box(50, 10).id(QString::number(i)));
    const auto root = layoutView(VStack(rows, HorizontalAlignment::leading, 2), env, 50);
    for (int i : {0, 1, 777, 1999}) {
        RenderNode* hit = root->hitTest(QPointF(25, i * 12.0 + 5));
        while (hit && hit->id().isEmpty())
            hit = hit->parent();
        ASSERT_NE(hit, nullptr) << i;
        EXPECT_EQ(hit->id(), QString::number(i));
    }
    EXPECT_EQ(root->hitTest(QPointF(25, 11)), root.get()); // in the spacing between rows
}

TEST(Layout, GapsBetweenBlocksComeFromTheirMargins)
{
    const Environment env;
    // The larger of the earlier bottom and the later top, never their sum.
    const GapBetween collapse = [](const BlockMargin& previous, const BlockMargin& next) {
        return std::max(previous.bottom.value_or(0), next.top.value_or(0));
    };
    const auto root = layoutView(VStackByMargins({box(10, 10).markdownMargin(4, 16), EmptyView(), box(10, 10).markdownMargin(8, 2),
                                         box(10, 10)},
                                        HorizontalAlignment::leading, collapse),
                                 env, 100);
    EXPECT_EQ(framesOfType(*root, "Frame"), (QStringList{"0,0 10x10", "0,26 10x10", "0,38 10x10"}));
    EXPECT_EQ(root->blockMargin(), (BlockMargin{8, 16}));
}

TEST(Layout, TextBreaksLinesByTheWidthAloneWhateverWidthsCameBefore)
{
    const Environment env;
    const QString texts[] = {
        QStringLiteral("A paragraph of running text that wraps over several lines when the width is narrow, "
                       "with a veryveryverylongwordthatmustbreakanywhere in it."),
        QStringLiteral("Short line\nand another after a hard break\nand a third"),
        QStringLiteral("one"),
        QString(),
    };
    const double widths[] = {800, 300, 290, 310, 500, 120, 121, 1000, 295, 0, 40, 2000};
    for (const QString& text : texts) {
        RenderNodePtr reused = Text(text).build(env);
        for (double width : widths) {
            RenderNodePtr fresh = Text(text).build(env);
            const QSizeF expected = fresh->measure({width, std::nullopt});
            EXPECT_EQ(reused->measure({width, std::nullopt}), expected) << qPrintable(text) << " at " << width;
            // Baselines and painting ask for the frame's width, which may be narrower.
            reused->place(QRectF(QPointF(0, 0), expected));
            EXPECT_EQ(reused->measure({expected.width(), std::nullopt}), expected) << qPrintable(text) << " at " << width;
        }
        RenderNodePtr fresh = Text(text).build(env);
        EXPECT_EQ(reused->measure({}), fresh->measure({})) << qPrintable(text);
    }
}

TEST(Layout, EveryWrapperPassesItsContentsBaselineOn)
{
    const Environment env;
    const View x = Text(QStringLiteral("x"));
    GridOptions spaced;
    spaced.verticalSpacing = 3;
    const std::pair<const char*, View> wrappers[] = {
        {"padding", x.padding(EdgeInsets{7, 3, 2, 0})},
        {"frame", x.frame(30, 50, Alignment::bottom())},
        {"flexible frame", x.frame(View::FlexibleFrame{std::nullopt, std::nullopt, 60.0, std::nullopt, Alignment::top()})},
        {"fixed size", x.fixedSize()},
        {"offset", x.offset(0, 9)},
        {"clip", x.clipRoundedRect(3)},
        {"background", x.background(ColorView(Color::black()).frame(10, 90))},
        {"overlay", x.overlay(box(10, 90))},
        {"zstack", ZStack({box(10, 60), x}, Alignment::bottom())},
        {"vstack", VStack({x, box(10, 20)}, HorizontalAlignment::leading, 5)},
        {"vstack below a box", VStack({box(10, 20), x}, HorizontalAlignment::leading, 5)},
        {"hstack", HStack({box(10, 30), x}, VerticalAlignment::center, 5)},
        {"grid", Grid({{box(10, 40), x}, {x, x}}, spaced)},
        {"scroll", HorizontalScroll(x.padding(Top, 11))},
        {"stateful", StatefulView<int>(0, [x](const Environment&, const int&, const StateHandle<int>&) { return x.padding(Top, 4); })},
    };
    for (const auto& [name, wrapper] : wrappers) {
        const auto root = layoutView(HStack({Text(QStringLiteral("reference")), wrapper}, VerticalAlignment::firstTextBaseline, 4),
                                     env, 400);
        const auto texts = collectTextNodes(*root);
        ASSERT_GE(texts.size(), 2u) << name;
        auto baseline = [](TextNode* text) { return text->frame().top() + *text->firstBaseline(text->frame().size()); };
        // The offset draws its text lower, but lays out where it would be without.
        const double shift = qstrcmp(name, "offset") == 0 ? 9 : 0;
        EXPECT_NEAR(baseline(texts[0]), baseline(texts[1]) - shift, 0.01) << name << "\n" << qPrintable(dumpLayout(*root));
        EXPECT_NEAR(*root->firstBaseline(root->frame().size()), baseline(texts[0]), 0.01) << name;
    }
}

TEST(Layout, HitTestsFindWhatIsDrawnThere)
{
    const Environment env;
    const auto root = layoutView(VStack({box(40, 40).id(QStringLiteral("clipped")).clipRoundedRect(12),
                                         HorizontalScroll(box(300, 20).id(QStringLiteral("scrolled"))),
                                         box(20, 20).id(QStringLiteral("offset")).offset(50, 0)},
                                        HorizontalAlignment::leading, 0),
                                 env, 100);
    auto idAt = [&](QPointF point) {
        for (RenderNode* node = root->hitTest(point); node; node = node->parent()) {
            if (!node->id().isEmpty())
                return node->id();
        }
        return QString();
    };
    const std::pair<QPointF, const char*> cases[] = {
        {{20, 20}, "clipped"}, {{1, 1}, ""},   // the rounded corner is cut away
        {{39, 20}, "clipped"}, {{40.5, 20}, ""},
        {{99, 50}, "scrolled"}, {{150, 50}, ""}, // beyond the scroller's frame the content is hidden
        {{60, 70}, "offset"}, {{5, 70}, ""},    // drawn moved, hit moved
    };
    for (const auto& [point, id] : cases)
        EXPECT_EQ(idAt(point).toStdString(), id) << point.x() << "," << point.y();
}

TEST(Layout, RightToLeftTextDrawsInsideItsFrame)
{
    // Laid out wide first (its ideal size), then drawn in its narrower frame.
    const View text = Text(QString::fromUtf8("שלום עולם, مرحبا بالعالم"));
    const QImage image = renderToImage(VStack({text}, HorizontalAlignment::leading), Environment{}, 400);
    const auto root = layoutView(VStack({text}, HorizontalAlignment::leading), Environment{}, 400);
    const double right = collectTextNodes(*root).front()->frame().right();
    int inkRight = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) < 200)
                inkRight = std::max(inkRight, x);
        }
    }
    EXPECT_GT(inkRight, 10);
    EXPECT_LE(inkRight, right + 1);
}

namespace {

// Counts the measurements it computes; its size is the width it was offered.
class MeasureCounter final : public RenderNode {
public:
    const char* typeName() const override { return "MeasureCounter"; }
    int computed = 0;

protected:
    QSizeF sizeThatFits(const ProposedSize& proposal) override
    {
        ++computed;
        return {proposal.width.value_or(0), 10};
    }
};

} // namespace

TEST(Layout, ANodeKeepsItsSixMostRecentMeasurements)
{
    MeasureCounter node;
    const auto measure = [&](std::initializer_list<double> widths) {
        const int before = node.computed;
        for (double width : widths)
            EXPECT_EQ(node.measure({width, std::nullopt}).width(), width);
        return node.computed - before;
    };
    EXPECT_EQ(measure({1, 2, 3, 4, 5, 6}), 6);
    EXPECT_EQ(measure({1, 2, 3, 4, 5, 6}), 0);
    EXPECT_EQ(measure({7}), 1);          // pushes out 1, the least recently asked
    EXPECT_EQ(measure({2, 3, 4, 5, 6, 7}), 0);
    EXPECT_EQ(measure({2, 8}), 1);       // 2 was asked again: 3 goes
    EXPECT_EQ(measure({2, 4, 5, 6, 7, 8}), 0);
    EXPECT_EQ(measure({3, 1}), 2);
    node.discardLayout();
    EXPECT_EQ(measure({3}), 1);
    EXPECT_EQ(node.measure({}).height(), 10); // an open proposal is an entry of its own
    EXPECT_EQ(measure({3}), 0);
}
