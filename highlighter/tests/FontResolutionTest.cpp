// The font descriptions of highlight themes, resolved at the GUI edge.

#include "QtPrinters.h"
#include "highlighter/Theme.h"
#include "richtext/gui/QtConversions.h"

#include <QFile>
#include <QFontInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace highlighter::Highlight;

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
        EXPECT_TRUE(QFontInfo(resolved).fixedPitch()) << resolved.family().toStdString();
    }
}
