#include "QtPrinters.h"
#include "Recording.h"
#include "SwiftWords.h"
#include "highlighter/SwiftGrammar.h"

#include <gtest/gtest.h>

using namespace highlighter;
using testing_support::classify;
using testing_support::describe;

namespace {

struct KindCase {
    const char* code;
    const char* token;
    int occurrence; // which occurrence of the token in the code
    const char* expected; // a type name, "-" for none, or "!name" for anything but that type
};

void PrintTo(const KindCase& c, std::ostream* os)
{
    *os << "'" << c.token << "' in '" << c.code << "'";
}

class SwiftTokenKinds : public ::testing::TestWithParam<KindCase> {};

TEST_P(SwiftTokenKinds, ClassifiesTheTokenAsExpected)
{
    const KindCase& c = GetParam();
    const SwiftGrammar grammar;
    const auto tokens = classify(QString::fromUtf8(c.code), grammar);
    int seen = 0;
    for (const auto& t : tokens) {
        if (t.token != QString::fromUtf8(c.token) || seen++ != c.occurrence)
            continue;
        const QString expected = QString::fromUtf8(c.expected);
        const QString actual = describe(t.type);
        if (expected.startsWith(u'!'))
            EXPECT_NE(actual, expected.mid(1)) << c.code << " / " << c.token;
        else
            EXPECT_EQ(actual, expected) << c.code << " / " << c.token;
        return;
    }
    FAIL() << "token " << c.token << " not found in " << c.code;
}

INSTANTIATE_TEST_SUITE_P(LiteralsAndComments, SwiftTokenKinds, ::testing::Values(
    KindCase{"#if DEBUG", "#if", 0, "preprocessing"},
    KindCase{"#if DEBUG", "DEBUG", 0, "preprocessing"},
    KindCase{"#warning(\"x\")", "#warning", 0, "preprocessing"},
    KindCase{"#warning(\"x\")", "\"x\"", 0, "string"},
    KindCase{"#warning(\"x\")", ")", 0, "!preprocessing"},
    KindCase{"x // note", "//", 0, "comment"},
    KindCase{"x // note", "note", 0, "comment"},
    KindCase{"x // note", "x", 0, "!comment"},
    KindCase{"/* a\nb */ c", "a", 0, "comment"},
    KindCase{"/* a\nb */ c", "b", 0, "comment"},
    KindCase{"/* a\nb */ c", "c", 0, "-"},
    KindCase{"let s = \"a \\(value) b\"", "value", 0, "!string"},
    KindCase{"let s = \"a \\(value) b\"", ")", 0, "!string"},
    KindCase{"let s = \"a \\(value) b\"", "\"a", 0, "string"},
    KindCase{"let s = \"a \\(value) b\"", "b\"", 0, "string"},
    KindCase{"let s = \"\"\"\nline one\n\"\"\"", "\"\"\"", 0, "string"},
    KindCase{"let s = \"\"\"\nline one\n\"\"\"", "line", 0, "string"},
    KindCase{"let s = \"\"\"\nline one\n\"\"\"", "\"\"\"", 1, "string"},
    KindCase{"#\"raw\\#(x)\"#", "#\"raw", 0, "string"},
    KindCase{"#\"raw\\#(x)\"#", "\\", 0, "!string"},
    KindCase{"#\"raw\\#(x)\"#", "#", 0, "!string"},
    KindCase{"#\"raw\\#(x)\"#", "(", 0, "!string"},
    KindCase{"#\"raw\\#(x)\"#", "x", 0, "!string"},
    KindCase{"#\"raw\\#(x)\"#", ")", 0, "!string"},
    KindCase{"#\"raw\\#(x)\"#", "\"#", 0, "string"},
    KindCase{"\"//\"", "//", 0, "comment"},
    KindCase{"\"//\"", "\"", 1, "comment"},
    KindCase{"#if A \"x\"", "\"x\"", 0, "preprocessing"},
    // Merged comment starts that the plain "//" and "///" list would miss.
    KindCase{"x //// note", "note", 0, "comment"},
    KindCase{"x //* note", "note", 0, "comment"},
    KindCase{"x /// note", "note", 0, "comment"}));

// Block comment marks open and close block comments only in code, so that no comment
// swallows the code after it.
INSTANTIATE_TEST_SUITE_P(CommentsEndWhereTheyEnd, SwiftTokenKinds, ::testing::Values(
    // In a line comment: a closing mark (as in a regular expression quoted in a comment)
    // does not close the block comment above, nor open one of its own.
    KindCase{"/* a */\n// (e.g. /x?\\(\\s*/)\nlet y = 2", "*/", 1, "comment"},
    KindCase{"/* a */\n// (e.g. /x?\\(\\s*/)\nlet y = 2", "let", 0, "keyword"},
    KindCase{"/* a */\n// (e.g. /x?\\(\\s*/)\nlet y = 2", "y", 0, "-"},
    KindCase{"// see /* here\nlet x = 1", "here", 0, "comment"},
    KindCase{"// see /* here\nlet x = 1", "let", 0, "keyword"},
    KindCase{"x = 1 // a */ b\nlet z = 2", "let", 0, "keyword"},
    // A closing mark outside any comment closes nothing and opens nothing.
    KindCase{"a */\nlet b = 1", "let", 0, "keyword"},
    // In string literals, plain, raw and multi-line, an opening mark opens nothing.
    KindCase{"let s = \"a /* b\"\nlet t = 1", "b\"", 0, "string"},
    KindCase{"let s = \"a /* b\"\nlet t = 1", "let", 1, "keyword"},
    KindCase{"let s = \"/*\"\nlet t = 1", "let", 1, "keyword"},
    KindCase{"let r = #\"a /* b\"#\nlet t = 1", "let", 1, "keyword"},
    KindCase{"let r = #\"\"\"\n/* b\n\"\"\"#\nlet t = 1", "let", 1, "keyword"},
    KindCase{"let m = \"\"\"\n/* b\n\"\"\"\nlet t = 1", "b", 0, "string"},
    KindCase{"let m = \"\"\"\n/* b\n\"\"\"\nlet t = 1", "let", 1, "keyword"},
    // ...but it does in the code of an interpolation.
    KindCase{"let s = \"\\(a /* note */ + b)\"", "note", 0, "comment"},
    KindCase{"let s = \"\\(a /* note */ + b)\"", "b", 0, "!comment"},
    // Block comments nest, and end at their own closing mark, however many stars it has.
    KindCase{"/* a /* b */ c */ d", "c", 0, "comment"},
    KindCase{"/* a /* b */ c */ d", "d", 0, "-"},
    KindCase{"/**\n * doc\n **/\nlet x = 1", "doc", 0, "comment"},
    KindCase{"/**\n * doc\n **/\nlet x = 1", "let", 0, "keyword"},
    KindCase{"/*-- a --*/ let x = 1", "a", 0, "comment"},
    KindCase{"/*-- a --*/ let x = 1", "let", 0, "keyword"},
    // A line comment mark inside a block comment leaves the code after the block's end alone.
    KindCase{"/* a // b */ let x = 1", "b", 0, "comment"},
    KindCase{"/* a // b */ let x = 1", "let", 0, "keyword"},
    KindCase{"/* a */ let x = 1 // c", "let", 0, "keyword"},
    KindCase{"/* a */ let x = 1 // c", "c", 0, "comment"}));

INSTANTIATE_TEST_SUITE_P(IdentifiersAndKeywords, SwiftTokenKinds, ::testing::Values(
    KindCase{"@objc func f()", "@objc", 0, "keyword"},
    KindCase{"@available(iOS 13, *)", "@available", 0, "keyword"},
    KindCase{"@Foo.Bar var x", "Bar", 0, "keyword"},
    KindCase{"let a = 42", "42", 0, "number"},
    KindCase{"let a = 1_000", "1_000", 0, "number"},
    KindCase{"let a = 3.14", "3", 0, "number"},
    KindCase{"let a = 3.14", ".", 0, "number"},
    KindCase{"let a = 3.14", "14", 0, "number"},
    KindCase{"let a = 0x1F", "0x1F", 0, "!number"},
    KindCase{"let a = 1e5", "1e5", 0, "!number"},
    KindCase{"x$ 5", "5", 0, "!number"},
    KindCase{"let a = 123456789012345678901234567890", "123456789012345678901234567890", 0, "!number"},
    KindCase{"let a = 9223372036854775807", "9223372036854775807", 0, "number"},
    KindCase{"let a = 9223372036854775808", "9223372036854775808", 0, "!number"},
    KindCase{"let x: String", "String", 0, "type"},
    KindCase{"class Foo", "Foo", 0, "!type"},
    KindCase{"x = .Red", "Red", 0, "dotAccess"},
    KindCase{"XCTAssertEqual(a, b)", "XCTAssertEqual", 0, "call"},
    KindCase{"let d: Dictionary<Key, Value>", "Value", 0, "type"},
    KindCase{"func f<T, U>()", "U", 0, "!type"},
    KindCase{"foo(1)", "foo", 0, "call"},
    KindCase{"foo (1)", "foo", 0, "!call"},
    KindCase{"items.map { $0 }", "map", 0, "call"},
    KindCase{"if ready {", "ready", 0, "!call"},
    KindCase{"func foo()", "foo", 0, "!call"},
    KindCase{"return foo()", "foo", 0, "call"},
    KindCase{"case .some(let x)", "some", 0, "!call"},
    KindCase{"init(x: 1)", "init", 0, "!call"},
    KindCase{"private(set)", "private", 0, "!call"},
    KindCase{"view.frame.size", "frame", 0, "property"},
    KindCase{"view.frame.size", "size", 0, "property"},
    KindCase{"foo.bar()", "bar", 0, "call"},
    KindCase{"foo(.red)", "red", 0, "dotAccess"},
    KindCase{"import os.log", "log", 0, "-"},
    KindCase{"$text", "$text", 0, "property"},
    KindCase{"$0", "$0", 0, "-"},
    KindCase{"private(set) var x", "private", 0, "keyword"},
    KindCase{"private(set) var x", "(", 0, "keyword"},
    KindCase{"private(set) var x", "set", 0, "keyword"},
    KindCase{"private(set) var x", ")", 0, "keyword"},
    KindCase{"private(set) var x", "x", 0, "!keyword"},
    KindCase{"func f(in x: Int)", "in", 0, "!keyword"},
    KindCase{"for x in xs", "in", 0, "keyword"},
    KindCase{"case some", "some", 0, "!keyword"},
    KindCase{"default:", "default", 0, "keyword"},
    KindCase{"label:", "label", 0, "!keyword"},
    KindCase{"for:", "for", 0, "!keyword"},
    KindCase{"self.value", "self", 0, "keyword"},
    KindCase{"Foo.self", "self", 0, "keyword"},
    KindCase{"public actor Store", "actor", 0, "keyword"},
    KindCase{"var actor = 1", "actor", 0, "!keyword"},
    KindCase{"let p = \\.name", "name", 0, "property"}));

TEST(SwiftGrammar, MergesDelimitersByItsOwnTest)
{
    const SwiftGrammar grammar;
    struct Case {
        const char16_t* a;
        const char16_t* b;
        bool merges;
    };
    const Case cases[] = {
        {u"\\", u"(", true}, {u"\\", u".", false}, {u"(", u".", true}, {u"(", u"(", false},
        {u")", u".", false}, {u"/", u"*", true},   {u"*", u"/", true}, {u".", u"/", false},
        {u"=", u"/", true},  {u"+", u"=", true},   {u"*", u"\\", false}, {u"/", u"+", false},
        {u"?", u"/", false}, {u"(", u")", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(grammar.isDelimiter(QStringView(c.a), QStringView(c.b)), c.merges)
            << QString::fromUtf16(c.a).toStdString() << QString::fromUtf16(c.b).toStdString();
}

TEST(SwiftGrammar, WordCharactersAndDelimiters)
{
    const SwiftGrammar grammar;
    for (char32_t word : {U'a', U'Z', U'7', U'_', U'"', U'#', U'@', U'$', U'\u00e9', U'\u0301', U'\u4e2d', U'\u0663'})
        EXPECT_FALSE(grammar.delimitersContain(word)) << unsigned(word);
    for (char32_t delimiter : {U'(', U'.', U'+', U'\\', U'`', U'\0', U'\u2192', U'\U0001F600'})
        EXPECT_TRUE(grammar.delimitersContain(delimiter)) << unsigned(delimiter);
}

TEST(SwiftGrammar, WordTablesAndRuleOrder)
{
    EXPECT_EQ(swiftwords::keywords().size(), 75);
    EXPECT_EQ(swiftwords::declarationKeywords().size(), 11);
    EXPECT_FALSE(swiftwords::keywordsToAvoid().contains("return"));
    EXPECT_TRUE(swiftwords::keywordsToAvoid().contains("private"));

    const SwiftGrammar grammar;
    QStringList kinds;
    for (const auto& rule : grammar.syntaxRules())
        kinds << rule->tokenType().string();
    EXPECT_EQ(kinds.join(u' '), "preprocessing comment string string string keyword number type call property "
                                "property dotAccess keyword");
}

} // namespace
