#pragma once

#include <QString>

#include <algorithm>
#include <cstddef>
#include <optional>
#include <unordered_map>
#include <vector>

namespace richtext {

// A colour as exact sRGB components in [0, 1]; turned into a QColor only where it is drawn.
struct Color {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;

    friend bool operator==(const Color&, const Color&) = default;
};

// A font as described by its properties; resolved to a QFont at the GUI edge.
struct FontSpec {
    QString family;          // empty: the system font
    QString filePath;        // a font file to load instead of a family (falls back to the system font)
    double pixelSize = 0;    // 0: the default size
    int weight = 400;        // CSS-style weight, 100..900
    bool italic = false;
    bool monospaced = false; // prefer a fixed-pitch face
    bool smallCaps = false;
    bool tabularDigits = false;    // digits of equal width, where the Qt version can select them
    int stretch = 100;             // CSS-style width percentage: 75 condensed .. 125 expanded

    // Pixel sizes beyond this are clamped: larger sizes are of no use and overflow integer sizes.
    static constexpr double maxPixelSize = 4096;

    friend bool operator==(const FontSpec&, const FontSpec&) = default;
};

// How an underline or strikethrough line is drawn.
struct LineStyle {
    enum class Pattern { solid, dot, dash, dashDot, dashDotDot };
    Pattern pattern = Pattern::solid;
    std::optional<Color> color; // absent: the text colour

    friend bool operator==(const LineStyle&, const LineStyle&) = default;
};

// The attributes of one run. Absent values inherit from the surrounding style.
struct TextAttributes {
    std::optional<Color> foregroundColor;
    std::optional<Color> backgroundColor;
    std::optional<FontSpec> font;
    QString link; // empty: not a link
    std::optional<LineStyle> underline;
    std::optional<LineStyle> strikethrough;
    std::optional<double> kerning;        // extra advance after each glyph, in pixels
    std::optional<double> tracking;       // extra spacing between letters, in pixels
    std::optional<double> baselineOffset; // positive raises the text, in pixels

    friend bool operator==(const TextAttributes&, const TextAttributes&) = default;
};

// The index of a style in an attributed text's table of styles.
using StyleIndex = quint32;

// A stretch of the text, in UTF-16 code units, and the index of its attributes in the text's
// table of styles.
struct TextRun {
    qsizetype start = 0;
    qsizetype length = 0;
    StyleIndex style = 0;

    friend bool operator==(const TextRun&, const TextRun&) = default;
};

// Text with attributes over consecutive, non-overlapping runs that cover it from the start.
//
// Compact: a run is only where it ends and the index of its style; the attributes themselves
// live once each in a small table of distinct styles (`styles()`). Appending a piece in the
// style of the last run lengthens that run, so neighbouring runs always differ in style and
// the runs of equal per-character attributes are the same.
//
// Consumers that turn attributes into something costly (a QFont, a QTextCharFormat) should do
// so once per entry of `styles()`, indexed by `TextRun::style`, and not once per run: a long
// highlighted file has hundreds of thousands of runs over a dozen styles. Producers that
// append many pieces in few styles should intern each style once with `addStyle` and append
// by index.
//
// Offsets are kept in 32 bits: a text holds at most 2^32 - 1 UTF-16 units.
class AttributedText {
public:
    class Runs;
    class Styler;

    AttributedText() = default;
    explicit AttributedText(const QString& text, const TextAttributes& attributes = {});

    const QString& text() const { return m_text; }
    bool isEmpty() const { return m_text.isEmpty(); }

    Runs runs() const;
    const std::vector<TextAttributes>& styles() const { return m_styles; }
    const TextAttributes& style(StyleIndex index) const { return m_styles[index]; }
    const TextAttributes& attributes(const TextRun& run) const { return m_styles[run.style]; }
    // The attributes of the character at `position`; null outside the text.
    const TextAttributes* attributesAt(qsizetype position) const;

    // The index of `attributes` in the table of styles, adding them when new.
    StyleIndex addStyle(const TextAttributes& attributes);

    // Appends `text` in a style; an empty text appends nothing. The index must come from
    // addStyle of this text.
    void append(QStringView text, StyleIndex style);
    void append(QStringView text, const TextAttributes& attributes) { append(text, addStyle(attributes)); }
    void append(const AttributedText& other);
    // The characters [position, position + length) with their attributes; to the end when
    // `length` is negative. The range is clamped to the text.
    AttributedText sliced(qsizetype position, qsizetype length = -1) const;

