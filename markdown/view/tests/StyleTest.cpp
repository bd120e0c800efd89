#include "mdview/Deprecations.h"
#include "mdview/Environment.h"
#include "mdview/Host.h"
#include "mdview/Providers.h"
#include "mdview/TableStyle.h"
#include "mdview/TextStyle.h"
#include "mdview/TextUtilities.h"
#include "mdview/Theme.h"
#include "mdview/ThemeColors.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace mdview;
using markdown::SoftBreak;

namespace {

FontProperties font(double size, double scale)
{
    FontProperties properties;
    properties.size = size;
    properties.scale = scale;
    return properties;
}

AttributeContainer apply(const TextStyle& style)
{
    AttributeContainer container;
    container.fontProperties = FontProperties{};
    style.collectAttributes(container);
    return container;
}

// The theme fields that render differently in `a` and `b`.
QStringList differingFields(const Theme& a, const Theme& b)
{
    const Environment env;
    const View label = Text(QStringLiteral("label"));
    QStringList out;
    auto text = [&](const char* name, TextStyle Theme::*field) {
        if (!(apply(a.*field) == apply(b.*field)))
            out << name;
    };
    auto block = [&](const QString& name, const auto& styleA, const auto& styleB, const auto& configuration) {
        if (dumpLayout(styleA.makeBody(configuration), env, 200) != dumpLayout(styleB.makeBody(configuration), env, 200))
            out << name;
    };
    text("text", &Theme::text);
    text("code", &Theme::code);
    text("emphasis", &Theme::emphasis);
    text("strong", &Theme::strong);
    text("strikethrough", &Theme::strikethrough);
    text("link", &Theme::link);
    const BlockConfiguration configuration{label, {}};
    for (int level = 1; level <= 6; ++level)
        block(QStringLiteral("heading%1").arg(level), a.heading(level), b.heading(level), configuration);
    block("paragraph", a.paragraph, b.paragraph, configuration);
    block("blockquote", a.blockquote, b.blockquote, configuration);
    block("codeBlock", a.codeBlock, b.codeBlock, CodeBlockConfiguration{QStringLiteral("c"), QStringLiteral("x"), label});
    block("image", a.image, b.image, configuration);
    block("list", a.list, b.list, configuration);
    block("listItem", a.listItem, b.listItem, configuration);
    block("taskListMarker", a.taskListMarker, b.taskListMarker, TaskListMarkerConfiguration{true});
    block("bulletedListMarker", a.bulletedListMarker, b.bulletedListMarker, ListMarkerConfiguration{1, 4});
    block("numberedListMarker", a.numberedListMarker, b.numberedListMarker, ListMarkerConfiguration{1, 4});
    block("table", a.table, b.table, configuration);
    block("tableCell", a.tableCell, b.tableCell, TableCellConfiguration{0, 0, label, {}});
    block("thematicBreak", a.thematicBreak, b.thematicBreak, EmptyConfiguration{});
    return out;
}

// Counts the warnings logged while it lives.
class WarningCounter {
public:
    WarningCounter() { s_count = 0; m_previous = qInstallMessageHandler(&WarningCounter::handle); }
    ~WarningCounter() { qInstallMessageHandler(m_previous); }
    int count() const { return s_count; }

private:
    static void handle(QtMsgType type, const QMessageLogContext&, const QString&)
    {
        if (type == QtWarningMsg)
            ++s_count;
    }
    static inline int s_count = 0;
    QtMessageHandler m_previous;
};

} // namespace

