#include "CellPainter.h"

#include "terminal/CellTables.h"
#include "terminal/Terminal.h"
#include "terminal/view/SelectionService.h"
#include "terminal/view/TerminalView.h"

#include "platform/EmojiFont.h"
#include "richtext/gui/EmojiFont.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPainter>
#include <QTextLayout>

#include <cmath>
#include <cstring>

namespace terminal {

// ---- GlyphCache --------------------------------------------------------------------------

namespace {

// What an entry costs besides its glyphs: the index's node (its key, the entry's number, the
// link and the hash) and the key's text.
std::size_t keyBytes(const std::string& key)
{
    return sizeof(std::pair<const std::string, std::uint32_t>) + 2 * sizeof(void*) +
           (key.size() >= sizeof(std::string) ? key.capacity() + 1 : 0);
}

} // namespace

GlyphCache::GlyphCache(std::size_t capacity, std::size_t maxBytes)
    : maxBytes_(maxBytes)
    , minStoredGlyphs_(std::min<std::size_t>(4096, 4 * std::max<std::size_t>(1, capacity)))
{
    pools_[0].capacity = std::max<std::size_t>(1, capacity);
    pools_[1].capacity = std::max<std::size_t>(1, capacity / 8);
    const std::size_t entries = pools_[0].capacity + pools_[1].capacity;
    layout_.setCacheEnabled(true);
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout_.setTextOption(option);
    // Never rehashed, however the entries come and go.
    index_.reserve(entries);
    entries_.reserve(entries);
    // The bytes held whatever the entries: the index's buckets, the entries and the smallest
    // store. A sixty-fourth of the bound is left for ASCII and for the one text stored past the
    // rest. Of what remains, the keys and glyphs of the entries held take up to a third (chains
    // a quarter of that): the store, compacted to twice the glyphs held when it has to grow,
    // takes the other two.
    fixedBytes_ = index_.bucket_count() * sizeof(void*) + entries * sizeof(Entry) + minStoredGlyphs_ * sizeof(Glyph);
    const std::size_t margin = maxBytes_ / 64;
    const std::size_t held = maxBytes_ > fixedBytes_ + margin ? (maxBytes_ - fixedBytes_ - margin) / 3 : 0;
    pools_[0].maxBytes = held - held / 4;
    pools_[1].maxBytes = held / 4;
}

void GlyphCache::setFaces(const std::array<QFont, 4>& faces, QSizeF cell, qreal baseline)
{
    faces_ = faces;
    emojiFacesMade_ = false; // made with the first text shaped
    cell_ = cell;
    baseline_ = baseline;
    fonts_.clear();
    boxes_.clear();
    glyphs_.clear();
    liveGlyphs_ = 0;
    indexBytes_ = 0;
    ascii_ = {};
    asciiKnown_ = {};
    index_.clear();
    entries_.clear();
    free_.clear();
    for (PoolState& pool : pools_) {
        pool.newest = pool.oldest = none;
        pool.count = pool.bytes = 0;
    }
}

void GlyphCache::beginPaint()
{
    ++paint_;
}

std::size_t GlyphCache::bytes() const
{
    return fixedBytes_ + indexBytes_ + std::max(glyphs_.capacity(), minStoredGlyphs_) * sizeof(Glyph) -
           minStoredGlyphs_ * sizeof(Glyph);
}

const QFont& GlyphCache::fontFor(const QString& text, int face)
{
    // Fonts added while the view runs may bring a colour emoji font (or take it away).
    if (const QString family = richtext::colourEmojiFamily(); family != emojiFamily_ || !emojiFacesMade_) {
        emojiFamily_ = family;
        emojiFacesMade_ = true;
        for (std::size_t i = 0; i < faces_.size(); ++i)
            for (bool alone : {false, true})
                emojiFaces_[i][alone] = richtext::emojiFont(faces_[i], alone);
        for (Font& font : fonts_)
            font.colour = !emojiFamily_.isEmpty() && font.raw.familyName() == emojiFamily_;
    }
    const std::vector<richtext::EmojiRun> runs = richtext::emojiRuns(text);
    if (runs.size() != 1 || runs[0].start != 0 || runs[0].length != text.size())
        return faces_[static_cast<std::size_t>(face)];
    return emojiFaces_[static_cast<std::size_t>(face)][runs[0].inEmojiFontAlone];
}

int GlyphCache::fontIndex(const QRawFont& raw)
{
    for (std::size_t i = 0; i < fonts_.size(); ++i)
        if (fonts_[i].unscaled < 0 && fonts_[i].raw == raw)
            return static_cast<int>(i);
    fonts_.push_back({raw, !emojiFamily_.isEmpty() && raw.familyName() == emojiFamily_, -1});
    return static_cast<int>(fonts_.size() - 1);
}

int GlyphCache::scaledFont(int font, qreal pixelSize)
{
    // Copies are told apart by their size: Qt's raw fonts compare equal only to themselves.
    for (std::size_t i = 0; i < fonts_.size(); ++i)
        if (fonts_[i].unscaled == font && fonts_[i].raw.pixelSize() == pixelSize)
            return static_cast<int>(i);
    Font scaled = fonts_[static_cast<std::size_t>(font)];
    scaled.raw.setPixelSize(pixelSize);
    scaled.unscaled = font;
    fonts_.push_back(scaled);
    return static_cast<int>(fonts_.size() - 1);
}

void GlyphCache::shapeIntoScratch(const QString& text, int face, int cells)
{
    // One layout for every text, its shaping kept after it ends (or glyphRuns() would shape
    // the text again): a text on its own costs a few microseconds, most of it Qt's.
    scratch_.clear();
    layout_.setFont(fontFor(text, face));
    layout_.setText(text);
    layout_.beginLayout();
    QTextLine line = layout_.createLine();
    layout_.endLayout();
    if (!line.isValid())
        return;
    const qreal ascent = line.ascent();
    for (const QGlyphRun& run : line.glyphRuns()) {
        const int font = fontIndex(run.rawFont());
        const QList<quint32> indexes = run.glyphIndexes();
        const QList<QPointF> positions = run.positions();
        for (qsizetype i = 0; i < indexes.size(); ++i)
            scratch_.push_back({font, indexes[i], positions[i] - QPointF(0, ascent)});
    }
    if (cells > 0)
        fit(cells);
}

QRectF GlyphCache::box(const Glyph& glyph)
{
    // Qt decodes a colour glyph's bitmap to measure it: once for each glyph is enough.
    const std::uint64_t key = (std::uint64_t(static_cast<std::uint32_t>(glyph.font)) << 32) | glyph.index;
    auto [it, added] = boxes_.try_emplace(key);
    if (added)
        it->second = fonts_[static_cast<std::size_t>(glyph.font)].raw.boundingRect(glyph.index);
    return it->second.translated(glyph.offset);
}

void GlyphCache::fit(int cells)
{
    // The picture is the colour glyphs; marks stacked on them move and scale with it but stand
    // out of the cells as they do over letters.
    QRectF ink;
    for (const Glyph& g : scratch_)
        if (fonts_[static_cast<std::size_t>(g.font)].colour)
            ink |= box(g);
    if (ink.isEmpty() || cell_.isEmpty() ||
        (ink.left() >= 0 && ink.right() <= cells * cell_.width() && ink.top() >= -baseline_ &&
         ink.bottom() <= cell_.height() - baseline_))
        return;
    // Half a pixel inside the cells' edges, where smoothing the scaled picture may reach.
    const QRectF room(0.5, -baseline_ + 0.5, cells * cell_.width() - 1, cell_.height() - 1);
    if (room.isEmpty())
        return;
    // One scale for the whole picture, in steps of 1/64 so that a few sizes of each font serve.
    const qreal scale = std::floor(std::min({1.0, room.width() / ink.width(), room.height() / ink.height()}) * 64) / 64;
    for (Glyph& g : scratch_) {
        g.font = scaledFont(g.font, fonts_[static_cast<std::size_t>(g.font)].raw.pixelSize() * scale);
        g.offset = room.center() + (g.offset - ink.center()) * scale;
    }
}

GlyphCache::Span GlyphCache::shape(const QString& text, int face, int cells)
{
    shapeIntoScratch(text, face, cells);
    // Appended without compaction: the spans given out before stay valid.
    const Span span{static_cast<std::uint32_t>(glyphs_.size()), static_cast<std::uint32_t>(scratch_.size())};
    glyphs_.insert(glyphs_.end(), scratch_.begin(), scratch_.end());
    return span;
}

GlyphCache::Span GlyphCache::glyphs(const CellTables& tables, std::int32_t code, int face, int cells)
{
    if (code > 0 && code < 128) {
        if (!asciiKnown_[face][code]) {
            shapeIntoScratch(QString(QChar(code)), face, 0);
            ascii_[face][code] = store();
            asciiKnown_[face][code] = true;
            liveGlyphs_ += ascii_[face][code].count;
        }
        keptLast_ = true;
        return ascii_[face][code];
    }
    // Cluster codes are given out again once no cell holds them: the text is the key.
    setKey(face, cells);
    tables.appendUtf8(code, key_);
    return lookUpKey(Pool::cells);
}

GlyphCache::Span GlyphCache::glyphs(std::string_view utf8, int face, int cells, Pool pool)
{
    setKey(face, cells);
    key_ += utf8;
    return lookUpKey(pool);
}

std::optional<GlyphCache::Span> GlyphCache::find(std::string_view utf8, int face, int cells)
{
    setKey(face, cells);
    key_ += utf8;
    const auto it = index_.find(key_);
    if (it == index_.end())
        return std::nullopt;
    makeNewest(it->second);
    return entries_[it->second].span;
}

bool GlyphCache::holds(std::string_view utf8, int face, int cells) const
{
    std::string key{static_cast<char>(face), static_cast<char>(cells)};
    key += utf8;
    return index_.contains(key);
}

void GlyphCache::setKey(int face, int cells)
{
    key_.assign({static_cast<char>(face), static_cast<char>(std::clamp(cells, 0, 255))});
}

GlyphCache::Span GlyphCache::lookUpKey(Pool pool)
{
    if (const auto it = index_.find(key_); it != index_.end()) {
        makeNewest(it->second);
        keptLast_ = true;
        return entries_[it->second].span;
    }
    const int face = static_cast<unsigned char>(key_[0]);
    const int cells = static_cast<unsigned char>(key_[1]);
    shapeIntoScratch(QString::fromUtf8(key_.data() + 2, static_cast<qsizetype>(key_.size() - 2)), face, cells);
    const std::size_t bytes = keyBytes(key_) + scratch_.size() * sizeof(Glyph);
    // Room is made before the glyphs are stored, so that a compaction drops those let go.
    keptLast_ = makeRoom(pool, bytes);
    const Span span = store();
    if (!keptLast_)
        return span; // garbage once drawn
    std::uint32_t entry;
    if (!free_.empty()) {
        entry = free_.back();
        free_.pop_back();
    } else {
        entry = static_cast<std::uint32_t>(entries_.size());
        entries_.push_back({});
    }
    const auto [it, added] = index_.emplace(key_, entry);
    Entry& e = entries_[entry];
    e.span = span;
    e.key = &it->first;
    e.bytes = static_cast<std::uint32_t>(keyBytes(it->first) + span.count * sizeof(Glyph));
    e.pool = pool;
    PoolState& state = poolOf(e);
    ++state.count;
    state.bytes += e.bytes;
    indexBytes_ += e.bytes - span.count * sizeof(Glyph);
    liveGlyphs_ += span.count;
    makeNewest(entry);
    return span;
}

bool GlyphCache::makeRoom(Pool pool, std::size_t bytes)
{
    PoolState& state = pools_[static_cast<std::size_t>(pool)];
    while (state.count >= state.capacity || state.bytes + bytes > state.maxBytes) {
        if (state.oldest == none || entries_[state.oldest].paint == paint_)
            return false;
        letGo(state.oldest);
    }
    return true;
}

void GlyphCache::letGo(std::uint32_t entry)
{
    unlink(entry);
    Entry& e = entries_[entry];
    PoolState& state = poolOf(e);
    --state.count;
    state.bytes -= e.bytes;
    indexBytes_ -= e.bytes - e.span.count * sizeof(Glyph);
    liveGlyphs_ -= e.span.count;
    index_.erase(index_.find(*e.key));
    e = {};
    free_.push_back(entry);
}

void GlyphCache::unlink(std::uint32_t entry)
{
    Entry& e = entries_[entry];
    PoolState& state = poolOf(e);
    (e.newer == none ? state.newest : entries_[e.newer].older) = e.older;
    (e.older == none ? state.oldest : entries_[e.older].newer) = e.newer;
    e.newer = e.older = none;
}

void GlyphCache::makeNewest(std::uint32_t entry)
{
    Entry& e = entries_[entry];
    e.paint = paint_;
    PoolState& state = poolOf(e);
    if (entry == state.newest)
        return;
    if (e.newer != none || e.older != none || state.oldest == entry)
        unlink(entry);
    e.older = state.newest;
    if (state.newest != none)
        entries_[state.newest].newer = entry;
    state.newest = entry;
    if (state.oldest == none)
        state.oldest = entry;
}

GlyphCache::Span GlyphCache::store()
{
    // Each entry let go leaves its glyphs behind, and so does a text shaped for one paint. When
    // the store is full, the glyphs still in use move to the front of a new one twice their
    // number: it never holds more than twice what the entries hold (and one text), at a
    // constant cost per glyph stored.
    if (glyphs_.size() + scratch_.size() > glyphs_.capacity())
        compact(scratch_.size());
    const Span span{static_cast<std::uint32_t>(glyphs_.size()), static_cast<std::uint32_t>(scratch_.size())};
    glyphs_.insert(glyphs_.end(), scratch_.begin(), scratch_.end());
    return span;
}

void GlyphCache::compact(std::size_t room)
{
    std::vector<Glyph> kept;
    kept.reserve(std::max(minStoredGlyphs_, 2 * liveGlyphs_ + room));
    auto keep = [&](Span& span) {
        const auto from = glyphs_.begin() + span.first;
        span.first = static_cast<std::uint32_t>(kept.size());
        kept.insert(kept.end(), from, from + span.count);
    };
    for (int face = 0; face < 4; ++face)
        for (int code = 0; code < 128; ++code)
            if (asciiKnown_[face][code])
                keep(ascii_[face][code]);
    for (Entry& entry : entries_)
        if (entry.key)
            keep(entry.span);
    glyphs_ = std::move(kept);
}

// ---- CellPainter -------------------------------------------------------------------------

std::size_t CellPainter::AttributeHash::operator()(const Attribute& a) const
{
    std::uint64_t fg = 0, bg = 0;
    std::memcpy(&fg, &a.fg, sizeof a.fg);
    std::memcpy(&bg, &a.bg, sizeof a.bg);
    return std::hash<std::uint64_t>()((fg << 32) ^ (bg << 8) ^ a.style.rawValue);
}

void CellPainter::setFont(const QFont& font)
{
    faces_[0] = font;
    // Pictographs missing from the terminal's font are otherwise found one character at a time by
    // the system's fallback, which may take a monochrome symbol font: that font has no glyph for a
    // pictograph with its skin tone, which then draws as two. Asked anew with each font, since
    // fonts can be added while the view runs.
    if (const QString emoji = platform::colourEmojiFamily(); !emoji.isEmpty()) {
        // A generic name such as "monospace" is no family of the font database, which would make
        // the first real family, the emoji font, the primary: its keycap digits would replace the
        // text's. The family the font resolves to goes first.
        QStringList families = font.families();
        families.prepend(QFontInfo(font).family());
        families.append(emoji);
        families.removeDuplicates();
        faces_[0].setFamilies(families);
    }
    faces_[1] = faces_[0];
    faces_[1].setBold(true);
    faces_[2] = faces_[0];
    faces_[2].setItalic(true);
    faces_[3] = faces_[1];
    faces_[3].setItalic(true);
    for (QFont& face : faces_) {
        face.setKerning(false);
        face.setStyleStrategy(QFont::PreferDefault);
    }
    const QFontMetricsF metrics(font);
    const qreal leading = std::max<qreal>(0, metrics.leading());
    cell_ = QSizeF(std::max<qreal>(1, metrics.horizontalAdvance(QLatin1Char('W'))),
                   std::clamp<qreal>(std::ceil(metrics.ascent() + metrics.descent() + leading), 1, 8192));
    baseline_ = cell_.height() - std::ceil(metrics.descent() + leading);
    underlinePos_ = std::max<qreal>(1, metrics.underlinePos());
    strikePos_ = metrics.strikeOutPos();
    lineWidth_ = std::max<qreal>(1, std::round(metrics.lineWidth()));
    boxes_.setLineWidth(lineWidth_);
    glyphs_.setFaces(faces_, cell_, baseline_);
    invalidateColors();
}

void CellPainter::invalidateColors()
{
    styles_.clear();
}

int CellPainter::faceOf(const Attribute& attribute, bool useBright)
{
    bool bold = attribute.style.contains(CharacterStyle::bold);
    const bool italic = attribute.style.contains(CharacterStyle::italic);
    // Without brightening, the bright half of the palette shows as bold instead.
    const Attribute::Color fg = attribute.style.contains(CharacterStyle::inverse) ? attribute.bg : attribute.fg;
    if (!useBright && fg.kind == Attribute::Color::Kind::ansi256 && fg.code() >= 8 && fg.code() <= 15)
        bold = true;
    return (bold ? 1 : 0) + (italic ? 2 : 0);
}

QColor CellPainter::nativeColor(const Terminal& terminal, Attribute::Color color, bool foreground, bool bold,
                                bool useBright, const Frame& frame) const
{
    using Kind = Attribute::Color::Kind;
    switch (color.kind) {
    case Kind::ansi256: {
        int index = color.code();
        if (foreground && useBright && bold && index <= 6)
            index += 8;
        else if (foreground && !useBright && index >= 8 && index <= 15)
            index -= 8;
        const auto& palette = terminal.ansiColors();
        if (index >= static_cast<int>(palette.size()))
            return frame.foreground;
        const Color& c = palette[static_cast<std::size_t>(index)];
        return QColor::fromRgba64(c.red, c.green, c.blue);
    }
    case Kind::trueColor:
        return QColor(color.red, color.green, color.blue);
    case Kind::defaultColor:
        return foreground ? frame.foreground : frame.background;
    case Kind::defaultInvertedColor: {
        const QColor c = foreground ? frame.foreground : frame.background;
        return QColor::fromRgbF(1 - c.redF(), 1 - c.greenF(), 1 - c.blueF(), c.alphaF());
    }
    }
    return frame.foreground;
}

const CellPainter::Style& CellPainter::style(const Attribute& attribute, const Frame& frame)
{
    if (stylesForeground_ != frame.foreground.rgba() || stylesBackground_ != frame.background.rgba() ||
        stylesBright_ != frame.useBrightColors) {
        styles_.clear();
        stylesForeground_ = frame.foreground.rgba();
        stylesBackground_ = frame.background.rgba();
        stylesBright_ = frame.useBrightColors;
    }
    if (auto it = styles_.find(attribute); it != styles_.end())
        return it->second;

    using Kind = Attribute::Color::Kind;
    Attribute::Color fg = attribute.fg;
    Attribute::Color bg = attribute.bg;
    const CharacterStyle s = attribute.style;
    if (s.contains(CharacterStyle::inverse)) {
        std::swap(fg, bg);
        for (Attribute::Color* c : {&fg, &bg})
            if (c->kind == Kind::defaultColor)
                *c = Attribute::Color::defaultInvertedColor();
    }
    const bool bold = s.contains(CharacterStyle::bold);
    QColor foreground = nativeColor(*frame.terminal, fg, true, bold, frame.useBrightColors, frame);
    if (s.contains(CharacterStyle::dim))
        foreground.setAlphaF(foreground.alphaF() * 0.6f);
    const QColor background = nativeColor(*frame.terminal, bg, false, false, true, frame);

    Style result;
    result.fg = foreground.rgba();
    result.bg = background.rgba();
    result.defaultBackground = bg.kind == Kind::defaultColor;
    result.face = static_cast<std::uint8_t>(faceOf(attribute, frame.useBrightColors));
    result.underline = s.contains(CharacterStyle::underline);
    result.strike = s.contains(CharacterStyle::crossedOut);
    result.invisible = s.contains(CharacterStyle::invisible);
    return styles_.emplace(attribute, result).first->second;
}

void CellPainter::addGlyphs(GlyphCache::Span span, qreal x, qreal baseline, QRgb color)
{
    for (std::uint32_t i = 0; i < span.count; ++i) {
        const GlyphCache::Glyph& g = glyphs_.glyph(span.first + i);
        Batch& batch = batchFor(g.font, color);
        batch.glyphs.push_back(g.index);
        batch.positions.push_back(QPointF(x, baseline) + g.offset);
    }
}

namespace {

constexpr bool isEmojiModifier(char32_t c)
{
    return c >= 0x1F3FB && c <= 0x1F3FF;
}

constexpr bool isRegionalIndicator(char32_t c)
{
    return c >= 0x1F1E6 && c <= 0x1F1FF;
}

// The first scalar of a cell's character: a cluster's base.
char32_t leadScalar(const CellTables& tables, std::int32_t code)
{
    if (code < CharData::firstClusterCode)
        return static_cast<char32_t>(code);
    const std::string_view text = tables.clusters().lookup(static_cast<std::uint32_t>(code));
    if (text.empty())
        return U'\uFFFD';
    // The table's texts are well-formed UTF-8.
    const auto lead = static_cast<unsigned char>(text[0]);
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t scalar = length == 1 ? lead : lead & (0x7Fu >> length);
    for (std::size_t i = 1; i < length && i < text.size(); ++i)
        scalar = (scalar << 6) | (static_cast<unsigned char>(text[i]) & 0x3Fu);
    return scalar;
}

bool endsWithJoiner(const CellTables& tables, std::int32_t code)
{
    return code >= CharData::firstClusterCode && tables.clusters().lookup(static_cast<std::uint32_t>(code)).ends_with("\u200D");
}

int cellWidth(const CharData& cell)
{
    return cell.isWide() ? 2 : 1;
}

// One member of an emoji sequence: the cells of a pictograph (or of the two regional
// indicators of a flag) and of the skin tones after it, and whether a zero-width joiner ends it.
// The engine gives cells by the C library's widths: each pictograph after a joiner, each
// emoji modifier and each regional indicator takes cells of its own; a joiner is the end of the
// cell before it.
struct Member {
    int end = 0;
    bool joined = false;
};

Member memberAt(const CellTables& tables, const BufferLine& line, int col, int end)
{
    const CharData& first = line[col];
    Member member{col + cellWidth(first), endsWithJoiner(tables, first.code)};
    if (!member.joined && member.end < end && isRegionalIndicator(leadScalar(tables, first.code)) &&
        isRegionalIndicator(leadScalar(tables, line[member.end].code))) {
        member.joined = endsWithJoiner(tables, line[member.end].code);
        member.end += cellWidth(line[member.end]);
    }
    while (!member.joined && member.end < end && isEmojiModifier(leadScalar(tables, line[member.end].code))) {
        member.joined = endsWithJoiner(tables, line[member.end].code);
        member.end += cellWidth(line[member.end]);
    }
    member.end = std::min(member.end, end);
    return member;
}

// The column after the emoji sequence that starts at `col`: its members, joined.
int sequenceEnd(const CellTables& tables, const BufferLine& line, int col, int end)
{
    Member member = memberAt(tables, line, col, end);
    while (member.joined && member.end < end && line[member.end].code > ' ')
        member = memberAt(tables, line, member.end, end);
    return member.end;
}

// The text of the cells from `col` to `end`, without a joiner that ends it.
std::string sequenceText(const CellTables& tables, const BufferLine& line, int col, int end)
{
    std::string utf8;
    for (int at = col; at < end; ++at)
        if (!line[at].isSpacer())
            tables.appendUtf8(line[at].code, utf8);
    if (utf8.ends_with("\u200D"))
        utf8.resize(utf8.size() - std::string_view("\u200D").size());
    return utf8;
}

} // namespace

int CellPainter::addSequenceGlyph(const CellTables& tables, const BufferLine& line, int col, int cols,
                                  int& chainEnd, int face, qreal x, qreal baseline, QRgb color)
{
    const int end = std::min(cols, line.count());
    const int memberEnd = memberAt(tables, line, col, end).end;
    if (col >= chainEnd) {
        chainEnd = col;
        const int sequence = sequenceEnd(tables, line, col, end);
        if (sequence > memberEnd) {
            const std::string text = sequenceText(tables, line, col, sequence);
            const std::optional<GlyphCache::Span> span = shapeChain(text, face, sequence - col);
            if (span && span->count == 1) {
                addGlyphs(*span, x, baseline, color);
                return sequence;
            }
            // A chain the font has no one glyph for is drawn member by member.
            chainEnd = sequence;
        }
    }
    if (memberEnd <= col + cellWidth(line[col]))
        return col;
    // A member of several cells: the font's one glyph for it, or else its cells one by one.
    const GlyphCache::Span span = glyphs_.glyphs(sequenceText(tables, line, col, memberEnd), face, memberEnd - col);
    if (span.count != 1)
        return col;
    addGlyphs(span, x, baseline, color);
    return memberEnd;
}

std::optional<GlyphCache::Span> CellPainter::shapeChain(const std::string& text, int face, int cells)
{
    if (const std::optional<GlyphCache::Span> span = glyphs_.find(text, face, cells))
        return span;
    // Chains are made without end, and a new one is slow to shape (Qt decodes a colour glyph's
    // bitmap for its advance): a paint shapes a few, draws the others as their members, and asks
    // for another paint, which shapes all of those. A chain the cache could not keep is shaped
    // again by the next paint too, so that a screen with more chains than the cache holds rests.
    const std::uint64_t id =
        std::hash<std::string>()(text) ^ (std::uint64_t(face) << 56) ^ (std::uint64_t(cells) << 48);
    const auto waiting = waitingChains_.find(id);
    if (waiting == waitingChains_.end() && chainsShaped_ >= chainsShapedPerPaint) {
        wait(id);
        chainsPending_ = true;
        return std::nullopt;
    }
    if (waiting == waitingChains_.end())
        ++chainsShaped_;
    const GlyphCache::Span span = glyphs_.glyphs(text, face, cells, GlyphCache::Pool::chains);
    if (!glyphs_.keptLast())
        wait(id);
    else if (waiting != waitingChains_.end())
        waitingChains_.erase(waiting);
    return span;
}

void CellPainter::wait(std::uint64_t chain)
{
    // Output scrolls chains away before they are shaped: past a few screens' worth, those
    // waiting are forgotten and take their turn with new ones.
    if (waitingChains_.size() >= maxWaitingChains)
        waitingChains_.clear();
    waitingChains_.insert(chain);
}

CellPainter::Batch& CellPainter::batchFor(int font, QRgb color)
{
    // Neighbouring glyphs mostly share their batch; a screen of many colours has many batches.
    if (lastBatch_ < batches_.size() && batches_[lastBatch_].font == font && batches_[lastBatch_].color == color)
        return batches_[lastBatch_];
    const std::uint64_t key = (std::uint64_t(static_cast<std::uint32_t>(font)) << 32) | color;
    const auto [it, added] = batchIndex_.try_emplace(key, batches_.size());
    if (added)
        batches_.push_back(Batch{font, color, {}, {}});
    lastBatch_ = it->second;
    return batches_[lastBatch_];
}

void CellPainter::addDecoration(QLineF line, QRgb color, bool dotted)
{
    // A line that goes on from where one of the last ones ended (an underline and a
    // strike-through alternate cell by cell) lengthens it.
    const std::size_t size = decorations_.size();
    for (std::size_t i = size; i > 0 && i + 2 > size; --i) {
        Decoration& d = decorations_[i - 1];
        if (d.color == color && d.dotted == dotted && d.line.y1() == line.y1() && d.line.x2() == line.x1()) {
            d.line.setP2(line.p2());
            return;
        }
    }
    decorations_.push_back({line, color, dotted});
}

void CellPainter::flush(QPainter& painter)
{
    boxes_.flush(painter);
    for (Batch& batch : batches_) {
        QGlyphRun run;
        run.setRawFont(glyphs_.font(batch.font));
        run.setGlyphIndexes(batch.glyphs);
        run.setPositions(batch.positions);
        if (onGlyphRun)
            onGlyphRun(run, batch.color);
        painter.setPen(QColor::fromRgba(batch.color));
        painter.drawGlyphRun(QPointF(0, 0), run);
    }
    batches_.clear();
    batchIndex_.clear();
    for (const Decoration& d : decorations_) {
        QPen pen(QColor::fromRgba(d.color), lineWidth_);
        pen.setCapStyle(Qt::FlatCap);
        if (d.dotted)
            pen.setDashPattern({2, 2});
        painter.setPen(pen);
        painter.drawLine(d.line);
    }
    decorations_.clear();
}

void CellPainter::drawCell(QPainter& painter, QPointF topLeft, const CellTables& tables, const CharData& cell,
                           QColor color)
{
    if (cell.code == 0 || cell.code == ' ')
        return;
    if (boxes_.add(painter, cell.code, topLeft, topLeft + QPointF(cellWidth(cell) * cell_.width(), cell_.height()),
                   color.rgba())) {
        flush(painter);
        return;
    }
    const int face = faceOf(cell.attribute, true);
    addGlyphs(glyphs_.glyphs(tables, cell.code, face, cellWidth(cell)), topLeft.x(), topLeft.y() + baseline_,
              color.rgba());
    flush(painter);
}

void CellPainter::paintRow(QPainter& painter, int screenRow, qreal top, const Frame& frame)
{
    const Terminal& terminal = *frame.terminal;
    const Buffer& buffer = terminal.buffer();
    const int bufferRow = buffer.yDisp() + screenRow;
    if (bufferRow < 0 || bufferRow >= buffer.lines().count())
        return;
    const BufferLine& line = buffer.lines()[bufferRow];
    const CellTables& tables = terminal.tables();
    const int cols = terminal.cols();
    const qreal cw = cell_.width();
    const qreal ch = cell_.height();
    const qreal baseline = top + baseline_;
    const auto [selFrom, selTo] = frame.selection ? frame.selection->columnsOnRow(bufferRow) : std::pair{0, 0};
    const QRgb selection = frame.selectionBackground.rgba();
    auto edge = [&](int col) { return col >= cols ? qreal(frame.width) : std::round(col * cw); };

    // A run of cells with one background is filled at once.
    int runStart = 0;
    QRgb runColor = 0;
    bool runPainted = false;
    auto endRun = [&](int col) {
        if (runPainted && col > runStart)
            painter.fillRect(QRectF(edge(runStart), top, edge(col) - edge(runStart), ch), QColor::fromRgba(runColor));
    };

    const int count = line.count();
    // Neighbouring cells mostly share their attribute: it is looked up once for the run.
    const Style* cached = nullptr;
    Attribute cachedAttribute;
    // The cells before this column belong to a sequence already drawn as one glyph; those before
    // chainEnd to a chain the font did not join.
    int drawnUntil = 0;
    int chainEnd = 0;
    for (int col = 0; col < cols;) {
        const CharData& cell = col < count ? line[col] : CharData::Null;
        const int span = cell.isWide() && col + 1 < cols ? 2 : 1;
        if (!cached || !(cell.attribute == cachedAttribute)) {
            cached = &style(cell.attribute, frame);
            cachedAttribute = cell.attribute;
        }
        const Style& st = *cached;
        const bool selected = col >= selFrom && col < selTo;
        const bool painted = selected || !st.defaultBackground;
        const QRgb bg = selected ? selection : st.bg;
        if (painted != runPainted || (painted && bg != runColor)) {
            endRun(col);
            runStart = col;
            runPainted = painted;
            runColor = bg;
        }
        const qreal x = col * cw;
        if (BoxDrawing::draws(cell.code) && !st.invisible && col >= drawnUntil) {
            boxes_.add(painter, cell.code, QPointF(x, top), QPointF((col + span) * cw, top + ch), st.fg);
            drawnUntil = col + span;
        }
        if (!st.invisible && cell.code != 0 && cell.code != ' ' && col >= drawnUntil) {
            if (cell.code > 0x7F)
                drawnUntil = addSequenceGlyph(tables, line, col, cols, chainEnd, st.face, x, baseline, st.fg);
            if (col >= drawnUntil)
                addGlyphs(glyphs_.glyphs(tables, cell.code, st.face, span), x, baseline, st.fg);
        }
        if (!st.invisible) {
            const qreal right = (col + span) * cw;
            if (st.underline || cell.hasPayload()) {
                const qreal y = std::min(baseline + underlinePos_, top + ch - lineWidth_ / 2);
                addDecoration(QLineF(x, y, right, y), st.fg, !st.underline && cell.hasPayload());
            }
            if (st.strike) {
                const qreal y = baseline - strikePos_;
                addDecoration(QLineF(x, y, right, y), st.fg, false);
            }
        }
        col += span;
    }
    endRun(cols);

    for (const auto& image : line.images)
        if (auto* strip = dynamic_cast<const ImageStrip*>(image.get()))
            painter.drawImage(QPointF(strip->col * cw, top), strip->image);
}

void CellPainter::paint(QPainter& painter, const QRect& dirty, const Frame& frame)
{
    const Terminal& terminal = *frame.terminal;
    glyphs_.beginPaint();
    chainsShaped_ = 0;
    chainsPending_ = false;
    // Attributes come from output too (24-bit colours give millions). A style is quick to make
    // again, so the map is emptied between paints once it holds more than a few screens' worth.
    if (styles_.size() > maxStyles)
        styles_.clear();
    const qreal ch = cell_.height();
    painter.fillRect(dirty, frame.background);
    const int first = std::max(0, static_cast<int>(dirty.top() / ch));
    const int last = std::min(terminal.rows() - 1, static_cast<int>((dirty.bottom()) / ch));
    const Buffer& buffer = terminal.buffer();
    for (int row = first; row <= last; ++row) {
        const qreal top = row * ch;
        const int bufferRow = buffer.yDisp() + row;
        const auto mode = bufferRow < buffer.lines().count() ? buffer.lines()[bufferRow].renderMode
                                                             : BufferLine::RenderLineMode::single;
        if (mode == BufferLine::RenderLineMode::single) {
            paintRow(painter, row, top, frame);
            continue;
        }
        // Double-width and double-height rows: the row drawn at twice the size, the half that
        // belongs to this row kept.
        flush(painter);
        painter.save();
        painter.setClipRect(QRectF(0, top, frame.width, ch), Qt::IntersectClip);
        if (mode == BufferLine::RenderLineMode::doubleWidth) {
            painter.translate(0, top);
            painter.scale(2, 1);
            painter.translate(0, -top);
        } else {
            const qreal anchor = mode == BufferLine::RenderLineMode::doubledTop ? top : top + ch;
            painter.translate(0, anchor);
            painter.scale(2, 2);
            painter.translate(0, -anchor);
        }
        paintRow(painter, row, top, frame);
        flush(painter);
        painter.restore();
    }
    flush(painter);
}

} // namespace terminal
