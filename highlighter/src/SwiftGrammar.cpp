#include "highlighter/SwiftGrammar.h"

#include "Characters.h"
#include "SwiftWords.h"
#include "highlighter/Segment.h"

#include <QHash>

#include <array>
#include <limits>
#include <memory>
#include <string_view>

namespace highlighter {

namespace {

// The facts kept per token: the low byte names the token when it is one of the texts the
// rules compare with; then come properties of the token's text; then the state of the code
// and of the token's line before the token, kept up to date in one forward pass.
enum Word : std::uint8_t {
    None,
    Backslash, Hash, LParen, RParen, Dot, InterpolationOpen, Quote, TripleQuote, RawOpen, RawClose,
    RawTripleOpen, RawTripleClose, BlockOpen, DocBlockOpen, BlockClose, Less, Comma, Colon, Arrow,
    Greater, GreaterColon, Assign, Equal, Underscore, Escaping, ParenDot, BracketDot, OptionalDot,
    EmptyParensDot, ParenCloseDot, GreaterDot, GreaterParen, Brace, Braces, Backtick, Case, Let, Var,
    Self, Super, Init, Import, Func, Prefix, Some, Actor, Nil, Default, Set, True, False, Inout, Try,
    WordCount
};
static_assert(WordCount <= 64, "word sets are 64-bit masks");

constexpr std::uint64_t bit(int n) { return std::uint64_t(1) << n; }

enum : std::uint64_t {
    WordMask = 0xff,
    // Properties of the text.
    Keyword = bit(8),
    Declaration = bit(9),
    AccessControl = bit(10),
    AvoidedBeforeCall = bit(11),
    CallLike = bit(12),
    CallControlFlow = bit(13),
    PreprocessingControlFlow = bit(14),
    PreprocessingDirective = bit(15),
    StartsWithAt = bit(16),
    StartsLineComment = bit(17),
    WholeBlockComment = bit(18),
    StartsWithQuote = bit(19),
    EndsWithQuote = bit(20),
    StartsRaw = bit(21),
    EndsRaw = bit(22),
    StartsEscapable = bit(23), // "(", "#(" or "\"": skipped by the balance after a backslash
    DecimalInteger = bit(24),
    DecimalIntegerWithoutUnderscores = bit(25),
    EndsWithDollar = bit(26),
    TypeName = bit(27), // without its outer "_", not empty and not starting lower-case
    StartsXCTAssert = bit(28),
    CallName = bit(29), // without its outer "_", starting with a letter or mark
    InitWithoutUnderscores = bit(30),
    StartsWithDollar = bit(31),
    ProjectedValue = bit(32), // "$" and a letter
    IdentifierStart = bit(33), // "_", "$" or a letter first
    EndsWithComma = bit(34),
    StartsWithParen = bit(35),
    StartsBlockComment = bit(36), // "/*" first, not a whole block comment
    EndsBlockComment = bit(37),   // "*/" last, not a whole block comment
    // State before the token, on its line.
    LineHasPreprocessing = bit(40),
    LineHasLineComment = bit(41),
    LineHasCallControlFlow = bit(42),
    LineQuotesUnbalanced = bit(43),
    LineRawQuotesUnbalanced = bit(44),
    LineInsideInterpolation = bit(45),
    // State before the token, in the whole code.
    BlockCommentOpen = bit(48),
    RawMultiLineStringOpen = bit(49),
    MultiLineStringOpen = bit(50),
    TypeAfterList = bit(51), // what the walk back from a "<", "," or "*/" concludes
    // The token's classification: the index of the first matching rule, plus one (0: none).
    RuleShift = 56,
    RuleMask = 0x1f,
};

const QHash<QString, Word>& wordsByText()
{
    static const QHash<QString, Word> words{
        {"\\", Backslash}, {"#", Hash}, {"(", LParen}, {")", RParen}, {".", Dot},
        {"\\(", InterpolationOpen}, {"\"", Quote}, {"\"\"\"", TripleQuote}, {"#\"", RawOpen},
        {"\"#", RawClose}, {"#\"\"\"", RawTripleOpen}, {"\"\"\"#", RawTripleClose}, {"/*", BlockOpen},
        {"/**", DocBlockOpen}, {"*/", BlockClose}, {"<", Less}, {",", Comma}, {":", Colon},
        {"->", Arrow}, {">", Greater}, {">:", GreaterColon}, {"=", Assign}, {"==", Equal},
        {"_", Underscore}, {"@escaping", Escaping}, {"(.", ParenDot}, {"[.", BracketDot},
        {"?.", OptionalDot}, {"().", EmptyParensDot}, {").", ParenCloseDot}, {">.", GreaterDot},
        {">(", GreaterParen}, {"{", Brace}, {"{}", Braces}, {"`", Backtick}, {"case", Case},
        {"let", Let}, {"var", Var}, {"self", Self}, {"super", Super}, {"init", Init},
        {"import", Import}, {"func", Func}, {"prefix", Prefix}, {"some", Some}, {"actor", Actor},
        {"nil", Nil}, {"default", Default}, {"set", Set}, {"true", True}, {"false", False},
        {"inout", Inout}, {"try", Try}};
    return words;
}


// What the word tables and the compared texts say about a text: open addressing over the
// few hundred texts, looked up by view without making a string.
class Lexicon {
public:
    Lexicon()
    {
        using namespace swiftwords;
        const auto add = [this](const QString& text, std::uint64_t facts) {
            for (Entry& e : m_entries) {
                if (e.text == text) {
                    e.facts |= facts;
                    return;
                }
            }
            m_entries.push_back({text, facts});
            m_longest = std::max(m_longest, text.size());
            m_first[text[0].unicode() & 127] = true;
        };
        for (auto it = wordsByText().cbegin(); it != wordsByText().cend(); ++it)
            add(it.key(), it.value());
        const std::pair<const QSet<QString>*, std::uint64_t> tables[] = {
            {&keywords(), Keyword},
            {&declarationKeywords(), Declaration},
            {&accessControlKeywords(), AccessControl},
            {&keywordsToAvoid(), AvoidedBeforeCall},
            {&callLikeKeywords(), CallLike},
            {&callControlFlowTokens(), CallControlFlow},
            {&preprocessingControlFlowTokens(), PreprocessingControlFlow},
            {&preprocessingDirectiveTokens(), PreprocessingDirective},
        };
        for (const auto& [table, flag] : tables) {
            for (const QString& word : *table)
                add(word, flag);
        }
        m_slots.assign(1024, -1);
        for (qsizetype i = 0; i < qsizetype(m_entries.size()); ++i) {
            std::size_t slot = characters::hashUnits(m_entries[size_t(i)].text) & (m_slots.size() - 1);
            while (m_slots[slot] >= 0)
                slot = (slot + 1) & (m_slots.size() - 1);
            m_slots[slot] = i;
        }
    }

