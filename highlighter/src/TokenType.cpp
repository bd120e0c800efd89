#include "highlighter/TokenType.h"

namespace highlighter {

QString TokenType::string() const
{
    switch (m_kind) {
    case Kind::keyword: return QStringLiteral("keyword");
    case Kind::string: return QStringLiteral("string");
    case Kind::type: return QStringLiteral("type");
    case Kind::call: return QStringLiteral("call");
    case Kind::number: return QStringLiteral("number");
    case Kind::comment: return QStringLiteral("comment");
    case Kind::property: return QStringLiteral("property");
    case Kind::dotAccess: return QStringLiteral("dotAccess");
    case Kind::preprocessing: return QStringLiteral("preprocessing");
    case Kind::custom: return m_name;
    }
    return m_name;
}

size_t qHash(const TokenType& type, size_t seed) noexcept
{
    return qHashMulti(seed, int(type.kind()), type.kind() == TokenType::Kind::custom ? type.string() : QString());
}

} // namespace highlighter
