#include "mdview/TextNode.h"

#include "richtext/gui/QtConversions.h"

#include <QFontMetricsF>

#include <algorithm>
#include <cmath>

namespace mdview {

namespace {

// Offers no wider than this even for an unlimited proposal: QTextLayout wants a finite width,
// and counts in fixed point that overflows not far above it.
constexpr double unlimitedWidth = 1e7;

// The text QTextLayout sees: same length as the original so offsets agree, with line feeds as
// line separators and characters that have no business in a layout made harmless.
QString layoutText(const QString& text)
{
    QString result = text;
    for (qsizetype i = 0; i < result.size(); ++i) {
        const QChar c = result.at(i);
        if (c == QLatin1Char('\n')) {
            result[i] = QChar::LineSeparator;
        } else if (c == QLatin1Char('\t')) {
            continue;
        } else if (c.isHighSurrogate() && i + 1 < result.size() && result.at(i + 1).isLowSurrogate()) {
            ++i;
        } else if (c.isSurrogate() || c.category() == QChar::Other_Control) {
            result[i] = QChar::ReplacementCharacter;
        }
    }
    return result;
}

QTextCharFormat::UnderlineStyle underlineFor(richtext::LineStyle::Pattern pattern)
{
    switch (pattern) {
    case richtext::LineStyle::Pattern::solid: return QTextCharFormat::SingleUnderline;
    case richtext::LineStyle::Pattern::dot: return QTextCharFormat::DotLine;
    case richtext::LineStyle::Pattern::dash: return QTextCharFormat::DashUnderline;
    case richtext::LineStyle::Pattern::dashDot: return QTextCharFormat::DashDotLine;
    case richtext::LineStyle::Pattern::dashDotDot: return QTextCharFormat::DashDotDotLine;
    }
    return QTextCharFormat::SingleUnderline;
}

} // namespace

TextNode::TextNode(richtext::AttributedText text, Style style, std::vector<InlineImage> images)
    : m_text(std::move(text)), m_style(std::move(style))
{
    // QTextLayout gives the object replacement character no advance of its own, whatever its
    // format: an image stands on a no-break space, which takes the room its format gives it.
    QString laidOut = layoutText(m_text.text());
    for (const InlineImage& image : images) {
        if (image.offset >= 0 && image.offset < laidOut.size())
            laidOut[image.offset] = QChar::Nbsp;
    }
    m_layout.setText(laidOut);
    m_layout.setFont(m_style.font);
    m_layout.setCacheEnabled(true);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    option.setUseDesignMetrics(true);
    m_layout.setTextOption(option);
    QList<QTextLayout::FormatRange> formats;
    for (const richtext::TextRun run : m_text.runs()) {
        const richtext::TextAttributes& a = m_text.attributes(run);
        QTextCharFormat format;
        const QFont font = a.font ? richtext::toQFont(*a.font) : m_style.font;
        format.setFont(font);
        format.setForeground(a.foregroundColor ? richtext::toQColor(*a.foregroundColor) : m_style.color);
        if (a.backgroundColor)
            format.setBackground(richtext::toQColor(*a.backgroundColor));
        if (a.underline) {
            format.setUnderlineStyle(underlineFor(a.underline->pattern));
            if (a.underline->color)
                format.setUnderlineColor(richtext::toQColor(*a.underline->color));
        }
        if (a.strikethrough)
            format.setFontStrikeOut(true);
        const double spacing = a.kerning.value_or(0) + a.tracking.value_or(0);
        if (spacing != 0) {
            format.setFontLetterSpacingType(QFont::AbsoluteSpacing);
            format.setFontLetterSpacing(spacing);
        }
        if (a.baselineOffset && *a.baselineOffset != 0) {
            const double height = QFontMetricsF(font).height();
            if (height > 0)
                format.setBaselineOffset(*a.baselineOffset / height * 100);
        }
        formats.push_back({int(run.start), int(run.length), format});
    }
    // An inline image reserves its room with the replacement character: a font as tall as the
    // image and letter spacing that makes the advance its width. The character itself is clear.
    for (InlineImage& image : images) {
        const QSizeF size = image.image.isNull() ? QSizeF() : QSizeF(image.image.size()) / image.image.devicePixelRatio();
        if (size.isEmpty() || image.offset < 0 || image.offset >= m_text.text().size())
            continue;
        QFont font = m_style.font;
        font.setPixelSize(std::max(1, int(std::lround(std::min(size.height(), 4096.0)))));
        QTextCharFormat format;
        format.setFont(font);
        format.setForeground(Qt::transparent);
        format.setFontLetterSpacingType(QFont::AbsoluteSpacing);
        format.setFontLetterSpacing(size.width() - QFontMetricsF(font).horizontalAdvance(QChar::Nbsp));
        formats.push_back({int(image.offset), 1, format});
        m_images.push_back(std::move(image));
    }
    m_layout.setFormats(formats);
}

QTextLayout& TextNode::layoutFor(double width)
{
    const double lineWidth = std::isfinite(width) ? std::clamp(width, 0.0, unlimitedWidth) : unlimitedWidth;
    // Lines break greedily: any width from the widest line up to the width they were broken
    // for breaks them the same, and so does any wider one when none of them ran out of room.
    // Frames, baselines and resizes keep asking for such widths; laying out again would shape
    // the whole text again.
    if (m_layoutWidth && lineWidth >= m_widestLine && (lineWidth <= *m_layoutWidth || !m_softWrapped))
        return m_layout;
    m_layoutWidth = lineWidth;
    m_layout.clearLayout();
    double y = 0;
    m_widestLine = 0;
    m_softWrapped = false;
    const QString& text = m_layout.text();
    // Lines never overlap, nor stand further apart than any text is wide.
    const double lineSpacing = std::isfinite(m_style.lineSpacing) ? std::clamp(m_style.lineSpacing, 0.0, unlimitedWidth) : 0;
    m_layout.beginLayout();
    for (QTextLine line = m_layout.createLine(); line.isValid(); line = m_layout.createLine()) {
        line.setLineWidth(lineWidth);
        if (line.lineNumber() > 0)
            y += lineSpacing;
        line.setPosition(QPointF(0, y));
        y += line.height();
        m_widestLine = std::max(m_widestLine, line.naturalTextWidth());
        const int end = line.textStart() + line.textLength();
        if (end < text.size() && end > 0 && text.at(end - 1) != QChar::LineSeparator
            && text.at(end - 1) != QChar::ParagraphSeparator)
            m_softWrapped = true;
    }
    m_layout.endLayout();
    m_layoutSize = m_text.isEmpty() ? QSizeF(0, 0) : QSizeF(std::ceil(m_widestLine), std::ceil(y));
    return m_layout;
}

ProposedSize TextNode::cacheKey(const ProposedSize& proposal) const
{
    // Only the width counts, and every unlimited width is the same.
    if (proposal.width && std::isfinite(*proposal.width))
        return {std::max(0.0, *proposal.width), std::nullopt};
    return {};
}

QSizeF TextNode::sizeThatFits(const ProposedSize& proposal)
{
    const double width = proposal.width.value_or(infinity);
    layoutFor(width);
    QSizeF size = m_layoutSize;
    if (std::isfinite(width))
        size.setWidth(std::min(size.width(), std::max(0.0, width)));
    return size;
}

double TextNode::lineX(const QTextLine& line) const
{
    const double free = frame().width() - line.naturalTextWidth();
    switch (m_style.alignment) {
    case HorizontalAlignment::leading: return 0;
    case HorizontalAlignment::center: return std::max(0.0, free / 2);
    case HorizontalAlignment::trailing: return std::max(0.0, free);
    }
    return 0;
}

std::optional<double> TextNode::firstBaseline(const QSizeF& size)
{
    QTextLayout& layout = layoutFor(size.width());
    if (layout.lineCount() == 0)
        return std::nullopt;
    return layout.lineAt(0).ascent();
}

void TextNode::draw(QPainter& painter, const QRectF& exposed)
{
    QTextLayout& layout = layoutFor(frame().width());
    const auto [selStart, selEnd] = m_selection;
    for (int i = 0; i < layout.lineCount(); ++i) {
        const QTextLine line = layout.lineAt(i);
        const QPointF origin = frame().topLeft() + QPointF(lineX(line), 0);
        const QRectF lineRect = line.rect().translated(origin);
        if (lineRect.bottom() < exposed.top() || lineRect.top() > exposed.bottom())
            continue;
        // Each line draws itself so that alignment can shift lines independently.
        if (selEnd > selStart) {
            const int from = std::max(selStart, line.textStart());
            const int to = std::min(selEnd, line.textStart() + line.textLength());
            if (to > from) {
                const double x1 = line.cursorToX(from);
                const double x2 = line.cursorToX(to);
                painter.fillRect(QRectF(origin.x() + std::min(x1, x2), lineRect.top(), std::abs(x2 - x1),
                                        lineRect.height()),
                                 m_style.selectionColor);
            }
        }
        line.draw(&painter, origin);
        for (const InlineImage& image : m_images) {
            if (image.offset < line.textStart() || image.offset >= line.textStart() + line.textLength())
                continue;
            const QSizeF size = QSizeF(image.image.size()) / image.image.devicePixelRatio();
            const QPointF topLeft(origin.x() + line.cursorToX(int(image.offset)),
                                  origin.y() + line.y() + line.ascent() - size.height());
            painter.drawImage(QRectF(topLeft, size), image.image);
        }
    }
}

int TextNode::offsetAt(const QPointF& point)
{
    QTextLayout& layout = layoutFor(frame().width());
    const QPointF local = point - frame().topLeft();
    if (layout.lineCount() == 0)
        return 0;
    if (local.y() < 0)
        return 0;
    for (int i = 0; i < layout.lineCount(); ++i) {
        const QTextLine line = layout.lineAt(i);
        if (local.y() < line.rect().bottom() || i + 1 == layout.lineCount())
            return line.xToCursor(local.x() - lineX(line), QTextLine::CursorBetweenCharacters);
    }
    return int(m_text.text().size());
}

QString TextNode::linkAt(const QPointF& point)
{
    QTextLayout& layout = layoutFor(frame().width());
    const QPointF local = point - frame().topLeft();
    for (int i = 0; i < layout.lineCount(); ++i) {
        const QTextLine line = layout.lineAt(i);
        if (local.y() < line.rect().top() || local.y() >= line.rect().bottom())
            continue;
        const double x = local.x() - lineX(line);
        if (x < 0 || x > line.naturalTextWidth())
            return {};
        const int offset = line.xToCursor(x, QTextLine::CursorOnCharacter);
        const richtext::TextAttributes* attributes = m_text.attributesAt(offset);
        return attributes ? attributes->link : QString();
    }
    return {};
}

QRectF TextNode::rangeRect(int start, int end)
{
    QTextLayout& layout = layoutFor(frame().width());
    for (int i = 0; i < layout.lineCount(); ++i) {
        const QTextLine line = layout.lineAt(i);
        if (start < line.textStart() || start >= line.textStart() + line.textLength())
            continue;
        const int stop = std::min(end, line.textStart() + line.textLength());
        const double x1 = line.cursorToX(start);
        const double x2 = line.cursorToX(stop);
        return QRectF(frame().left() + lineX(line) + std::min(x1, x2), frame().top() + line.y(), std::abs(x2 - x1),
                      line.height());
    }
    return {};
}

QString TextNode::describe() const
{
    QString text = m_text.text();
    text.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    if (text.size() > 40)
        text = text.left(40) + QStringLiteral("…");
    return QLatin1Char('"') + text + QLatin1Char('"');
}

} // namespace mdview
