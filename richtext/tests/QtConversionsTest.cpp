#include "richtext/gui/QtConversions.h"

#include <QTemporaryDir>
#include <QFile>
#include <gtest/gtest.h>

#include <limits>

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

TEST(QtConversions, PixelSizesAreBoundedBeforeTheIntegerConversion)
{
    const struct Case {
        double pixelSize;
        int expected;
    } cases[] = {
        {13.4, 13},
        {0.2, 1},
        {FontSpec::maxPixelSize, int(FontSpec::maxPixelSize)},
        {1e300, int(FontSpec::maxPixelSize)},
        {std::numeric_limits<double>::infinity(), int(FontSpec::maxPixelSize)},
    };
    for (const Case& c : cases) {
        FontSpec spec;
        spec.pixelSize = c.pixelSize;
        EXPECT_EQ(toQFont(spec).pixelSize(), c.expected) << c.pixelSize;
    }
    // Not a number: the default size, as for no size.
    FontSpec nan;
    nan.pixelSize = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(toQFont(nan).pixelSize(), toQFont(FontSpec{}).pixelSize());
}

#if QT_VERSION >= QT_VERSION_CHECK(6, 6, 0)
TEST(QtConversions, TabularDigitsSelectTheFontFeature)
{
    FontSpec spec;
    spec.tabularDigits = true;
    EXPECT_EQ(toQFont(spec).featureValue("tnum"), 1u);
    EXPECT_FALSE(toQFont(FontSpec{}).isFeatureSet("tnum"));
}
#endif
