#include "QtPrinters.h"
#include "Recording.h"
#include "highlighter/AttributedStringOutputFormat.h"
#include "highlighter/HTMLOutputFormat.h"
#include "highlighter/MarkdownDecorator.h"
#include "highlighter/SwiftGrammar.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace highlighter;
using K = TokenType::Kind;

namespace {

TEST(HTMLOutput, SpansJoinSameTypeRunsWithTheirWhitespace)
{
    auto builder = HTMLOutputFormat("p-").makeBuilder();
    builder.addWhitespace(u"  ");          // nothing pending: written at once
    builder.addToken(u"let", K::keyword);
    builder.addWhitespace(u" ");
    builder.addToken(u"var", K::keyword);  // same type after a blank: same span
    builder.addWhitespace(u"\n");
    builder.addToken(u"x", K::type);       // different type closes the span; the blank follows it
    builder.addPlainText(u"a<b&c>\"d\"");
    builder.addToken(u"y", TokenType::custom("x"));
    EXPECT_EQ(builder.build(), "  <span class=\"p-keyword\">let var</span>\n<span class=\"p-type\">x</span>"
                               "a&lt;b&amp;c&gt;\"d\"<span class=\"p-x\">y</span>");
}

TEST(HTMLOutput, EmptyAndPending)
{
    EXPECT_EQ(HTMLOutputFormat("p").makeBuilder().build(), "");
    auto builder = HTMLOutputFormat("").makeBuilder();
    builder.addToken(u"a<", K::dotAccess);
    const QString first = builder.build();
    EXPECT_EQ(first, "<span class=\"dotAccess\">a&lt;</span>");
    // The builder goes on after a build and leaves the earlier output alone.
    builder.addWhitespace(u" ");
    builder.addPlainText(u"b");
    EXPECT_EQ(builder.build(), "<span class=\"dotAccess\">a&lt;</span> b");
    EXPECT_EQ(first, "<span class=\"dotAccess\">a&lt;</span>");
}

TEST(HTMLOutput, ClassNamesAreEscaped)
{
    auto builder = HTMLOutputFormat("a\"><script>").makeBuilder();
    builder.addToken(u"x", TokenType::custom("\" onclick=\"&"));
    EXPECT_EQ(builder.build(),
              "<span class=\"a&quot;&gt;&lt;script&gt;&quot; onclick=&quot;&amp;\">x</span>");
}

TEST(HTMLOutput, HighlightsSwift)
{
    const SyntaxHighlighter<HTMLOutputFormat> highlighter(HTMLOutputFormat("s-"), std::make_shared<SwiftGrammar>());
    EXPECT_EQ(highlighter.highlight("let x: Int = a < b // c & d"),
              "<span class=\"s-keyword\">let</span> x: <span class=\"s-type\">Int</span> = a &lt; b "
              "<span class=\"s-comment\">// c &amp; d</span>");
    EXPECT_EQ(highlighter.highlight(""), "");
}

TEST(MarkdownDecorator, DecoratesFences)
{
    const MarkdownDecorator decorator("s-", std::make_shared<SwiftGrammar>());
    struct Case {
        const char* markdown;
        const char* html;
    };
    const Case cases[] = {
        {"", ""},
        {"no fence & <b>", "no fence & <b>"},
        {"before\n```\nlet x\n```\nafter",
         "before\n<pre class=\"highlight\"><code><span class=\"s-keyword\">let</span> x</code></pre>\nafter"},
        {"```swift\nfoo()\n```",
         "<pre class=\"highlight\"><code>swift\n<span class=\"s-call\">foo</span>()</code></pre>"},
        {"```no-highlight\nlet a<b\n```", "<pre class=\"highlight\"><code>let a&lt;b</code></pre>"},
        {"```no-highlight```", "<pre class=\"highlight\"><code></code></pre>"},
        {"```  no-highlight  ```", "<pre class=\"highlight\"><code></code></pre>"},
        {"```no-highlightX&y```", "<pre class=\"highlight\"><code>&amp;y</code></pre>"},
        {"a```let", "a<pre class=\"highlight\"><code><span class=\"s-keyword\">let</span></code></pre>"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(decorator.decorate(QString::fromUtf8(c.markdown)), QString::fromUtf8(c.html)) << c.markdown;
    // The character after the prefix goes whole, even a carriage return and line feed.
    EXPECT_EQ(decorator.decorate("```no-highlight\r\nx```"), "<pre class=\"highlight\"><code>x</code></pre>");
}

TEST(AttributedOutput, EveryRunHasColourAndFont)
{
    Highlight::Theme theme = Highlight::Theme::presentation(Highlight::Font(13));
    theme.tokenColors.remove(K::number);
    auto builder = AttributedStringOutputFormat(theme).makeBuilder();
    builder.addToken(u"let", K::keyword);
    builder.addWhitespace(u" ");
    builder.addPlainText(u"x");
    builder.addToken(u"1", K::number);
    builder.addToken(u"y", TokenType::custom("c"));
    const richtext::AttributedText text = builder.build();

    EXPECT_EQ(text.text(), "let x1y");
    const richtext::Color white{1, 1, 1, 1};
    const richtext::Color keyword = theme.tokenColors.value(K::keyword);
    const richtext::Color expected[] = {keyword, keyword, keyword, white, theme.plainTextColor, white, white};
    for (qsizetype i = 0; i < text.text().size(); ++i) {
        const richtext::TextAttributes& attributes = *text.attributesAt(i);
        EXPECT_EQ(attributes.foregroundColor, expected[i]) << i;
        EXPECT_EQ(attributes.font, theme.font.resolved()) << i;
        EXPECT_FALSE(attributes.backgroundColor);
        EXPECT_TRUE(attributes.link.isEmpty());
    }
    // One style per colour; the number without a colour and the custom type share white's run.
    EXPECT_EQ(text.styles().size(), 3u);
    EXPECT_EQ(text.runs().size(), 4u);
    EXPECT_EQ(theme.plainTextColor, (richtext::Color{0, 0, 0, 1}));
}

TEST(AttributedOutput, RunsFollowTheHighlighter)
{
    const SyntaxHighlighter<AttributedStringOutputFormat> highlighter(
        AttributedStringOutputFormat(Highlight::Theme::brindlesColors(Highlight::Font(13))),
        std::make_shared<SwiftGrammar>());
    EXPECT_TRUE(highlighter.highlight("").isEmpty());
    EXPECT_TRUE(highlighter.highlight("").runs().empty());
    const QString code = QString::fromUtf16(u"let \U0001F600 = \"é\"\n");
    const richtext::AttributedText text = highlighter.highlight(code);
    EXPECT_EQ(text.text(), code);
    qsizetype offset = 0;
    for (const richtext::TextRun run : text.runs()) {
        EXPECT_EQ(run.start, offset); // UTF-16 offsets, consecutive
        offset += run.length;
    }
    EXPECT_EQ(offset, code.size());
}

// The compact runs colour each character as one run per builder call would: in the colour of
// its call, tokens by type, plain text in the plain colour, whitespace white. Under every
// theme, where some types share colours and plain text may be white like whitespace.
TEST(AttributedOutput, ColoursEveryCharacterAsItsBuilderCallSays)
{
    QStringList codes = {"let x = 1 // c\n", "  x", "\"a \\(b) c\" /* d */ e.f()", "@objc func g<T>(_ t: T) -> Int"};
    const QDir fixtures(QStringLiteral(QUILLORA_HIGHLIGHTER_FIXTURES));
    for (const QString& name : fixtures.entryList({"*.swift"}, QDir::Files, QDir::Name)) {
        QFile file(fixtures.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        codes << QString::fromUtf8(file.readAll());
    }
    const auto grammar = std::make_shared<SwiftGrammar>();
    const SyntaxHighlighter<testing_support::RecordingFormat> recorder(testing_support::RecordingFormat{}, grammar);
    using Theme = Highlight::Theme;
    for (Theme (*preset)(Highlight::Font) : {&Theme::brindlesColors, &Theme::presentation, &Theme::midnight,
                                             &Theme::sunset, &Theme::wwdc17, &Theme::wwdc18}) {
        const Theme theme = preset(Highlight::Font(13));
        const SyntaxHighlighter<AttributedStringOutputFormat> highlighter(AttributedStringOutputFormat(theme), grammar);
        for (const QString& code : codes) {
            const richtext::AttributedText text = highlighter.highlight(code);
            ASSERT_EQ(text.text(), code);
            qsizetype position = 0;
            for (const oracle::BuilderCall& call : recorder.highlight(code)) {
                const richtext::Color white{1, 1, 1, 1};
                const richtext::Color expected = call.kind == oracle::BuilderCall::Kind::token
                                                     ? theme.tokenColors.value(*call.type, white)
                                                 : call.kind == oracle::BuilderCall::Kind::plainText ? theme.plainTextColor
                                                                                                     : white;
                for (qsizetype end = position + call.text.size(); position < end; ++position)
                    ASSERT_EQ(text.attributesAt(position)->foregroundColor, expected) << position << " in " << code.toStdString();
            }
            // Neighbouring runs differ in style: no two calls of one colour stay apart.
            for (size_t i = 1; i < text.runs().size(); ++i)
                ASSERT_NE(text.runs()[i - 1].style, text.runs()[i].style);
        }
    }
}

// The result shares the code's text when the highlighter hands over its own pieces, and
// copies pieces from elsewhere without losing what came before.
TEST(AttributedOutput, SharesTheCodeAndCopiesForeignPieces)
{
    const SyntaxHighlighter<AttributedStringOutputFormat> highlighter(
        AttributedStringOutputFormat(Highlight::Theme::presentation(Highlight::Font(13))), std::make_shared<SwiftGrammar>());
    const QString code = QStringLiteral("let x = 1\n");
    EXPECT_EQ(highlighter.highlight(code).text().constData(), code.constData());

    auto builder = AttributedStringOutputFormat(Highlight::Theme::presentation(Highlight::Font(13))).makeBuilder();
    builder.start(code);
    builder.addToken(QStringView(code).first(3), K::keyword);
    builder.addPlainText(u"y"); // not the code's next piece
    builder.addWhitespace(QStringView(code).sliced(3, 1));
    const richtext::AttributedText copy = builder.build();
    EXPECT_EQ(copy.text(), "lety ");
    EXPECT_EQ(std::move(builder).build(), copy);
}

} // namespace
