#include "mdview/TextNode.h"

#include "richtext/EmojiPresentation.h"
#include "richtext/gui/EmojiFont.h"
#include "richtext/gui/QtConversions.h"

#include <QFontMetricsF>
#include <QTextBoundaryFinder>

#include <QHashFunctions>

#include <algorithm>
#include <array>
#include <cmath>
#include <unordered_map>

namespace mdview {

namespace {

// Offers no wider than this even for an unlimited proposal: QTextLayout wants a finite width,
// and counts in fixed point that overflows not far above it.
constexpr double unlimitedWidth = 1e7;

// A run without a break opportunity longer than TextNode::longestUnbrokenRun (far more than any
// line holds) gets one every few characters, so that breaking lines out of it stays linear.
constexpr qsizetype addedBreakSpacing = 16;
constexpr QChar addedBreak(0x200B); // zero width space

// The control characters (category Cc) but the tab, and surrogates not in a pair (the caller
// steps over pairs).
bool isControlOrLoneSurrogate(QChar c)
{
    const char16_t u = c.unicode();
    return (u < 0x20 && u != '\t') || (u >= 0x7F && u <= 0x9F) || c.isSurrogate();
}

// Adds to `breaks` the offsets of a run [run, end) of a text that breaks go before: the first
// boundary between characters at or after every addedBreakSpacing units from where the run
// began, `from` (before the text when the text continues a run).
void addBreaks(const QChar* c, qsizetype run, qsizetype end, qsizetype from, std::vector<qsizetype>& breaks)
{
    // Only between characters as the reader sees them: never inside a letter and its marks, a
    // surrogate pair, a flag or an emoji sequence, which would then be drawn as its pieces
    // where a line ends. The places do not depend on where the text begins within the run, so
    // a part of a text laid out in parts gets the breaks the whole text gets.
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, c + run, end - run);
    qsizetype last = 0;
    for (qsizetype point = from + ((run - from) / addedBreakSpacing + 1) * addedBreakSpacing; point < end;
         point += addedBreakSpacing) {
        qsizetype at = point - run;
        characters.setPosition(at);
        if (!characters.isAtBoundary())
            at = characters.toNextBoundary();
        if (at < 0 || at >= end - run)
            break;
        if (at > last) {
            breaks.push_back(run + at);
            last = at;
        }
    }
}

// The text QTextLayout sees, of the text's length: line feeds as line separators, characters
// that have no business in a layout made harmless. And the offsets of the text a break
// opportunity goes before, ascending, all found in one pass. The text's first run continues a
// run of `runBefore` units before it; one that runs on past its end (`runsOn`) is long.
QString sanitized(const QString& text, std::vector<qsizetype>& breaks, qsizetype runBefore, bool runsOn)
{
    // Shares the text until a character has to change. A cluster too long to be one picture is
    // laid out as its pieces, each run of their own; one the text begins with may have begun in
    // the part above.
    QString result = richtext::partedForLayout(text, runBefore);
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
            if (!TextNode::isSpace(c[i]))
                continue;
        }
        const qsizetype from = run == 0 ? -runBefore : run;
        if (i > run && (i - from > TextNode::longestUnbrokenRun || (runsOn && i == result.size())))
            addBreaks(c, run, i, from, breaks);
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

// QTextLayout starts a new item (shaped apart from the one before) every 4,096 units of a run
// of one script, wherever that falls: inside a kerning pair, a surrogate pair or an emoji,
// which are then drawn apart. Invisible characters put before the last space (or after the last
// added break) before each such place move it to just after that space or break, where it
// changes nothing. A text then looks the same wherever it begins: the parts of a text laid out
// in parts look as the text laid out whole. Only where neither is near does the place move to a
// boundary between characters.
constexpr qsizetype qtItemLength = 4096;
constexpr qsizetype itemMoveWindow = 256;
constexpr QChar wordJoiner(0x2060);     // before a space: no break before a space anyway
constexpr QChar graphemeJoiner(0x034F); // between characters: taken as part of the one before

struct ItemMove {
    qsizetype at;    // position in the laid-out text the characters go before
    qsizetype count;
    QChar character;
};

// Where the laid-out text (with the added breaks) gets the characters that move QTextLayout's
// item starts, in order.
std::vector<ItemMove> itemMoves(const QString& laidOut)
{
    std::vector<ItemMove> moves;
    if (laidOut.size() <= qtItemLength)
        return moves;
    const QChar* c = laidOut.constData();
    qsizetype shift = 0;     // characters put in so far: positions after them are `shift` further
    qsizetype itemStart = 0; // where QTextLayout's current item starts, counting them
    QChar::Script script = QChar::Script_Unknown;
    for (qsizetype p = 0; p < laidOut.size();) {
        const bool pair = c[p].isHighSurrogate() && p + 1 < laidOut.size() && c[p + 1].isLowSurrogate();
        const qsizetype length = pair ? 2 : 1;
        const char32_t u = pair ? QChar::surrogateToUcs4(c[p], c[p + 1]) : c[p].unicode();
        if (u == QChar::LineSeparator || u == QChar::ParagraphSeparator || u == '\t' || u == QChar::ObjectReplacementCharacter) {
            // An item of its own: the next one starts after it.
            itemStart = p + length + shift;
            p += length;
            continue;
        }
        // A new script starts an item; common characters (spaces, digits, emoji) go with the
        // script before them.
        const QChar::Script own = QChar::script(u);
        if (own > QChar::Script_Common) {
            if (script != QChar::Script_Unknown && own != script)
                itemStart = p + shift;
            script = own;
        }
        const qsizetype split = itemStart + qtItemLength; // where QTextLayout would start one
        if (p + shift + length <= split) {
            p += length;
            continue;
        }
        // The item starts at `next` instead: after a space or an added break nearby, else at the
        // last boundary between characters.
        const qsizetype last = split - shift; // in the laid-out text
        const qsizetype earliest = std::max(itemStart - shift + 1, last - itemMoveWindow);
        qsizetype next = last;
        while (next > earliest && !TextNode::isSpace(c[next - 1]))
            --next;
        ItemMove move{next, 0, wordJoiner};
        if (next > earliest && c[next - 1] != addedBreak) {
            move.at = next - 1; // before the space
        } else if (next <= earliest) {
            const qsizetype from = std::max(earliest - 1, last - 64);
            QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, c + from, p + length - from);
            characters.setPosition(last - from);
            if (!characters.isAtBoundary())
                characters.toPreviousBoundary();
            next = from + std::max<qsizetype>(characters.position(), 1);
            move = {next, 0, graphemeJoiner};
        }
        move.count = split - (next + shift);
        if (move.count > 0)
            moves.push_back(move);
        shift += move.count;
        itemStart = split;
    }
    return moves;
}

