#pragma once

#include "mdview/Theme.h"

namespace mddoc {

using mdview::Theme;

// The built-in themes. Each is built once, on first use, and copied out on every call.
namespace themes {
// Plain and typographic: sizes, weights and spacings only, in the platform's colours. The
// default of every document.
Theme basic();
// Reference documentation: coloured text, rounded quote boxes and code panels, horizontal
// table rules, bullets for task items.
Theme docC();
// A rendered README: a 16-point body on a themed background, ruled level-1 and level-2
// headings, quote bars, shaded code, fully ruled tables with alternating rows, check boxes.
Theme gitHub();
} // namespace themes

} // namespace mddoc
