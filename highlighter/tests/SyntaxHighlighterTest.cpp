#include "QtPrinters.h"
#include "Recording.h"
#include "highlighter/SwiftGrammar.h"

#include "highlighter/HTMLOutputFormat.h"

#include <gtest/gtest.h>

#include <thread>

using namespace highlighter;
using testing_support::describe;
using testing_support::RecordingFormat;
using K = TokenType::Kind;

namespace {

// A rule that claims tokens by their text.
class TextRule : public SyntaxRule {
public:
    TextRule(TokenType type, QStringList texts) : m_type(std::move(type)), m_texts(std::move(texts)) {}
    TokenType tokenType() const override { return m_type; }
    bool matches(const Segment& segment) const override
    {
        return m_texts.contains(segment.tokens().current().toString());
    }

private:
    TokenType m_type;
    QStringList m_texts;
};

// Words and single punctuation characters; "k" and "w" are keywords, "n" a number,
// "c" a custom kind, "(" and ")" are claimed by both the first and the second rule.
class TestGrammar : public Grammar {
public:
    TestGrammar()
    {
        setSyntaxRules({
            std::make_shared<TextRule>(K::keyword, QStringList{"k", "w", "(", ")"}),
            std::make_shared<TextRule>(K::number, QStringList{"n", "(", ")"}),
            std::make_shared<TextRule>(TokenType::custom("c"), QStringList{"c"}),
        });
    }
    bool delimitersContain(char32_t scalar) const override { return !QChar::isLetterOrNumber(scalar); }
    bool isDelimiter(QStringView, QStringView) const override { return false; }
};

QString run(const QString& code)
{
    const SyntaxHighlighter<RecordingFormat> highlighter(RecordingFormat{}, std::make_shared<TestGrammar>());
    return describe(highlighter.highlight(code));
}

TEST(SyntaxHighlighter, DrivesTheBuilder)
{
    struct Case {
        const char* code;
        const char* calls;
    };
    const Case cases[] = {
        {"", ""},
        {"  k", "ws(-)[  ] token(keyword)[k]"},
        {"x", "plain(-)[x]"},
        {"k(w)", "token(keyword)[k(w)]"},            // same kind, no whitespace: one call
        {"k n", "token(keyword)[k] ws(-)[ ] token(number)[n]"},
        {"kn", "plain(-)[kn]"},                       // one word token, no rule claims it
        {"k.n", "token(keyword)[k] plain(-)[.] token(number)[n]"},
        {"x.y", "plain(-)[x.y]"},                     // unclaimed neighbours join as plain text
        {"k.", "token(keyword)[k] plain(-)[.]"},      // the last token is still written
        {"c(c)", "token(c)[c] token(keyword)[(] token(c)[c] token(keyword)[)]"},
        {"k\n", "token(keyword)[k] ws(-)[\n]"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(run(c.code), QString::fromUtf8(c.calls)) << c.code;
}

TEST(SyntaxHighlighter, FirstMatchingRuleDecides)
{
    // "(" is claimed by the keyword rule before the number rule.
    EXPECT_EQ(run("n("), "token(number)[n] token(keyword)[(]");
}

TEST(SyntaxHighlighter, ToleratesBadInput)
{
    const auto swift = std::make_shared<SwiftGrammar>();
    const SyntaxHighlighter<RecordingFormat> highlighter(RecordingFormat{}, swift);
    const QString inputs[] = {
        "let s = \"never closed",
        "/* never closed\nlet x = 1",
        "let s = \"\"\"\nnever closed",
        "let r = #\"never closed",
        "let big = 123456789012345678901234567890",
        QString::fromUtf8("let bad = \"\xff\xfe\xc3\x28\xe2\x82\"\x80 \xf0\x28\x8c\x28"),
        QString::fromUtf16(u"\0\0\0\u0301\u200D", 5),
        "\\(\\(\\(((((", ")))))", "#\"\\#(", "\\#)",
    };
    for (const QString& input : inputs) {
        QString joined;
        for (const auto& call : highlighter.highlight(input))
            joined += call.text;
        EXPECT_EQ(joined, input) << input.toStdString();
    }
}

} // namespace

namespace {

TEST(SyntaxHighlighter, CallsMayRunConcurrently)
{
    const auto swift = std::make_shared<SwiftGrammar>();
    const SyntaxHighlighter<HTMLOutputFormat> highlighter(HTMLOutputFormat("s-"), swift);
    QString code;
    for (int i = 0; i < 200; ++i)
        code += QStringLiteral("let v%1: Int = f(\"s \\(x) %1\") // c\n").arg(i);
    const QString expected = highlighter.highlight(code);
    std::vector<QString> results(4);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < results.size(); ++t)
        threads.emplace_back([&, t] { results[t] = highlighter.highlight(code); });
    for (auto& thread : threads)
        thread.join();
    for (const QString& result : results)
        EXPECT_EQ(result, expected);
}

} // namespace
