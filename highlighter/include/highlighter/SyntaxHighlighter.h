#pragma once

#include "highlighter/Grammar.h"
#include "highlighter/OutputFormat.h"
#include "highlighter/Tokenizer.h"

#include <memory>

namespace highlighter {

// Cuts text into tokens, classifies each by the grammar's ordered rules, joins neighbouring
// tokens of the same kind that no whitespace separates, and feeds the result to a fresh
// builder of the format. Keeps nothing between calls; calls may run on any thread.
template <OutputFormat Format>
class SyntaxHighlighter {
public:
    using Output = decltype(std::declval<const Format&>().makeBuilder().build());

    SyntaxHighlighter(Format format, std::shared_ptr<const Grammar> grammar)
        : m_format(std::move(format)), m_grammar(std::move(grammar))
    {
    }

    const Format& format() const { return m_format; }
    const Grammar& grammar() const { return *m_grammar; }

    Output highlight(const QString& text) const
    {
        auto builder = m_format.makeBuilder();
        if constexpr (requires { builder.reserve(text.size()); })
            builder.reserve(text.size());
        const Segments segments = m_tokenizer.segments(text, *m_grammar);
        const QStringView code(segments.table().code());

        // The pending token: a stretch of the code and the rule that classified it (null: none).
        struct Pending {
            qsizetype start = 0;
            qsizetype end = 0;
            const SyntaxRule* rule = nullptr;
        };
        Pending pending;
        bool hasPending = false;
        const auto hand = [&](const Pending& p) {
            const QStringView stretch = code.sliced(p.start, p.end - p.start);
            if (p.rule)
                builder.addToken(stretch, p.rule->tokenType());
            else
                builder.addPlainText(stretch);
        };
        const auto sameKind = [](const SyntaxRule* a, const SyntaxRule* b) {
            if (a == b)
                return true;
            return a && b && a->tokenType() == b->tokenType();
        };

        for (const Segment& segment : segments) {
            const TokenTable::Token& token = segment.table().token(segment.index());
            const QStringView whitespace = segments.table().trailingWhitespace(segment.index());
            if (token.length == 0) {
                builder.addWhitespace(whitespace);
                continue;
            }
            const SyntaxRule* rule = m_grammar->firstMatchingRule(segment);
            Pending settled{token.start, token.start + token.length, rule};
            if (hasPending && sameKind(pending.rule, rule))
                settled.start = pending.start;
            else if (hasPending)
                hand(pending);
            hasPending = whitespace.isEmpty();
            if (hasPending) {
                pending = settled;
            } else {
                hand(settled);
                builder.addWhitespace(whitespace);
            }
        }
        if (hasPending)
            hand(pending);
        return std::move(builder).build();
    }

private:
    Format m_format;
    std::shared_ptr<const Grammar> m_grammar;
    Tokenizer m_tokenizer;
};

} // namespace highlighter