    // The facts of a text whose characters::hashUnits is `hash`.
    std::uint64_t facts(QStringView text, quint32 hash) const
    {
        // Most texts (numbers, longer names) are ruled out at once.
        if (text.isEmpty() || text.size() > m_longest || text[0].unicode() >= 128 || !m_first[text[0].unicode()])
            return 0;
        for (std::size_t slot = hash & (m_slots.size() - 1);;
             slot = (slot + 1) & (m_slots.size() - 1)) {
            if (m_slots[slot] < 0)
                return 0;
            const Entry& e = m_entries[size_t(m_slots[slot])];
            if (characters::sameUnits(e.text, text))
                return e.facts;
        }
    }

private:
    struct Entry {
        QString text;
        std::uint64_t facts;
    };
    std::vector<Entry> m_entries;
    std::vector<qsizetype> m_slots;
    qsizetype m_longest = 0;
    std::array<bool, 128> m_first{};
};

const Lexicon& lexicon()
{
    static const Lexicon table;
    return table;
}

// Character-wise tests on one token: a match must end (or, at the end, start) on a
// character boundary, so "(" does not match a parenthesis carrying a combining mark.
class TokenText {
public:
    TokenText(const TokenTable& table, qsizetype index)
        : m_table(table), m_code(table.code()), m_start(table.token(index).start),
          m_end(m_start + table.token(index).length)
    {
    }

    QStringView text() const { return m_code.sliced(m_start, m_end - m_start); }

    template <std::size_t N>
    bool startsWith(const char16_t (&prefix)[N]) const
    {
        return startsWith(m_start, m_end, prefix);
    }
    template <std::size_t N>
    bool endsWith(const char16_t (&suffix)[N]) const
    {
        constexpr qsizetype n = qsizetype(N) - 1;
        return m_end - m_start >= n && unitsAre(m_end - n, suffix) && m_table.isCharacterBoundary(m_end - n);
    }

    // Occurrences of the one-unit character `c`.
    qsizetype count(char16_t c) const
    {
        qsizetype n = 0;
        for (qsizetype p = m_start; p < m_end; ++p) {
            if (m_code[p] == c && m_table.isCharacterBoundary(p) && m_table.isCharacterBoundary(p + 1))
                ++n;
        }
        return n;
    }

    // The token without its leading and trailing "_" characters.
    std::pair<qsizetype, qsizetype> withoutOuterUnderscores() const
    {
        qsizetype start = m_start;
        qsizetype end = m_end;
        while (start < end && m_code[start] == u'_' && m_table.isCharacterBoundary(start + 1))
            ++start;
        while (end > start && m_code[end - 1] == u'_' && m_table.isCharacterBoundary(end - 1))
            --end;
        return {start, end};
    }

    template <std::size_t N>
    bool startsWith(qsizetype start, qsizetype end, const char16_t (&prefix)[N]) const
    {
        constexpr qsizetype n = qsizetype(N) - 1;
        return end - start >= n && unitsAre(start, prefix) && m_table.isCharacterBoundary(start + n);
    }

