#pragma once

#include "BoxDrawing.h"
#include "terminal/CharData.h"

#include <QColor>
#include <QFont>
#include <QList>
#include <QPointF>
#include <QRawFont>
#include <QRect>
#include <QString>
#include <QTextLayout>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class QGlyphRun;
class QPainter;

namespace terminal {

class BufferLine;
class CellTables;
class SelectionService;
class Terminal;

// The glyphs of each character in each face, shaped once and then placed by cell arithmetic:
// a paint lays out only text it has not drawn lately. ASCII has a table of its own; everything
// else (scalars, clusters and emoji sequences, which program output makes without end) is held
// in two pools, one for the texts of cells and one for emoji chains over several cells, each
// held to a number of entries and of bytes, the least recently used making room for a new one.
// An entry that the paint in progress has used is never let go to make room: when nothing else
// can go, a new text is shaped for the paint alone, so a screen larger than the cache keeps what
// it holds from paint to paint instead of shaping everything again.
//
// An emoji cluster is shaped in the colour emoji font first (where that font draws all of it,
// in that font alone), so that a variation selector or joiner that the text's font has a glyph
// for does not cut the sequence in two. A colour glyph wider or taller than the cells of its
// text is drawn scaled down to fit them, centred: it never covers its neighbours.
class GlyphCache {
public:
    struct Glyph {
        int font = 0; // index into fonts()
        quint32 index = 0;
        QPointF offset; // from the cell's left edge on the baseline
    };
    struct Span {
        std::uint32_t first = 0;
        std::uint32_t count = 0;
    };
    enum class Pool : std::uint8_t { cells, chains };

    // An entry costs about 110 bytes for a scalar and 190 for a letter with three marks (the
    // key, the index, the list links and 24 bytes a glyph): the full cache holds 2 to 3 MB.
    // Real text needs far fewer: translations in 17 languages (21 MB) and in Chinese, Japanese
    // and Korean (5 MB), drawn a screen at a time at 80 x 25, miss only on the first sight of
    // each of their 4,900 and 3,900 characters from 4,096 entries up. Four times that leaves room
    // for the other faces and emoji, and holds every cell of a 200 x 80 screen of distinct
    // clusters. Chains get an eighth of that again.
    static constexpr std::size_t defaultCapacity = 16384;
    // Crafted clusters (a chain of 40 pictographs with 30 marks each has 1,240 glyphs, 30 KB)
    // reach the byte bound long before the entry bound. It holds for the texts, the glyphs, the
    // index and the glyphs of entries let go that await compaction together.
    static constexpr std::size_t defaultMaxBytes = std::size_t(32) << 20;

    explicit GlyphCache(std::size_t capacity = defaultCapacity, std::size_t maxBytes = defaultMaxBytes);

    // The faces, and the cell their glyphs are placed in (width, height and the baseline from
    // its top); without a cell, glyphs are never fitted.
    void setFaces(const std::array<QFont, 4>& faces, QSizeF cell = {}, qreal baseline = 0);
    // Entries looked up from now on are kept until the next call.
    void beginPaint();
    // The glyphs of a cell's character in a face (0 normal, 1 bold, 2 italic, 3 bold italic)
    // drawn over `cells` cells.
    Span glyphs(const CellTables& tables, std::int32_t code, int face, int cells = 1);
    // The glyphs of a text (UTF-8) in a face over `cells` cells, a new entry made in `pool`.
    Span glyphs(std::string_view utf8, int face, int cells = 1, Pool pool = Pool::cells);
    // The glyphs of a text when they are held; nothing is shaped.
    std::optional<Span> find(std::string_view utf8, int face, int cells = 1);
    bool holds(std::string_view utf8, int face, int cells = 1) const;
    // Whether the last look-up's glyphs are held: false when it shaped them for the paint alone.
    bool keptLast() const { return keptLast_; }
    // A span's glyphs stay in place until the next look-up that shapes.
    const Glyph& glyph(std::uint32_t i) const { return glyphs_[i]; }
    const QRawFont& font(int index) const { return fonts_[static_cast<std::size_t>(index)].raw; }
    // The glyphs of a text in a face, shaped now and not looked up; fitted into `cells` cells
    // when that is more than 0.
    Span shape(const QString& text, int face, int cells = 0);

