#pragma once

#include <QString>

namespace platform {

// The family of the colour font the system gives for emoji (fontconfig's match for "emoji"), or
// an empty string when that match is no colour font. Asks fontconfig each time: callers that
// draw often keep the answer, and ask again when fonts may have changed.
QString colourEmojiFamily();

} // namespace platform
