#pragma once

#include <QGlyphRun>
#include <QRawFont>
#include <QStringList>

#include <functional>

namespace testsupport {

// Emoji that text fonts draw in pieces or in outline, and text that looks like emoji; and a line
// of both, one space between pieces.
inline const QStringList emojiPieces{QString::fromUtf8("\U0001F600"), QString::fromUtf8("\u2764\uFE0F"),
                                     QString::fromUtf8("1\uFE0F\u20E3"), QString::fromUtf8("\U0001F44D\U0001F3FD")};
inline const QStringList textPieces{QString::fromUtf8("\u00A9"), QStringLiteral("1")};
inline const QString emojiLine = (emojiPieces + textPieces).join(QLatin1Char(' '));

// The glyphs drawn for each piece between spaces of a text, given the glyph runs of a range of
// it: one line "piece: family of each glyph" per piece.
inline QStringList glyphFamiliesByPiece(const QString& text, const std::function<QList<QGlyphRun>(int start, int end)>& glyphRuns)
{
    QStringList pieces;
    int start = 0;
    for (const QString& piece : text.split(QLatin1Char(' '))) {
        QStringList families;
        for (const QGlyphRun& run : glyphRuns(start, start + int(piece.size()))) {
            for (qsizetype i = 0; i < run.glyphIndexes().size(); ++i)
                families.push_back(run.rawFont().familyName());
        }
        pieces.push_back(piece + QStringLiteral(": ") + families.join(QStringLiteral(", ")));
        start += int(piece.size()) + 1;
    }
    return pieces;
}

// What glyphFamiliesByPiece gives for emojiLine drawn as it should be: each emoji one glyph of
// the colour emoji family, the rest in the text's family.
inline QStringList emojiLineInFamilies(const QString& emojiFamily, const QString& textFamily)
{
    QStringList pieces;
    for (const QString& piece : emojiPieces)
        pieces.push_back(piece + QStringLiteral(": ") + emojiFamily);
    for (const QString& piece : textPieces)
        pieces.push_back(piece + QStringLiteral(": ") + textFamily);
    return pieces;
}

} // namespace testsupport
