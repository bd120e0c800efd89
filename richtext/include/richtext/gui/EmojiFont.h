#pragma once

#include "richtext/EmojiPresentation.h"

#include <QFont>
#include <QString>
#include <QTextCharFormat>

#include <vector>

namespace richtext {

// Emoji drawn as one colour picture each. Qt picks a fallback font character by character, and
// text fonts early in the system's list have monochrome outlines for many pictographs: an emoji
// then comes from a text font, or in pieces from several (a thumb, then its skin tone as a
// square). Laid out with a format from emojiFormat, the clusters that emojiRuns finds come from
// the system's colour emoji font instead, measured as they are drawn; the rest of the text keeps
// its own font. Without a colour emoji font nothing changes.

// The system's colour emoji family, empty without one: asked once, and again after the fonts
// of the application change.
QString colourEmojiFamily();

// A stretch of a text to draw in the colour emoji font: emoji clusters that follow each other.
struct EmojiRun {
    qsizetype start = 0;
    qsizetype length = 0;
    // The colour font has every character of the run that the shaper draws: then the run is
    // drawn from that font alone. Qt would otherwise take a variation selector, which the font
    // leaves to the shaper, from another font and cut a keycap or a sequence in two there. A run
    // with a character the font lacks takes it from the text's family or the system's fallback.
    bool inEmojiFontAlone = false;

    friend bool operator==(const EmojiRun&, const EmojiRun&) = default;
};

// The runs of a text to draw in the colour emoji font, in order; none without such a font.
std::vector<EmojiRun> emojiRuns(QStringView text);

// `textFont` changed to draw an emoji run: the colour emoji family first and the text's family
// after it; that family alone for a run drawn in it alone.
QFont emojiFont(QFont textFont, bool inEmojiFontAlone);

// `format`, for text in `textFont`, changed to draw an emoji run as emojiFont does.
QTextCharFormat emojiFormat(QTextCharFormat format, const QFont& textFont, bool inEmojiFontAlone);

} // namespace richtext
