#pragma once

#include "highlighter/Grammar.h"
#include "highlighter/OutputFormat.h"
#include "highlighter/Tokenizer.h"

#include <algorithm>
#include <memory>
#include <vector>

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
        // A builder may prepare for the code: reserve room, or keep it to share its text.
        if constexpr (requires { builder.start(text); })
            builder.start(text);
        const Segments segments = m_tokenizer.segments(text, *m_grammar);
        const QStringView code(segments.table().code());

        // Each rule's type, and for each rule the first rule of an equal type: tokens of
        // rules with the same first rule are of one kind.
        const SyntaxRules& rules = m_grammar->syntaxRules();
        std::vector<TokenType> types;
        std::vector<qsizetype> kinds;
        types.reserve(rules.size());
        kinds.reserve(rules.size());
        for (const auto& rule : rules) {
            types.push_back(rule->tokenType());
            kinds.push_back(std::find(types.begin(), types.end(), types.back()) - types.begin());
        }

        // The pending token: a stretch of the code and the index of the rule that classified
        // it (-1: none).
        struct Pending {
            qsizetype start = 0;
            qsizetype end = 0;
            qsizetype rule = -1;
        };
        Pending pending;
        bool hasPending = false;
        const auto hand = [&](const Pending& p) {
            const QStringView stretch = code.sliced(p.start, p.end - p.start);
            if (p.rule >= 0)
                builder.addToken(stretch, types[size_t(p.rule)]);
            else
                builder.addPlainText(stretch);
        };
        const auto sameKind = [&](qsizetype a, qsizetype b) {
            return a == b || (a >= 0 && b >= 0 && kinds[size_t(a)] == kinds[size_t(b)]);
        };

        for (const Segment& segment : segments) {
            const TokenTable::Token& token = segment.table().token(segment.index());
            const QStringView whitespace = segments.table().trailingWhitespace(segment.index());
            if (token.length == 0) {
                builder.addWhitespace(whitespace);
                continue;
            }
            const qsizetype rule = m_grammar->firstMatchingRuleIndex(segment);
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
