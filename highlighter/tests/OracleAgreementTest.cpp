// The fast tokenizer and rules against the literal oracle, on every fixture: the example
// snippets, the fixture files and generated token soup.

#include "QtPrinters.h"
#include "LiteralHighlighter.h"
#include "Recording.h"
#include "highlighter/SwiftGrammar.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <random>

using namespace highlighter;
using testing_support::describe;
using testing_support::RecordingFormat;

namespace {

QStringList exampleSnippets()
{
    return {
        "let x = 1\n", "  x", "foo(bar)", "a//b", "x).", "a\nb", "x x x", "\"hello world\"",
        "#if DEBUG", "#warning(\"x\")", "x // note", "/* a\nb */ c", "let s = \"a \\(value) b\"",
        "let s = \"\"\"\nline\n\"\"\"", "#\"raw\\#(x)\"#", "\"//\"", "#if A \"x\"", "@objc", "@Foo.Bar",
        "42 1_000 3.14 0x1F 1e5 x$ 5", "let x: String", "class Foo", "x = .Red", "XCTAssertEqual(a, b)",
        "let d: Dictionary<Key, Value>", "func f<T, U>()", "foo(1)", "foo (1)", "items.map { $0 }",
        "if ready {", "func foo()", "return foo()", "case .some(let x)", "init(x: 1)", "private(set)",
        "view.frame.size", "foo.bar()", "foo(.red)", "import os.log", "$text $0", "private(set) var x",
        "func f(in x: Int)", "for x in xs", "case some", "default:", "label:", "for:", "self.value",
        "Foo.self", "public actor Store", "var actor = 1", "x //// y", "x //* y",
        // Comment marks inside comments and strings.
        "/* a */\n// (e.g. /x?\\(\\s*/)\nlet y = 2", "// see /* here\nlet x = 1", "a */\nlet b = 1",
        "let s = \"a /* b\"\nlet t = 1", "let r = #\"a /* b\"#\nlet t = 1", "let m = \"\"\"\n/* b\n\"\"\"\nx",
        "let s = \"\\(a /* note */ + b)\"", "/* a /* b */ c */ d", "/**\n * doc\n **/\nlet x = 1",
        "/* a // b */ let x = 1",
    };
}

QStringList fixtureFiles()
{
    QStringList codes;
    QDir dir(QStringLiteral(QUILLORA_HIGHLIGHTER_FIXTURES));
    for (const QString& name : dir.entryList({"*.swift"}, QDir::Files, QDir::Name)) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
        codes << QString::fromUtf8(file.readAll());
    }
    return codes;
}

// Random runs of Swift-ish pieces, glued with and without whitespace so that delimiters
// merge in every way and strings, comments and interpolations open and close at random.
QStringList tokenSoup(int count, unsigned seed)
{
    const QStringList pieces = {
        "let", "var", "func", "class", "struct", "enum", "case", "some", "self", "super", "init", "import",
        "return", "if", "for", "in", "switch", "default", "actor", "private", "public", "set", "get", "try",
        "nil", "true", "_", "__x__", "Foo", "Bar", "XCTAssertTrue", "x", "value", "map", "$0", "$text", "$",
        "@objc", "@escaping", "@Foo", "#if", "#else", "#endif", "#warning", "#error", "#selector",
        "42", "1_000", "3", ".", "14", "0x1F", "99999999999999999999999", "(", ")", "((", "))", "{", "}",
        "{}", "[", "]", "<", ">", ">:", "->", ",", ":", "=", "==", "&&", "||", "?.", "!", "+=", "*",
        "/", "//", "///", "////", "/*", "/**", "*/", "\\", "\\(", "\\.", "#", "\"", "\"\"\"", "#\"",
        "\"#", "#\"\"\"", "\"\"\"#", "\"a", "b\"", "`", ";", "é", "e\u0301", "(\u0301", "🙂", "漢字",
    };
    const QStringList gaps = {"", "", "", " ", " ", "\n", "\t", "\r\n", "  ", " \n "};
    std::mt19937 random(seed);
    QStringList codes;
    for (int c = 0; c < count; ++c) {
        QString code;
        const int length = 5 + int(random() % 80);
        for (int i = 0; i < length; ++i) {
            code += pieces[qsizetype(random() % pieces.size())];
            code += gaps[qsizetype(random() % gaps.size())];
        }
        codes << code;
    }
    return codes;
}

