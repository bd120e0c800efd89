#pragma once

#include <QFont>
#include <QRectF>
#include <QString>

class QPainter;

namespace plendra {

// Text from the service drawn as it stands: never read as markup. Wrapped text breaks between
// words, and inside a word longer than the line; its line breaks are kept. Single-line text
// shows its line breaks as blanks and is elided at the end.
namespace PlainText {
qreal wrappedHeight(const QString& text, const QFont& font, qreal width);
void draw(QPainter& painter, const QString& text, const QFont& font, const QRectF& rect, bool wraps);
} // namespace PlainText

} // namespace plendra
