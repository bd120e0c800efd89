#pragma once

#include <QString>

#include <optional>
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

// A stretch of the text, in UTF-16 code units.
struct TextRun {
    qsizetype start = 0;
    qsizetype length = 0;
    TextAttributes attributes;

    friend bool operator==(const TextRun&, const TextRun&) = default;
};

// Text with attributes over consecutive, non-overlapping runs that cover it from the start.
class AttributedText {
public:
    AttributedText() = default;
    explicit AttributedText(const QString& text, const TextAttributes& attributes = {});

    const QString& text() const { return m_text; }
    const std::vector<TextRun>& runs() const { return m_runs; }
    bool isEmpty() const { return m_text.isEmpty(); }

    // Appends one run; an empty text appends nothing.
    void append(const QString& text, const TextAttributes& attributes);
    void append(const AttributedText& other);

    friend bool operator==(const AttributedText&, const AttributedText&) = default;

private:
    QString m_text;
    std::vector<TextRun> m_runs;
};

} // namespace richtext
