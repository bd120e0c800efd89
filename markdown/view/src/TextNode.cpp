#include "mdview/TextNode.h"

#include "richtext/gui/QtConversions.h"

#include <QFontMetricsF>
#include <QTextBoundaryFinder>

#include <QHashFunctions>

#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace mdview {

namespace {

// Offers no wider than this even for an unlimited proposal: QTextLayout wants a finite width,
// and counts in fixed point that overflows not far above it.
constexpr double unlimitedWidth = 1e7;

// A run without a break opportunity longer than this (far more than any line holds) gets one
// every few characters, so that breaking lines out of it stays linear.
constexpr qsizetype longestUnbrokenRun = 1024;
constexpr qsizetype addedBreakSpacing = 16;
constexpr QChar addedBreak(0x200B); // zero width space

bool isBreakOpportunity(QChar c)
{
    const char16_t u = c.unicode();
    return u == ' ' || u == '\t' || u == '\n' || u == 0x2028 || u == 0x2029 || u == 0x200B || u == 0x1680
        || (u >= 0x2000 && u <= 0x200A && u != 0x2007) || u == 0x205F || u == 0x3000;
}

// The control characters (category Cc) but the tab, and surrogates not in a pair (the caller
// steps over pairs).
bool isControlOrLoneSurrogate(QChar c)
{
    const char16_t u = c.unicode();
    return (u < 0x20 && u != '\t') || (u >= 0x7F && u <= 0x9F) || c.isSurrogate();
}

// The text QTextLayout sees, of the text's length: line feeds as line separators, characters
// that have no business in a layout made harmless. And the offsets of the text a break
// opportunity goes before, ascending, all found in one pass.
QString sanitized(const QString& text, std::vector<qsizetype>& breaks)
{
    // Shares the text until a character has to change.
    QString result = text;
    const QChar* c = result.constData();
    QChar* writable = nullptr;
    const auto change = [&](qsizetype at, QChar to) {
        if (!writable)
            c = writable = result.data();
        writable[at] = to;
    };
    qsizetype run = 0;
    for (qsizetype i = 0; i <= result.size(); ++i) {
        if (i < result.size()) {
            if (c[i] == QLatin1Char('\n'))
                change(i, QChar::LineSeparator);
            else if (c[i].isHighSurrogate() && i + 1 < result.size() && c[i + 1].isLowSurrogate())
                ++i;
            else if (isControlOrLoneSurrogate(c[i]))
                change(i, QChar::ReplacementCharacter);
            if (!isBreakOpportunity(c[i]))
                continue;
        }
        if (i - run > longestUnbrokenRun) {
            // Only between characters as the reader sees them: never inside a letter and its
            // marks, a surrogate pair, a flag or an emoji sequence, which would then be drawn
            // as its pieces where a line ends.
            QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, c + run, i - run);
            for (qsizetype at = addedBreakSpacing; at < i - run; at += addedBreakSpacing) {
                characters.setPosition(at);
                if (!characters.isAtBoundary())
                    at = characters.toNextBoundary();
                if (at < 0 || at >= i - run)
                    break;
                breaks.push_back(run + at);
            }
        }
        run = i + 1;
    }
    return result;
}