    QStringView character(qsizetype start) const
    {
        return m_code.sliced(start, m_table.nextCharacterBoundary(start) - start);
    }

    qsizetype start() const { return m_start; }
    qsizetype end() const { return m_end; }

private:
    template <std::size_t N>
    bool unitsAre(qsizetype at, const char16_t (&units)[N]) const
    {
        for (std::size_t k = 0; k + 1 < N; ++k) {
            if (m_code.utf16()[at + qsizetype(k)] != units[k])
                return false;
        }
        return true;
    }

    const TokenTable& m_table;
    QStringView m_code;
    qsizetype m_start;
    qsizetype m_end;
};

// An optional sign and ASCII digits whose value fits a signed 64-bit integer; with
// `skipUnderscores`, as if every "_" were removed first.
bool isDecimalInteger(QStringView text, bool skipUnderscores)
{
    if (skipUnderscores)
        while (!text.isEmpty() && text[0] == u'_')
            text = text.sliced(1);
    qsizetype p = 0;
    bool negative = false;
    if (!text.isEmpty() && (text[0] == u'+' || text[0] == u'-')) {
        negative = text[0] == u'-';
        p = 1;
    }
    bool digits = false;
    const std::uint64_t limit = std::uint64_t(std::numeric_limits<std::int64_t>::max()) + (negative ? 1 : 0);
    std::uint64_t value = 0;
    for (; p < text.size(); ++p) {
        const char16_t c = text[p].unicode();
        if (c == u'_' && skipUnderscores)
            continue;
        if (c < u'0' || c > u'9')
            return false;
        const unsigned digit = c - u'0';
        if (value > (limit - digit) / 10)
            return false;
        value = value * 10 + digit;
        digits = true;
    }
    return digits;
}

std::uint64_t describeText(const TokenTable& table, qsizetype textId, qsizetype& parenthesisBalance)
{
    const qsizetype index = table.firstTokenOfText(textId);
    const TokenText t(table, index);
    const QStringView text = t.text();
    std::uint64_t facts = lexicon().facts(text, table.textHash(textId));
    parenthesisBalance = 0;
    if (text.isEmpty())
        return facts;

    const auto set = [&](std::uint64_t flag, bool value) {
        if (value)
            facts |= flag;
    };
    // Tokens are all delimiters or all word characters: each test below can only hold for
    // one of the two.
    if (table.token(index).isDelimiter) {
        set(StartsLineComment, t.startsWith(u"//"));
        const bool startsBlock = t.startsWith(u"/*");
        const bool endsBlock = t.endsWith(u"*/");
        set(WholeBlockComment, startsBlock && endsBlock);
        set(StartsBlockComment, startsBlock && !endsBlock);
        set(EndsBlockComment, endsBlock && !startsBlock);
        set(StartsEscapable, t.startsWith(u"("));
        set(StartsWithParen, t.startsWith(u"("));
        set(EndsWithComma, t.endsWith(u","));
        const char16_t first = text.utf16()[0];
        if (first == u'+' || first == u'-') {
            set(DecimalInteger, isDecimalInteger(text, false));
            set(DecimalIntegerWithoutUnderscores, isDecimalInteger(text, true));
        }
        parenthesisBalance = t.count(u'(') - t.count(u')');
        if (first >= 0x80) // a symbol may still have a lower-case form
            set(TypeName, t.character(t.start()) != t.character(t.start()).toString().toLower());
        return facts;
    }

    set(StartsWithAt, t.startsWith(u"@"));
    set(StartsWithQuote, t.startsWith(u"\""));
    set(EndsWithQuote, t.endsWith(u"\""));
    set(StartsRaw, t.startsWith(u"#\""));
    set(EndsRaw, t.endsWith(u"\"#"));
    set(StartsEscapable, t.startsWith(u"\""));
    const char16_t first = text.utf16()[0];
    if ((first >= u'0' && first <= u'9') || first == u'_') {
        set(DecimalInteger, isDecimalInteger(text, false));
        set(DecimalIntegerWithoutUnderscores, isDecimalInteger(text, true));
    }
    set(EndsWithDollar, t.endsWith(u"$"));

    const auto [start, end] = t.withoutOuterUnderscores();
    if (start < end) {
        const QStringView firstCharacter = t.character(start);
        if (firstCharacter.size() == 1 && firstCharacter[0].unicode() < 0x80)
            set(TypeName, firstCharacter[0] >= u'A' && firstCharacter[0] <= u'Z');
        else
            set(TypeName, firstCharacter != firstCharacter.toString().toLower());
        set(CallName, characters::isLetterOrMark(characters::scalarAt(table.code(), start)));
        set(StartsXCTAssert, t.startsWith(start, end, u"XCTAssert"));
        set(InitWithoutUnderscores, characters::sameUnits(QStringView(table.code()).sliced(start, end - start), u"init"));
    }
    const QStringView firstCharacter = t.character(t.start());
    const char32_t scalar = characters::scalarAt(table.code(), t.start());
    const bool dollar = characters::sameUnits(firstCharacter, u"$");
    set(IdentifierStart, characters::sameUnits(firstCharacter, u"_") || dollar || characters::isLetter(scalar));
    if (dollar) {
        set(StartsWithDollar, true);
        const qsizetype second = t.start() + firstCharacter.size();
        set(ProjectedValue, second < t.end() && characters::isLetter(characters::scalarAt(table.code(), second)));
    }
    return facts;
}

// The facts of short ASCII texts described before on this thread: the same words recur in
// every file. Such a text's facts depend on its units alone (between ASCII units every
// position is a character boundary). Direct-mapped by the text's hash, so it stays small.
class DescribedTexts {
public:
    static constexpr qsizetype longest = 12;

