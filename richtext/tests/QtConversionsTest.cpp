#include "richtext/gui/QtConversions.h"

#include <QTemporaryDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace richtext;

TEST(QtConversions, FontFileThatIsNotAFontFallsBackToTheSystemFontAtTheSize)
{
    QTemporaryDir dir;
    const QString bogus = dir.filePath(QStringLiteral("bogus.ttf"));
    QFile file(bogus);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a font");
    file.close();

    for (const QString& path : {bogus, dir.filePath(QStringLiteral("missing.ttf"))}) {
        const QFont font = toQFont(FontSpec{{}, path, 13, 400, false, false});
        EXPECT_EQ(font.pixelSize(), 13);
        EXPECT_FALSE(font.family().isEmpty());
    }
}

TEST(QtConversions, ColourComponentsAreKept)
{
    const QColor c = toQColor(Color{1, 0.5, 0, 0.25});
    EXPECT_NEAR(c.redF(), 1, 1e-3);
    EXPECT_NEAR(c.greenF(), 0.5, 1e-3);
    EXPECT_NEAR(c.blueF(), 0, 1e-3);
    EXPECT_NEAR(c.alphaF(), 0.25, 1e-3);
}

TEST(QtConversions, FontVariantsReachTheQFont)
{
    FontSpec spec;
    spec.pixelSize = 20;
    spec.smallCaps = true;
    spec.stretch = 75;
    const QFont font = toQFont(spec);
    EXPECT_EQ(font.capitalization(), QFont::SmallCaps);
    EXPECT_EQ(font.stretch(), 75);
    EXPECT_EQ(toQFont(FontSpec{}).stretch(), QFont::AnyStretch);
}
