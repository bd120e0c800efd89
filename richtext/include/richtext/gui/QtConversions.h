#pragma once

#include "richtext/AttributedText.h"

#include <QColor>
#include <QFont>

namespace richtext {

QColor toQColor(const Color& color);

// Resolves a font description. A font file is registered once per path; a file that is
// missing or not a font falls back to the system font at the requested size.
QFont toQFont(const FontSpec& spec);

} // namespace richtext