    // The facts and parenthesis balance of the text, described and kept when new.
    std::uint64_t facts(const TokenTable& table, qsizetype textId, qsizetype& parenthesisBalance)
    {
        const QStringView text = table.text(table.firstTokenOfText(textId));
        if (text.size() > longest || !isAscii(text))
            return describeText(table, textId, parenthesisBalance);
        Entry& e = m_entries[table.textHash(textId) & (m_entries.size() - 1)];
        if (e.length != text.size() || !std::equal(text.utf16(), text.utf16() + text.size(), e.units)) {
            e.facts = describeText(table, textId, parenthesisBalance);
            e.balance = qint8(parenthesisBalance);
            e.length = quint8(text.size());
            std::copy(text.utf16(), text.utf16() + text.size(), e.units);
        }
        parenthesisBalance = e.balance;
        return e.facts;
    }

private:
    static bool isAscii(QStringView text)
    {
        for (const char16_t c : std::u16string_view(text.utf16(), size_t(text.size()))) {
            if (c >= 0x80)
                return false;
        }
        return true;
    }

    struct Entry {
        std::uint64_t facts = 0;
        char16_t units[longest];
        quint8 length = 0xff; // none
        qint8 balance = 0;    // within ±12
    };
    std::array<Entry, 4096> m_entries;
};

// Whether opening and closing marks balance on a line so far, counted as the string rules
// count them: a mark right after a lone backslash is escaped and does not count.
struct Balance {
    qsizetype opened = 0;
    qsizetype closed = 0;
    bool unbalanced() const { return opened != closed; }
};

// The interpolation groups of a line: its tokens split at each "\(", empty groups dropped.
// Inside an interpolation when there are two groups or more and the parenthesis depth of
// the last one, starting at 1, never fell to 0.
struct Interpolation {
    qsizetype completedGroups = 0;
    bool lastCompletedOpen = false;
    bool currentHasTokens = false;
    qsizetype depth = 1;
    bool closed = false;

    bool inside() const
    {
        if (currentHasTokens)
            return completedGroups + 1 >= 2 && !closed;
        return completedGroups >= 2 && lastCompletedOpen;
    }
    void add(std::uint64_t facts, qsizetype parenthesisBalance)
    {
        if ((facts & WordMask) == InterpolationOpen) {
            if (currentHasTokens) {
                ++completedGroups;
                lastCompletedOpen = !closed;
            }
            currentHasTokens = false;
            depth = 1;
            closed = false;
            return;
        }
        currentHasTokens = true;
        if (!closed) {
            depth += parenthesisBalance;
            closed = depth <= 0;
        }
    }
};

struct LineState {
    bool hasPreprocessing = false;
    bool hasCallControlFlow = false;
    Balance quotes;
    Balance rawQuotes;
    Interpolation interpolation;
};

// A segment as the rules see it: its token's facts and those of its neighbours.
class Context {
public:
    explicit Context(const Segment& segment)
        : Context(segment.table(), segment.table().factsData(), segment.index(),
                  segment.index() + 1 < segment.table().size() ? segment.table().factsData()[segment.index() + 1] : 0)
    {
    }
    // Over facts still being gathered: those of this token and the ones before it, and
    // `nextFacts` for the next (0 when there is none).
    Context(const TokenTable& table, const std::uint64_t* facts, qsizetype index, std::uint64_t nextFacts)
        : m_table(table), m_facts(facts), m_index(index), m_lineStart(table.token(index).lineStart),
          m_self(facts[index]), m_hasPrevious(index > 0), m_hasNext(index + 1 < table.size()),
          m_previous(m_hasPrevious ? facts[index - 1] : 0), m_next(nextFacts)
    {
    }

    std::uint64_t facts() const { return m_self; }
    bool is(std::uint64_t flag) const { return m_self & flag; }
    Word word() const { return Word(m_self & WordMask); }

    // Absent neighbours are no word and have no facts.
    bool hasPrevious() const { return m_hasPrevious; }
    Word previous() const { return Word(m_previous & WordMask); }
    bool previousIs(std::uint64_t flag) const { return m_previous & flag; }
    bool hasNext() const { return m_hasNext; }
    Word next() const { return Word(m_next & WordMask); }
    bool nextIs(std::uint64_t flag) const { return m_next & flag; }

