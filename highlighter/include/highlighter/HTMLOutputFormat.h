#pragma once

#include "highlighter/TokenType.h"

#include <QString>

#include <array>
#include <optional>

namespace highlighter {

// HTML with one span per run of same-type tokens, classed by prefix and type name.
class HTMLOutputFormat {
public:
    class Builder {
    public:
        using Output = QString;

        explicit Builder(QString classPrefix) : m_classPrefix(std::move(classPrefix)) {}
        // Room for the HTML of code this long.
        void start(const QString& code);
        // Joins a token of the open span's type into it, with the whitespace between.
        void addToken(QStringView text, const TokenType& type);
        void addPlainText(QStringView text);
        void addWhitespace(QStringView whitespace);
        QString build();

    private:
        // Closes the open span before the whitespace that followed its last token.
        void close();
        void write(QStringView text);
        void writeEscaped(QStringView text);
        // Makes room for `count` more units and returns where they go.
        char16_t* reserveUnits(qsizetype count);
        bool isOpen(const TokenType& type) const;
        const QString& openTag(const TokenType& type);

        QString m_classPrefix;
        // The output, written through a pointer into a string kept larger than its content.
        QString m_html;
        char16_t* m_units = nullptr;
        qsizetype m_length = 0;
        // The span being written, by kind and for custom types by name, and where the
        // whitespace after its last token begins in the output (-1: none came yet). That
        // whitespace stays inside when a token of the type follows; else the span is closed
        // before it.
        std::optional<TokenType::Kind> m_openKind;
        QString m_openCustomName;
        qsizetype m_whitespaceStart = -1;
        // Opening tags of the built-in types, made on first use.
        std::array<QString, std::size_t(TokenType::Kind::custom)> m_openTags;
        QString m_customTag;
    };

    explicit HTMLOutputFormat(QString classPrefix) : classPrefix(std::move(classPrefix)) {}
    Builder makeBuilder() const { return Builder(classPrefix); }

    QString classPrefix;
};

// "&", "<" and ">" as entities; every other character as it is.
QString escapeHTML(QStringView text);

} // namespace highlighter
