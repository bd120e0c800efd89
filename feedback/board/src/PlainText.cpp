#include "feedback/board/PlainText.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextLayout>

namespace plendra::PlainText {

namespace {

// Line feeds, carriage returns and their pairs as the one character a text layout breaks at.
QString withLineSeparators(const QString& text)
{
    QString result = text;
    result.replace(QStringLiteral("\r\n"), QString(QChar::LineSeparator));
    result.replace(u'\n', QChar::LineSeparator);
    result.replace(u'\r', QChar::LineSeparator);
    return result;
}

qreal layOut(QTextLayout& layout, qreal width)
{
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.setCacheEnabled(true);
    qreal y = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout.endLayout();
    return y;
}

} // namespace

qreal wrappedHeight(const QString& text, const QFont& font, qreal width)
{
    if (text.isEmpty())
        return QFontMetricsF(font).height();
    QTextLayout layout(withLineSeparators(text), font);
    return layOut(layout, width);
}

void draw(QPainter& painter, const QString& text, const QFont& font, const QRectF& rect, bool wraps)
{
    painter.setFont(font);
    if (!wraps) {
        QString line = text;
        for (QChar& c : line) {
            if (c == u'\n' || c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
                c = u' ';
        }
        const QString elided = QFontMetricsF(font).elidedText(line, Qt::ElideRight, rect.width());
        painter.drawText(rect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, elided);
        return;
    }
    QTextLayout layout(withLineSeparators(text), font);
    layOut(layout, rect.width());
    layout.draw(&painter, rect.topLeft());
}

} // namespace plendra::PlainText
