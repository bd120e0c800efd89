#pragma once

#include <QString>
#include <QStringView>

#include <array>

#include <cstdint>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace highlighter {

// The tokens of one piece of code, cut once and then shared read-only by all its segments,
// so that a segment's context (earlier tokens, its line, its neighbours) is an index range
// rather than a copy. Offsets are UTF-16 code units into `code()`, kept in 32 bits: the
// tokenizer takes code of up to 2^32 - 1 units.
class TokenTable {
public:
    struct Token {
        quint32 start = 0;
        quint32 length = 0;
        quint32 lineStart = 0; // index of the first token of this token's line
        quint32 textId = 0;    // equal texts share an id
        bool isDelimiter = false;
        bool isLastOnLine = false; // a line break is among the trailing whitespace
    };

    const QString& code() const { return m_code; }
    qsizetype size() const { return qsizetype(m_tokens.size()); }
    const Token& token(qsizetype index) const { return m_tokens[size_t(index)]; }
    QStringView text(qsizetype index) const
    {
        const Token& t = token(index);
        return QStringView(m_code).sliced(t.start, t.length);
    }
    // The whitespace and line breaks after a token, up to the next token or the end.
    qsizetype whitespaceLength(qsizetype index) const
    {
        const Token& t = token(index);
        const qsizetype next = index + 1 < size() ? qsizetype(token(index + 1).start) : m_code.size();
        return next - qsizetype(t.start + t.length);
    }
    QStringView trailingWhitespace(qsizetype index) const
    {
        const Token& t = token(index);
        return QStringView(m_code).sliced(t.start + t.length, whitespaceLength(index));
    }

    // Distinct token texts, numbered by first occurrence; a text's id is in its tokens.
    qsizetype distinctTextCount() const { return qsizetype(m_firstOfText.size()); }
    qsizetype firstTokenOfText(qsizetype textId) const { return m_firstOfText[size_t(textId)]; }
    // The text's hash, as characters::hashUnits gives it (internal to the highlighter).
    quint32 textHash(qsizetype textId) const { return m_textHashes[size_t(textId)]; }

    // How often `text` occurs among the tokens before `index`.
    qsizetype countBefore(QStringView text, qsizetype index) const;

    // Whether a user-perceived character (grapheme cluster) starts at `position`; the ends
    // of the code count as boundaries.
    bool isCharacterBoundary(qsizetype position) const
    {
        if (position <= 0 || position >= m_code.size())
            return true;
        if (!m_boundaries.empty())
            return m_boundaries[size_t(position)];
        const QChar* units = m_code.constData();
        return !(units[position - 1] == u'\r' && units[position] == u'\n');
    }
    qsizetype nextCharacterBoundary(qsizetype position) const;

    // The grammar's facts about the token (see Grammar::gatherFacts); 0 when it keeps none.
    std::uint64_t facts(qsizetype index) const { return m_facts.empty() ? 0 : m_facts[size_t(index)]; }
    // All of them, one per token; null when the grammar keeps none.
    const std::uint64_t* factsData() const { return m_facts.empty() ? nullptr : m_facts.data(); }

private:
    friend class Tokenizer;

    // Token indices grouped by text, made on the first count.
    void groupPositions() const;

    QString m_code;
    std::vector<Token> m_tokens;
    // Open addressing over the distinct texts (by their first token); cheaper than a general
    // hash map for the many short keys of source code.
    class TextIndex {
    public:
        // The id of `text`, or -1.
        qsizetype find(const TokenTable& table, QStringView text) const;
        // The id of the text of token `index`, adding it when new.
        quint32 intern(TokenTable& table, qsizetype index);
        void reserve(std::size_t texts);

    private:
        quint32 internByHash(TokenTable& table, qsizetype index);

        void grow(std::size_t slotCount);

