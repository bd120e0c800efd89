#include "mddoc/Themes.h"

#include "mdview/Environment.h"
#include "mdview/ThemeColors.h"

namespace mddoc {

using namespace mdview;

namespace {

using Weight = Font::Weight;

TextStyle monospaced(RelativeSize size)
{
    return textStyle(FontFamilyVariant(FontProperties::FamilyVariant::monospaced), FontSize(size));
}

TextStyle semibold(std::optional<RelativeSize> size = {})
{
    if (size)
        return textStyle(FontWeight(Weight::semibold), FontSize(*size));
    return FontWeight(Weight::semibold);
}

View styled(const View& view, TextStyle style)
{
    return view.markdownTextStyle([style = std::move(style)] { return style; });
}

// Header cells are semibold; the others keep the weight in force.
View headerWeight(const TableCellConfiguration& cell)
{
    return cell.row == 0 ? styled(cell.label, semibold()) : cell.label;
}

BlockStyle<BlockConfiguration> blockStyle(std::function<View(const View& label)> body)
{
    return BlockStyle<BlockConfiguration>([body = std::move(body)](const BlockConfiguration& c) { return body(c.label); });
}

RelativeSize em(double value) { return RelativeSize::em(value); }
RelativeSize rem(double value) { return RelativeSize::rem(value); }

Theme makeBasic()
{
    Theme theme;
    theme.code = monospaced(em(0.94));
    const double sizes[] = {2, 1.5, 1.17, 1, 0.83, 0.67};
    for (int level = 1; level <= 6; ++level) {
        theme.heading(level) = blockStyle([size = sizes[level - 1]](const View& label) {
            return styled(label.markdownMargin(rem(1.5), rem(1)), semibold(em(size)));
        });
    }
    theme.paragraph = blockStyle([](const View& label) {
        return label.fixedSize(false, true).relativeLineSpacing(em(0.15)).markdownMargin(RelativeSize::zero(), em(1));
    });
    theme.blockquote = blockStyle([](const View& label) {
        return styled(label, FontStyle(FontProperties::Style::italic))
            .relativePadding(Leading, em(2))
            .relativePadding(Trailing, em(1));
    });
    theme.codeBlock = BlockStyle<CodeBlockConfiguration>([](const CodeBlockConfiguration& c) {
        return HorizontalScroll(styled(c.label.fixedSize(false, true).relativeLineSpacing(em(0.15)).relativePadding(
                                           Leading, rem(1)),
                                       monospaced(em(0.94))))
            .markdownMargin(RelativeSize::zero(), em(1));
    });
    theme.table = blockStyle(
        [](const View& label) { return label.fixedSize(false, true).markdownMargin(RelativeSize::zero(), em(1)); });
    theme.tableCell = BlockStyle<TableCellConfiguration>([](const TableCellConfiguration& c) {
        return headerWeight(c)
            .fixedSize(false, true)
            .relativeLineSpacing(em(0.15))
            .relativePadding(HorizontalEdges, em(0.72))
            .relativePadding(VerticalEdges, em(0.35));
    });
    theme.thematicBreak = BlockStyle<EmptyConfiguration>([] { return Divider().markdownMargin(em(2), em(2)); });
    return theme;
}

Theme makeDocC()
{
    Theme theme;
    theme.text = ForegroundColor(DocCColors::text());
    theme.link = ForegroundColor(DocCColors::link());
    struct Heading {
        std::optional<RelativeSize> lineSpacing;
        RelativeSize top;
        std::optional<RelativeSize> size;
    };
    const Heading headings[] = {
        {std::nullopt, em(0.8), em(2)},         {em(0.0625), em(1.6), em(1.88235)},
        {em(0.07143), em(1.6), em(1.64706)},    {em(0.083335), em(1.6), em(1.41176)},
        {em(0.09091), em(1.6), em(1.29412)},    {em(0.235295), em(1.6), std::nullopt},
    };
    for (int level = 1; level <= 6; ++level) {
        theme.heading(level) = blockStyle([h = headings[level - 1]](const View& label) {
            const View spaced = h.lineSpacing ? label.relativeLineSpacing(*h.lineSpacing) : label;
            return styled(spaced.markdownMargin(h.top, RelativeSize::zero()), semibold(h.size));
        });
    }
    theme.paragraph = blockStyle([](const View& label) {
        return label.fixedSize(false, true).relativeLineSpacing(em(0.235295)).markdownMargin(em(0.8), RelativeSize::zero());
    });
    theme.blockquote = blockStyle([](const View& label) {
        ShapeStyle border;
        border.stroke = DocCColors::asideBorder();
        border.cornerRadius = 15;
        const View box = ZStack({RoundedRectangle(15, DocCColors::asideBackground()),
                                 Shape(ShapeKind::roundedRectangle, border)});
        View::FlexibleFrame wide;
        wide.maxWidth = infinity;
        wide.alignment = Alignment::leading();
        return label.relativePadding(AllEdges, rem(0.94118))
            .frame(wide)
            .background(box)
            .markdownMargin(em(1.6), RelativeSize::zero());
    });
    theme.codeBlock = BlockStyle<CodeBlockConfiguration>([](const CodeBlockConfiguration& c) {
        const View code = styled(c.label.fixedSize(false, true).relativeLineSpacing(em(0.333335)), monospaced(rem(0.88235)))
                              .padding(VerticalEdges, 8)
                              .padding(Leading, 14);
        return HorizontalScroll(code)
            .background(DocCColors::codeBackground())
            .clipRoundedRect(15)
            .markdownMargin(em(0.8), RelativeSize::zero());
    });
    theme.image = blockStyle([](const View& label) {
        View::FlexibleFrame wide;
        wide.maxWidth = infinity;
        return label.frame(wide).markdownMargin(em(1.6), em(1.6));
    });
    theme.listItem = blockStyle([](const View& label) { return label.markdownMarginTop(em(0.8)); });
    theme.taskListMarker = BlockStyle<TaskListMarkerConfiguration>(
        [](const TaskListMarkerConfiguration&) { return ListMarker::disc().makeBody(ListMarkerConfiguration{}); });
    theme.table = blockStyle([](const View& label) {
        return label.fixedSize(false, true)
            .markdownTableBorderStyle(TableBorderStyle(TableBorderSelector::horizontalBorders(), DocCColors::grid(), 1.0))
            .markdownMargin(em(1.6), RelativeSize::zero());
    });
    theme.tableCell = BlockStyle<TableCellConfiguration>([](const TableCellConfiguration& c) {
        return headerWeight(c)
            .fixedSize(false, true)
            .relativeLineSpacing(em(0.235295))
            .relativePadding(AllEdges, rem(0.58824));
    });
    theme.thematicBreak = BlockStyle<EmptyConfiguration>(
        [] { return Divider().overlay(ColorView(DocCColors::grid())).markdownMargin(em(2.35), em(2.35)); });
    return theme;
}

Theme makeGitHub()
{
    Theme theme;
    theme.text = textStyle(ForegroundColor(GitHubColors::text()), BackgroundColor(GitHubColors::background()),
                           FontSize(16.0));
    theme.code = textStyle(FontFamilyVariant(FontProperties::FamilyVariant::monospaced), FontSize(em(0.85)),
                           BackgroundColor(GitHubColors::secondaryBackground()));
    theme.strong = FontWeight(Weight::semibold);
    theme.link = ForegroundColor(GitHubColors::link());
    const TextStyle headingStyles[] = {
        semibold(em(2)),
        semibold(em(1.5)),
        semibold(em(1.25)),
        semibold(),
        semibold(em(0.875)),
        textStyle(FontWeight(Weight::semibold), FontSize(em(0.85)), ForegroundColor(GitHubColors::tertiaryText())),
    };
    for (int level = 1; level <= 6; ++level) {
        const TextStyle style = headingStyles[level - 1];
        if (level <= 2) {
            // The rule under the heading is outside the heading's text style but inside the block.
            theme.heading(level) = blockStyle([style](const View& label) {
                const View text = styled(label.relativePadding(Bottom, em(0.3))
                                             .relativeLineSpacing(em(0.125))
                                             .markdownMargin(24.0, 16.0),
                                         style);
                return VStack({text, Divider().overlay(ColorView(GitHubColors::divider()))},
                              HorizontalAlignment::leading, 0);
            });
        } else {
            theme.heading(level) = blockStyle([style](const View& label) {
                return styled(label.relativeLineSpacing(em(0.125)).markdownMargin(24.0, 16.0), style);
            });
        }
    }
    theme.paragraph = blockStyle([](const View& label) {
        return label.fixedSize(false, true).relativeLineSpacing(em(0.25)).markdownMargin(0.0, 16.0);
    });
    theme.blockquote = blockStyle([](const View& label) {
        const View bar = RoundedRectangle(6, GitHubColors::border()).relativeFrame(em(0.2), std::nullopt);
        const View quoted = styled(label, ForegroundColor(GitHubColors::secondaryText())).relativePadding(HorizontalEdges, em(1));
        return HStack({bar, quoted}, VerticalAlignment::center, 0).fixedSize(false, true);
    });
    theme.codeBlock = BlockStyle<CodeBlockConfiguration>([](const CodeBlockConfiguration& c) {
        const View code = styled(c.label.fixedSize(false, true).relativeLineSpacing(em(0.225)), monospaced(em(0.85)))
                              .padding(16);
        return HorizontalScroll(code)
            .background(GitHubColors::secondaryBackground())
            .clipRoundedRect(6)
            .markdownMargin(0.0, 16.0);
    });
    theme.listItem = blockStyle([](const View& label) { return label.markdownMarginTop(em(0.25)); });
    theme.taskListMarker = BlockStyle<TaskListMarkerConfiguration>([](const TaskListMarkerConfiguration& c) {
        static const Color checkbox = Color::rgba(0xb9b9bbff);
        const QString symbol = c.isCompleted ? QStringLiteral("checkmark.square.fill") : QStringLiteral("square");
        // A small symbol: four fifths of the text size.
        return TextStyleAttributesReader([symbol](const AttributeContainer& attributes) {
                   const double size = attributes.fontProperties ? attributes.fontProperties->scaledSize()
                                                                 : FontProperties::defaultSize;
                   return Symbol(symbol, roundHalfAwayFromZero(size * 0.8), checkbox);
               })
            .relativeFrame(em(1.5), Alignment::trailing());
    });
    theme.table = blockStyle([](const View& label) {
        return label.fixedSize(false, true)
            .markdownTableBorderStyle(TableBorderStyle(TableBorderSelector::allBorders(), GitHubColors::border(), 1.0))
            .markdownTableBackgroundStyle(
                TableBackgroundStyle::alternatingRows(GitHubColors::background(), GitHubColors::secondaryBackground()))
            .markdownMargin(0.0, 16.0);
    });
    theme.tableCell = BlockStyle<TableCellConfiguration>([](const TableCellConfiguration& c) {
        return headerWeight(c)
            .fixedSize(false, true)
            .padding(VerticalEdges, 6)
            .padding(HorizontalEdges, 13)
            .relativeLineSpacing(em(0.25));
    });
    theme.thematicBreak = BlockStyle<EmptyConfiguration>([] {
        return Divider()
            .relativeFrame(std::nullopt, em(0.25))
            .overlay(ColorView(GitHubColors::border()))
            .markdownMargin(24.0, 24.0);
    });
    return theme;
}

} // namespace

namespace themes {

Theme basic()
{
    static const Theme theme = makeBasic();
    return theme;
}

Theme docC()
{
    static const Theme theme = makeDocC();
    return theme;
}

Theme gitHub()
{
    static const Theme theme = makeGitHub();
    return theme;
}

} // namespace themes

} // namespace mddoc
