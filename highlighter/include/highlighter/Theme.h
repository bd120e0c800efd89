#pragma once

#include "highlighter/TokenType.h"

#include "richtext/AttributedText.h"

#include <QHash>

#include <variant>

namespace highlighter::Highlight {

// The font of highlighted code, as a resource and a size in pixels. It stays a description
// here; the GUI edge turns it into a QFont.
struct Font {
    // A ready font description, used as it is (the size is not applied).
    struct Preloaded {
        richtext::FontSpec font;
        friend bool operator==(const Preloaded&, const Preloaded&) = default;
    };
    // A font file; a file that is missing or not a font falls back at the GUI edge.
    struct Path {
        QString path;
        friend bool operator==(const Path&, const Path&) = default;
    };
    // Courier New, else the fixed-pitch system font.
    struct System {
        friend bool operator==(const System&, const System&) = default;
    };
    using Resource = std::variant<Preloaded, Path, System>;

    explicit Font(double size) : resource(System{}), size(size) {}
    // A leading "~" in the path stands for the home folder.
    Font(const QString& path, double size);
    Font(Resource resource, double size) : resource(std::move(resource)), size(size) {}

    // The description the attributed output carries on every run.
    richtext::FontSpec resolved() const;

    Resource resource;
    double size;

    friend bool operator==(const Font&, const Font&) = default;
};

// How highlighted code looks: a font, the colour of unclassified text, the colour behind
// the code (for the view that shows it) and one colour per token type.
struct Theme {
    Theme(Font font, richtext::Color plainTextColor, QHash<TokenType, richtext::Color> tokenColors,
          richtext::Color backgroundColor)
        : font(std::move(font)), plainTextColor(plainTextColor), backgroundColor(backgroundColor),
          tokenColors(std::move(tokenColors))
    {
    }

    // The presets; each holds the given font unchanged. The application draws with
    // brindlesColors when dark and presentation when light.
    static Theme brindlesColors(Font font);
    static Theme midnight(Font font);
    static Theme wwdc17(Font font);
    static Theme wwdc18(Font font);
    static Theme sunset(Font font);
    static Theme presentation(Font font);

    Font font;
    richtext::Color plainTextColor;
    richtext::Color backgroundColor;
    QHash<TokenType, richtext::Color> tokenColors;
};

} // namespace highlighter::Highlight
