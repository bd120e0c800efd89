#include "ChatStyle.h"

#include <mdview/Host.h>

#include <QFontDatabase>
#include <QPainter>
#include <QPainterPath>

namespace quillora::chat::style {

bool isDark(const QPalette& palette)
{
    return mdview::colorSchemeOf(palette) == mdview::ColorScheme::dark;
}

QColor withOpacity(QColor colour, double opacity)
{
    colour.setAlphaF(float(colour.alphaF() * opacity));
    return colour;
}

QColor named(Named colour, const QPalette& palette, double opacity)
{
    const bool dark = isDark(palette);
    QColor value;
    switch (colour) {
    case Named::orange: value = dark ? QColor(255, 159, 10) : QColor(255, 149, 0); break;
    case Named::gray: value = QColor(142, 142, 147); break;
    case Named::green: value = dark ? QColor(48, 209, 88) : QColor(52, 199, 89); break;
    case Named::red: value = dark ? QColor(255, 69, 58) : QColor(255, 59, 48); break;
    case Named::blue: value = dark ? QColor(10, 132, 255) : QColor(0, 122, 255); break;
    }
    return withOpacity(value, opacity);
}

QColor secondaryText(const QPalette& palette)
{
    return withOpacity(palette.color(QPalette::WindowText), 0.55);
}

QColor tertiaryText(const QPalette& palette)
{
    return withOpacity(palette.color(QPalette::WindowText), 0.3);
}

QFont caption(const QFont& base)
{
    QFont font = base;
    font.setPixelSize(10);
    return font;
}

QFont callout(const QFont& base)
{
    QFont font = base;
    font.setPixelSize(12);
    return font;
}

QFont monospaced(QFont font)
{
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPixelSize(font.pixelSize() > 0 ? font.pixelSize() : 12);
    fixed.setWeight(font.weight());
    fixed.setItalic(font.italic());
    return fixed;
}

void paintPanel(QPainter& painter, const QRectF& rect, const QColor& fill, const QColor& stroke, bool clipFill,
                double radius)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (fill.isValid()) {
        if (clipFill) {
            QPainterPath path;
            path.addRoundedRect(rect, radius, radius);
            painter.fillPath(path, fill);
        } else {
            painter.fillRect(rect, fill);
        }
    }
    if (stroke.isValid()) {
        QPen pen(stroke, 1);
        pen.setCapStyle(Qt::FlatCap);
        pen.setJoinStyle(Qt::MiterJoin);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    }
    painter.restore();
}

} // namespace quillora::chat::style