TEST(RelativeSize, ConvertsToWholePointsRoundingHalvesAwayFromZero)
{
    struct Case {
        RelativeSize size;
        std::optional<FontProperties> font;
        double points;
    } cases[] = {
        {RelativeSize::zero(), std::nullopt, 0},
        {RelativeSize::zero(), font(40, 3), 0},
        {RelativeSize::em(1.5), std::nullopt, 20},
        {RelativeSize::em(0.25), std::nullopt, 3},
        {RelativeSize::rem(1), std::nullopt, 13},
        {RelativeSize::em(0.5), std::nullopt, 7},
        {RelativeSize::em(-0.5), std::nullopt, -7},
        {RelativeSize::em(1), font(13, 1.2), 16},
        {RelativeSize::rem(1), font(13, 1.2), 13},
        {RelativeSize::em(1), font(15, 1.5), 23},
        {RelativeSize::rem(1), font(15, 1.5), 15},
        // Just below one half stays down.
        {RelativeSize::rem(0.49999999999999994), font(1, 1), 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.size.points(c.font), c.points) << c.size.value;
    EXPECT_EQ(roundHalfAwayFromZero(2.5), 3);
    EXPECT_EQ(roundHalfAwayFromZero(-2.5), -3);
    EXPECT_EQ(font(13, 0.95).scaledSize(), 12);
    EXPECT_EQ(font(13, 1.5).scaledSize(), 20);
    EXPECT_EQ(font(12.49, 1).scaledSize(), 12);
}

TEST(TextStyle, FontSizesCompound)
{
    struct Case {
        const char* name;
        TextStyle style;
        double scale;
        double drawn;
    } cases[] = {
        {"0.95 em", FontSize(RelativeSize::em(0.95)), 0.95, 12},
        {"0.95 em twice", textStyle(FontSize(RelativeSize::em(0.95)), FontSize(RelativeSize::em(0.95))), 0.9025, 12},
        {"rem after em", textStyle(FontSize(RelativeSize::em(0.95)), FontSize(RelativeSize::rem(1.5))), 1.5, 20},
        {"points reset scale", textStyle(FontSize(RelativeSize::em(2)), FontSize(20.0)), 1, 20},
        {"monospaced then 0.95 em",
         textStyle(FontFamilyVariant(FontProperties::FamilyVariant::monospaced), FontSize(RelativeSize::em(0.95))),
         0.95, 12},
        {"0.95 em then monospaced",
         textStyle(FontSize(RelativeSize::em(0.95)), FontFamilyVariant(FontProperties::FamilyVariant::monospaced)),
         0.95, 12},
    };
    for (const Case& c : cases) {
        const AttributeContainer a = apply(c.style);
        EXPECT_NEAR(a.fontProperties->scale, c.scale, 1e-12) << c.name;
        EXPECT_EQ(a.fontProperties->scaledSize(), c.drawn) << c.name;
    }
}

TEST(TextStyle, StatementsApplyInOrderAndFontStylesNeverCreateADescription)
{
    EXPECT_EQ(textStyle().attributes(), AttributeContainer{});
    const AttributeContainer removed =
        textStyle(ForegroundColor(Color::black()), ForegroundColor(std::nullopt)).attributes();
    EXPECT_FALSE(removed.foregroundColor);
    // Without a description, font styles leave the container alone.
    EXPECT_EQ(textStyle(FontWeight(Font::Weight::bold), FontSize(20.0)).attributes(), AttributeContainer{});
    // Optional and conditional statements.
    EXPECT_EQ(OptionalTextStyle{}.style.has_value(), false);
    EXPECT_EQ(apply(OptionalTextStyle{std::nullopt}), apply(EmptyTextStyle{}));
    EXPECT_EQ(apply(OptionalTextStyle{TextStyle(FontWeight(Font::Weight::bold))}).fontProperties->weight,
              Font::Weight::bold);
    // A width written as standard differs from no width at all.
    FontProperties withWidth;
    withWidth.setWidth(Font::Width::standard);
    EXPECT_EQ(withWidth.width(), FontProperties{}.width());
    EXPECT_NE(withWidth, FontProperties{});
}

namespace {
int warnings = 0;
void countWarnings(QtMsgType type, const QMessageLogContext&, const QString&)
{
    warnings += type == QtWarningMsg;
}
} // namespace

TEST(TextStyle, InvalidLengthsAreAbsent)
{
    const QtMessageHandler previous = qInstallMessageHandler(countWarnings);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(apply(FontSize(nan)).fontProperties->size, 13);
    EXPECT_EQ(apply(FontSize(-4.0)).fontProperties->size, 13);
    EXPECT_EQ(apply(FontSize(RelativeSize::em(nan))).fontProperties->scale, 1);
    EXPECT_FALSE(TextStyle(TextTracking(nan)).attributes().tracking);
    EXPECT_EQ(TextStyle(TextTracking(-0.5)).attributes().tracking, -0.5);
    // A relative padding that converts to no length pads nothing.
    const Environment env;
    const QString dump = dumpLayout(ColorView(Color::black()).frame(10, 10).relativePadding(AllEdges, RelativeSize::em(nan)),
                                    env, 100);
    EXPECT_FALSE(dump.contains("Padding")) << qPrintable(dump);
    EXPECT_TRUE(dumpLayout(ColorView(Color::black()).frame(10, 10).relativePadding(AllEdges, RelativeSize::em(1)), env,
                           100).contains("Padding 0,0 36x36"));
    qInstallMessageHandler(previous);
    // Reported once per process, not once per length (an earlier test in the same process may
    // have used up the report).
    EXPECT_LE(warnings, 1);
}

TEST(FontProperties, ResolveToFontSpecs)
{
    const richtext::FontSpec plain = resolveFontProperties(FontProperties{});
    EXPECT_EQ(plain.pixelSize, 13);
    EXPECT_EQ(plain.weight, 400);
    EXPECT_FALSE(plain.italic || plain.monospaced || plain.smallCaps);
    EXPECT_EQ(plain.stretch, 100);

    FontProperties custom = font(13, 1.5);
    custom.family = FontProperties::Family::custom(QStringLiteral("DejaVu Serif"));
    custom.weight = Font::Weight::semibold;
    custom.style = FontProperties::Style::italic;
    custom.familyVariant = FontProperties::FamilyVariant::monospaced;
    custom.setWidth(Font::Width::condensed);
    const richtext::FontSpec spec = resolveFontProperties(custom);
    EXPECT_EQ(spec.family, "DejaVu Serif");
    EXPECT_EQ(spec.pixelSize, 20);
    EXPECT_EQ(spec.weight, 600);
    EXPECT_TRUE(spec.italic && spec.monospaced);
    EXPECT_EQ(spec.stretch, 87);

    AttributedString text(QStringLiteral("a"), apply(FontWeight(Font::Weight::bold)));
    text.append(QStringLiteral("b"), AttributeContainer{});
    const AttributedString resolved = resolveAttributedFonts(text);
    EXPECT_FALSE(resolved.runs()[0].attributes.fontProperties);
    EXPECT_EQ(resolved.runs()[0].attributes.font->weight, 700);
    EXPECT_EQ(resolved.runs()[1].attributes, AttributeContainer{});
    EXPECT_EQ(resolveAttributedFonts(AttributedString(QStringLiteral("x"), {})), AttributedString(QStringLiteral("x"), {}));
}

TEST(FontProperties, VariantsAndBoundedSizesResolve)
{
    using Caps = FontProperties::CapsVariant;
    using Digits = FontProperties::DigitVariant;
    const struct Case {
        const char* name;
        double size;
        double scale;
        Caps caps;
        Digits digits;
        double pixelSize;
        bool smallCaps;
        bool tabularDigits;
    } cases[] = {
        {"plain", 13, 1, Caps::normal, Digits::normal, 13, false, false},
        {"small caps", 13, 1, Caps::smallCaps, Digits::normal, 13, true, false},
        {"lowercase small caps", 13, 1, Caps::lowercaseSmallCaps, Digits::normal, 13, true, false},
        {"uppercase small caps", 13, 1, Caps::uppercaseSmallCaps, Digits::normal, 13, true, false},
        {"monospaced digits", 13, 1, Caps::normal, Digits::monospaced, 13, false, true},
        {"scaled", 13, 2, Caps::normal, Digits::normal, 26, false, false},
        {"below one", 0.2, 1, Caps::normal, Digits::normal, 1, false, false},
        {"huge", 13, 1e12, Caps::normal, Digits::normal, richtext::FontSpec::maxPixelSize, false, false},
        {"infinite", 13, std::numeric_limits<double>::infinity(), Caps::normal, Digits::normal,
         richtext::FontSpec::maxPixelSize, false, false},
        {"not a number", 13, std::numeric_limits<double>::quiet_NaN(), Caps::normal, Digits::normal, 1, false, false},
    };
    for (const Case& c : cases) {
        FontProperties properties = font(c.size, c.scale);
        properties.capsVariant = c.caps;
        properties.digitVariant = c.digits;
        const richtext::FontSpec spec = resolveFontProperties(properties);
        EXPECT_EQ(spec.pixelSize, c.pixelSize) << c.name;
        EXPECT_EQ(spec.smallCaps, c.smallCaps) << c.name;
        EXPECT_EQ(spec.tabularDigits, c.tabularDigits) << c.name;
    }
}

TEST(Theme, BuildersReturnChangedCopiesAndLeaveTheOriginal)
{
    const Theme original;
    const Environment env;
    const auto marker = [](const QString& text) {
        return [text](const BlockConfiguration&) { return Text(text); };
    };
    const Theme changed = original.withHeading(3, marker(QStringLiteral("H3")))
                              .withText(BackgroundColor(Color::rgba(0x102030ff)))
                              .withNumberedListMarker(ListMarker::upperRoman());
    const BlockConfiguration label{Text(QStringLiteral("label")), {}};
    auto render = [&](const Theme& theme, int level) {
        return dumpLayout(theme.heading(level).makeBody(label), env, 200);
    };
    for (int level = 1; level <= 6; ++level) {
        EXPECT_TRUE(render(original, level).contains("\"label\""));
        EXPECT_TRUE(render(changed, level).contains(level == 3 ? "\"H3\"" : "\"label\"")) << level;
    }
    EXPECT_FALSE(original.textBackgroundColor());
    EXPECT_EQ(changed.textBackgroundColor(), Color::rgba(0x102030ff));
    EXPECT_TRUE(dumpLayout(changed.numberedListMarker.makeBody({1, 4}), env, 100).contains("\"IV.\""));
    EXPECT_TRUE(dumpLayout(original.numberedListMarker.makeBody({1, 4}), env, 100).contains("\"4.\""));
}

TEST(Theme, EveryBuilderChangesOnlyItsOwnField)
{
    const auto x = [] { return Text(QStringLiteral("X")); };
    const auto block = [x](const BlockConfiguration&) { return x(); };
    const TextStyle red = ForegroundColor(Color::rgba(0xff0000ff));
    const struct Case {
        const char* field;
        std::function<Theme(const Theme&)> build;
    } cases[] = {
        {"text", [&](const Theme& t) { return t.withText(red); }},
        {"code", [&](const Theme& t) { return t.withCode(red); }},
        {"emphasis", [&](const Theme& t) { return t.withEmphasis(red); }},
        {"strong", [&](const Theme& t) { return t.withStrong(red); }},
        {"strikethrough", [&](const Theme& t) { return t.withStrikethrough(red); }},
        {"link", [&](const Theme& t) { return t.withLink(red); }},
        {"heading1", [&](const Theme& t) { return t.withHeading(1, block); }},
        {"heading6", [&](const Theme& t) { return t.withHeading(6, block); }},
        {"paragraph", [&](const Theme& t) { return t.withParagraph(block); }},
        {"blockquote", [&](const Theme& t) { return t.withBlockquote(block); }},
        {"codeBlock", [&](const Theme& t) { return t.withCodeBlock([x](const CodeBlockConfiguration&) { return x(); }); }},
        {"image", [&](const Theme& t) { return t.withImage(block); }},
        {"list", [&](const Theme& t) { return t.withList(block); }},
        {"listItem", [&](const Theme& t) { return t.withListItem(block); }},
        {"taskListMarker",
         [&](const Theme& t) { return t.withTaskListMarker([x](const TaskListMarkerConfiguration&) { return x(); }); }},
        {"taskListMarker",
         [&](const Theme& t) {
             return t.withTaskListMarker(
                 BlockStyle<TaskListMarkerConfiguration>([x](const TaskListMarkerConfiguration&) { return x(); }));
         }},
        {"bulletedListMarker",
         [&](const Theme& t) { return t.withBulletedListMarker([x](const ListMarkerConfiguration&) { return x(); }); }},
        {"bulletedListMarker", [&](const Theme& t) { return t.withBulletedListMarker(ListMarker::dash()); }},
        {"numberedListMarker",
         [&](const Theme& t) { return t.withNumberedListMarker([x](const ListMarkerConfiguration&) { return x(); }); }},
        {"numberedListMarker", [&](const Theme& t) { return t.withNumberedListMarker(ListMarker::lowerRoman()); }},
        {"table", [&](const Theme& t) { return t.withTable(block); }},
        {"tableCell", [&](const Theme& t) { return t.withTableCell([x](const TableCellConfiguration&) { return x(); }); }},
        {"thematicBreak", [&](const Theme& t) { return t.withThematicBreak(x); }},
    };
    const Theme pristine;
    for (const Case& c : cases) {
        const Theme original;
        const Theme changed = c.build(original);
        EXPECT_EQ(differingFields(original, changed), QStringList{c.field}) << c.field;
        EXPECT_TRUE(differingFields(original, pristine).isEmpty()) << c.field;
    }
}

TEST(Theme, HeadingLevelsOutsideOneToSixAreIgnoredWithOneWarning)
{
    const auto body = [](const BlockConfiguration&) { return Text(QStringLiteral("X")); };
    const Theme original;
    WarningCounter warnings;
    for (int level : {0, 7, -1, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()}) {
        Theme changed;
        ASSERT_NO_THROW(changed = original.withHeading(level, body)) << level;
        EXPECT_TRUE(differingFields(original, changed).isEmpty()) << level;
        // The environment modifier builds through the same builder.
        QString dump;
        ASSERT_NO_THROW(dump = dumpLayout(Text(QStringLiteral("t")).markdownHeadingStyle(level, body), Environment{}, 100))
            << level;
        EXPECT_TRUE(dump.contains("\"t\"")) << level;
    }
    // Once per process: an earlier test may have used up the report.
    EXPECT_LE(warnings.count(), 1);
}

TEST(Theme, DefaultInlineStylesEditTheFontDescription)
{
    const Theme theme;
    EXPECT_EQ(apply(theme.strong).fontProperties->weight, Font::Weight::semibold);
    EXPECT_EQ(apply(theme.emphasis).fontProperties->style, FontProperties::Style::italic);
    const AttributeContainer code = apply(theme.code);
    EXPECT_EQ(code.fontProperties->familyVariant, FontProperties::FamilyVariant::monospaced);
    EXPECT_EQ(code.fontProperties->scaledSize(), 13);
    EXPECT_TRUE(apply(theme.strikethrough).strikethroughStyle);
}

TEST(Color, RgbaAndLightDarkResolution)
{
    const richtext::Color link = Color::rgba(0x0066ccff).resolve(ColorScheme::light);
    EXPECT_NEAR(link.red, 0, 1e-9);
    EXPECT_NEAR(link.green, 0.4, 1e-9);
    EXPECT_NEAR(link.blue, 0.8, 1e-9);
    EXPECT_NEAR(link.alpha, 1, 1e-9);
    EXPECT_EQ(Color::rgba(0x00000000).resolve(ColorScheme::dark), (richtext::Color{0, 0, 0, 0}));
    int evaluations = 0;
    const Color pair = Color::lightDark(
        [&] {
            ++evaluations;
            return Color::white();
        },
        [&] {
            ++evaluations;
            return Color::black();
        });
    EXPECT_EQ(evaluations, 0);
    EXPECT_EQ(pair.resolve(ColorScheme::light), (richtext::Color{1, 1, 1, 1}));
    EXPECT_EQ(pair.resolve(ColorScheme::dark), (richtext::Color{0, 0, 0, 1}));
    EXPECT_EQ(evaluations, 2);
}

TEST(TextUtilities, RomanNumeralsAndHeadingIdentifiers)
{
    const std::pair<long long, const char*> numerals[] = {
        {1, "I"}, {4, "IV"}, {9, "IX"}, {14, "XIV"}, {40, "XL"}, {1994, "MCMXCIV"}, {3999, "MMMCMXCIX"},
        {0, "0"}, {-3, "-3"}, {4000, "4000"},
    };
    for (const auto& [n, text] : numerals)
        EXPECT_EQ(romanNumeral(n), text) << n;
    const std::pair<const char*, const char*> headings[] = {
        {"Getting Started", "getting-started"},
        {"Hello, World!", "hello--world-"},
        {"API 2.0 Guide", "api-2-0-guide"},
        {"", ""},
        {"Ünïcode Überblick", "ünïcode-überblick"},
    };
    for (const auto& [text, id] : headings)
        EXPECT_EQ(headingIdentifier(QString::fromUtf8(text)), QString::fromUtf8(id)) << text;
}

TEST(ListMarkers, DrawTheirSymbolsAndNumbersInA15EmBox)
{
    const Environment env;
    struct Case {
        BlockStyle<ListMarkerConfiguration> style;
        ListMarkerConfiguration configuration;
        const char* expected;
    } cases[] = {
        {ListMarker::discCircleSquare(), {1, 1}, "FlexibleFrame 0,0 20x4\n  Symbol 16,0 4x4 circle.fill"},
        {ListMarker::discCircleSquare(), {2, 1}, "circle\n"},
        {ListMarker::discCircleSquare(), {3, 1}, "square.fill"},
        {ListMarker::discCircleSquare(), {7, 1}, "square.fill"},
        {ListMarker::decimal(), {1, 0}, "\"0.\""},
        {ListMarker::decimal(), {1, 1000}, "\"1000.\""},
        {ListMarker::upperRoman(), {1, 3999}, "\"MMMCMXCIX.\""},
        {ListMarker::upperRoman(), {1, 0}, "\"0.\""},
        {ListMarker::lowerRoman(), {1, 14}, "\"xiv.\""},
        {ListMarker::dash(), {5, 5}, "\"-\""},
    };
    for (const Case& c : cases) {
        const QString dump = dumpLayout(c.style.makeBody(c.configuration), env, 300);
        EXPECT_TRUE(dump.contains(c.expected)) << c.expected << "\n" << qPrintable(dump);
        EXPECT_TRUE(dump.startsWith("FlexibleFrame 0,0 ")) << qPrintable(dump);
    }
    EXPECT_TRUE(dumpLayout(TaskListMarker::checkmarkSquare().makeBody({true}), env, 100).contains("checkmark.square.fill"));
    EXPECT_TRUE(dumpLayout(TaskListMarker::checkmarkSquare().makeBody({false}), env, 100).contains("Symbol") );
    EXPECT_EQ(listBulletSize(std::nullopt), 4);
    EXPECT_EQ(listBulletSize(font(17, 1)), 6);
}

TEST(TableBorders, SelectorsGiveTheirRectangles)
{
    TableBounds bounds;
    bounds.bounds = QRectF(0, 0, 100, 40);
    bounds.rows = {{0, 20}, {20, 20}};
    bounds.columns = {{0, 50}, {50, 50}};
    using R = std::vector<QRectF>;
    const QRectF h(-1, 20, 102, 1), v(50, -1, 1, 42);
    EXPECT_EQ(TableBorderSelector::insideHorizontalBorders().rectangles(bounds, 1), R{h});
    EXPECT_EQ(TableBorderSelector::insideVerticalBorders().rectangles(bounds, 1), R{v});
    EXPECT_EQ(TableBorderSelector::insideBorders().rectangles(bounds, 1), (R{h, v}));
    EXPECT_EQ(TableBorderSelector::allBorders().rectangles(bounds, 1), (R{h, v, bounds.bounds}));
    EXPECT_EQ(TableBorderSelector::outsideBorders().rectangles(bounds, 1), R{bounds.bounds});
    EXPECT_EQ(TableBorderSelector::horizontalBorders().rectangles(bounds, 1),
              (R{QRectF(0, 0, 100, 1), QRectF(0, 39, 100, 1), h}));

    TableBounds single;
    single.bounds = QRectF(0, 0, 30, 10);
    single.rows = {{0, 10}};
    single.columns = {{0, 30}};
    EXPECT_TRUE(TableBorderSelector::insideBorders().rectangles(single, 1).empty());
    EXPECT_EQ(TableBorderSelector::allBorders().rectangles(single, 1), R{single.bounds});
    // No geometry at all: no inside lines.
    EXPECT_TRUE(TableBorderSelector::insideBorders().rectangles(TableBounds{}, 1).empty());

    const TableBorderStyle style(TableBorderSelector::allBorders(), Color::black(), 2.0);
    EXPECT_EQ(style.strokeStyle, (StrokeStyle{2, Qt::FlatCap, Qt::MiterJoin, 10, {}, 0}));
}

TEST(TableBackground, AlternatingRowsAndOneRectanglePerCell)
{
    const Color header = Color::rgba(0xff0000ff), even = Color::rgba(0x00ff00ff), odd = Color::rgba(0x0000ffff);
    const TableBackgroundStyle withHeader = TableBackgroundStyle::alternatingRows(even, odd, header);
    const TableBackgroundStyle withoutHeader = TableBackgroundStyle::alternatingRows(even, odd);
    const std::pair<int, Color> rows[] = {{-1, header}, {0, header}, {1, even}, {2, odd}, {3, even}, {4, odd}};
    for (const auto& [row, fill] : rows) {
        EXPECT_EQ(withHeader.background(row, 7), fill) << row;
        EXPECT_EQ(withoutHeader.background(row, 0), row <= 0 ? even : fill) << row;
    }

    // The view: a taller second row gets a taller background, row-major.
    TableBounds bounds;
    bounds.bounds = QRectF(0, 0, 60, 50);
    bounds.rows = {{0, 10}, {10, 40}};
    bounds.columns = {{0, 20}, {20, 40}};
    const View view = TableBackgroundView(bounds).markdownTableBackgroundStyle(withHeader);
    const QString dump = dumpLayout(view, Environment{}, 60);
    const QStringList offsets = {"Offset 0,0 20x10", "Offset 0,0 40x10", "Offset 0,0 20x40", "Offset 0,0 40x40"};
    for (const QString& offset : offsets)
        EXPECT_TRUE(dump.contains(offset)) << qPrintable(offset) << "\n" << qPrintable(dump);
    EXPECT_TRUE(dump.contains("Shape 20,10 40x40 fill=#ff00ff00")) << qPrintable(dump);
    EXPECT_EQ(dump.count("Shape"), 4);
}

TEST(Environment, ModifiersWriteTheirValuesForTheSubtree)
{
    auto probe = [](std::function<void(const Environment&)> check) {
        return EnvironmentReader([check](const Environment& e) {
            check(e);
            return EmptyView();
        });
    };
    int checks = 0;
    // Defaults.
    probe([&](const Environment& e) {
        ++checks;
        EXPECT_EQ(e.textStyle.attributes().fontProperties, FontProperties{});
        EXPECT_EQ(e.softBreakMode, SoftBreak::Mode::space);
        EXPECT_EQ(e.listLevel, 0);
        EXPECT_FALSE(e.tightSpacingEnabled);
        EXPECT_EQ(e.tableBorderStyle.strokeStyle.lineWidth, 1);
        // All borders in the secondary colour.
        TableBounds bounds;
        bounds.bounds = QRectF(0, 0, 100, 40);
        bounds.rows = {{0, 20}, {20, 20}};
        bounds.columns = {{0, 50}, {50, 50}};
        EXPECT_EQ(e.tableBorderStyle.visibleBorders.rectangles(bounds, 1),
                  TableBorderSelector::allBorders().rectangles(bounds, 1));
        EXPECT_EQ(e.tableBorderStyle.color, Color::secondary());
        EXPECT_EQ(e.tableBackgroundStyle.background(3, 3), Color::clear());
        EXPECT_EQ(e.codeSyntaxHighlighter->highlightCode(QStringLiteral("let x"), std::nullopt).text(), "let x");
    }).build(Environment{});

    // Nested base styles: inner colour wins, outer weight stays.
    probe([&](const Environment& e) {
        ++checks;
        const AttributeContainer a = e.textStyle.attributes();
        EXPECT_EQ(a.foregroundColor, Color::rgba(0x0000ffff));
        EXPECT_EQ(a.fontProperties->weight, Font::Weight::bold);
    })
        .markdownTextStyle([] { return TextStyle(ForegroundColor(Color::rgba(0x0000ffff))); })
        .markdownTextStyle([] { return textStyle(ForegroundColor(Color::rgba(0xff0000ff)), FontWeight(Font::Weight::bold)); })
        .build(Environment{});

    // Replacing a theme text style replaces it whole.
    probe([&](const Environment& e) {
        ++checks;
        const AttributeContainer code = textStyle(FontProperties{}, e.theme().code).attributes();
        EXPECT_EQ(code.fontProperties->familyVariant, FontProperties::FamilyVariant::normal);
        EXPECT_EQ(code.fontProperties->scaledSize(), 20);
        EXPECT_EQ(e.softBreakMode, SoftBreak::Mode::lineBreak);
    })
        .markdownTextStyle(&Theme::code, [] { return TextStyle(FontSize(20.0)); })
        .markdownSoftBreakMode(SoftBreak::Mode::lineBreak)
        .build(Environment{});

    // Block styles through member pointers.
    const Environment env;
    const View paragraph = EnvironmentReader([](const Environment& e) {
        return e.theme().paragraph.makeBody({Text(QStringLiteral("label")), {}});
    });
    const View styled = paragraph.markdownBlockStyle<BlockConfiguration>(
        &Theme::paragraph, [](const BlockConfiguration& c) { return c.label.padding(5); });
    EXPECT_TRUE(dumpLayout(styled, env, 200).startsWith("Padding"));
    EXPECT_TRUE(dumpLayout(ThematicBreakView().markdownBlockStyle(&Theme::thematicBreak, [] { return Text(QStringLiteral("***")); }),
                           env, 200).contains("\"***\""));
    EXPECT_TRUE(dumpLayout(ThematicBreakView(), env, 200).startsWith("Divider 0,0 200x1"));
    EXPECT_EQ(checks, 3);
}

TEST(Environment, MarkdownModifiersWriteTheirOwnValue)
{
    const Environment base;
    const auto x = [] { return Text(QStringLiteral("X")); };
    auto dump = [&](const View& view) { return dumpLayout(view, base, 200); };
    auto customMarker = BlockStyle<ListMarkerConfiguration>([x](const ListMarkerConfiguration&) { return x(); });

    class CustomImages final : public ImageProvider {
    public:
        View makeImage(const std::optional<QUrl>&) const override { return ColorView(Color::black()).frame(7, 3); }
    };
    class CustomInlineImages final : public InlineImageProvider {
    public:
        void image(const QUrl&, const QString&, Done done) const override { done(QImage(2, 2, QImage::Format_ARGB32), {}); }
    };
    class Upper final : public CodeSyntaxHighlighter {
    public:
        richtext::AttributedText highlightCode(const QString& code, const std::optional<QString>&) const override
        {
            return richtext::AttributedText(code.toUpper());
        }
    };
    const auto images = std::make_shared<const CustomImages>();
    const auto inlineImages = std::make_shared<const CustomInlineImages>();
    const auto upper = std::make_shared<const Upper>();
    const Theme customTheme = Theme().withParagraph([x](const BlockConfiguration&) { return x(); });

    const struct Case {
        const char* name;
        std::function<View(const View&)> modify;
        std::function<void(const Environment&)> check;
    } cases[] = {
        {"theme", [&](const View& v) { return v.markdownTheme(customTheme); },
         [&](const Environment& e) { EXPECT_TRUE(differingFields(e.theme(), customTheme).isEmpty()); }},
        {"image provider", [&](const View& v) { return v.markdownImageProvider(images); },
         [&](const Environment& e) {
             // Block images show the provider's view.
             EXPECT_TRUE(dump(e.imageProvider->makeImage(QUrl(QStringLiteral("a.png")))).startsWith("Frame 0,0 7x3"));
         }},
        {"inline image provider", [&](const View& v) { return v.markdownInlineImageProvider(inlineImages); },
         [&](const Environment& e) { EXPECT_EQ(e.inlineImageProvider, inlineImages); }},
        {"code syntax highlighter", [&](const View& v) { return v.markdownCodeSyntaxHighlighter(upper); },
         [&](const Environment& e) { EXPECT_EQ(e.codeSyntaxHighlighter->highlightCode("let x", {}).text(), "LET X"); }},
        {"table border style",
         [&](const View& v) {
             return v.markdownTableBorderStyle(
                 TableBorderStyle(TableBorderSelector::outsideBorders(), Color::rgba(0x00ff00ff), 3.0));
         },
         [&](const Environment& e) {
             EXPECT_EQ(e.tableBorderStyle.color, Color::rgba(0x00ff00ff));
             EXPECT_EQ(e.tableBorderStyle.strokeStyle.lineWidth, 3);
         }},
        {"task list marker",
         [&](const View& v) {
             return v.markdownTaskListMarker(
                 BlockStyle<TaskListMarkerConfiguration>([x](const TaskListMarkerConfiguration&) { return x(); }));
         },
         [&](const Environment& e) { EXPECT_EQ(differingFields(Theme(), e.theme()), QStringList{"taskListMarker"}); }},
        {"bulleted list marker", [&](const View& v) { return v.markdownBulletedListMarker(customMarker); },
         [&](const Environment& e) { EXPECT_EQ(differingFields(Theme(), e.theme()), QStringList{"bulletedListMarker"}); }},
        {"numbered list marker", [&](const View& v) { return v.markdownNumberedListMarker(customMarker); },
         [&](const Environment& e) { EXPECT_EQ(differingFields(Theme(), e.theme()), QStringList{"numberedListMarker"}); }},
        {"heading style",
         [&](const View& v) { return v.markdownHeadingStyle(2, [x](const BlockConfiguration&) { return x(); }); },
         [&](const Environment& e) { EXPECT_EQ(differingFields(Theme(), e.theme()), QStringList{"heading2"}); }},
        {"relative line spacing", [&](const View& v) { return v.relativeLineSpacing(RelativeSize::em(0.5)); },
         [&](const Environment& e) { EXPECT_EQ(e.lineSpacing, 7); }}, // half of 13 points, rounded
    };
    for (const Case& c : cases) {
        int checks = 0;
        const View probe = EnvironmentReader([&](const Environment& e) {
            ++checks;
            c.check(e);
            return EmptyView();
        });
        c.modify(probe).build(base);
        EXPECT_EQ(checks, 1) << c.name;
    }
}

TEST(Environment, TextStyleReaderSeesTheStyleInForce)
{
    std::optional<AttributeContainer> seen;
    const View reader = TextStyleAttributesReader([&](const AttributeContainer& a) {
        seen = a;
        return EmptyView();
    });
    reader.build(Environment{});
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->fontProperties, FontProperties{});
    Environment bare;
    bare.textStyle = EmptyTextStyle{};
    reader.build(bare);
    EXPECT_EQ(*seen, AttributeContainer{});
}