    // Room for this much text and this many runs in all, so that building appends in place.
    void reserve(qsizetype textLength, qsizetype runCount);
    // Gives back room reserved but not used.
    void squeeze();

    // Heap bytes held by the text, the runs and the styles (capacity included), for measuring.
    // A text shared with other strings is counted whole.
    std::size_t memoryUsage() const;

    // Equal texts with equal attributes character by character, whatever the order of the
    // styles in their tables.
    friend bool operator==(const AttributedText& a, const AttributedText& b);

private:
    struct StoredRun {
        quint32 end;
        StyleIndex style;
    };

    // Extends the runs to `end`, in a style; the last run grows when it has that style.
    void extendRuns(qsizetype end, StyleIndex style)
    {
        if (quint64(end) > maxLength)
            tooLong();
        if (!m_runs.empty() && m_runs.back().style == style)
            m_runs.back().end = quint32(end);
        else
            m_runs.push_back({quint32(end), style});
    }
    [[noreturn]] static void tooLong();
    static constexpr quint64 maxLength = 0xffffffffu;

    QString m_text;
    std::vector<StoredRun> m_runs;
    std::vector<TextAttributes> m_styles;
    // The hash of each style's attributes, for interning: searched in turn while the styles are
    // few (most texts have a handful), through an index by hash once they are many.
    std::vector<std::size_t> m_styleHashes;
    std::unordered_multimap<std::size_t, StyleIndex> m_styleIndex;
};

// The runs of an attributed text in order, as values; valid while the text is unchanged.
class AttributedText::Runs {
public:
    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = TextRun;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = TextRun;

        const_iterator() = default;
        const_iterator(const StoredRun* runs, std::size_t index) : m_runs(runs), m_index(index) {}
        TextRun operator*() const { return at(m_runs, m_index); }
        const_iterator& operator++() { ++m_index; return *this; }
        const_iterator operator++(int) { auto copy = *this; ++m_index; return copy; }
        friend bool operator==(const const_iterator& a, const const_iterator& b) { return a.m_index == b.m_index; }

    private:
        const StoredRun* m_runs = nullptr;
        std::size_t m_index = 0;
    };

    explicit Runs(const std::vector<StoredRun>& runs) : m_runs(runs.data()), m_size(runs.size()) {}
    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    TextRun operator[](std::size_t i) const { return at(m_runs, i); }
    const_iterator begin() const { return {m_runs, 0}; }
    const_iterator end() const { return {m_runs, m_size}; }

private:
    static TextRun at(const StoredRun* runs, std::size_t i)
    {
        const qsizetype start = i == 0 ? 0 : qsizetype(runs[i - 1].end);
        return {start, qsizetype(runs[i].end) - start, runs[i].style};
    }

    const StoredRun* m_runs;
    std::size_t m_size;
};

// Styles a text known whole in advance, piece by piece from its start, sharing the text
// instead of copying it: for producers that cut a string they already hold into runs.
class AttributedText::Styler {
public:
    explicit Styler(QString text) { m_result.m_text = std::move(text); }

    const QString& text() const { return m_result.m_text; }
    // The units styled so far, from the start.
    qsizetype styled() const { return m_styled; }
    StyleIndex addStyle(const TextAttributes& attributes) { return m_result.addStyle(attributes); }
    // Gives the next `length` units (no more than are left) a style from addStyle.
    void style(qsizetype length, StyleIndex style)
    {
        length = std::min(length, m_result.m_text.size() - m_styled);
        if (length <= 0)
            return;
        m_styled += length;
        m_result.extendRuns(m_styled, style);
    }
    void reserveRuns(qsizetype runCount) { m_result.m_runs.reserve(std::size_t(std::max<qsizetype>(runCount, 0))); }

    // The styled part of the text with its runs; the text is shared when all of it was styled.
    AttributedText finish() &&;

private:
    AttributedText m_result;
    qsizetype m_styled = 0;
};

inline AttributedText::Runs AttributedText::runs() const
{
    return Runs(m_runs);
}

} // namespace richtext