// The laid-out text with the characters that move item starts, and the text offsets that each
// character put into the laid-out text goes before (the added breaks among them), ascending.
QString withItemMoves(const QString& laidOut, std::vector<qsizetype>& inserted)
{
    const std::vector<ItemMove> moves = itemMoves(laidOut);
    if (moves.empty())
        return laidOut;
    std::vector<qsizetype> breaks;
    breaks.swap(inserted);
    QString result;
    qsizetype extra = 0;
    for (const ItemMove& move : moves)
        extra += move.count;
    result.reserve(laidOut.size() + extra);
    inserted.reserve(breaks.size() + std::size_t(extra));
    std::size_t nextBreak = 0; // the next added break, at laid-out position breaks[k] + k
    qsizetype copied = 0;
    const auto copyTo = [&](qsizetype to) {
        for (; copied < to; ++copied) {
            if (nextBreak < breaks.size() && breaks[nextBreak] + qsizetype(nextBreak) == copied)
                inserted.push_back(breaks[nextBreak++]);
            result += laidOut.at(copied);
        }
    };
    for (const ItemMove& move : moves) {
        copyTo(move.at);
        // The text offset of what comes next: positions so far, less the added breaks among them.
        const qsizetype offset = move.at - qsizetype(nextBreak);
        for (qsizetype i = 0; i < move.count; ++i) {
            inserted.push_back(offset);
            result += move.character;
        }
    }
    copyTo(laidOut.size());
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
    // A run in the layout's own font (a link, a coloured word) names no font: Qt then uses the
    // layout's, with the engines it already found, where a font of the format's own is
    // resolved against the layout's and looked up again for every item.
    if (font != style.font)
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
    // When each node was listed, in order; nodes listed since the outermost MeasuringInBulk
    // began are its own.
    std::uint64_t listed = 0;
    std::uint64_t bulkBegan = 0;
    int inBulk = 0;

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
        node.m_listed = ++listed;
        node.m_older = newest;
        (newest ? newest->m_newer : oldest) = &node;
        newest = &node;
        ++count;
    }
    static void letGo(TextNode& node)
    {
        node.m_layout.reset();
        node.m_hasLines = false;
    }
    // Lets go of the layouts used longest ago while there are too many, but `keep`'s and those
    // listed from `listedFrom` on.
    void trim(const TextNode* keep, std::uint64_t listedFrom = UINT64_MAX)
    {
        while (count > capacity && oldest != keep && oldest->m_listed < listedFrom) {
            TextNode& gone = *oldest;
            unlink(gone);
            letGo(gone);
        }
    }
    // The node was just used; a new layout may push out the one used longest ago (in bulk, once
    // its lines are measured: see measured).
    void use(TextNode& node, bool isNew)
    {
        if (!isNew) {
            if (newest == &node)
                return;
            unlink(node);
        }
        pushNewest(node);
        if (!inBulk)
            trim(&node);
    }
    // The node's lines were just measured. In bulk, layouts listed before it began go first,
    // then the node's own: the layouts the bulk keeps are those of its first texts.
    void measured(TextNode& node)
    {
        if (!inBulk || !node.m_layout)
            return;
        trim(&node, bulkBegan);
        if (count > capacity) {
            unlink(node);
            letGo(node);
        }
    }
};

