#include "richtext/AttributedText.h"

#include <gtest/gtest.h>

using namespace richtext;

TEST(AttributedText, RunsCoverTheTextInOrderAndSkipEmptyPieces)
{
    TextAttributes red{Color{1, 0, 0, 1}, {}, {}, {}};
    AttributedText text;
    text.append(QStringLiteral("ab"), red);
    text.append(QString(), {});
    text.append(QStringLiteral("😀c"), {});

    EXPECT_EQ(text.text(), QStringLiteral("ab😀c"));
    ASSERT_EQ(text.runs().size(), 2u);
    EXPECT_EQ(text.runs()[0], (TextRun{0, 2, red}));
    EXPECT_EQ(text.runs()[1], (TextRun{2, 3, {}})); // UTF-16: the emoji is two units

    AttributedText joined(QStringLiteral("x"));
    joined.append(text);
    EXPECT_EQ(joined.text(), QStringLiteral("xab😀c"));
    EXPECT_EQ(joined.runs()[1], (TextRun{1, 2, red}));
}
