#pragma once

// What the chat views share of their look: the platform's named colours in either scheme, the
// caption and callout text sizes, and the rounded panels every bubble is drawn on.

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QRectF>

class QPainter;

namespace quillora::chat::style {

enum class Named { orange, gray, green, red, blue };

bool isDark(const QPalette& palette);
// The named colour as the scheme of the palette shows it, at an opacity.
QColor named(Named colour, const QPalette& palette, double opacity = 1);
QColor withOpacity(QColor colour, double opacity);
QColor secondaryText(const QPalette& palette);
QColor tertiaryText(const QPalette& palette);

QFont caption(const QFont& base);
QFont callout(const QFont& base);
QFont monospaced(QFont font);

inline constexpr double cornerRadius = 8;

// Fills the rectangle (clipped to the rounded outline when `clipFill`) and strokes the rounded
// outline with a 1-point line inside it. An invalid colour draws nothing.
void paintPanel(QPainter& painter, const QRectF& rect, const QColor& fill, const QColor& stroke, bool clipFill = true,
                double radius = cornerRadius);

} // namespace quillora::chat::style
