#pragma once

#include "mdview/Color.h"

namespace mdview {

// The light/dark colour pairs of the built-in presets; each is made once and shared.
namespace DocCColors {
Color text();
Color link();
Color asideBackground();
Color asideBorder();
Color codeBackground();
Color grid();
} // namespace DocCColors

namespace GitHubColors {
Color text();
Color secondaryText();
Color tertiaryText();
Color background();
Color secondaryBackground();
Color link();
Color border();
Color divider();
} // namespace GitHubColors

} // namespace mdview
