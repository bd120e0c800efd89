#pragma once

#include "highlighter/TokenType.h"

#include <QString>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
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
        void addToken(QStringView text, const TokenType& type)
        {
            if (isOpen(type))
                m_whitespaceStart = -1;
            else
                open(type);
            writeEscaped(text);
        }
        void addPlainText(QStringView text)
        {
            if (m_openKind)
                close();
            writeEscaped(text);
        }
        void addWhitespace(QStringView whitespace)
        {
            if (m_openKind && m_whitespaceStart < 0)
                m_whitespaceStart = m_length;
            write(whitespace);
        }
        QString build();

    private:
        // Closes the open span before the whitespace that followed its last token.
        void close();
        // Closes the open span and opens one of the type.
        void open(const TokenType& type);
        void write(QStringView text)
        {
            char16_t* out = reserveUnits(text.size());
            const char16_t* in = text.utf16();
            if (text.size() > 8) { // tags; shorter are mostly blanks
                std::memcpy(out, in, size_t(text.size()) * sizeof(char16_t));
            } else {
                for (qsizetype i = 0; i < text.size(); ++i)
                    out[i] = in[i];
            }
            m_length += text.size();
        }
        // "&", "<" and ">" as entities; a long text a stretch at a time, so that the room kept
        // for entities stays small.
        void writeEscaped(QStringView text)
        {
            constexpr qsizetype stretch = 4096;
            if (text.size() <= stretch) {
                writeEscapedStretch(text);
                return;
            }
            for (qsizetype from = 0; from < text.size(); from += stretch)
                writeEscapedStretch(text.sliced(from, std::min(stretch, text.size() - from)));
        }
        void writeEscapedStretch(QStringView text)
        {
            char16_t* out = reserveUnits(text.size() * 5); // "&amp;" is the longest
            constexpr std::uint64_t special = (1ull << u'&') | (1ull << u'<') | (1ull << u'>');
            const char16_t* in = text.utf16();
            for (qsizetype i = 0; i < text.size(); ++i) {
                const char16_t c = in[i];
                if (c <= u'>' && ((special >> c) & 1))
                    out = writeEntity(out, c);
                else
                    *out++ = c;
            }
            m_length = out - m_units;
        }
        static char16_t* writeEntity(char16_t* out, char16_t c);
        // Makes room for `count` more units and returns where they go.
        char16_t* reserveUnits(qsizetype count)
        {
            if (m_units && m_length + count <= m_capacity)
                return m_units + m_length;
            return grow(count);
        }
        char16_t* grow(qsizetype count);
        bool isOpen(const TokenType& type) const
        {
            return m_openKind == type.kind()
                   && (type.kind() != TokenType::Kind::custom || m_openCustomName == type.string());
        }
        const QString& openTag(const TokenType& type);

        QString m_classPrefix;
        // The output, written through a pointer into a string kept larger than its content.
        QString m_html;
        char16_t* m_units = nullptr; // null while the string may be shared
        qsizetype m_length = 0;
        qsizetype m_capacity = 0;
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
