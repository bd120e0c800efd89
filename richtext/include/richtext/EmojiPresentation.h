#pragma once

#include <QString>
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

// A grapheme cluster of more code points than this is too long to be one picture (Unicode's
// recommended emoji sequences have at most ten): it is drawn as its pieces, so that laying out
// and drawing it costs what any other text of its length costs. A shaper would take it as one
// glyph cluster, which no line breaks, and draw all of it wherever a bit of it shows.
inline constexpr qsizetype longestPictureCluster = 32;

// The zero width joiners inside the text's grapheme clusters of more than longestPictureCluster
// code points, ascending. A text view lays each out as a zero width space (partedForLayout): the
// joiner draws as nothing, the cluster parts into its pictographs (each with its modifiers and
// selectors) and a line may break between them, while the text itself (its selection, copy and
// search) stays as it is. `codePointsBefore` belong to the text's first cluster already: those of
// a longer text this one is the rest of.
std::vector<qsizetype> overlongClusterJoiners(QStringView text, qsizetype codePointsBefore = 0);

// `text` with the joiners of overlongClusterJoiners replaced by zero width spaces: of the same
// length, offsets in it are the text's.
QString partedForLayout(QString text, qsizetype codePointsBefore = 0);

} // namespace richtext
