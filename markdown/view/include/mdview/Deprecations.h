#pragma once

// Older style values kept so that code written against them still compiles. Nothing reads
// them: themes and text styles replaced them.

#include "mdview/Color.h"

#include <tuple>

namespace mdview {

struct [[deprecated("Use Theme")]] MarkdownStyle {
    struct Font {
        friend bool operator==(const Font&, const Font&) = default;
    };
    struct HeadingScales {
        friend bool operator==(const HeadingScales&, const HeadingScales&) = default;
    };
    struct Measurements {
        double codeFontScale = 0;
        double headIndentStep = 0;
        double tailIndentStep = 0;
        double paragraphSpacing = 0;
        double listMarkerSpacing = 0;
        HeadingScales headingScales;
        double headingSpacing = 0;

        friend bool operator==(const Measurements& a, const Measurements& b)
        {
            return std::tie(a.codeFontScale, a.headIndentStep, a.tailIndentStep, a.paragraphSpacing,
                            a.listMarkerSpacing, a.headingSpacing)
                == std::tie(b.codeFontScale, b.headIndentStep, b.tailIndentStep, b.paragraphSpacing,
                            b.listMarkerSpacing, b.headingSpacing);
        }
    };

    Font font;
    Color foregroundColor;
    Measurements measurements;

    friend bool operator==(const MarkdownStyle& a, const MarkdownStyle& b)
    {
        return a.foregroundColor == b.foregroundColor && a.measurements == b.measurements;
    }
};

struct [[deprecated("Use an ImageProvider")]] MarkdownImageHandler {};

} // namespace mdview
