#include "richtext/AttributedText.h"

#include <gtest/gtest.h>

using namespace richtext;

namespace {

const TextAttributes red{Color{1, 0, 0, 1}};
const TextAttributes blue{Color{0, 0, 1, 1}};

std::vector<TextRun> runsOf(const AttributedText& text)
{
    return {text.runs().begin(), text.runs().end()};
}

} // namespace

TEST(AttributedText, RunsCoverTheTextInOrderAndSkipEmptyPieces)
{
    AttributedText text;
    text.append(QStringLiteral("ab"), red);
    text.append(QString(), blue);
    text.append(QStringLiteral("😀c"), TextAttributes{});

    EXPECT_EQ(text.text(), QStringLiteral("ab😀c"));
    ASSERT_EQ(text.runs().size(), 2u);
    EXPECT_EQ(text.attributes(text.runs()[0]), red);
    EXPECT_EQ(text.runs()[1].start, 2);
    EXPECT_EQ(text.runs()[1].length, 3); // UTF-16: the emoji is two units
    EXPECT_EQ(text.styles().size(), 3u); // blue was interned although nothing was appended in it
}

TEST(AttributedText, EqualAttributesShareOneStyleAndNeighboursInOneStyleShareOneRun)
{
    AttributedText text;
    const StyleIndex r = text.addStyle(red);
    EXPECT_EQ(text.addStyle(TextAttributes{Color{1, 0, 0, 1}}), r);
    text.append(u"a", r);
    text.append(u"b", red);
    text.append(u"c", blue);
    text.append(u"d", red);

    EXPECT_EQ(text.styles().size(), 2u);
    EXPECT_EQ(runsOf(text), (std::vector<TextRun>{{0, 2, r}, {2, 1, text.addStyle(blue)}, {3, 1, r}}));
    for (const auto& [position, expected] : std::vector<std::pair<qsizetype, const TextAttributes*>>{
             {0, &red}, {1, &red}, {2, &blue}, {3, &red}, {4, nullptr}, {-1, nullptr}}) {
        const TextAttributes* at = text.attributesAt(position);
        EXPECT_EQ(at ? std::optional(*at) : std::nullopt, expected ? std::optional(*expected) : std::nullopt)
            << position;
    }
}

TEST(AttributedText, ManyStylesAreInternedAsFewAre)
{
    // A text of many distinct styles (a paragraph of many links) keeps finding each one again.
    const auto link = [](int i) {
        TextAttributes attributes;
        attributes.link = QStringLiteral("https://example.com/%1").arg(i);
        return attributes;
    };
    AttributedText text;
    std::vector<StyleIndex> first;
    for (int i = 0; i < 100; ++i) {
        first.push_back(text.addStyle(link(i)));
        EXPECT_EQ(text.addStyle(link(i / 2)), first[std::size_t(i / 2)]) << i;
    }
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(text.addStyle(link(i)), first[std::size_t(i)]) << i;
    EXPECT_EQ(text.styles().size(), 100u);
}

TEST(AttributedText, AppendingAnotherTextMapsItsStylesAndJoinsAtTheSeam)
{
    AttributedText first(QStringLiteral("x"), red);
    AttributedText second;
    second.append(u"yy", blue); // blue is style 0 here and style 1 in the result
    second.append(u"z", red);
    second.append(u"w", blue);

    AttributedText joined = second;
    joined.append(first); // red after red: one run
    EXPECT_EQ(joined.text(), QStringLiteral("yyzwx"));
    EXPECT_EQ(joined.runs().size(), 4u);

    first.append(second); // red "x" then blue "yy": the seam is a style change
    EXPECT_EQ(first.text(), QStringLiteral("xyyzw"));
    ASSERT_EQ(first.runs().size(), 4u);
    EXPECT_EQ(first.attributes(first.runs()[1]), blue);
    EXPECT_EQ(first.runs()[1].length, 2);
    EXPECT_EQ(first.styles().size(), 2u);
}

TEST(AttributedText, EqualityComparesAttributesPerCharacterNotTheOrderOfTheStyleTables)
{
    AttributedText a;
    a.addStyle(blue);
    a.append(u"ab", red);
    AttributedText b(QStringLiteral("ab"), red);
    EXPECT_EQ(a, b);

    AttributedText c;
    c.append(u"a", red);
    c.append(u"b", blue);
    EXPECT_NE(a, c);
    EXPECT_NE(a, AttributedText(QStringLiteral("ab"), blue));
    EXPECT_NE(a, AttributedText(QStringLiteral("ac"), red));
}

TEST(AttributedText, ASliceKeepsTheAttributesOfItsCharacters)
{
    AttributedText text(QStringLiteral("ab"), red);
    text.append(u"cd", blue);
    text.append(u"ef", red);
    const struct {
        qsizetype position;
        qsizetype length;
        AttributedText expected;
    } cases[] = {
        {0, -1, text},
        {1, 2, [] { AttributedText t(QStringLiteral("b"), red); t.append(u"c", blue); return t; }()},
        {2, 2, AttributedText(QStringLiteral("cd"), blue)},
        {3, -1, [] { AttributedText t(QStringLiteral("d"), blue); t.append(u"ef", red); return t; }()},
        {6, -1, AttributedText()},
        {4, 99, AttributedText(QStringLiteral("ef"), red)},
    };
    for (const auto& c : cases) {
        const AttributedText slice = text.sliced(c.position, c.length);
        EXPECT_EQ(slice, c.expected) << c.position << " " << c.length;
        EXPECT_LE(slice.styles().size(), 2u);
    }
}

// A text built by appending many small texts grows its room in steps, not at every append.
TEST(AttributedText, AppendingTextsPieceByPieceGrowsRoomInFewSteps)
{
    AttributedText text;
    AttributedText piece(QStringLiteral("ab"), red);
    piece.append(u"c", blue);
    int reallocations = 0;
    std::size_t usage = text.memoryUsage();
    for (int i = 0; i < 10000; ++i) {
        text.append(piece);
        reallocations += text.memoryUsage() != usage;
        usage = text.memoryUsage();
    }
    EXPECT_EQ(text.runs().size(), 20000u);
    EXPECT_LT(reallocations, 100);
}

TEST(AttributedText, MemoryIsTheTextAndAFewBytesPerRun)
{
    AttributedText text;
    const StyleIndex styles[] = {text.addStyle(red), text.addStyle(blue)};
    text.reserve(20000, 10000);
    for (int i = 0; i < 10000; ++i)
        text.append(u"ab", styles[i % 2]);
    text.squeeze();
    EXPECT_EQ(text.runs().size(), 10000u);
    EXPECT_LT(text.memoryUsage(), std::size_t(20000 * 2 + 10000 * 8 + 1024));
}
