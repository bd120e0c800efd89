#pragma once

#include "highlighter/TokenType.h"

#include <QStringView>

#include <cstdint>
#include <memory>
#include <vector>

namespace highlighter {

class Segment;
class TokenTable;

// One rule of a grammar: whether a segment's current token is of the rule's type.
class SyntaxRule {
public:
    virtual ~SyntaxRule() = default;
    virtual TokenType tokenType() const = 0;
    virtual bool matches(const Segment& segment) const = 0;
};

using SyntaxRules = std::vector<std::shared_ptr<const SyntaxRule>>;

// A language: which characters end a word, which delimiters run together, and the
// ordered rules that classify tokens (most specific first; the first match decides).
class Grammar {
public:
    virtual ~Grammar() = default;

    // Whether a character whose first Unicode scalar is `scalar` is a delimiter.
    virtual bool delimitersContain(char32_t scalar) const = 0;

    // Whether the delimiter character `next` may join the delimiter token whose last
    // character is `last`. Runs of delimiters form one token unless a grammar says otherwise.
    virtual bool isDelimiter(QStringView last, QStringView mergableWith) const;

    // Facts about each token that the grammar's rules read instead of rescanning earlier
    // tokens, gathered in one forward pass over a freshly cut table (one word per token,
    // meaning of the bits private to the grammar). The default gathers none.
    virtual std::vector<std::uint64_t> gatherFacts(const TokenTable& table) const;

    const SyntaxRules& syntaxRules() const { return m_syntaxRules; }
    void setSyntaxRules(SyntaxRules rules)
    {
        m_syntaxRules = std::move(rules);
        syntaxRulesChanged();
    }

    // The index in syntaxRules() of the first rule, in order, that matches the segment; -1
    // when none does. A grammar may answer without the virtual calls, as long as it answers
    // as its rules would.
    virtual qsizetype firstMatchingRuleIndex(const Segment& segment) const;
    // The first rule, in order, that matches the segment; null when none does.
    const SyntaxRule* firstMatchingRule(const Segment& segment) const
    {
        const qsizetype index = firstMatchingRuleIndex(segment);
        return index < 0 ? nullptr : m_syntaxRules[size_t(index)].get();
    }

protected:
    Grammar() = default;
    Grammar(const Grammar&) = default;
    Grammar& operator=(const Grammar&) = default;

    // Called after setSyntaxRules: a grammar that answers for its own rules stops doing so.
    virtual void syntaxRulesChanged() {}

private:
    SyntaxRules m_syntaxRules;
};

} // namespace highlighter
