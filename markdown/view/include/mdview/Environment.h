#pragma once

#include "mdview/Color.h"
#include "mdview/Geometry.h"
#include "mdview/TextStyle.h"

#include <optional>

namespace mdview {

// Values that flow down the view tree while it is built. Modifiers change them for a subtree.
struct Environment {
    ColorScheme colorScheme = ColorScheme::light;
    // The base text style; its default is the 13-point regular system font description.
    TextStyle textStyle = defaultTextStyle();
    std::optional<Color> foregroundColor; // absent: the scheme's primary colour
    double lineSpacing = 0;
    HorizontalAlignment multilineTextAlignment = HorizontalAlignment::leading;
    // The axis of the innermost stack, for dividers and spacers.
    Axis stackAxis = Axis::vertical;

    static TextStyle defaultTextStyle();
};

} // namespace mdview
