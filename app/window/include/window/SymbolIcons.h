#pragma once

#include <QColor>
#include <QIcon>
#include <QPalette>
#include <QString>

namespace quillora {

// The application's own symbols (SVGs in the resources, drawn in black), tinted in one colour,
// and in `selectedColor` (when valid) on a selected row. An unknown name gives the plain
// document symbol. Icons are cached per name and colours.
QIcon symbolIcon(const QString& name, const QColor& color, const QColor& selectedColor = {});
QPixmap symbolPixmap(const QString& name, const QColor& color, int size, qreal devicePixelRatio);
bool hasSymbol(const QString& name);

// Colours the window's views take from the palette.
namespace WindowColors {
bool isDark(const QPalette& palette);
QColor secondaryText(const QPalette& palette);
QColor accent(const QPalette& palette);
QColor systemRed(const QPalette& palette);
QColor systemOrange(const QPalette& palette);
QColor systemGreen(const QPalette& palette);
QColor systemBlue(const QPalette& palette);
} // namespace WindowColors

} // namespace quillora