TextNode::MeasuringInBulk::MeasuringInBulk()
{
    LiveLayouts& live = LiveLayouts::current();
    if (live.inBulk++ == 0)
        live.bulkBegan = live.listed + 1;
}

TextNode::MeasuringInBulk::~MeasuringInBulk()
{
    LiveLayouts& live = LiveLayouts::current();
    if (--live.inBulk == 0)
        live.trim(nullptr); // what used layouts otherwise than to measure them in the meantime
}

bool TextNode::isSpace(QChar c)
{
    const char16_t u = c.unicode();
    return u == ' ' || u == '\t' || u == '\n' || u == 0x2028 || u == 0x2029 || u == 0x200B || u == 0x1680
        || (u >= 0x2000 && u <= 0x200A && u != 0x2007) || u == 0x205F || u == 0x3000;
}

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

TextNode::TextNode(std::shared_ptr<const richtext::AttributedText> text, Style style, std::vector<InlineImage> images,
                   TextContinuation continuation)
    : m_text(std::move(text))
    , m_style(std::move(style))
    , m_continuation(continuation)
    , m_font(m_style.font)
    , m_color(m_style.color)
    , m_shownLength(m_text->text().size())
    , m_shownText(m_continuation.below ? m_text->text() : QString())
{
    const QString& source = m_text->text();
    // QTextLayout gives the object replacement character no advance of its own, whatever its
    // format: an image stands on a no-break space, which takes the room its format gives it.
    m_laidOut = withItemMoves(withBreaks(sanitized(source, m_breaks, m_continuation.runBefore, m_continuation.below), m_breaks),
                              m_breaks);
    std::erase_if(images, [&source](const InlineImage& image) { return image.offset < 0 || image.offset >= source.size(); });
    std::stable_sort(images.begin(), images.end(), [](const InlineImage& a, const InlineImage& b) { return a.offset < b.offset; });
    for (const InlineImage& image : images)
        m_laidOut[toLayout(image.offset)] = QChar::Nbsp;

    // Emoji are drawn from the colour emoji font, each in the format of the text around it.
    const std::vector<richtext::EmojiRun> emoji = richtext::emojiRuns(source);
    std::size_t nextEmoji = 0;
    using EmojiFormats = std::array<std::optional<QTextCharFormat>, 2>; // by inEmojiFontAlone, made once
    // Over the emoji of the text [start, end), for text in `font`, `format` for the colour emoji
    // font; over the rest `format` itself when `formatTheRest`.
    const auto addFormat = [&](qsizetype start, qsizetype end, const QTextCharFormat& format, const QFont& font,
                               EmojiFormats& emojiFormats, bool formatTheRest) {
        const auto add = [this](qsizetype from, qsizetype to, const QTextCharFormat& f) {
            m_formats.push_back({toLayout(from), toLayout(to) - toLayout(from), f});
        };
        while (start < end) {
            while (nextEmoji < emoji.size() && emoji[nextEmoji].start + emoji[nextEmoji].length <= start)
                ++nextEmoji;
            const richtext::EmojiRun* run = nextEmoji < emoji.size() && emoji[nextEmoji].start < end ? &emoji[nextEmoji] : nullptr;
            if (run && run->start <= start) {
                const qsizetype stop = std::min(end, run->start + run->length);
                std::optional<QTextCharFormat>& made = emojiFormats[run->inEmojiFontAlone];
                if (!made)
                    made = richtext::emojiFormat(format, font, run->inEmojiFontAlone);
                add(start, stop, *made);
                start = stop;
            } else {
                const qsizetype stop = run ? run->start : end;
                if (formatTheRest)
                    add(start, stop, format);
                start = stop;
            }
        }
    };

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
            // Formats for the emoji alone: the rest is drawn in the layout's font and the pen's colour.
            EmojiFormats emojiFormats;
            addFormat(0, source.size(), QTextCharFormat(), m_font, emojiFormats, false);
            return;
        }
    }
    // One format per distinct style, shared by its runs.
    std::vector<QTextCharFormat> styleFormats;
    styleFormats.reserve(m_text->styles().size());
    for (const richtext::TextAttributes& attributes : m_text->styles())
        styleFormats.push_back(cachedFormatFor(attributes, m_style));
    std::vector<EmojiFormats> emojiFormats(styleFormats.size());
    m_formats.reserve(qsizetype(runs.size() + images.size() + 2 * emoji.size()));
    for (const richtext::TextRun run : runs) {
        const richtext::TextAttributes& attributes = m_text->style(run.style);
        const QFont font = attributes.font && !emoji.empty() ? fontFor(*attributes.font) : m_style.font;
        addFormat(run.start, run.start + run.length, styleFormats[run.style], font, emojiFormats[run.style], true);
    }
    // An inline image reserves its room: a font as tall as the image and letter spacing that makes
    // the advance its width. The character itself is clear.
    for (InlineImage& image : images) {
        const QSizeF size = image.image.isNull() ? QSizeF() : QSizeF(image.image.size()) / image.image.devicePixelRatio();
        if (size.isEmpty()) {
            m_images.push_back(std::move(image)); // drawn as nothing, and kept for runOn
            continue;
        }
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
    LiveLayouts::current().measured(*this);
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
        if (line.lineNumber() > 0 || m_continuation.above)
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
    // What is shown: the lines of a part that runs on below but its last, which the part below
    // begins with. The widest of all lines still tells which widths break them the same.
    const int lines = layout.lineCount();
    m_shownLines = m_continuation.below ? std::max(0, lines - 1) : lines;
    double widestShown = 0;
    for (int i = 0; i < m_shownLines; ++i)
        widestShown = std::max(widestShown, layout.lineAt(i).naturalTextWidth());
    const double bottom = m_shownLines > 0 ? layout.lineAt(m_shownLines - 1).rect().bottom() : 0;
    m_layoutSize = m_text->isEmpty() || m_shownLines == 0 ? QSizeF(0, 0) : QSizeF(std::ceil(widestShown), std::ceil(bottom));
    m_firstBaseline = m_shownLines > 0 ? std::optional(layout.lineAt(0).y() + layout.lineAt(0).ascent()) : std::nullopt;
    if (m_continuation.below) {
        m_shownLength = lines > 0 ? toText(layout.lineAt(lines - 1).textStart()) : 0;
        m_shownText = m_text->text().first(m_shownLength);
    }
}