TEST(Margins, MergeByTheLargerValuePerSide)
{
    const Environment env;
    auto margin = [&](const View& view) { return view.build(env)->blockMargin(); };
    const View top16 = EmptyView().frame(1, 1).markdownMargin(16, std::nullopt);
    EXPECT_EQ(margin(top16.markdownMarginTop(8)), (BlockMargin{16, std::nullopt}));
    EXPECT_EQ(margin(EmptyView().frame(1, 1).markdownMarginBottom(10).markdownMarginBottom(4)), (BlockMargin{std::nullopt, 10}));
    EXPECT_EQ(margin(EmptyView().frame(1, 1).markdownMarginTop(8)), (BlockMargin{8, std::nullopt}));
    const View siblings = VStack({EmptyView().frame(1, 1).markdownMarginTop(8), EmptyView().frame(1, 1).markdownMarginTop(12)});
    EXPECT_EQ(margin(siblings), (BlockMargin{12, std::nullopt}));
    EXPECT_EQ(margin(VStack({EmptyView().frame(1, 1).markdownMarginBottom(3)})), (BlockMargin{std::nullopt, 3}));
    // Relative margins convert against the text style in force; a negative one is absent.
    EXPECT_EQ(margin(EmptyView().frame(1, 1).markdownMargin(RelativeSize::em(1), RelativeSize::em(-1))),
              (BlockMargin{13, std::nullopt}));
    // A relative frame with only a height constrains only the height.
    EXPECT_TRUE(dumpLayout(ColorView(Color::black()).relativeFrame(std::nullopt, RelativeSize::em(2)), env, 50)
                    .startsWith("Frame 0,0 50x26"));
}