        struct Slot {
            quint32 hash = 0;
            quint32 id = free;
        };
        static constexpr quint32 free = ~quint32(0);
        std::vector<Slot> m_slots;
        std::size_t m_used = 0;
        // Ids of the one-unit ASCII texts, the most frequent tokens, found without hashing.
        std::array<quint32, 128> m_asciiIds = makeFreeIds();
        static constexpr std::array<quint32, 128> makeFreeIds()
        {
            std::array<quint32, 128> ids{};
            ids.fill(free);
            return ids;
        }
    };

    TextIndex m_textIndex;
    std::vector<bool> m_boundaries;       // per position; empty when the code is all ASCII
    std::vector<quint32> m_firstOfText;   // per text id: index of its first token
    std::vector<quint32> m_textHashes;    // per text id
    mutable std::once_flag m_grouped;
    mutable std::vector<quint32> m_positionStarts; // per text id: where its token indices begin in m_positions
    mutable std::vector<quint32> m_positions;      // token indices grouped by text id, ascending within a group
    std::vector<std::uint64_t> m_facts;
};

// Consecutive tokens of a table, read as texts.
class TokenList {
public:
    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = QStringView;
        using difference_type = qsizetype;
        using pointer = void;
        using reference = QStringView;

        const_iterator() = default;
        const_iterator(const TokenTable* table, qsizetype index) : m_table(table), m_index(index) {}
        QStringView operator*() const { return m_table->text(m_index); }
        const_iterator& operator++() { ++m_index; return *this; }
        const_iterator operator++(int) { auto copy = *this; ++m_index; return copy; }
        friend bool operator==(const const_iterator& a, const const_iterator& b) { return a.m_index == b.m_index; }

    private:
        const TokenTable* m_table = nullptr;
        qsizetype m_index = 0;
    };

    TokenList(const TokenTable* table, qsizetype begin, qsizetype end) : m_table(table), m_begin(begin), m_end(end) {}
    qsizetype size() const { return m_end - m_begin; }
    bool isEmpty() const { return m_end == m_begin; }
    QStringView operator[](qsizetype i) const { return m_table->text(m_begin + i); }
    QStringView first() const { return (*this)[0]; }
    QStringView last() const { return (*this)[size() - 1]; }
    const_iterator begin() const { return {m_table, m_begin}; }
    const_iterator end() const { return {m_table, m_end}; }

private:
    const TokenTable* m_table;
    qsizetype m_begin;
    qsizetype m_end;
};

// One token in its context. A view into the shared table: copies are cheap and independent.
class Segment {
public:
    // The token and its context; none of the lists includes the current token.
    class Tokens {
    public:
        Tokens(const TokenTable* table, qsizetype index) : m_table(table), m_index(index) {}
        // Every token before this one.
        TokenList all() const { return {m_table, 0, m_index}; }
        // How often `text` occurred before this token.
        qsizetype count(QStringView text) const { return m_table->countBefore(text, m_index); }
        // The tokens before this one on its line (after the last token followed by a line break).
        TokenList onSameLine() const { return {m_table, qsizetype(m_table->token(m_index).lineStart), m_index}; }
        std::optional<QStringView> previous() const;
        QStringView current() const { return m_table->text(m_index); }
        std::optional<QStringView> next() const;

    private:
        const TokenTable* m_table;
        qsizetype m_index;
    };

    Segment(std::shared_ptr<const TokenTable> table, qsizetype index) : m_table(std::move(table)), m_index(index) {}

    // The code from its start up to this token.
    QStringView prefix() const { return QStringView(m_table->code()).first(m_table->token(m_index).start); }
    Tokens tokens() const { return {m_table.get(), m_index}; }
    // Whitespace and line breaks after the token; absent when another token or the end follows at once.
    std::optional<QStringView> trailingWhitespace() const;
    bool currentTokenIsDelimiter() const { return m_table->token(m_index).isDelimiter; }
    bool isLastOnLine() const { return m_table->token(m_index).isLastOnLine; }

    const TokenTable& table() const { return *m_table; }
    qsizetype index() const { return m_index; }

private:
    friend class Segments;

    std::shared_ptr<const TokenTable> m_table;
    qsizetype m_index;
};

} // namespace highlighter