// The sanitized text with the added break opportunities.
QString withBreaks(const QString& text, const std::vector<qsizetype>& breaks)
{
    if (breaks.empty())
        return text;
    QString result;
    result.reserve(text.size() + qsizetype(breaks.size()));
    qsizetype copied = 0;
    for (const qsizetype at : breaks) {
        result.append(QStringView(text).sliced(copied, at - copied));
        result += addedBreak;
        copied = at;
    }
    result.append(QStringView(text).sliced(copied));
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

QTextCharFormat formatFor(const richtext::TextAttributes& a, const TextNode::Style& style)
{
    QTextCharFormat format;
    const QFont font = a.font ? TextNode::fontFor(*a.font) : style.font;
    format.setFont(font);
    format.setForeground(a.foregroundColor ? richtext::toQColor(*a.foregroundColor) : style.color);
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
    return format;
}

// Formats of the styles texts use lately: a document has a handful of distinct ones over
// thousands of texts.
QTextCharFormat cachedFormatFor(const richtext::TextAttributes& a, const TextNode::Style& style)
{
    struct Entry {
        richtext::TextAttributes attributes;
        QFont font;
        QColor color;
        QTextCharFormat format;
    };
    constexpr std::size_t capacity = 64;
    thread_local std::vector<Entry> entries; // the most recent last
    // The format does not show where a link goes: links share the format of their look.
    const auto sameLook = [&a](const richtext::TextAttributes& b) {
        return a.foregroundColor == b.foregroundColor && a.backgroundColor == b.backgroundColor && a.font == b.font
            && a.underline == b.underline && a.strikethrough == b.strikethrough && a.kerning == b.kerning
            && a.tracking == b.tracking && a.baselineOffset == b.baselineOffset;
    };
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if (sameLook(it->attributes) && it->color == style.color && it->font == style.font)
            return it->format;
    }
    if (entries.size() >= capacity)
        entries.erase(entries.begin());
    entries.push_back({a, style.font, style.color, formatFor(a, style)});
    return entries.back().format;
}

// Whether a text in these attributes alone lays out and draws the same in a font and a pen
// colour as through a format: no background, underline colour or pattern, or raised baseline.
bool drawsWithoutFormat(const richtext::TextAttributes& a)
{
    return !a.backgroundColor && (!a.baselineOffset || *a.baselineOffset == 0)
        && (!a.underline || (a.underline->pattern == richtext::LineStyle::Pattern::solid && !a.underline->color));
}

// The font formatFor gives these attributes. The same font for the same attributes: texts that
// share a font share what Qt resolved for it (its engines and their fallbacks).
QFont plainFont(const richtext::TextAttributes& a, const TextNode::Style& style)
{
    QFont font = a.font ? TextNode::fontFor(*a.font) : style.font;
    const double spacing = a.kerning.value_or(0) + a.tracking.value_or(0);
    if (!a.underline && !a.strikethrough && spacing == 0)
        return font;
    struct Entry {
        QFont base;
        bool underline;
        bool strikeOut;
        double spacing;
        QFont font;
    };
    thread_local std::vector<Entry> entries; // the most recent last
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if (it->underline == bool(a.underline) && it->strikeOut == bool(a.strikethrough) && it->spacing == spacing
            && it->base == font)
            return it->font;
    }
    if (entries.size() >= 64)
        entries.erase(entries.begin());
    Entry entry{font, bool(a.underline), bool(a.strikethrough), spacing, font};
    entry.font.setUnderline(entry.underline);
    entry.font.setStrikeOut(entry.strikeOut);
    if (spacing != 0)
        entry.font.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
    entries.push_back(std::move(entry));
    return entries.back().font;
}

struct FontSpecHash {
    std::size_t operator()(const richtext::FontSpec& spec) const
    {
        return qHashMulti(0, spec.family, spec.filePath, spec.pixelSize, spec.weight, spec.italic, spec.monospaced,
                          spec.smallCaps, spec.tabularDigits, spec.stretch);
    }
};

} // namespace

// The texts that keep their layouts, the most recently used first; one list per thread, as a
// tree is used on one thread. A text is listed exactly while it has a layout.
struct LiveLayouts {
    static constexpr std::size_t capacity = 1024;
    TextNode* newest = nullptr;
    TextNode* oldest = nullptr;
    std::size_t count = 0;