TEST(Deprecated, ForwardingEntryPoints)
{
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    const Environment env;
    const BlockConfiguration configuration{Text(QStringLiteral("label")), {}};
    const auto style = BlockStyle<BlockConfiguration>::fromLabel([](const View& label) { return label.padding(3); });
    EXPECT_TRUE(dumpLayout(style.makeBody(configuration), env, 100).startsWith("Padding"));
    EXPECT_TRUE(dumpLayout(BlockStyle<BlockConfiguration>().makeBody(configuration), env, 100).startsWith("Text"));
    const Theme theme = Theme().withParagraphLabel([](const View& label) { return label.padding(2); });
    EXPECT_TRUE(dumpLayout(theme.paragraph.makeBody(configuration), env, 100).startsWith("Padding"));
    MarkdownStyle a, b;
    b.measurements.paragraphSpacing = 4;
    EXPECT_FALSE(a == b);
    EXPECT_TRUE(dumpLayout(Text(QStringLiteral("x")).markdownStyle(a).onOpenLink([](const QUrl&) {}), env, 100).startsWith("Text"));
    // The session argument of the default providers is ignored.
    EXPECT_TRUE(dumpLayout(DefaultImageProvider(nullptr).makeImage(std::nullopt), env, 100).startsWith("RemoteImage 0,0 0x0 empty"));
    const std::shared_ptr<const InlineImageProvider> inlineFromSession = std::make_shared<DefaultInlineImageProvider>(nullptr);
    EXPECT_TRUE(inlineFromSession);
    // Block style modifiers whose bodies take only the label.
    const View paragraph = EnvironmentReader([](const Environment& e) {
        return e.theme().paragraph.makeBody({Text(QStringLiteral("label")), {}});
    });
    EXPECT_TRUE(dumpLayout(paragraph.markdownBlockStyleLabel(&Theme::paragraph, [](const View& l) { return l.padding(4); }),
                           env, 100).startsWith("Padding"));
    const View codeBlock = EnvironmentReader([](const Environment& e) {
        return e.theme().codeBlock.makeBody({QStringLiteral("c"), QStringLiteral("x"), Text(QStringLiteral("label"))});
    });
    const QString code = dumpLayout(codeBlock.markdownBlockStyleLabel(&Theme::codeBlock, [](const View& l) { return l.padding(4); }),
                                    env, 100);
    EXPECT_TRUE(code.startsWith("Padding") && code.contains("\"label\"")) << qPrintable(code);
#pragma GCC diagnostic pop
}

