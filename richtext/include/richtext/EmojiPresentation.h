#pragma once

#include <QStringView>

#include <vector>

namespace richtext {

// A stretch of a text, in UTF-16 code units.
struct TextSpan {
    qsizetype start = 0;
    qsizetype length = 0;

    friend bool operator==(const TextSpan&, const TextSpan&) = default;
};

// The grapheme clusters of a text that Unicode's emoji rules (UTS #51) draw in emoji presentation,
// in order: an emoji modifier sequence, a ZWJ sequence of pictographs, a keycap sequence, a flag
// (a pair of regional indicators, or a tag sequence), a character followed by U+FE0F, or a
// character whose default presentation is emoji and that U+FE0E does not follow. Everything else
// is text: ©, ™, ↔, digits and `#` unless U+FE0F follows them. The emoji properties and the
// cluster boundaries are ICU's.
//
// Linear in the text's length; text without a character that may begin an emoji (ASCII but for a
// digit, `#` or `*` before U+FE0F or U+20E3) is only looked at.
std::vector<TextSpan> emojiClusters(QStringView text);

} // namespace richtext
