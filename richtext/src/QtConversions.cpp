#include "richtext/gui/QtConversions.h"

#include <QFontDatabase>
#include <QHash>
#include <QMutex>

#include <algorithm>

namespace richtext {

QColor toQColor(const Color& color)
{
    return QColor::fromRgbF(float(color.red), float(color.green), float(color.blue), float(color.alpha));
}

namespace {

// Family registered for a font file, or empty when the file could not be loaded.
QString familyForFile(const QString& path)
{
    static QMutex mutex;
    static QHash<QString, QString> families;
    QMutexLocker lock(&mutex);
    auto it = families.constFind(path);
    if (it != families.constEnd())
        return *it;
    QString family;
    const int id = QFontDatabase::addApplicationFont(path);
    if (id >= 0) {
        const QStringList names = QFontDatabase::applicationFontFamilies(id);
        if (!names.isEmpty())
            family = names.first();
    }
    families.insert(path, family);
    return family;
}

} // namespace

QFont toQFont(const FontSpec& spec)
{
    QFont font = spec.monospaced ? QFontDatabase::systemFont(QFontDatabase::FixedFont)
                                 : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    QString family = spec.family;
    if (!spec.filePath.isEmpty())
        family = familyForFile(spec.filePath);
    if (!family.isEmpty())
        font.setFamily(family);
    if (spec.pixelSize > 0)
        font.setPixelSize(int(std::clamp(spec.pixelSize + 0.5, 1.0, FontSpec::maxPixelSize)));
    font.setWeight(QFont::Weight(std::clamp(spec.weight, 1, 1000)));
    font.setItalic(spec.italic);
    if (spec.smallCaps)
        font.setCapitalization(QFont::SmallCaps);
#if QT_VERSION >= QT_VERSION_CHECK(6, 6, 0)
    if (spec.tabularDigits)
        font.setFeature("tnum", 1);
#endif
    if (spec.stretch != 100)
        font.setStretch(std::clamp(spec.stretch, 1, 4000));
    return font;
}

} // namespace richtext