TEST(Color, PresetPalettesFollowTheScheme)
{
    EXPECT_EQ(DocCColors::link().resolve(ColorScheme::light), Color::rgba(0x0066ccff).resolve(ColorScheme::light));
    EXPECT_EQ(DocCColors::link().resolve(ColorScheme::dark), Color::rgba(0x2997ffff).resolve(ColorScheme::dark));
    EXPECT_EQ(GitHubColors::background().resolve(ColorScheme::light), (richtext::Color{1, 1, 1, 1}));
    EXPECT_EQ(GitHubColors::background().resolve(ColorScheme::dark), Color::rgba(0x18191dff).resolve(ColorScheme::dark));
    EXPECT_EQ(GitHubColors::divider().resolve(ColorScheme::dark), Color::rgba(0x333438ff).resolve(ColorScheme::dark));
}

TEST(Providers, StaticProvidersAreOfTheirKinds)
{
    EXPECT_TRUE(dynamic_cast<const DefaultImageProvider*>(ImageProvider::defaultProvider().get()));
    EXPECT_TRUE(dynamic_cast<const AssetImageProvider*>(ImageProvider::asset().get()));
    EXPECT_TRUE(dynamic_cast<const DefaultInlineImageProvider*>(InlineImageProvider::defaultProvider().get()));
    EXPECT_TRUE(dynamic_cast<const AssetInlineImageProvider*>(InlineImageProvider::asset().get()));
    const auto plain = CodeSyntaxHighlighter::plainText();
    ASSERT_TRUE(dynamic_cast<const PlainTextCodeSyntaxHighlighter*>(plain.get()));
    EXPECT_EQ(plain->highlightCode(QStringLiteral("int x;"), QStringLiteral("c")).text(), "int x;");
}

