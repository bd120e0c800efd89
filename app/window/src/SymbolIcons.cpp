#include "window/SymbolIcons.h"

#include <mdview/Host.h>

#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QPainter>
#include <QSvgRenderer>

// The resources of a static library are registered by hand, once.
static void registerSymbols()
{
    Q_INIT_RESOURCE(symbols);
}

namespace quillora {
namespace {

QString resourcePath(const QString& name)
{
    static const bool registered = (registerSymbols(), true);
    Q_UNUSED(registered);
    return QStringLiteral(":/symbols/") + name + QStringLiteral(".svg");
}

} // namespace

bool hasSymbol(const QString& name)
{
    return QFile::exists(resourcePath(name));
}

QPixmap symbolPixmap(const QString& name, const QColor& color, int size, qreal devicePixelRatio)
{
    QSvgRenderer renderer(resourcePath(hasSymbol(name) ? name : QStringLiteral("doc")));
    const int pixels = qRound(size * devicePixelRatio);
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(0, 0, pixels, pixels));
        // The drawing's coverage in the one colour.
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(image.rect(), color);
    }
    QPixmap pixmap = QPixmap::fromImage(std::move(image));
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

QIcon symbolIcon(const QString& name, const QColor& color, const QColor& selectedColor)
{
    static QHash<QString, QIcon> cache;
    const QString key = name + u'#' + QString::number(color.rgba(), 16) + u'#'
        + QString::number(selectedColor.isValid() ? selectedColor.rgba() : 0, 16);
    if (const auto found = cache.constFind(key); found != cache.cend())
        return *found;
    QIcon icon;
    for (const int size : {16, 24, 32, 48}) {
        for (const qreal ratio : {1.0, 2.0}) {
            icon.addPixmap(symbolPixmap(name, color, size, ratio));
            if (selectedColor.isValid())
                icon.addPixmap(symbolPixmap(name, selectedColor, size, ratio), QIcon::Selected);
        }
    }
    cache.insert(key, icon);
    return icon;
}

namespace WindowColors {

bool isDark(const QPalette& palette)
{
    return mdview::colorSchemeOf(palette) == mdview::ColorScheme::dark;
}

QColor secondaryText(const QPalette& palette)
{
    QColor text = palette.color(QPalette::WindowText);
    text.setAlphaF(0.55);
    return text;
}

QColor accent(const QPalette& palette)
{
    return palette.color(QPalette::Highlight);
}

QColor systemRed(const QPalette& palette)
{
    return isDark(palette) ? QColor(255, 69, 58) : QColor(255, 59, 48);
}

QColor systemOrange(const QPalette& palette)
{
    return isDark(palette) ? QColor(255, 159, 10) : QColor(255, 149, 0);
}

QColor systemGreen(const QPalette& palette)
{
    return isDark(palette) ? QColor(48, 209, 88) : QColor(52, 199, 89);
}

QColor systemBlue(const QPalette& palette)
{
    return isDark(palette) ? QColor(10, 132, 255) : QColor(0, 122, 255);
}

} // namespace WindowColors
} // namespace quillora