    static LiveLayouts& current()
    {
        thread_local LiveLayouts live; // trivially destructible: usable to the thread's end
        return live;
    }
    void unlink(TextNode& node)
    {
        (node.m_newer ? node.m_newer->m_older : newest) = node.m_older;
        (node.m_older ? node.m_older->m_newer : oldest) = node.m_newer;
        node.m_newer = node.m_older = nullptr;
        --count;
    }
    void pushNewest(TextNode& node)
    {
        node.m_older = newest;
        (newest ? newest->m_newer : oldest) = &node;
        newest = &node;
        ++count;
    }
    // The node was just used; a new layout may push out the one used longest ago.
    void use(TextNode& node, bool isNew)
    {
        if (!isNew) {
            if (newest == &node)
                return;
            unlink(node);
        }
        pushNewest(node);
        while (count > capacity && oldest != &node) {
            TextNode& gone = *oldest;
            unlink(gone);
            gone.m_layout.reset();
            gone.m_hasLines = false;
        }
    }
};

QFont TextNode::fontFor(const richtext::FontSpec& spec)
{
    // A document has a handful of distinct fonts over thousands of texts and runs.
    thread_local std::unordered_map<richtext::FontSpec, QFont, FontSpecHash> fonts;
    if (const auto found = fonts.find(spec); found != fonts.end())
        return found->second;
    if (fonts.size() >= 256)
        fonts.clear();
    return fonts.emplace(spec, richtext::toQFont(spec)).first->second;
}

TextNode::TextNode(std::shared_ptr<const richtext::AttributedText> text, Style style, std::vector<InlineImage> images)
    : m_text(std::move(text)), m_style(std::move(style)), m_font(m_style.font), m_color(m_style.color)
{
    const QString& source = m_text->text();
    // QTextLayout gives the object replacement character no advance of its own, whatever its
    // format: an image stands on a no-break space, which takes the room its format gives it.
    m_laidOut = withBreaks(sanitized(source, m_breaks), m_breaks);
    for (const InlineImage& image : images) {
        if (image.offset >= 0 && image.offset < source.size())
            m_laidOut[toLayout(image.offset)] = QChar::Nbsp;
    }
    const richtext::AttributedText::Runs runs = m_text->runs();
    if (images.empty() && runs.size() <= 1) {
        const richtext::TextAttributes* only = runs.empty() ? nullptr : &m_text->attributes(runs[0]);
        if (!only || drawsWithoutFormat(*only)) {
            if (only) {
                const richtext::TextAttributes& a = *only;
                m_font = plainFont(a, m_style);
                if (a.foregroundColor)
                    m_color = richtext::toQColor(*a.foregroundColor);
            }
            return;
        }
    }
    // One format per distinct style, shared by its runs.
    std::vector<QTextCharFormat> styleFormats;
    styleFormats.reserve(m_text->styles().size());
    for (const richtext::TextAttributes& attributes : m_text->styles())
        styleFormats.push_back(cachedFormatFor(attributes, m_style));
    m_formats.reserve(qsizetype(runs.size() + images.size()));
    for (const richtext::TextRun run : runs) {
        const int start = toLayout(run.start);
        m_formats.push_back({start, toLayout(run.start + run.length) - start, styleFormats[run.style]});
    }
    // An inline image reserves its room: a font as tall as the image and letter spacing that makes
    // the advance its width. The character itself is clear.
    std::stable_sort(images.begin(), images.end(), [](const InlineImage& a, const InlineImage& b) { return a.offset < b.offset; });
    for (InlineImage& image : images) {
        const QSizeF size = image.image.isNull() ? QSizeF() : QSizeF(image.image.size()) / image.image.devicePixelRatio();
        if (size.isEmpty() || image.offset < 0 || image.offset >= source.size())
            continue;
        QFont font = m_style.font;
        font.setPixelSize(std::max(1, int(std::lround(std::min(size.height(), 4096.0)))));
        QTextCharFormat format;
        format.setFont(font);
        format.setForeground(Qt::transparent);
        format.setFontLetterSpacingType(QFont::AbsoluteSpacing);
        format.setFontLetterSpacing(size.width() - QFontMetricsF(font).horizontalAdvance(QChar::Nbsp));
        m_formats.push_back({toLayout(image.offset), 1, format});
        m_images.push_back(std::move(image));
    }
}

TextNode::~TextNode()
{
    if (m_layout)
        LiveLayouts::current().unlink(*this);
}