    // Entries held besides ASCII, and the most there can be in the pool of cells.
    std::size_t size() const { return pools_[0].count + pools_[1].count; }
    std::size_t capacity() const { return pools_[0].capacity; }
    // Glyphs stored, including those of entries let go and not yet compacted away.
    std::size_t storedGlyphs() const { return glyphs_.size(); }
    // The memory the cache holds, and the most it may.
    std::size_t bytes() const;
    std::size_t maxBytes() const { return maxBytes_; }

private:
    static constexpr std::uint32_t none = UINT32_MAX;
    struct Entry {
        Span span;
        const std::string* key = nullptr; // the index's own key: face, cells, then the text
        std::uint32_t newer = none;
        std::uint32_t older = none;
        std::uint32_t paint = 0; // the last paint that used it
        std::uint32_t bytes = 0;
        Pool pool = Pool::cells;
    };
    struct PoolState {
        std::uint32_t newest = none;
        std::uint32_t oldest = none;
        std::size_t count = 0;
        std::size_t capacity = 0;
        std::size_t bytes = 0;
        std::size_t maxBytes = 0;
    };
    struct Font {
        QRawFont raw;
        bool colour = false;
        int unscaled = -1; // for a copy at another size: the font it was made from
    };

    Span lookUpKey(Pool pool);
    void setKey(int face, int cells);
    PoolState& poolOf(const Entry& entry) { return pools_[static_cast<std::size_t>(entry.pool)]; }
    void unlink(std::uint32_t entry);
    void makeNewest(std::uint32_t entry);
    void letGo(std::uint32_t entry);
    // Lets go of the least recently used entries of a pool until one of `bytes` fits, unless
    // that would take one the paint in progress used; whether it fits.
    bool makeRoom(Pool pool, std::size_t bytes);
    // The glyphs of a text into scratch_, in the face that draws it, fitted into its cells.
    void shapeIntoScratch(const QString& text, int face, int cells);
    const QFont& fontFor(const QString& text, int face);
    int fontIndex(const QRawFont& raw);
    int scaledFont(int font, qreal pixelSize);
    // A glyph's bounding box, from its origin at its offset.
    QRectF box(const Glyph& glyph);
    void fit(int cells);
    // scratch_ appended to the store, which is compacted first when it has to grow.
    Span store();
    void compact(std::size_t room);

    std::array<QFont, 4> faces_;
    // By face, with the text's family after the colour emoji family, and that family alone.
    std::array<std::array<QFont, 2>, 4> emojiFaces_;
    QString emojiFamily_;
    bool emojiFacesMade_ = false;
    QSizeF cell_;
    qreal baseline_ = 0;
    QTextLayout layout_;
    // The fonts glyphs were found in: the faces and the fallbacks the system chose, a set the
    // installed fonts bound, and their copies at the sizes colour glyphs were fitted at.
    std::vector<Font> fonts_;
    // The bounding boxes of colour glyphs, by font and glyph: a set the fonts bound.
    std::unordered_map<std::uint64_t, QRectF> boxes_;
    std::vector<Glyph> glyphs_;
    std::vector<Glyph> scratch_;
    std::size_t liveGlyphs_ = 0;
    std::size_t indexBytes_ = 0; // the keys and index nodes of the entries
    std::array<std::array<Span, 128>, 4> ascii_{};
    std::array<std::array<bool, 128>, 4> asciiKnown_{};
    std::size_t maxBytes_;
    std::size_t minStoredGlyphs_; // the store never shrinks below it
    std::size_t fixedBytes_ = 0;
    std::array<PoolState, 2> pools_;
    std::unordered_map<std::string, std::uint32_t> index_;
    std::vector<Entry> entries_;
    std::vector<std::uint32_t> free_;
    std::uint32_t paint_ = 0;
    bool keptLast_ = true;
    std::string key_;
};

// Draws the cells of a terminal with QPainter: backgrounds in runs, glyphs from the cache
// batched by font and colour, box-drawing and block characters from the cells' geometry,
// underlines, strike-through and link underlines, inline images.
class CellPainter {
public:
    // What one paint needs besides the terminal.
    struct Frame {
        const Terminal* terminal = nullptr;
        const SelectionService* selection = nullptr;
        QColor foreground; // the default colours, swapped already under DECSCNM
        QColor background;
        QColor selectionBackground;
        bool useBrightColors = true;
        int width = 0; // backgrounds of runs at the last column reach this far
    };

