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
        // The pending token's text and type, and the whitespace gathered after it; the
        // strings keep their capacity from token to token.
        std::optional<TokenType> m_pendingType;
        QString m_pendingText;
        QString m_pendingWhitespace;
        bool m_hasPendingWhitespace = false;
    };

    explicit HTMLOutputFormat(QString classPrefix) : classPrefix(std::move(classPrefix)) {}
    Builder makeBuilder() const { return Builder(classPrefix); }

    QString classPrefix;
};

// "&", "<" and ">" as entities; every other character as it is.
QString escapeHTML(QStringView text);

} // namespace highlighter
