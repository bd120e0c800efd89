#pragma once

#include "highlighter/TokenType.h"

#include <QString>

#include <optional>

namespace highlighter {

// HTML with one span per run of same-type tokens, classed by prefix and type name.
class HTMLOutputFormat {
public:
    class Builder {
    public:
        using Output = QString;

        explicit Builder(QString classPrefix) : m_classPrefix(std::move(classPrefix)) {}
        // Joins a token of the pending token's type into its span, with the whitespace between.
        void addToken(QStringView text, const TokenType& type);
        void addPlainText(QStringView text);
        void addWhitespace(QStringView whitespace);
        QString build();

    private:
        void flush();

        QString m_classPrefix;
        QString m_html;
        struct PendingToken {
            QString string;
            TokenType type;
        };
        std::optional<PendingToken> m_pendingToken;
        std::optional<QString> m_pendingWhitespace;
    };

    explicit HTMLOutputFormat(QString classPrefix) : classPrefix(std::move(classPrefix)) {}
    Builder makeBuilder() const { return Builder(classPrefix); }

    QString classPrefix;
};

// "&", "<" and ">" as entities; every other character as it is.
QString escapeHTML(QStringView text);

} // namespace highlighter