    explicit CellPainter(std::size_t glyphCapacity = GlyphCache::defaultCapacity,
                         std::size_t glyphBytes = GlyphCache::defaultMaxBytes)
        : glyphs_(glyphCapacity, glyphBytes)
    {
    }

    void setFont(const QFont& font);
    const QFont& face(int index) const { return faces_[static_cast<std::size_t>(index)]; }
    QSizeF cellSize() const { return cell_; }
    qreal baseline() const { return baseline_; }
    // Colours are resolved again on the next paint.
    void invalidateColors();

    void paint(QPainter& painter, const QRect& dirty, const Frame& frame);
    // Whether the last paint drew some emoji chains as their members without asking the font
    // for one glyph for the whole: another paint is due, which asks for all of them.
    bool chainsPending() const { return chainsPending_; }
    // Sees every run of glyphs just before it is drawn, with its colour.
    std::function<void(const QGlyphRun&, QRgb)> onGlyphRun;
    const GlyphCache& glyphCache() const { return glyphs_; }
    // One cell's character in a face and colour, with its left edge at x and row top at y.
    void drawCell(QPainter& painter, QPointF topLeft, const CellTables& tables, const CharData& cell, QColor color);

    // The colour of an attribute colour, as specified for foreground and background roles.
    QColor nativeColor(const Terminal& terminal, Attribute::Color color, bool foreground, bool bold, bool useBright,
                       const Frame& frame) const;
    // The face of an attribute: bold (or the bold face for bright colours without brightening)
    // and italic.
    static int faceOf(const Attribute& attribute, bool useBright);

private:
    struct Style {
        QRgb fg = 0;
        QRgb bg = 0;
        bool defaultBackground = true;
        std::uint8_t face = 0;
        bool underline = false;
        bool strike = false;
        bool invisible = false;
    };
    struct Batch {
        int font;
        QRgb color;
        QList<quint32> glyphs;
        QList<QPointF> positions;
    };
    struct Decoration {
        QLineF line;
        QRgb color;
        bool dotted;
    };
    struct AttributeHash {
        std::size_t operator()(const Attribute& a) const;
    };

    const Style& style(const Attribute& attribute, const Frame& frame);
    void paintRow(QPainter& painter, int screenRow, qreal top, const Frame& frame);
    void addGlyphs(GlyphCache::Span span, qreal x, qreal baseline, QRgb color);
    // Adds the one glyph the font has for an emoji sequence that starts at `col` and goes on in
    // the cells after it, or for the member of a chain it did not join (a pictograph with its
    // tone); returns the column after what it drew, or `col` when there is no such sequence or
    // glyph. `chainEnd` is where the chain last found and not joined ends.
    int addSequenceGlyph(const CellTables& tables, const BufferLine& line, int col, int cols, int& chainEnd, int face,
                         qreal x, qreal baseline, QRgb color);
    // The glyphs of a chain: from the cache, or shaped now when a paint left it, or while this
    // paint has shaped fewer than its share of new ones.
    std::optional<GlyphCache::Span> shapeChain(const std::string& text, int face, int cells);
    void wait(std::uint64_t chain);
    Batch& batchFor(int font, QRgb color);
    void addDecoration(QLineF line, QRgb color, bool dotted);
    void flush(QPainter& painter);

    std::array<QFont, 4> faces_;
    GlyphCache glyphs_;
    QSizeF cell_{1, 1};
    qreal baseline_ = 0;
    qreal underlinePos_ = 1;
    qreal strikePos_ = 3;
    qreal lineWidth_ = 1;

    static constexpr std::size_t maxStyles = 4096;
    static constexpr int chainsShapedPerPaint = 8;
    std::unordered_map<Attribute, Style, AttributeHash> styles_;
    QRgb stylesForeground_ = 0;
    QRgb stylesBackground_ = 0;
    bool stylesBright_ = true;
    // Glyphs wait in one batch per font and colour until a flush draws each batch at once.
    std::vector<Batch> batches_;
    std::unordered_map<std::uint64_t, std::size_t> batchIndex_;
    std::size_t lastBatch_ = 0;
    std::vector<Decoration> decorations_;
    BoxDrawing boxes_;
    int chainsShaped_ = 0;
    bool chainsPending_ = false;
    // The chains (by a hash of text, face and cells) that a paint left as members or shaped and
    // the cache did not keep: the next paint shapes them whatever its share.
    static constexpr std::size_t maxWaitingChains = 32768;
    std::unordered_set<std::uint64_t> waitingChains_;
};

} // namespace terminal
