#include "QtPrinters.h"
#include "highlighter/TokenType.h"

#include <QHash>

#include <gtest/gtest.h>

using namespace highlighter;
using K = TokenType::Kind;

TEST(TokenType, StringFormsEqualityAndHashing)
{
    const std::pair<TokenType, const char*> names[] = {
        {K::keyword, "keyword"}, {K::string, "string"}, {K::type, "type"}, {K::call, "call"},
        {K::number, "number"}, {K::comment, "comment"}, {K::property, "property"},
        {K::dotAccess, "dotAccess"}, {K::preprocessing, "preprocessing"}, {TokenType::custom("x"), "x"},
    };
    for (const auto& [type, name] : names)
        EXPECT_EQ(type.string(), QLatin1StringView(name));

    EXPECT_EQ(TokenType::custom("a"), TokenType::custom("a"));
    EXPECT_NE(TokenType::custom("a"), TokenType::custom("b"));
    EXPECT_NE(TokenType::custom("keyword"), TokenType(K::keyword));

    QHash<TokenType, int> colours;
    colours.insert(K::keyword, 1);
    colours.insert(TokenType::custom("keyword"), 2);
    EXPECT_EQ(colours.size(), 2);
    EXPECT_EQ(colours.value(K::keyword), 1);
    EXPECT_EQ(colours.value(TokenType::custom("keyword")), 2);
}