void expectSameSegments(const QString& code, const Grammar& grammar)
{
    const auto literal = oracle::literalSegments(code, grammar);
    const Segments fast = Tokenizer().segments(code, grammar);
    ASSERT_EQ(qsizetype(literal.size()), fast.size()) << code.toStdString();
    for (qsizetype i = 0; i < fast.size(); ++i) {
        const oracle::LiteralSegment& l = literal[size_t(i)];
        const Segment f = fast[i];
        SCOPED_TRACE(QStringLiteral("token %1 '%2' in: %3").arg(i).arg(l.tokens.current, code).toStdString());
        ASSERT_EQ(f.tokens().current(), l.tokens.current);
        EXPECT_EQ(f.prefix(), l.prefix);
        EXPECT_EQ(f.trailingWhitespace().has_value(), l.trailingWhitespace.has_value());
        EXPECT_EQ(f.trailingWhitespace().value_or(QStringView()), l.trailingWhitespace.value_or(QString()));
        EXPECT_EQ(f.currentTokenIsDelimiter(), l.currentTokenIsDelimiter);
        EXPECT_EQ(f.isLastOnLine(), l.isLastOnLine);
        EXPECT_EQ(f.tokens().previous().has_value(), l.tokens.previous.has_value());
        EXPECT_EQ(f.tokens().previous().value_or(QStringView()), l.tokens.previous.value_or(QString()));
        EXPECT_EQ(f.tokens().next().has_value(), l.tokens.next.has_value());
        EXPECT_EQ(f.tokens().next().value_or(QStringView()), l.tokens.next.value_or(QString()));
        QStringList all;
        for (QStringView t : f.tokens().all())
            all << t.toString();
        EXPECT_EQ(all, l.tokens.all);
        QStringList line;
        for (QStringView t : f.tokens().onSameLine())
            line << t.toString();
        EXPECT_EQ(line, l.tokens.onSameLine);
        for (const QString& text : {l.tokens.current, QStringLiteral("/*"), QStringLiteral("\"\"\""), QString()})
            EXPECT_EQ(f.tokens().count(text), l.tokens.count(text)) << text.toStdString();
    }
}

void expectSameHighlighting(const QString& code)
{
    const auto grammar = std::make_shared<const SwiftGrammar>();
    // Token by token first, for a readable report of the first disagreement.
    const auto literal = oracle::literalSegments(code, *grammar);
    const Segments fast = Tokenizer().segments(code, *grammar);
    ASSERT_EQ(qsizetype(literal.size()), fast.size());
    for (qsizetype i = 0; i < fast.size(); ++i) {
        const SyntaxRule* rule = grammar->firstMatchingRule(fast[i]);
        const auto fastType = rule ? std::optional<TokenType>(rule->tokenType()) : std::nullopt;
        const auto literalType = oracle::literalSwiftTokenType(literal[size_t(i)]);
        if (fastType != literalType) {
            ADD_FAILURE() << "token " << i << " '" << literal[size_t(i)].tokens.current.toStdString() << "': fast "
                          << describe(fastType).toStdString() << ", literal " << describe(literalType).toStdString()
                          << "\nline: " << literal[size_t(i)].tokens.onSameLine.join(u' ').toStdString()
                          << "\nin: " << code.toStdString();
            return;
        }
    }
    const SyntaxHighlighter<RecordingFormat> highlighter(RecordingFormat{}, grammar);
    EXPECT_EQ(describe(highlighter.highlight(code)), describe(oracle::literalSwiftHighlight(code)));
}

TEST(OracleAgreement, ExampleSnippets)
{
    const SwiftGrammar grammar;
    for (const QString& code : exampleSnippets()) {
        expectSameSegments(code, grammar);
        expectSameHighlighting(code);
    }
}

TEST(OracleAgreement, FixtureFiles)
{
    const SwiftGrammar grammar;
    const QStringList files = fixtureFiles();
    ASSERT_GE(files.size(), 3);
    for (const QString& code : files) {
        expectSameSegments(code, grammar);
        expectSameHighlighting(code);
    }
}

TEST(OracleAgreement, GeneratedTokenSoup)
{
    const SwiftGrammar grammar;
    for (const QString& code : tokenSoup(400, 20261209)) {
        expectSameSegments(code, grammar);
        expectSameHighlighting(code);
        if (::testing::Test::HasFailure())
            return;
    }
}

// Real source kept outside the repository (see bench/highlighter), when it is at hand.
TEST(OracleAgreement, ExternalSwiftFiles)
{
    const QString dirPath = qEnvironmentVariable("QUILLORA_SWIFT_FILES");
    if (dirPath.isEmpty())
        GTEST_SKIP() << "QUILLORA_SWIFT_FILES is not set";
    QDir dir(dirPath);
    int checked = 0;
    for (const QString& name : dir.entryList({"*.swift"}, QDir::Files, QDir::Name)) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly) || file.size() > 64 * 1024)
            continue;
        SCOPED_TRACE(name.toStdString());
        expectSameHighlighting(QString::fromUtf8(file.readAll()));
        ++checked;
    }
    RecordProperty("files", checked);
    EXPECT_GT(checked, 0) << "no Swift file of 64 KB or less under " << dirPath.toStdString();
}

} // namespace
