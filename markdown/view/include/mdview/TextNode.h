#pragma once

#include "mdview/RenderNode.h"
#include "mdview/View.h"

#include "richtext/AttributedText.h"

#include <QColor>
#include <QFont>
#include <QGlyphRun>
#include <QTextLayout>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace mdview {

// A laid-out attributed text. Exposed so that hosts can select its text and find links.
//
// Laying out stays linear in the text's length whatever it holds: a run without a break
// opportunity longer than a line is given break opportunities every few characters, where
// QTextLayout would otherwise measure the rest of the run again for each line it breaks from
// it. They are zero-width and live only in the layout; offsets in and out are the text's.
//
// Memory stays bounded by what is in use, however many texts a tree holds: only the texts used
// lately keep their QTextLayout (a thousand per thread); the others keep what they measured
// and lay their lines out again, the same, when they are drawn or hit again. While a whole tree
// is measured (MeasuringInBulk), its first texts keep their layouts, and a text measured once
// they are full lets go of its own at once. A text in one style and
// without images is laid out without formats but for its emoji, in its style's font.
//
// Emoji are laid out and drawn from the system's colour emoji font, one picture each
// (richtext::emojiRuns), in the format of the text around them.
//
// A text may be a part of one laid out in parts (see TextContinuation): then it shows its lines
// but the last, which it leaves to the part below (runOn).
class TextNode final : public RenderNode {
public:
    struct Style {
        QFont font;       // for runs without a font
        QColor color;     // for runs without a foreground colour
        double lineSpacing = 0;
        HorizontalAlignment alignment = HorizontalAlignment::leading;
        QColor selectionColor;
    };
    TextNode(std::shared_ptr<const richtext::AttributedText> text, Style style, std::vector<InlineImage> images = {},
             TextContinuation continuation = {});
    ~TextNode() override;

    // A run of characters without a space longer than this is given break opportunities every
    // few characters (see above); a space of any kind ends a run.
    static constexpr qsizetype longestUnbrokenRun = 1024;
    static bool isSpace(QChar c);

    const char* typeName() const override { return "Text"; }
    QString describe() const override;
    std::optional<double> firstBaseline(const QSizeF& size) override;

    // The text it shows: for a part that runs on below, as laid out at the width it was last
    // measured at (all of it before that).
    const QString& text() const { return m_continuation.below ? m_shownText : m_text->text(); }
    const TextContinuation& continuation() const { return m_continuation; }
    // What a part that runs on below leaves to the part below, as laid out at the width it was
    // last measured at: the text from where its last line begins, with its images, and how the
    // part below continues it (but whether that part runs on in turn).
    struct RunOn {
        richtext::AttributedText text;
        std::vector<InlineImage> images;
        TextContinuation continuation;
        friend bool operator==(const RunOn& a, const RunOn& b);
    };
    RunOn runOn() const;
    // The character offset nearest to a point in document coordinates.
    int offsetAt(const QPointF& point);
    // The link under a point, empty when none.
    QString linkAt(const QPointF& point);
    // The rectangle of the characters [start, end) on their first line, in document coordinates.
    QRectF rangeRect(int start, int end);
    // The glyphs drawn for the characters [start, end), at positions in the layout, each run in
    // the font it comes from.
    QList<QGlyphRun> glyphRuns(int start, int end);

    // Selected range [start, end); an empty range selects nothing.
    void setSelection(int start, int end) { m_selection = {start, end}; }
    std::pair<int, int> selection() const { return m_selection; }

    // The font of a description, resolved once per thread and description.
    static QFont fontFor(const richtext::FontSpec& spec);

    // Whether the text keeps its QTextLayout at the moment (see above).
    bool keepsLayout() const { return bool(m_layout); }

    // Held while every text of a tree is measured (a document laid out whole): the texts drawn
    // first, which were measured first, keep their layouts, pushing out those of other trees,
    // and the layouts let go of once they are full are the ones just made, still in the cache.
    class MeasuringInBulk {
    public:
        MeasuringInBulk();
        ~MeasuringInBulk();
        MeasuringInBulk(const MeasuringInBulk&) = delete;
        MeasuringInBulk& operator=(const MeasuringInBulk&) = delete;
    };

protected:
    QSizeF sizeThatFits(const ProposedSize& proposal) override;
    ProposedSize cacheKey(const ProposedSize& proposal) const override;
    void draw(QPainter& painter, const QRectF& exposed) override;

private:
    friend struct LiveLayouts;

    // What the lines measure at a width; breaks them again only when they would break
    // differently.
    void measureLines(double width);
    // The layout of the lines at a width.
    QTextLayout& layoutFor(double width);
    // The layout object, made again (without lines) when it was let go.
    QTextLayout& layout();
    void breakLines(QTextLayout& layout, double lineWidth);
    // The width the lines are drawn and hit at.
    double linesWidth() const;
    double lineX(const QTextLine& line) const;
    // The line at a height (local coordinates), clamped to the first and last; -1 without lines.
    int lineIndexAt(double y);

    // Offsets between the text and the layout's text, which has the added break opportunities.
    int toLayout(qsizetype offset) const;
    int toText(int layoutOffset) const;

    std::shared_ptr<const richtext::AttributedText> m_text;
    Style m_style;
    TextContinuation m_continuation;
    std::vector<InlineImage> m_images; // by offset
    std::vector<qsizetype> m_breaks;   // text offsets a character of the layout's own goes before, ascending
    QString m_laidOut;                 // the text the layout is given
    QFont m_font;                      // the layout's font
    QList<QTextLayout::FormatRange> m_formats; // empty: the whole text in m_font and m_color
    QColor m_color;
    std::unique_ptr<QTextLayout> m_layout; // while the text is among those used lately
    bool m_hasLines = false;               // m_layout holds the lines broken for m_layoutWidth
    TextNode* m_newer = nullptr;           // neighbours among the texts that keep their layouts
    TextNode* m_older = nullptr;
    std::uint64_t m_listed = 0;            // when it was put first among them
    std::optional<double> m_layoutWidth; // the width the lines were broken for
    double m_widestLine = 0;
    bool m_softWrapped = false; // some line ends where it ran out of width
    int m_shownLines = 0;       // all of them, but the last of a part that runs on below
    qsizetype m_shownLength = 0; // the text of the shown lines
    QString m_shownText;        // of a part that runs on below
    QSizeF m_layoutSize;
    std::optional<double> m_firstBaseline;
    std::pair<int, int> m_selection{0, 0};
};

} // namespace mdview