TEST(Providers, AssetImagesStayInsideTheirFolder)
{
    QTemporaryDir dir;
    QImage image(30, 20, QImage::Format_ARGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(dir.filePath(QStringLiteral("logo.png"))));
    QDir(dir.path()).mkdir(QStringLiteral("sub"));
    ASSERT_TRUE(image.save(dir.filePath(QStringLiteral("sub/inner.png"))));

    AssetImageNaming naming;
    naming.bundle = dir.filePath(QStringLiteral("sub"));
    const AnyImageProvider fromFolder{AssetImageProvider(naming)};
    const Environment env;
    auto dump = [&](const ImageProvider& provider, const std::optional<QUrl>& url) {
        return dumpLayout(provider.makeImage(url), env, 200);
    };
    EXPECT_TRUE(dump(fromFolder, QUrl(QStringLiteral("https://h/img/inner.png"))).startsWith("ResizeToFit 0,0 30x20"));
    EXPECT_TRUE(dump(fromFolder, std::nullopt).startsWith("Empty"));
    EXPECT_TRUE(dump(fromFolder, QUrl(QStringLiteral("missing.png"))).startsWith("Empty"));
    // Names that would leave the folder are refused, whatever the name function makes.
    for (const char* name : {"..", ".", "", "../logo.png", "sub/../../logo.png"}) {
        AssetImageNaming hostile = naming;
        hostile.name = [name](const QUrl&) { return QString::fromUtf8(name); };
        EXPECT_FALSE(hostile.pathFor(QUrl(QStringLiteral("x")))) << name;
        EXPECT_TRUE(dump(AssetImageProvider(hostile), QUrl(QStringLiteral("x"))).startsWith("Empty")) << name;
        std::optional<QImage> loaded;
        AssetInlineImageProvider(hostile).image(QUrl(QStringLiteral("x")), QStringLiteral("alt"),
                                                [&](const std::optional<QImage>& i, const QString&) { loaded = i; });
        ASSERT_TRUE(loaded);
        EXPECT_TRUE(loaded->isNull()) << name;
    }
    // The default name is the URL's last path component.
    EXPECT_EQ(AssetImageNaming{}.name(QUrl(QStringLiteral("https://h/img/logo.png"))), "logo.png");
}
