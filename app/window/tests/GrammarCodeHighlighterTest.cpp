#include "window/GrammarCodeHighlighter.h"

#include <testsupport/QtPrinting.h>

#include <gtest/gtest.h>

#include <set>

using namespace quillora;

namespace {

std::vector<std::pair<qsizetype, qsizetype>> spans(const richtext::AttributedText& text)
{
    std::vector<std::pair<qsizetype, qsizetype>> result;
    for (const richtext::TextRun& run : text.runs())
        result.emplace_back(run.start, run.length);
    return result;
}

TEST(GrammarCodeHighlighter, AnyLanguageIsReadAsSwiftAndNoLanguageStaysPlain)
{
    const QString code = QStringLiteral("def answer(): return 42 # python, read as Swift\nlet s = \"text\"");
    const GrammarCodeHighlighter light(mdview::ColorScheme::light);
    for (const std::optional<QString>& language : {std::optional(QStringLiteral("python")), std::optional(QString())}) {
        const auto highlighted = light.highlightCode(code, language);
        EXPECT_EQ(highlighted.text(), code);
        std::set<std::tuple<double, double, double>> colors;
        for (const richtext::TextAttributes& style : highlighted.styles()) {
            ASSERT_TRUE(style.foregroundColor);
            colors.insert({style.foregroundColor->red, style.foregroundColor->green, style.foregroundColor->blue});
            EXPECT_EQ(style.font, GrammarCodeHighlighter::displayFont());
        }
        EXPECT_GE(colors.size(), 3u) << "keywords, numbers and strings differ from plain text";
    }
    const auto plain = light.highlightCode(code, std::nullopt);
    EXPECT_EQ(plain, richtext::AttributedText(code));
    EXPECT_TRUE(light.highlightCode(QString(), QStringLiteral("swift")).runs().empty());
}

TEST(GrammarCodeHighlighter, TheSchemesGiveTheSameRunsInOtherColours)
{
    const QString code = QStringLiteral("struct Greeter { let name: String } // done");
    const auto light = GrammarCodeHighlighter(mdview::ColorScheme::light).highlight(code);
    const auto dark = GrammarCodeHighlighter(mdview::ColorScheme::dark).highlight(code);
    EXPECT_EQ(spans(light), spans(dark));
    EXPECT_NE(light, dark);
    const auto font = GrammarCodeHighlighter::displayFont();
    EXPECT_EQ(font.pixelSize, 13);
    EXPECT_TRUE(font.monospaced);
    EXPECT_EQ(font.weight, 400);
    EXPECT_TRUE(font.family.isEmpty());
}

} // namespace
