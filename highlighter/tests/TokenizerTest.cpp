#include "QtPrinters.h"
#include "Characters.h"
#include "LiteralHighlighter.h"
#include "highlighter/SwiftGrammar.h"
#include "highlighter/Tokenizer.h"

#include <QTextBoundaryFinder>

#include <gtest/gtest.h>

using namespace highlighter;

namespace {

// Tokens with their trailing whitespace in brackets: 'let[ ] x[ ]'.
QString cut(const QString& code, const Grammar& grammar)
{
    QStringList parts;
    for (const Segment& s : Tokenizer().segments(code, grammar)) {
        QString part = s.tokens().current().toString();
        if (const auto ws = s.trailingWhitespace())
            part += u'[' + ws->toString() + u']';
        parts << part;
    }
    return parts.join(u'|');
}

QString roundTrip(const QString& code, const Grammar& grammar)
{
    QString out;
    for (const Segment& s : Tokenizer().segments(code, grammar))
        out += s.tokens().current().toString() + s.trailingWhitespace().value_or(QStringView()).toString();
    return out;
}

// A grammar with the default merge test: runs of delimiters form one token.
class PunctuationGrammar : public Grammar {
public:
    bool delimitersContain(char32_t scalar) const override { return !QChar::isLetterOrNumber(scalar); }
};

TEST(Tokenizer, CutsTheExamples)
{
    const SwiftGrammar swift;
    struct Case {
        const char16_t* code;
        const char16_t* tokens;
    };
    const Case cases[] = {
        {u"", u""},
        {u"let x = 1\n", u"let[ ]|x[ ]|=[ ]|1[\n]"},
        {u"  x", u"[  ]|x"},
        {u"foo(bar)", u"foo|(|bar|)"},
        {u"a//b", u"a|//|b"},
        {u"x).", u"x|)|."},
        {u"\\(x", u"\\(|x"},
        {u"a+=b", u"a|+=|b"},
        {u"a_b #if @objc $0", u"a_b[ ]|#if[ ]|@objc[ ]|$0"},
        {u"\"hello\"", u"\"hello\""},
        {u"\"hello world\"", u"\"hello[ ]|world\""},
        {u"f(((x)))", u"f|(|(|(|x|)|)|)"},
        {u"a?.b", u"a|?.|b"},
        {u"x->y", u"x|->|y"},
        {u"a\r\nb", u"a[\r\n]|b"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(cut(QString::fromUtf16(c.code), swift), QString::fromUtf16(c.tokens)) << QString::fromUtf16(c.code).toStdString();
}

TEST(Tokenizer, DefaultMergeTestJoinsRunsOfDelimiters)
{
    const PunctuationGrammar grammar;
    EXPECT_EQ(cut("x += y", grammar), "x[ ]|+=[ ]|y");
    EXPECT_EQ(cut("f(g(x}))", grammar), "f|(|g|(|x|}))");
}

TEST(Tokenizer, SegmentContext)
{
    const SwiftGrammar swift;
    const Segments foo = Tokenizer().segments("foo(bar)", swift);
    ASSERT_EQ(foo.size(), 4);
    const Segment first = foo[0];
    EXPECT_FALSE(first.tokens().previous());
    EXPECT_TRUE(first.tokens().all().isEmpty());
    EXPECT_TRUE(first.tokens().onSameLine().isEmpty());
    EXPECT_EQ(first.tokens().count(u"foo"), 0);

    const Segment bar = foo[2];
    EXPECT_EQ(bar.tokens().previous(), u"(");
    EXPECT_EQ(bar.tokens().next(), u")");
    EXPECT_EQ(bar.prefix(), u"foo(");
    ASSERT_EQ(bar.tokens().onSameLine().size(), 2);
    EXPECT_EQ(bar.tokens().onSameLine()[0], u"foo");
    EXPECT_EQ(bar.tokens().onSameLine()[1], u"(");
    EXPECT_FALSE(foo[3].tokens().next());

    const Segments lines = Tokenizer().segments("a\nb", swift);
    EXPECT_EQ(lines[1].tokens().previous(), u"a");
    EXPECT_TRUE(lines[1].tokens().onSameLine().isEmpty());
    EXPECT_TRUE(lines[0].isLastOnLine());

    const Segments crlf = Tokenizer().segments("a\r\nb", swift);
    EXPECT_TRUE(crlf[0].isLastOnLine());
    EXPECT_EQ(crlf[0].trailingWhitespace(), u"\r\n");

    const Segments xs = Tokenizer().segments("x x x", swift);
    EXPECT_EQ(xs[2].tokens().count(u"x"), 2);
    EXPECT_EQ(xs[2].tokens().count(u"y"), 0);

    const Segments leading = Tokenizer().segments("  x", swift);
    ASSERT_EQ(leading.size(), 2);
    EXPECT_EQ(leading[0].tokens().current(), u"");
    EXPECT_EQ(leading[1].tokens().previous(), u"");
    ASSERT_EQ(leading[1].tokens().all().size(), 1);
    EXPECT_EQ(leading[1].tokens().all()[0], u"");

    const Segments last = Tokenizer().segments("let x = 1\n", swift);
    EXPECT_TRUE(last[3].isLastOnLine());
    EXPECT_FALSE(last[3].tokens().next());
    EXPECT_TRUE(last[2].currentTokenIsDelimiter());
    EXPECT_FALSE(last[1].currentTokenIsDelimiter());
}

TEST(Tokenizer, GivesBackTheInputExactly)
{
    const SwiftGrammar swift;
    const PunctuationGrammar punctuation;
    const QString cases[] = {
        QString(),
        "let x = 1\n",
        "  \n\t x",
        "a\r\nb\rc\n\r\nd",
        QString::fromUtf16(u"a\u2028b\u2029c\u0085d\u000Be\u000Cf"),
        QString::fromUtf16(u"x\0y (\0) \0", 9),
        QString::fromUtf16(u"e\u0301 (\u0301 \u0301x _\u0301 \"\u0301 \\\u0301("),
        QString::fromUtf16(u"let \U0001F468\u200D\U0001F469\u200D\U0001F467 = \U0001F1FA\U0001F1F8\U0001F1EB\U0001F1F7!"),
        QString::fromUtf16(u"\uFEFFimport Foundation\u00A0\u3000x"),
        QString::fromUtf8("let s = \"\xff\xfe broken \xc3\x28 utf8\"\n"),
        QString::fromUtf16(u"\u0600x \u0600( a\u0308\u0308b"),
        QString(QChar(0xD800)) + "lone" + QChar(0xDC00),
        "\n\n\n",
        "}}}))) ///// /* */ \\\\ \\(",
    };
    for (const QString& code : cases) {
        EXPECT_EQ(roundTrip(code, swift), code) << code.toStdString();
        EXPECT_EQ(roundTrip(code, punctuation), code) << code.toStdString();
    }
}

TEST(Tokenizer, CombiningMarksStayWithTheirCharacter)
{
    const SwiftGrammar swift;
    // A mark on a parenthesis keeps it one character: it is not "(" and does not split.
    EXPECT_EQ(cut(QString::fromUtf16(u"f(\u0301x"), swift), QString::fromUtf16(u"f|(\u0301|x"));
    // A blank carrying a mark is still whitespace.
    EXPECT_EQ(cut(QString::fromUtf16(u"a \u0301b"), swift), QString::fromUtf16(u"a[ \u0301]|b"));
}

} // namespace

namespace {

// Boundaries worked out run by run agree with segmenting the whole text at once.
TEST(Tokenizer, CharacterBoundariesMatchWholeTextSegmentation)
{
    const QString cases[] = {
        QString::fromUtf16(u"e\u0301 (\u0301 \u0301x _\u0301 \r\n\u0301 \n\u0301"),
        QString::fromUtf16(u"\U0001F468\u200D\U0001F469\u200D\U0001F467x\U0001F1FA\U0001F1F8\U0001F1EB\U0001F1F7\U0001F1E9"),
        QString::fromUtf16(u"\u0600x \u0600\r\n\u0600(a\u0308\u0308b\u1100\u1161\u11A8 \u0915\u094D\u0937"),
        QString::fromUtf16(u"\u00e9\u00e9 a\u00e9\ra\u00e9\r\n\u00e9\r\u0301"),
        QString::fromUtf8("\xff\xfe x \xc3\x28"),
    };
    for (const QString& text : cases) {
        const std::vector<bool> boundaries = characters::graphemeBoundaries(text);
        ASSERT_EQ(boundaries.size(), size_t(text.size()) + 1);
        QTextBoundaryFinder whole(QTextBoundaryFinder::Grapheme, text);
        for (qsizetype p = 0; p <= text.size(); ++p) {
            whole.setPosition(p);
            EXPECT_EQ(boundaries[size_t(p)], whole.isAtBoundary()) << p << " in " << text.toStdString();
        }
    }
    EXPECT_TRUE(characters::graphemeBoundaries("plain ascii\r\n").empty());
}

} // namespace