QTextLayout& TextNode::layout()
{
    const bool isNew = !m_layout;
    if (isNew) {
        m_layout = std::make_unique<QTextLayout>(m_laidOut, m_font);
        m_layout->setCacheEnabled(true);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        option.setUseDesignMetrics(true);
        m_layout->setTextOption(option);
        if (!m_formats.isEmpty())
            m_layout->setFormats(m_formats);
        m_hasLines = false;
    }
    LiveLayouts::current().use(*this, isNew);
    return *m_layout;
}

int TextNode::toLayout(qsizetype offset) const
{
    return int(offset + (std::upper_bound(m_breaks.begin(), m_breaks.end(), offset) - m_breaks.begin()));
}

int TextNode::toText(int layoutOffset) const
{
    // The k-th added break sits at layout offset m_breaks[k] + k.
    std::size_t low = 0;
    std::size_t high = m_breaks.size();
    while (low < high) {
        const std::size_t middle = (low + high) / 2;
        if (m_breaks[middle] + qsizetype(middle) < layoutOffset)
            low = middle + 1;
        else
            high = middle;
    }
    return int(layoutOffset - qsizetype(low));
}

void TextNode::measureLines(double width)
{
    const double lineWidth = std::isfinite(width) ? std::clamp(width, 0.0, unlimitedWidth) : unlimitedWidth;
    // Lines break greedily: any width from the widest line up to the width they were broken
    // for breaks them the same, and so does any wider one when none of them ran out of room.
    // Frames, baselines and resizes keep asking for such widths; laying out again would shape
    // the whole text again. What the lines measure outlives the layout.
    if (m_layoutWidth && lineWidth >= m_widestLine && (lineWidth <= *m_layoutWidth || !m_softWrapped))
        return;
    breakLines(layout(), lineWidth);
}

QTextLayout& TextNode::layoutFor(double width)
{
    measureLines(width);
    QTextLayout& layout = this->layout();
    // Let go of since they were broken: broken again at that width, they come out the same.
    if (!m_hasLines)
        breakLines(layout, *m_layoutWidth);
    return layout;
}

void TextNode::breakLines(QTextLayout& layout, double lineWidth)
{
    m_layoutWidth = lineWidth;
    m_hasLines = true;
    layout.clearLayout();
    double y = 0;
    m_widestLine = 0;
    m_softWrapped = false;
    const QString& text = m_laidOut;
    // Lines never overlap, nor stand further apart than any text is wide.
    const double lineSpacing = std::isfinite(m_style.lineSpacing) ? std::clamp(m_style.lineSpacing, 0.0, unlimitedWidth) : 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
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
    layout.endLayout();
    m_layoutSize = m_text->isEmpty() ? QSizeF(0, 0) : QSizeF(std::ceil(m_widestLine), std::ceil(y));
    m_firstAscent = layout.lineCount() > 0 ? std::optional(layout.lineAt(0).ascent()) : std::nullopt;
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
    measureLines(width);
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
    measureLines(size.width());
    return m_firstAscent;
}

int TextNode::lineIndexAt(double y)
{
    // Lines stand in order from the top: the first whose bottom is below the height.
    int low = 0;
    int high = m_layout->lineCount();
    while (low < high) {
        const int middle = (low + high) / 2;
        if (m_layout->lineAt(middle).rect().bottom() <= y)
            low = middle + 1;
        else
            high = middle;
    }
    return std::min(low, m_layout->lineCount() - 1);
}