TextNode::RunOn TextNode::runOn() const
{
    RunOn rest;
    rest.text = m_text->sliced(m_shownLength);
    for (const InlineImage& image : m_images) {
        if (image.offset >= m_shownLength)
            rest.images.push_back({image.offset - m_shownLength, image.image});
    }
    // How much of a run without a space stands before where the rest begins.
    const QString& text = m_text->text();
    qsizetype runStart = m_shownLength;
    while (runStart > 0 && !isSpace(text.at(runStart - 1)))
        --runStart;
    rest.continuation.runBefore = m_shownLength - runStart + (runStart == 0 ? m_continuation.runBefore : 0);
    rest.continuation.above = m_continuation.above || m_shownLines > 0;
    return rest;
}

bool operator==(const TextNode::RunOn& a, const TextNode::RunOn& b)
{
    const auto sameImage = [](const InlineImage& x, const InlineImage& y) { return x.offset == y.offset && x.image == y.image; };
    return a.continuation == b.continuation && a.text == b.text
        && std::equal(a.images.begin(), a.images.end(), b.images.begin(), b.images.end(), sameImage);
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

double TextNode::linesWidth() const
{
    // A part that runs on below keeps the lines it was measured with in a frame as wide as the
    // lines it shows: the last line, which it leaves to the part below, may be wider.
    if (m_continuation.below && m_layoutWidth && frame().width() + 0.5 >= m_layoutSize.width())
        return *m_layoutWidth;
    return frame().width();
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
    return m_firstBaseline;
}

int TextNode::lineIndexAt(double y)
{
    // Lines stand in order from the top: the first whose bottom is below the height.
    int low = 0;
    int high = m_shownLines;
    while (low < high) {
        const int middle = (low + high) / 2;
        if (m_layout->lineAt(middle).rect().bottom() <= y)
            low = middle + 1;
        else
            high = middle;
    }
    return std::min(low, m_shownLines - 1);
}

void TextNode::draw(QPainter& painter, const QRectF& exposed)
{
    QTextLayout& layout = layoutFor(linesWidth());
    if (m_shownLines == 0)
        return;
    const int selectionStart = toLayout(m_selection.first);
    const int selectionEnd = toLayout(m_selection.second);
    // Text without a format of its own draws in the pen's colour.
    const QPen pen = painter.pen();
    painter.setPen(m_color);
    // Only the lines in the exposed rectangle, found by their height.
    for (int i = lineIndexAt(exposed.top() - frame().top()); i < m_shownLines; ++i) {
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
            if (image->image.isNull())
                continue;
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
    QTextLayout& layout = layoutFor(linesWidth());
    const QPointF local = point - frame().topLeft();
    if (m_shownLines == 0 || local.y() < 0)
        return 0;
    const QTextLine line = layout.lineAt(lineIndexAt(local.y()));
    return toText(line.xToCursor(local.x() - lineX(line), QTextLine::CursorBetweenCharacters));
}

QString TextNode::linkAt(const QPointF& point)
{
    QTextLayout& layout = layoutFor(linesWidth());
    const QPointF local = point - frame().topLeft();
    if (m_shownLines == 0)
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
    QTextLayout& layout = layoutFor(linesWidth());
    const int from = toLayout(start);
    // The last shown line that starts at or before the range.
    int low = 0;
    int high = m_shownLines;
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

QList<QGlyphRun> TextNode::glyphRuns(int start, int end)
{
    QTextLayout& layout = layoutFor(linesWidth());
    const int from = toLayout(start);
    return layout.glyphRuns(from, toLayout(end) - from);
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
