#pragma once

// Test helpers: an output format that records the builder calls, and per-token kinds.

#include "LiteralHighlighter.h"
#include "highlighter/SyntaxHighlighter.h"

#include <QStringList>

#include <optional>
#include <vector>

namespace testing_support {

using oracle::BuilderCall;

struct RecordingFormat {
    struct Builder {
        using Output = std::vector<BuilderCall>;
        void addToken(QStringView text, const highlighter::TokenType& type)
        {
            calls.push_back({BuilderCall::Kind::token, text.toString(), type});
        }
        void addPlainText(QStringView text) { calls.push_back({BuilderCall::Kind::plainText, text.toString(), {}}); }
        void addWhitespace(QStringView text) { calls.push_back({BuilderCall::Kind::whitespace, text.toString(), {}}); }
        Output build() { return calls; }
        Output calls;
    };
    Builder makeBuilder() const { return {}; }
};

// Each token with the type the grammar gives it (none: no rule matched).
struct Classified {
    QString token;
    std::optional<highlighter::TokenType> type;
};

inline std::vector<Classified> classify(const QString& code, const highlighter::Grammar& grammar)
{
    std::vector<Classified> result;
    const highlighter::Segments segments = highlighter::Tokenizer().segments(code, grammar);
    for (const highlighter::Segment& s : segments) {
        const highlighter::SyntaxRule* rule = grammar.firstMatchingRule(s);
        result.push_back({s.tokens().current().toString(),
                          rule ? std::optional<highlighter::TokenType>(rule->tokenType()) : std::nullopt});
    }
    return result;
}

inline QString describe(const std::optional<highlighter::TokenType>& type)
{
    return type ? type->string() : QStringLiteral("-");
}

inline QString describe(const std::vector<BuilderCall>& calls)
{
    QStringList parts;
    for (const BuilderCall& c : calls) {
        const char* kind = c.kind == BuilderCall::Kind::token ? "token" : c.kind == BuilderCall::Kind::plainText ? "plain" : "ws";
        parts << QStringLiteral("%1(%2)[%3]").arg(QLatin1StringView(kind), describe(c.type), c.text);
    }
    return parts.join(u' ');
}

} // namespace testing_support