void TextNode::draw(QPainter& painter, const QRectF& exposed)
{
    QTextLayout& layout = layoutFor(frame().width());
    if (layout.lineCount() == 0)
        return;
    const int selectionStart = toLayout(m_selection.first);
    const int selectionEnd = toLayout(m_selection.second);
    // Without formats the lines draw in the pen's colour.
    const QPen pen = painter.pen();
    if (m_formats.isEmpty())
        painter.setPen(m_color);
    // Only the lines in the exposed rectangle, found by their height.
    for (int i = lineIndexAt(exposed.top() - frame().top()); i < layout.lineCount(); ++i) {
        const QTextLine line = layout.lineAt(i);
        const QPointF origin = frame().topLeft() + QPointF(lineX(line), 0);
        const QRectF lineRect = line.rect().translated(origin);
        if (lineRect.top() > exposed.bottom())
            break;
        if (lineRect.bottom() < exposed.top())
            continue;
        // Each line draws itself so that alignment can shift lines independently.
        const int lineEnd = line.textStart() + line.textLength();
        if (m_selection.second > m_selection.first) {
            const int from = std::max(selectionStart, line.textStart());
            const int to = std::min(selectionEnd, lineEnd);
            if (to > from) {
                const double x1 = line.cursorToX(from);
                const double x2 = line.cursorToX(to);
                painter.fillRect(QRectF(origin.x() + std::min(x1, x2), lineRect.top(), std::abs(x2 - x1),
                                        lineRect.height()),
                                 m_style.selectionColor);
            }
        }
        line.draw(&painter, origin);
        auto image = std::lower_bound(m_images.begin(), m_images.end(), toText(line.textStart()),
                                      [](const InlineImage& a, qsizetype offset) { return a.offset < offset; });
        for (; image != m_images.end() && toLayout(image->offset) < lineEnd; ++image) {
            const QSizeF size = QSizeF(image->image.size()) / image->image.devicePixelRatio();
            const QPointF topLeft(origin.x() + line.cursorToX(toLayout(image->offset)),
                                  origin.y() + line.y() + line.ascent() - size.height());
            painter.drawImage(QRectF(topLeft, size), image->image);
        }
    }
    painter.setPen(pen);
}

int TextNode::offsetAt(const QPointF& point)
{
    QTextLayout& layout = layoutFor(frame().width());
    const QPointF local = point - frame().topLeft();
    if (layout.lineCount() == 0 || local.y() < 0)
        return 0;
    const QTextLine line = layout.lineAt(lineIndexAt(local.y()));
    return toText(line.xToCursor(local.x() - lineX(line), QTextLine::CursorBetweenCharacters));
}

QString TextNode::linkAt(const QPointF& point)
{
    QTextLayout& layout = layoutFor(frame().width());
    const QPointF local = point - frame().topLeft();
    if (layout.lineCount() == 0)
        return {};
    const QTextLine line = layout.lineAt(lineIndexAt(local.y()));
    if (local.y() < line.rect().top() || local.y() >= line.rect().bottom())
        return {};
    const double x = local.x() - lineX(line);
    if (x < 0 || x > line.naturalTextWidth())
        return {};
    const richtext::TextAttributes* attributes =
        m_text->attributesAt(toText(line.xToCursor(x, QTextLine::CursorOnCharacter)));
    return attributes ? attributes->link : QString();
}

QRectF TextNode::rangeRect(int start, int end)
{
    QTextLayout& layout = layoutFor(frame().width());
    const int from = toLayout(start);
    // The last line that starts at or before the range.
    int low = 0;
    int high = layout.lineCount();
    while (low < high) {
        const int middle = (low + high) / 2;
        if (layout.lineAt(middle).textStart() <= from)
            low = middle + 1;
        else
            high = middle;
    }
    if (low == 0)
        return {};
    const QTextLine line = layout.lineAt(low - 1);
    if (from >= line.textStart() + line.textLength())
        return {};
    const int stop = std::min(toLayout(end), line.textStart() + line.textLength());
    const double x1 = line.cursorToX(from);
    const double x2 = line.cursorToX(stop);
    return QRectF(frame().left() + lineX(line) + std::min(x1, x2), frame().top() + line.y(), std::abs(x2 - x1),
                  line.height());
}

QString TextNode::describe() const
{
    QString text = m_text->text();
    text.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    if (text.size() > 40)
        text = text.left(40) + QStringLiteral("…");
    return QLatin1Char('"') + text + QLatin1Char('"');
}

} // namespace mdview
