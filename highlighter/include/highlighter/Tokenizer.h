#pragma once

#include "highlighter/Grammar.h"
#include "highlighter/Segment.h"

namespace highlighter {

// The segments of one piece of code, in order: each token with its trailing whitespace.
// Concatenating every token and its whitespace gives back the code exactly.
class Segments {
public:
    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = Segment;
        using difference_type = qsizetype;
        using pointer = const Segment*;
        using reference = const Segment&;

        explicit const_iterator(Segment segment) : m_segment(std::move(segment)) {}
        const Segment& operator*() const { return m_segment; }
        const Segment* operator->() const { return &m_segment; }
        const_iterator& operator++()
        {
            Segments::advance(m_segment);
            return *this;
        }
        friend bool operator==(const const_iterator& a, const const_iterator& b)
        {
            return a.m_segment.index() == b.m_segment.index();
        }

    private:
        Segment m_segment;
    };

    explicit Segments(std::shared_ptr<const TokenTable> table) : m_table(std::move(table)) {}
    qsizetype size() const { return m_table->size(); }
    bool isEmpty() const { return m_table->size() == 0; }
    Segment operator[](qsizetype index) const { return {m_table, index}; }
    const_iterator begin() const { return const_iterator(Segment(m_table, 0)); }
    const_iterator end() const { return const_iterator(Segment(m_table, m_table->size())); }
    const TokenTable& table() const { return *m_table; }

private:
    static void advance(Segment& segment) { ++segment.m_index; }

    std::shared_ptr<const TokenTable> m_table;
};

// Cuts code into tokens by the grammar's delimiters and merge test, in one pass over its
// user-perceived characters, and lets the grammar gather its facts in a second pass.
class Tokenizer {
public:
    // Empty code gives no segments. Only whitespace at the very start of the code makes a
    // segment with an empty token.
    Segments segments(const QString& code, const Grammar& grammar) const;
};

} // namespace highlighter
