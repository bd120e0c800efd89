// The font descriptions of highlight themes, resolved at the GUI edge.

#include "QtPrinters.h"
#include "highlighter/Theme.h"
#include "richtext/gui/QtConversions.h"

#include <QFile>
#include <QFontMetricsF>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace highlighter::Highlight;

namespace {
// What the highlighter needs of a monospaced font: every character advances by the same width,
// so columns line up. (Fontconfig's spacing property is not that: some monospaced faces do not
// declare it.)
bool advancesAreEqual(const QFont& font)
{
    const QFontMetricsF metrics(font);
    const double width = metrics.horizontalAdvance(QLatin1Char('i'));
    for (const QChar c : QStringLiteral("iWm0._|MW@ "))
        if (metrics.horizontalAdvance(c) != width)
            return false;
    return width > 0;
}
} // namespace

TEST(FontResolution, FilesThatAreNotFontsFallBackAtTheSize)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString notAFont = dir.filePath("not-a-font.ttf");
    QFile file(notAFont);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("plain text, not a font");
    file.close();

    for (const Font& font : {Font(notAFont, 15), Font(dir.filePath("missing.ttf"), 15), Font(15)}) {
        const QFont resolved = richtext::toQFont(font.resolved());
        EXPECT_EQ(resolved.pixelSize(), 15);
        EXPECT_TRUE(advancesAreEqual(resolved)) << resolved.family().toStdString();
    }
}