    // The tokens before this one on its line, counted back from the last (1).
    qsizetype lineSize() const { return m_index - m_lineStart; }
    Word lineFromEnd(qsizetype k) const { return wordAt(m_index - k); }
    bool lineFromEndIs(qsizetype k, std::uint64_t flag) const { return m_facts[m_index - k] & flag; }
    Word firstOnLine() const { return wordAt(m_lineStart); }

    bool hasTrailingWhitespace() const { return m_table.whitespaceLength(m_index) > 0; }

    // The code before the token ends with a blank and a dot.
    bool prefixEndsWithBlankDot() const
    {
        const qsizetype start = m_table.token(m_index).start;
        const QString& code = m_table.code();
        return start >= 2 && code[start - 1] == u'.' && code[start - 2] == u' ' && m_table.isCharacterBoundary(start - 2);
    }

private:
    Word wordAt(qsizetype index) const { return Word(m_facts[index] & WordMask); }

    const TokenTable& m_table;
    const std::uint64_t* m_facts;
    qsizetype m_index;
    qsizetype m_lineStart;
    std::uint64_t m_self;
    bool m_hasPrevious;
    bool m_hasNext;
    std::uint64_t m_previous;
    std::uint64_t m_next;
};

// Whether a word is one of a set, tested as a mask with one shift.
template <Word... Words>
constexpr bool isAnyOf(Word word)
{
    constexpr std::uint64_t mask = ((std::uint64_t(1) << Words) | ...);
    return (mask >> word) & 1;
}

// "\#(x)" inside a raw string: the backslash, "#", parentheses and the one token between them.
bool insideRawInterpolation(const Context& c)
{
    const auto lineEndsWith = [&](std::initializer_list<Word> words, qsizetype skip) {
        const qsizetype n = qsizetype(words.size());
        if (c.lineSize() < n + skip)
            return false;
        qsizetype k = n + skip;
        for (Word w : words) {
            if (c.lineFromEnd(k--) != w)
                return false;
        }
        return true;
    };
    switch (c.word()) {
    case Backslash: return c.previous() != Backslash && c.next() == Hash;
    case Hash: return c.previous() == Backslash && c.next() == LParen;
    case LParen: return lineEndsWith({Backslash, Hash}, 0);
    case RParen:
        return (c.lineSize() == 3 && lineEndsWith({Backslash, Hash, LParen}, 0))
               || (c.lineSize() >= 4 && lineEndsWith({Backslash, Hash, LParen}, 1));
    default: return lineEndsWith({Backslash, Hash, LParen}, 0) && c.next() == RParen;
    }
}

bool insideInterpolation(const Context& c)
{
    return c.word() == InterpolationOpen || c.previous() == InterpolationOpen || c.is(LineInsideInterpolation);
}

bool preprocessingRule(const Context& c)
{
    return c.is(PreprocessingControlFlow | PreprocessingDirective | LineHasPreprocessing);
}

bool commentRule(const Context& c)
{
    // Any token starting with "//" opens a line comment: "////" and "//*" are such tokens too.
    // Block comment marks are comments wherever they stand; whether they open or close one
    // is decided where the facts are gathered.
    return c.is(WholeBlockComment | StartsLineComment | LineHasLineComment | StartsBlockComment | EndsBlockComment
                | BlockCommentOpen);
}

bool rawStringRule(const Context& c)
{
    return c.is(StartsRaw | EndsRaw | LineRawQuotesUnbalanced | RawMultiLineStringOpen) && !insideRawInterpolation(c);
}

bool multiLineStringRule(const Context& c)
{
    return c.is(MultiLineStringOpen) && !insideInterpolation(c);
}

bool singleLineStringRule(const Context& c)
{
    if (c.is(StartsWithQuote) && c.is(EndsWithQuote))
        return true;
    if (!c.is(StartsWithQuote | EndsWithQuote | LineQuotesUnbalanced))
        return false;
    if (insideInterpolation(c))
        return false;
    return !insideRawInterpolation(c);
}

bool attributeRule(const Context& c)
{
    if (c.is(StartsWithAt))
        return true;
    return c.previous() == Dot && c.lineSize() >= 2 && c.lineFromEndIs(2, StartsWithAt);
}

bool numberRule(const Context& c)
{
    if (c.previousIs(EndsWithDollar))
        return false;
    if (c.is(DecimalIntegerWithoutUnderscores))
        return true;
    if (c.word() == Dot && c.hasPrevious() && c.hasNext())
        return c.previousIs(DecimalInteger) && c.nextIs(DecimalInteger);
    return false;
}

bool typeRule(const Context& c)
{
    if (c.previousIs(Declaration))
        return false;
    if (!c.is(TypeName))
        return false;
    if (c.previous() == ParenDot)
        return false;
    if (c.prefixEndsWithBlankDot())
        return false;
    if (c.is(StartsXCTAssert))
        return false;
    if (!c.hasPrevious() || !isAnyOf<Less, Comma, BlockClose>(c.previous()))
        return true;
    return c.is(TypeAfterList);
}

bool callRule(const Context& c)
{
    if (!c.is(CallName) || c.is(InitWithoutUnderscores))
        return false;
    if (c.is(CallLike) && c.nextIs(StartsWithParen))
        return false;
    if (c.hasPrevious()) {
        if (c.previousIs(AvoidedBeforeCall))
            return false;
        if (c.previous() == Dot && c.lineSize() > 1
            && (c.lineFromEnd(2) == Case || c.lineFromEndIs(2, EndsWithComma)))
            return false;
    }
    if (!c.hasTrailingWhitespace())
        return c.nextIs(StartsWithParen);
    if (c.next() == Brace || c.next() == Braces) {
        if (!(c.previous() == Dot && c.lineSize() > 0) && c.is(Keyword))
            return false;
        return !c.is(LineHasCallControlFlow);
    }
    return false;
}

// A member after a key-path backslash and dot, as in '\.name'.
bool keyPathRule(const Context& c)
{
    return c.previous() == Dot && c.lineSize() >= 2 && c.lineFromEnd(2) == Backslash && c.is(IdentifierStart);
}

bool propertyRule(const Context& c)
{
    if (c.is(StartsWithDollar))
        return c.is(ProjectedValue);
    if (c.lineSize() == 0 || !c.is(IdentifierStart))
        return false;
    if (!isAnyOf<Dot, OptionalDot, EmptyParensDot, ParenCloseDot, GreaterDot>(c.previous()))
        return false;
    if (c.word() == Self || c.word() == Init)
        return false;
    if (c.prefixEndsWithBlankDot())
        return false;
    if (c.nextIs(StartsWithParen))
        return false;
    return c.firstOnLine() != Import;
}

bool dotAccessRule(const Context& c)
{
    if (c.lineSize() == 0 || !c.is(IdentifierStart))
        return false;
    if (!isAnyOf<Dot, ParenDot, BracketDot>(c.previous()))
        return false;
    if (c.word() == Self || c.word() == Init)
        return false;
    return c.firstOnLine() != Import;
}

bool keywordRule(const Context& c)
{
    const Word t = c.word();
    if (t == Underscore)
        return true;
    if (t == Prefix && c.next() == Func)
        return true;
    if (t == Some && c.previous() == Case)
        return false;
    if (c.next() == Colon && t != Nil && t != Default)
        return false; // an argument label
    if (!c.hasTrailingWhitespace() && t != Self && t != Super && c.next() == Dot)
        return false;
    if (!c.hasPrevious())
        return c.is(Keyword);
    if (c.lineSize() > 0 && t != Self) {
        if (c.previous() == Let || c.previous() == Var)
            return false; // a name being bound
        if (t == Actor)
            return c.previousIs(AccessControl | StartsWithAt);
    }
    if (c.is(Declaration))
        return true;
    if (t == LParen)
        return c.previousIs(AccessControl); // as in 'private(set)'
    if (t == Set && c.previous() == LParen)
        return true;
    if (t == RParen)
        return c.previous() == Set;
    if (!isAnyOf<Self, Let, Var, True, False, Inout, Nil, Try, Actor>(t)
        && isAnyOf<LParen, Comma, GreaterParen>(c.previous()))
        return false; // a parameter label
    if (c.previous() == Func || c.previous() == Backtick)
        return false;
    return c.is(Keyword);
}

// False only where no rule can match: a cheap test that most plain tokens (punctuation,
// names that are neither called nor types) fail, sparing them the whole chain. Each term is
// what one or more rules need before they can answer yes.
bool someRuleMayMatch(const Context& c)
{
    constexpr std::uint64_t flags = PreprocessingControlFlow | PreprocessingDirective | LineHasPreprocessing // rule 1
                                    | WholeBlockComment | StartsLineComment | LineHasLineComment
                                    | StartsBlockComment | EndsBlockComment | BlockCommentOpen // 2
                                    | StartsRaw | EndsRaw | LineRawQuotesUnbalanced | RawMultiLineStringOpen // 3
                                    | MultiLineStringOpen // 4
                                    | StartsWithQuote | EndsWithQuote | LineQuotesUnbalanced // 5
                                    | StartsWithAt // 6
                                    | DecimalIntegerWithoutUnderscores // 7
                                    | TypeName // 8
                                    | StartsWithDollar // 11
                                    | Keyword | Declaration; // 13
    if (c.is(flags))
        return true;
    // 6, 10, 11 and 12 after a dot of some kind.
    if (isAnyOf<Dot, OptionalDot, EmptyParensDot, ParenCloseDot, GreaterDot, ParenDot, BracketDot>(c.previous()))
        return true;
    switch (c.word()) {
    case Dot: return c.previousIs(DecimalInteger); // 7
    case LParen: return c.previousIs(AccessControl); // 13
    case RParen: return c.previous() == Set; // 13
    case Prefix: return true; // 13
    default: break;
    }
    // 9: a call is followed by a parenthesis or a closure.
    return c.is(CallName) && (c.nextIs(StartsWithParen) || c.next() == Brace || c.next() == Braces);
}

bool insideString(const Context& c)
{
    return rawStringRule(c) || multiLineStringRule(c) || singleLineStringRule(c);
}

// Which tokens lie inside a comment. Block comments nest; their marks open and close them
// only where they stand in code: a "/*" inside a string literal or after a line comment's
// "//" opens nothing, a "*/" outside a block comment closes nothing, and a "//" inside a
// block comment does not comment out the rest of its line. So a line comment ends at its
// line and a block comment at its own "*/".
class CommentState {
public:
    void startLine() { m_lineComment = false; }
    // The facts of a token that the state before it gives.
    std::uint64_t facts() const
    {
        return (m_depth > 0 ? std::uint64_t(BlockCommentOpen) : 0) | (m_lineComment ? std::uint64_t(LineHasLineComment) : 0);
    }
    // Takes in a token with its facts; `insideString` says whether the token is in a string.
    template <class InsideString>
    void take(std::uint64_t facts, const InsideString& insideString)
    {
        if (m_depth > 0) {
            m_depth += (facts & StartsBlockComment) ? 1 : 0;
            m_depth -= (facts & EndsBlockComment) ? 1 : 0;
        } else if (!m_lineComment) {
            if (facts & StartsLineComment)
                m_lineComment = true;
            else if ((facts & StartsBlockComment) && !insideString())
                m_depth = 1;
        }
    }

private:
    qsizetype m_depth = 0;
    bool m_lineComment = false;
};

using RuleTest = bool (*)(const Context&);

class Rule final : public SyntaxRule {
public:
    Rule(TokenType::Kind kind, RuleTest test) : m_kind(kind), m_test(test) {}
    TokenType tokenType() const override { return m_kind; }
    // A table cut by a grammar that keeps no facts (a subclass's choice) matches nothing.
    bool matches(const Segment& segment) const override
    {
        return segment.table().factsData() && m_test(Context(segment));
    }

private:
    TokenType::Kind m_kind;
    RuleTest m_test;
};

template <TokenType::Kind Kind, RuleTest Test>
struct Entry {
    static constexpr TokenType::Kind kind = Kind;
    static constexpr RuleTest test = Test;
};

// An ordered list of rules, both as rule objects and as one chain of direct calls.
template <class... Entries>
struct Chain {
    static SyntaxRules rules() { return {std::make_shared<const Rule>(Entries::kind, Entries::test)...}; }
    static qsizetype firstMatch(const Context& c)
    {
        qsizetype index = 0;
        const bool found = ((Entries::test(c) || (++index, false)) || ...);
        return found ? index : -1;
    }
};

using K = TokenType::Kind;
using SwiftRules = Chain<Entry<K::preprocessing, preprocessingRule>, Entry<K::comment, commentRule>,
                         Entry<K::string, rawStringRule>, Entry<K::string, multiLineStringRule>,
                         Entry<K::string, singleLineStringRule>, Entry<K::keyword, attributeRule>,
                         Entry<K::number, numberRule>, Entry<K::type, typeRule>, Entry<K::call, callRule>,
                         Entry<K::property, keyPathRule>, Entry<K::property, propertyRule>,
                         Entry<K::dotAccess, dotAccessRule>, Entry<K::keyword, keywordRule>>;

} // namespace

SwiftGrammar::SwiftGrammar()
{
    setSyntaxRules(SwiftRules::rules());
    m_ownRules = true;
}

qsizetype SwiftGrammar::firstMatchingRuleIndex(const Segment& segment) const
{
    if (!m_ownRules)
        return Grammar::firstMatchingRuleIndex(segment);
    if (!segment.table().factsData())
        return -1;
    // Classified as the facts were gathered, by the same tests in the same order.
    return qsizetype((segment.table().factsData()[segment.index()] >> RuleShift) & RuleMask) - 1;
}

bool SwiftGrammar::delimitersContain(char32_t scalar) const
{
    if (scalar < 0x80) {
        const char c = char(scalar);
        return !((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '"'
                 || c == '#' || c == '@' || c == '$');
    }
    return !characters::isAlphanumeric(scalar);
}

bool SwiftGrammar::isDelimiter(QStringView a, QStringView b) const
{
    // Each test is on one whole character: a character of several units is none of these.
    const char16_t x = a.size() == 1 ? a.utf16()[0] : 0;
    const char16_t y = b.size() == 1 ? b.utf16()[0] : 0;
    if (x == u'\\')
        return y == u'(';
    if (y == u'\\')
        return false;
    if (x == u')')
        return false;
    if (x == u'/')
        return y == u'/' || y == u'*';
    if (x == u'*')
        return true;
    if (x == u'(')
        return y == u'.';
    if (y == u'/') {
        switch (x) {
        case u'.': case u',': case u'{': case u'}': case u'[': case u']': case u'>': case u'?': return false;
        default: break;
        }
    }
    return true;
}

std::vector<std::uint64_t> SwiftGrammar::gatherFacts(const TokenTable& table) const
{
    // Properties of each distinct text, worked out once.
    const qsizetype textCount = table.distinctTextCount();
    std::vector<std::uint64_t> textFacts(size_t(textCount), 0);
    std::vector<qsizetype> parenthesisBalance(size_t(textCount), 0);
    thread_local const auto described = std::make_unique<DescribedTexts>();
    for (qsizetype id = 0; id < textCount; ++id)
        textFacts[size_t(id)] = described->facts(table, id, parenthesisBalance[size_t(id)]);

    const qsizetype n = table.size();
    std::vector<std::uint64_t> facts(size_t(n), 0);
    LineState line;
    qsizetype rawMultiLineOpens = 0;
    qsizetype rawMultiLineCloses = 0;
    qsizetype multiLineQuotes = 0;
    // Walking back from a token over the code, the first token that decides the type test
    // decides it for every later token up to the next deciding one; "<" hands the decision
    // to the nearest earlier token that decides inside angle brackets.
    bool typeAfterList = true;
    bool lastInsideBracketsDeciderIsDeclaration = false;
    CommentState comments;

    for (qsizetype i = 0; i < n; ++i) {
        const TokenTable::Token& token = table.token(i);
        if (qsizetype(token.lineStart) == i) {
            line = {};
            comments.startLine();
        }
        const std::uint64_t f = textFacts[size_t(token.textId)];
        std::uint64_t state = 0;
        const auto set = [&](std::uint64_t flag, bool value) {
            if (value)
                state |= flag;
        };
        set(LineHasPreprocessing, line.hasPreprocessing);
        set(LineHasCallControlFlow, line.hasCallControlFlow);
        set(LineQuotesUnbalanced, line.quotes.unbalanced());
        set(LineRawQuotesUnbalanced, line.rawQuotes.unbalanced());
        set(LineInsideInterpolation, line.interpolation.inside());
        set(RawMultiLineStringOpen, rawMultiLineOpens != rawMultiLineCloses);
        set(MultiLineStringOpen, multiLineQuotes % 2 == 1);
        set(TypeAfterList, typeAfterList);
        facts[size_t(i)] = f | state | comments.facts();
        // The rules read only the text of the next token, and the facts of this one and those
        // before it, all known now: the token is classified here, while they are at hand.
        const Context context(table, facts.data(), i, i + 1 < n ? textFacts[table.token(i + 1).textId] : 0);
        const qsizetype rule = someRuleMayMatch(context) ? SwiftRules::firstMatch(context) : -1;
        comments.take(f, [&] { return insideString(context); });
        facts[size_t(i)] |= std::uint64_t(rule + 1) << RuleShift;

        // Take the token into the running state.
        const Word word = Word(f & WordMask);
        line.hasPreprocessing |= bool(f & PreprocessingControlFlow);
        line.hasCallControlFlow |= bool(f & CallControlFlow);
        // Only tokens with quotes move the balances (a lone quote or raw quote has both ends).
        const bool quotes = f & (StartsWithQuote | EndsWithQuote | StartsRaw | EndsRaw);
        const bool escaped = quotes && (f & StartsEscapable) && i > qsizetype(token.lineStart)
                             && (textFacts[size_t(table.token(i - 1).textId)] & WordMask) == Backslash;
        if (quotes && !escaped) {
            if (word == Quote) {
                if (line.quotes.unbalanced())
                    ++line.quotes.closed;
                else
                    ++line.quotes.opened;
            } else {
                line.quotes.opened += (f & StartsWithQuote) ? 1 : 0;
                line.quotes.closed += (f & EndsWithQuote) ? 1 : 0;
            }
            if (word == RawOpen) {
                ++line.rawQuotes.opened;
            } else if (word == RawClose) {
                ++line.rawQuotes.closed;
            } else {
                line.rawQuotes.opened += (f & StartsRaw) ? 1 : 0;
                line.rawQuotes.closed += (f & EndsRaw) ? 1 : 0;
            }
        }
        line.interpolation.add(f, parenthesisBalance[size_t(token.textId)]);

        rawMultiLineOpens += word == RawTripleOpen ? 1 : 0;
        rawMultiLineCloses += word == RawTripleClose ? 1 : 0;
        multiLineQuotes += word == TripleQuote ? 1 : 0;

        const bool decidesOutsideBrackets
            = isAnyOf<Arrow, Greater, GreaterColon, Assign, Equal, LParen, Underscore, Escaping>(word)
              || (f & Declaration);
        const bool decidesInsideBrackets
            = isAnyOf<Arrow, Greater, GreaterColon, Colon, Assign, Equal, LParen, Underscore>(word)
              || (f & (StartsWithAt | Declaration));
        if (decidesOutsideBrackets)
            typeAfterList = true;
        else if (word == Less)
            typeAfterList = !lastInsideBracketsDeciderIsDeclaration;
        if (decidesInsideBrackets)
            lastInsideBracketsDeciderIsDeclaration = f & Declaration;
    }
    return facts;
}

} // namespace highlighter
