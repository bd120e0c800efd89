#pragma once

// A test oracle: the tokenizer, the Swift rules and the driver written as plainly as the
// rules read, with full snapshots of the earlier tokens in every segment and rescans of
// the line for every token. Quadratic, and only for checking the fast implementation.

#include "highlighter/Grammar.h"
#include "highlighter/TokenType.h"

#include <QHash>
#include <QStringList>

#include <optional>
#include <vector>

namespace oracle {

struct LiteralSegment {
    QStringView prefix;
    struct Tokens {
        QStringList all;
        QHash<QString, int> counts;
        QStringList onSameLine;
        std::optional<QString> previous;
        QString current;
        std::optional<QString> next;
        int count(const QString& token) const { return counts.value(token, 0); }
    } tokens;
    std::optional<QString> trailingWhitespace;
    bool currentTokenIsDelimiter = false;
    bool isLastOnLine = false;
    // Comment state before the token, worked out over the segments before it.
    int blockCommentDepth = 0;
    bool lineCommentOpen = false;
};

// The segments of `code`, which must outlive them (prefixes are views into it).
std::vector<LiteralSegment> literalSegments(const QString& code, const highlighter::Grammar& grammar);

// The Swift rules in order over one segment: the type of the first that matches.
std::optional<highlighter::TokenType> literalSwiftTokenType(const LiteralSegment& segment);

// One call of the highlighter on its output builder.
struct BuilderCall {
    enum class Kind { token, plainText, whitespace };
    Kind kind;
    QString text;
    std::optional<highlighter::TokenType> type;
    friend bool operator==(const BuilderCall&, const BuilderCall&) = default;
};

std::vector<BuilderCall> literalSwiftHighlight(const QString& code);

} // namespace oracle
