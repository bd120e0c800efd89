#include "LiteralHighlighter.h"

#include "SwiftWords.h"
#include "highlighter/SwiftGrammar.h"

#include <QTextBoundaryFinder>

#include <limits>

namespace oracle {

using highlighter::TokenType;
using K = TokenType::Kind;

namespace {

// --- Characters: grapheme clusters, compared as whole strings ---------------------------

QStringList characters(const QString& text)
{
    QStringList list;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype from = 0;
    for (qsizetype to = finder.toNextBoundary(); to != -1; to = finder.toNextBoundary()) {
        list.append(text.mid(from, to - from));
        from = to;
    }
    return list;
}

bool hasPrefix(const QString& text, const QString& prefix)
{
    const QStringList t = characters(text);
    const QStringList p = characters(prefix);
    return p.size() <= t.size() && t.mid(0, p.size()) == p;
}

bool hasSuffix(const QString& text, const QString& suffix)
{
    const QStringList t = characters(text);
    const QStringList s = characters(suffix);
    return s.size() <= t.size() && t.mid(t.size() - s.size()) == s;
}

char32_t firstScalar(const QString& character)
{
    return character.toUcs4().value(0);
}

bool isLetter(const QString& character)
{
    return QChar::isLetter(firstScalar(character));
}

bool isOneOf(const std::optional<QString>& token, std::initializer_list<const char*> words)
{
    if (!token)
        return false;
    for (const char* w : words) {
        if (*token == QLatin1StringView(w))
            return true;
    }
    return false;
}

bool is(const std::optional<QString>& token, const char* word)
{
    return token && *token == QLatin1StringView(word);
}

// --- Tokenizer ---------------------------------------------------------------------------

enum class Class { whitespace, lineBreak, delimiter, word };

Class classOf(const QString& character, const highlighter::Grammar& grammar)
{
    const char32_t s = firstScalar(character);
    if (s == 0x09 || QChar::category(s) == QChar::Separator_Space)
        return Class::whitespace;
    if ((s >= 0x0A && s <= 0x0D) || s == 0x85 || s == 0x2028 || s == 0x2029)
        return Class::lineBreak;
    return grammar.delimitersContain(s) ? Class::delimiter : Class::word;
}

class Iterator {
public:
    Iterator(const QString& code, const highlighter::Grammar& grammar)
        : m_code(code), m_grammar(grammar), m_characters(characters(code))
    {
        qsizetype offset = 0;
        for (const QString& c : m_characters) {
            m_offsets.push_back(offset);
            offset += c.size();
        }
    }

    std::optional<LiteralSegment> next()
    {
        while (true) {
            const qsizetype position = m_index ? *m_index + 1 : 0;
            if (position == m_characters.size()) {
                auto taken = std::move(m_current);
                m_current.reset();
                return taken;
            }
            m_index = position;
            const QString& c = m_characters[position];
            const Class cls = classOf(c, m_grammar);
            if (cls == Class::whitespace || cls == Class::lineBreak) {
                if (m_current) {
                    m_current->trailingWhitespace = m_current->trailingWhitespace.value_or(QString()) + c;
                    if (cls == Class::lineBreak)
                        m_current->isLastOnLine = true;
                } else {
                    m_current = make(QString(), position);
                    m_current->trailingWhitespace = c;
                    m_current->isLastOnLine = cls == Class::lineBreak;
                }
                continue;
            }
            const bool isDelimiter = cls == Class::delimiter;
            if (!m_current) {
                m_current = make(c, position);
                m_current->currentTokenIsDelimiter = isDelimiter;
                continue;
            }
            if (m_current->trailingWhitespace || m_current->currentTokenIsDelimiter != isDelimiter)
                return startNew(c, position, isDelimiter);
            if (isDelimiter) {
                const QString last = characters(m_current->tokens.current).last();
                if (!m_grammar.isDelimiter(last, c))
                    return startNew(c, position, isDelimiter);
            }
            m_current->tokens.current += c;
        }
    }

private:
    LiteralSegment make(const QString& token, qsizetype position)
    {
        LiteralSegment s;
        s.prefix = QStringView(m_code).first(m_offsets[size_t(position)]);
        s.tokens.all = m_allTokens;
        s.tokens.counts = m_tokenCounts;
        s.tokens.onSameLine = m_lineTokens;
        s.tokens.current = token;
        return s;
    }

