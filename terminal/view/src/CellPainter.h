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
// to a fixed number of entries, the least recently used making room for a new one.
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

    // An entry costs about 110 bytes for a scalar and 190 for a letter with three marks (the
    // key, the index, the list links and 24 bytes a glyph): the full cache holds 2 to 3 MB, and
    // up to 7 MB while churning, with the glyphs of entries let go awaiting compaction. Real text
    // needs far fewer: translations in 17 languages (21 MB) and in Chinese, Japanese and Korean
    // (5 MB), drawn a screen at a time at 80 x 25, miss only on the first sight of each of their
    // 4,900 and 3,900 characters from 4,096 entries up. Four times that leaves room for the
    // other faces and emoji, and holds every cell of a 200 x 80 screen of distinct clusters:
    // repainting any screen but a huge one shapes nothing again.
    static constexpr std::size_t defaultCapacity = 16384;

    explicit GlyphCache(std::size_t capacity = defaultCapacity);

    void setFaces(const std::array<QFont, 4>& faces);
    // The glyphs of a cell's character in a face (0 normal, 1 bold, 2 italic, 3 bold italic).
    Span glyphs(const CellTables& tables, std::int32_t code, int face);
    // The glyphs of a text (UTF-8) in a face.
    Span glyphs(std::string_view utf8, int face);
    // The glyphs of a text when they are held; nothing is shaped.
    std::optional<Span> find(std::string_view utf8, int face);
    bool holds(std::string_view utf8, int face) const;
    // A span's glyphs stay in place until the next call that shapes.
    const Glyph& glyph(std::uint32_t i) const { return glyphs_[i]; }
    const QRawFont& font(int index) const { return fonts_[static_cast<std::size_t>(index)]; }
    // The glyphs of a text in a face, shaped now and not looked up.
    Span shape(const QString& text, int face);

    // Entries held besides ASCII, and the most there can be.
    std::size_t size() const { return entries_.size(); }
    std::size_t capacity() const { return capacity_; }
    // Glyphs stored, including those of entries let go and not yet compacted away.
    std::size_t storedGlyphs() const { return glyphs_.size(); }

private:
    static constexpr std::uint32_t none = UINT32_MAX;
    struct Entry {
        Span span;
        const std::string* key = nullptr; // the index's own key: the face's byte, then the text
        std::uint32_t newer = none;
        std::uint32_t older = none;
    };

    // The glyphs for key_, from the entry that holds them or shaped into a new one.
    Span lookUpKey();
    void setKey(int face);
    void unlink(std::uint32_t entry);
    void makeNewest(std::uint32_t entry);
    // The entry for a new text: a free one, or the least recently used one emptied.
    std::uint32_t takeEntry();
    // Moves the glyphs still in use to the front of the store, once most of it is garbage.
    void compactIfSparse();

    std::array<QFont, 4> faces_;
    QTextLayout layout_;
    // The fonts glyphs were found in: the faces and the fallbacks the system chose, a set the
    // installed fonts bound.
    std::vector<QRawFont> fonts_;
    std::vector<Glyph> glyphs_;
    std::size_t liveGlyphs_ = 0;
    std::array<std::array<Span, 128>, 4> ascii_{};
    std::array<std::array<bool, 128>, 4> asciiKnown_{};
    std::size_t capacity_;
    std::unordered_map<std::string, std::uint32_t> index_;
    std::vector<Entry> entries_;
    std::uint32_t newest_ = none;
    std::uint32_t oldest_ = none;
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

    explicit CellPainter(std::size_t glyphCapacity = GlyphCache::defaultCapacity)
        : glyphs_(glyphCapacity)
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
    // for one glyph for the whole: another paint is due.
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
};

} // namespace terminal
