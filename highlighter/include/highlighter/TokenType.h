#pragma once

#include <QHashFunctions>
#include <QString>

namespace highlighter {

// The kind of a highlighted token. The nine built-in kinds plus any number of custom ones,
// which are told apart by their name.
class TokenType {
public:
    enum class Kind { keyword, string, type, call, number, comment, property, dotAccess, preprocessing, custom };

    // Built-in kinds convert implicitly; Kind::custom this way is the custom type with an empty name.
    TokenType(Kind kind) : m_kind(kind) {}
    static TokenType custom(QString name) { return TokenType(Kind::custom, std::move(name)); }

    Kind kind() const { return m_kind; }
    // The kind's name ("keyword", "dotAccess", ...) or, for a custom type, its own name.
    QString string() const;

    // Custom types compare by name; a custom "keyword" is not the built-in keyword.
    friend bool operator==(const TokenType&, const TokenType&) = default;

private:
    TokenType(Kind kind, QString name) : m_kind(kind), m_name(std::move(name)) {}

    Kind m_kind;
    QString m_name; // custom types only
};

size_t qHash(const TokenType& type, size_t seed = 0) noexcept;

} // namespace highlighter