    LiteralSegment startNew(const QString& c, qsizetype position, bool isDelimiter)
    {
        LiteralSegment finished = std::move(*m_current);
        m_tokenCounts[finished.tokens.current] += 1;
        m_allTokens.append(finished.tokens.current);
        if (finished.isLastOnLine)
            m_lineTokens.clear();
        else
            m_lineTokens.append(finished.tokens.current);
        m_current = make(c, position);
        m_current->tokens.previous = finished.tokens.current;
        m_current->currentTokenIsDelimiter = isDelimiter;
        return finished;
    }

    const QString& m_code;
    const highlighter::Grammar& m_grammar;
    QStringList m_characters;
    std::vector<qsizetype> m_offsets;
    std::optional<qsizetype> m_index;
    QHash<QString, int> m_tokenCounts;
    QStringList m_allTokens;
    QStringList m_lineTokens;
    std::optional<LiteralSegment> m_current;
};

// --- Swift rules ---------------------------------------------------------------------------

struct Rule {
    K kind;
    bool (*matches)(const LiteralSegment&);
};

bool lineBalanceUnbalanced(const LiteralSegment& s, const QString& open, const QString& close, bool withTokenTest)
{
    const QString& t = s.tokens.current;
    if (withTokenTest && (hasPrefix(t, open) || hasSuffix(t, close)))
        return true;
    int opened = 0;
    int closed = 0;
    const QStringList& line = s.tokens.onSameLine;
    for (qsizetype k = 0; k < line.size(); ++k) {
        const QString& u = line[k];
        const bool afterBackslash = k > 0 && line[k - 1] == u"\\";
        if ((hasPrefix(u, "(") || hasPrefix(u, "#(") || hasPrefix(u, "\"")) && afterBackslash)
            continue;
        if (u == open) {
            if (open == close) {
                if (opened != closed)
                    ++closed;
                else
                    ++opened;
            } else {
                ++opened;
            }
        } else if (u == close && open != close) {
            ++closed;
        } else {
            if (hasPrefix(u, open))
                ++opened;
            if (hasSuffix(u, close))
                ++closed;
        }
    }
    return opened != closed;
}

bool insideInterpolation(const LiteralSegment& s)
{
    if (s.tokens.current == u"\\(" || is(s.tokens.previous, "\\("))
        return true;
    QList<QStringList> groups{{}};
    for (const QString& u : s.tokens.onSameLine) {
        if (u == u"\\(")
            groups.append(QStringList());
        else
            groups.last().append(u);
    }
    groups.removeIf([](const QStringList& g) { return g.isEmpty(); });
    if (groups.size() < 2)
        return false;
    int depth = 1;
    for (const QString& u : groups.last()) {
        for (const QString& c : characters(u)) {
            if (c == u"(")
                ++depth;
            if (c == u")")
                --depth;
        }
        if (depth <= 0)
            return false;
    }
    return true;
}

bool lineEndsWith(const QStringList& line, const QStringList& words)
{
    return line.size() >= words.size() && line.mid(line.size() - words.size()) == words;
}

bool insideRawInterpolation(const LiteralSegment& s)
{
    const QString& t = s.tokens.current;
    const QStringList& line = s.tokens.onSameLine;
    const QStringList open{"\\", "#", "("};
    if (t == u"\\")
        return !is(s.tokens.previous, "\\") && is(s.tokens.next, "#");
    if (t == u"#")
        return is(s.tokens.previous, "\\") && is(s.tokens.next, "(");
    if (t == u"(")
        return lineEndsWith(line, {"\\", "#"});
    if (t == u")") {
        if (line.size() == 3)
            return line == open;
        return line.size() >= 4 && line.mid(line.size() - 4, 3) == open;
    }
    return lineEndsWith(line, open) && is(s.tokens.next, ")");
}

bool preprocessingRule(const LiteralSegment& s)
{
    const auto& control = highlighter::swiftwords::preprocessingControlFlowTokens();
    const QString& t = s.tokens.current;
    if (control.contains(t) || highlighter::swiftwords::preprocessingDirectiveTokens().contains(t))
        return true;
    for (const QString& u : s.tokens.onSameLine) {
        if (control.contains(u))
            return true;
    }
    return false;
}

bool isWholeBlockComment(const QString& t)
{
    return hasPrefix(t, "/*") && hasSuffix(t, "*/");
}

bool commentRule(const LiteralSegment& s)
{
    const QString& t = s.tokens.current;
    if (isWholeBlockComment(t))
        return true;
    if (hasPrefix(t, "//"))
        return true;
    if (s.lineCommentOpen)
        return true;
    if (hasPrefix(t, "/*") || hasSuffix(t, "*/"))
        return true;
    return s.blockCommentDepth > 0;
}

bool rawStringRule(const LiteralSegment& s)
{
    if (insideRawInterpolation(s))
        return false;
    const QString& t = s.tokens.current;
    if (hasPrefix(t, "#\"") || hasSuffix(t, "\"#"))
        return true;
    if (lineBalanceUnbalanced(s, "#\"", "\"#", false))
        return true;
    return s.tokens.count("#\"\"\"") != s.tokens.count("\"\"\"#");
}

bool multiLineStringRule(const LiteralSegment& s)
{
    if (s.tokens.count("\"\"\"") % 2 != 1)
        return false;
    return !insideInterpolation(s);
}

bool singleLineStringRule(const LiteralSegment& s)
{
    const QString& t = s.tokens.current;
    if (hasPrefix(t, "\"") && hasSuffix(t, "\""))
        return true;
    if (!lineBalanceUnbalanced(s, "\"", "\"", true))
        return false;
    if (insideInterpolation(s))
        return false;
    return !insideRawInterpolation(s);
}

bool attributeRule(const LiteralSegment& s)
{
    if (hasPrefix(s.tokens.current, "@"))
        return true;
    const QStringList& line = s.tokens.onSameLine;
    return is(s.tokens.previous, ".") && line.size() >= 2 && hasPrefix(line[line.size() - 2], "@");
}

bool isDecimalInteger(const QString& text)
{
    bool ok = false;
    text.toLongLong(&ok, 10);
    if (!ok)
        return false;
    // toLongLong also takes blanks around the digits; the rule takes a sign and digits only.
    const QString digits = text.startsWith(u'+') || text.startsWith(u'-') ? text.mid(1) : text;
    return !digits.isEmpty()
           && std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

bool numberRule(const LiteralSegment& s)
{
    if (s.tokens.previous && hasSuffix(*s.tokens.previous, "$"))
        return false;
    if (isDecimalInteger(QString(s.tokens.current).remove(u'_')))
        return true;
    if (s.tokens.current == u"." && s.tokens.previous && s.tokens.next)
        return isDecimalInteger(*s.tokens.previous) && isDecimalInteger(*s.tokens.next);
    return false;
}

bool prefixEndsWithBlankDot(const LiteralSegment& s)
{
    // Characters of the prefix's end only: splitting the whole prefix would be far too slow.
    const QStringList tail = characters(s.prefix.right(32).toString());
    return tail.size() >= 2 && tail[tail.size() - 2] == u" " && tail.last() == u".";
}

QString withoutOuterUnderscores(const QString& t)
{
    QStringList chars = characters(t);
    while (!chars.isEmpty() && chars.first() == u"_")
        chars.removeFirst();
    while (!chars.isEmpty() && chars.last() == u"_")
        chars.removeLast();
    return chars.join(QString());
}

bool typeRule(const LiteralSegment& s)
{
    const auto& declarations = highlighter::swiftwords::declarationKeywords();
    if (s.tokens.previous && declarations.contains(*s.tokens.previous))
        return false;
    const QString u = withoutOuterUnderscores(s.tokens.current);
    if (u.isEmpty())
        return false;
    const QString first = characters(u).first();
    if (first == first.toLower())
        return false;
    if (is(s.tokens.previous, "(."))
        return false;
    if (prefixEndsWithBlankDot(s))
        return false;
    if (hasPrefix(u, "XCTAssert"))
        return false;
    if (!s.tokens.previous || !isOneOf(s.tokens.previous, {"<", ",", "*/"}))
        return true;
    bool insideBrackets = false;
    for (qsizetype k = s.tokens.all.size() - 1; k >= 0; --k) {
        const QString& w = s.tokens.all[k];
        if (w == u"->" || w == u">" || w == u">:")
            return true;
        if (insideBrackets || w == u"<") {
            if (w == u":" || hasPrefix(w, "@"))
                return true;
            insideBrackets = true;
        }
        if (declarations.contains(w))
            return !insideBrackets;
        if (w == u"=" || w == u"==" || w == u"(" || w == u"_" || w == u"@escaping")
            return true;
    }
    return true;
}

bool callRule(const LiteralSegment& s)
{
    using namespace highlighter::swiftwords;
    const QString& t = s.tokens.current;
    const QString u = withoutOuterUnderscores(t);
    if (u.isEmpty() || !(QChar::isLetter(firstScalar(u)) || QChar::isMark(firstScalar(u))))
        return false;
    if (u == u"init")
        return false;
    if (callLikeKeywords().contains(t) && s.tokens.next && hasPrefix(*s.tokens.next, "("))
        return false;
    const QStringList& line = s.tokens.onSameLine;
    if (s.tokens.previous) {
        if (keywordsToAvoid().contains(*s.tokens.previous))
            return false;
        if (*s.tokens.previous == u"." && line.size() > 1
            && (line[line.size() - 2] == u"case" || hasSuffix(line[line.size() - 2], ",")))
            return false;
    }
    if (!s.trailingWhitespace)
        return s.tokens.next && hasPrefix(*s.tokens.next, "(");
    if (isOneOf(s.tokens.next, {"{", "{}"})) {
        if (!(is(s.tokens.previous, ".") && !line.isEmpty()) && keywords().contains(t))
            return false;
        for (const QString& w : line) {
            if (callControlFlowTokens().contains(w))
                return false;
        }
        return true;
    }
    return false;
}

bool keyPathRule(const LiteralSegment& s)
{
    const QStringList& line = s.tokens.onSameLine;
    if (!is(s.tokens.previous, ".") || line.size() < 2 || line[line.size() - 2] != u"\\")
        return false;
    const QString first = characters(s.tokens.current).value(0);
    return first == u"_" || first == u"$" || isLetter(first);
}

bool identifierStart(const QString& t)
{
    const QString first = characters(t).value(0);
    return first == u"_" || first == u"$" || (!first.isEmpty() && isLetter(first));
}

bool propertyRule(const LiteralSegment& s)
{
    const QString& t = s.tokens.current;
    if (hasPrefix(t, "$")) {
        const QStringList chars = characters(t);
        return chars.size() >= 2 && isLetter(chars[1]);
    }
    const QStringList& line = s.tokens.onSameLine;
    if (line.isEmpty() || !identifierStart(t))
        return false;
    if (!isOneOf(s.tokens.previous, {".", "?.", "().", ").", ">."}))
        return false;
    if (t == u"self" || t == u"init")
        return false;
    if (prefixEndsWithBlankDot(s))
        return false;
    if (s.tokens.next && hasPrefix(*s.tokens.next, "("))
        return false;
    return line.first() != u"import";
}

bool dotAccessRule(const LiteralSegment& s)
{
    const QString& t = s.tokens.current;
    const QStringList& line = s.tokens.onSameLine;
    if (line.isEmpty() || !identifierStart(t))
        return false;
    if (!isOneOf(s.tokens.previous, {".", "(.", "[."}))
        return false;
    if (t == u"self" || t == u"init")
        return false;
    return line.first() != u"import";
}

bool keywordRule(const LiteralSegment& s)
{
    using namespace highlighter::swiftwords;
    const QString& t = s.tokens.current;
    const auto& previous = s.tokens.previous;
    if (t == u"_")
        return true;
    if (t == u"prefix" && is(s.tokens.next, "func"))
        return true;
    if (t == u"some" && is(previous, "case"))
        return false;
    if (is(s.tokens.next, ":") && t != u"nil" && t != u"default")
        return false;
    if (!s.trailingWhitespace && t != u"self" && t != u"super" && is(s.tokens.next, "."))
        return false;
    if (!previous)
        return keywords().contains(t);
    if (!s.tokens.onSameLine.isEmpty() && t != u"self") {
        if (*previous == u"let" || *previous == u"var")
            return false;
        if (t == u"actor")
            return accessControlKeywords().contains(*previous) || hasPrefix(*previous, "@");
    }
    if (declarationKeywords().contains(t))
        return true;
    if (t == u"(")
        return accessControlKeywords().contains(*previous);
    if (t == u"set" && *previous == u"(")
        return true;
    if (t == u")")
        return *previous == u"set";
    const bool exempt = QStringList{"self", "let", "var", "true", "false", "inout", "nil", "try", "actor"}.contains(t);
    if (!exempt && isOneOf(previous, {"(", ",", ">("}))
        return false;
    if (*previous == u"func" || *previous == u"`")
        return false;
    return keywords().contains(t);
}

const Rule rules[] = {
    {K::preprocessing, preprocessingRule}, {K::comment, commentRule},      {K::string, rawStringRule},
    {K::string, multiLineStringRule},      {K::string, singleLineStringRule}, {K::keyword, attributeRule},
    {K::number, numberRule},               {K::type, typeRule},            {K::call, callRule},
    {K::property, keyPathRule},            {K::property, propertyRule},    {K::dotAccess, dotAccessRule},
    {K::keyword, keywordRule},
};

} // namespace

namespace {

bool isString(const LiteralSegment& s)
{
    return rawStringRule(s) || multiLineStringRule(s) || singleLineStringRule(s);
}

// Block comments nest and are opened and closed by their marks in code only; a line
// comment runs to the end of its line. Marks inside a string literal or inside a comment of
// the other kind do nothing.
void fillCommentState(std::vector<LiteralSegment>& segments)
{
    int depth = 0;
    bool lineComment = false;
    for (LiteralSegment& s : segments) {
        if (s.tokens.onSameLine.isEmpty())
            lineComment = false;
        s.blockCommentDepth = depth;
        s.lineCommentOpen = lineComment;
        const QString& t = s.tokens.current;
        const bool opens = hasPrefix(t, "/*") && !isWholeBlockComment(t);
        const bool closes = hasSuffix(t, "*/") && !isWholeBlockComment(t);
        if (depth > 0) {
            depth += opens ? 1 : 0;
            depth -= closes ? 1 : 0;
        } else if (!lineComment) {
            if (hasPrefix(t, "//"))
                lineComment = true;
            else if (opens && !isString(s))
                depth = 1;
        }
    }
}

} // namespace

std::vector<LiteralSegment> literalSegments(const QString& code, const highlighter::Grammar& grammar)
{
    // The one-token look-ahead that fills in each segment's next token.
    Iterator iterator(code, grammar);
    std::vector<LiteralSegment> segments;
    std::optional<LiteralSegment> nextSegment = iterator.next();
    while (nextSegment) {
        LiteralSegment s = std::move(*nextSegment);
        nextSegment = iterator.next();
        if (nextSegment)
            s.tokens.next = nextSegment->tokens.current;
        segments.push_back(std::move(s));
    }
    fillCommentState(segments);
    return segments;
}

std::optional<TokenType> literalSwiftTokenType(const LiteralSegment& segment)
{
    for (const Rule& rule : rules) {
        if (rule.matches(segment))
            return TokenType(rule.kind);
    }
    return std::nullopt;
}

std::vector<BuilderCall> literalSwiftHighlight(const QString& code)
{
    const highlighter::SwiftGrammar grammar;
    std::vector<BuilderCall> calls;
    std::optional<std::pair<QString, std::optional<TokenType>>> pending;
    const auto emitToken = [&](const QString& text, const std::optional<TokenType>& kind) {
        if (kind)
            calls.push_back({BuilderCall::Kind::token, text, kind});
        else
            calls.push_back({BuilderCall::Kind::plainText, text, std::nullopt});
    };
    const auto settle = [&](const QString& text, const std::optional<TokenType>& kind,
                            const std::optional<QString>& whitespace) {
        if (!whitespace) {
            pending = {text, kind};
            return;
        }
        emitToken(text, kind);
        calls.push_back({BuilderCall::Kind::whitespace, *whitespace, std::nullopt});
        pending.reset();
    };
    for (const LiteralSegment& s : literalSegments(code, grammar)) {
        const QString& t = s.tokens.current;
        if (t.isEmpty()) {
            if (s.trailingWhitespace)
                calls.push_back({BuilderCall::Kind::whitespace, *s.trailingWhitespace, std::nullopt});
            continue;
        }
        const std::optional<TokenType> kind = literalSwiftTokenType(s);
        if (!pending) {
            settle(t, kind, s.trailingWhitespace);
        } else if (pending->second == kind) {
            settle(pending->first + t, kind, s.trailingWhitespace);
        } else {
            emitToken(pending->first, pending->second);
            settle(t, kind, s.trailingWhitespace);
        }
    }
    if (pending)
        emitToken(pending->first, pending->second);
    return calls;
}

} // namespace oracle
