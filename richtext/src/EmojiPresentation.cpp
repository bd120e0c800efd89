#include "richtext/EmojiPresentation.h"

#include <unicode/ubrk.h>
#include <unicode/uchar.h>

#include <memory>

namespace richtext {

namespace {

constexpr char32_t textVariation = 0xFE0E;
constexpr char32_t emojiVariation = 0xFE0F;
constexpr char32_t zeroWidthJoiner = 0x200D;
constexpr char32_t combiningKeycap = 0x20E3;
constexpr char32_t firstTag = 0xE0020;
constexpr char32_t cancelTag = 0xE007F;

bool has(char32_t c, UProperty property)
{
    return u_hasBinaryProperty(UChar32(c), property);
}

bool isKeycapBase(char32_t c)
{
    return (c >= '0' && c <= '9') || c == '#' || c == '*';
}

// The code point at `i` (a lone surrogate as itself) and its length in code units.
char32_t codePointAt(QStringView text, qsizetype i, qsizetype* units = nullptr)
{
    const QChar c = text[i];
    if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
        if (units)
            *units = 2;
        return QChar::surrogateToUcs4(c, text[i + 1]);
    }
    if (units)
        *units = 1;
    return c.unicode();
}

// Whether a grapheme cluster that starts with the character at `i` may be drawn as emoji: a
// cheap look that lets plain text through without asking for its clusters.
bool mayBeginEmoji(QStringView text, qsizetype i, char32_t c)
{
    if (c < 0x80) {
        return isKeycapBase(c) && i + 1 < text.size()
            && (text[i + 1].unicode() == emojiVariation || text[i + 1].unicode() == combiningKeycap);
    }
    return has(c, UCHAR_EMOJI) || has(c, UCHAR_EXTENDED_PICTOGRAPHIC);
}

// Whether the grapheme cluster `cluster` is drawn in emoji presentation.
bool isEmojiPresentation(QStringView cluster)
{
    qsizetype units = 0;
    const char32_t base = codePointAt(cluster, 0, &units);
    const char32_t next = units < cluster.size() ? codePointAt(cluster, units) : 0;
    if (next == textVariation)
        return false;
    if (next == emojiVariation)
        return has(base, UCHAR_EMOJI); // a presentation sequence (and a keycap with it)
    if (isKeycapBase(base))
        return next == combiningKeycap;
    if (has(base, UCHAR_EMOJI_PRESENTATION)) // a flag's regional indicators and a tag sequence's
        return true;                         // black flag among them
    if (has(base, UCHAR_EMOJI_MODIFIER_BASE) && has(next, UCHAR_EMOJI_MODIFIER))
        return true;
    // A ZWJ sequence of pictographs, or a tag sequence (tags closed by the cancel tag) on another
    // base.
    const bool pictograph = has(base, UCHAR_EXTENDED_PICTOGRAPHIC);
    bool joined = false;
    bool tagged = false;
    for (qsizetype i = units; i < cluster.size(); i += units) {
        const char32_t c = codePointAt(cluster, i, &units);
        if ((joined && pictograph && has(c, UCHAR_EXTENDED_PICTOGRAPHIC))
            || (tagged && c == cancelTag && has(base, UCHAR_EMOJI)))
            return true;
        joined = c == zeroWidthJoiner;
        tagged = c >= firstTag && c < cancelTag;
    }
    return false;
}

struct BreakIteratorClose {
    void operator()(UBreakIterator* iterator) const { ubrk_close(iterator); }
};

// The grapheme cluster iterator of this thread, set to `text`; null when ICU has none.
UBreakIterator* clustersOf(QStringView text)
{
    thread_local const std::unique_ptr<UBreakIterator, BreakIteratorClose> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        UBreakIterator* opened = ubrk_open(UBRK_CHARACTER, "", nullptr, 0, &status);
        return std::unique_ptr<UBreakIterator, BreakIteratorClose>(U_SUCCESS(status) ? opened : nullptr);
    }();
    if (!iterator)
        return nullptr;
    UErrorCode status = U_ZERO_ERROR;
    ubrk_setText(iterator.get(), reinterpret_cast<const UChar*>(text.utf16()), int32_t(text.size()), &status);
    return U_SUCCESS(status) ? iterator.get() : nullptr;
}

} // namespace

std::vector<TextSpan> emojiClusters(QStringView text)
{
    std::vector<TextSpan> clusters;
    // A text longer than ICU counts (2^31 units) is not looked at: no text is drawn that long.
    if (text.size() > INT32_MAX)
        return clusters;
    UBreakIterator* iterator = nullptr;
    for (qsizetype i = 0; i < text.size();) {
        qsizetype units = 1;
        const char32_t c = codePointAt(text, i, &units);
        if (!mayBeginEmoji(text, i, c)) {
            i += units;
            continue;
        }
        if (!iterator && !(iterator = clustersOf(text)))
            return clusters;
        // From here to the end of its cluster. An emoji that extends a cluster of text (a skin
        // tone after a letter or a space) is drawn from where it stands.
        const qsizetype end = ubrk_following(iterator, int32_t(i));
        if (end <= i)
            break;
        if (isEmojiPresentation(text.sliced(i, end - i))) {
            clusters.push_back({i, end - i});
            i = end;
        } else {
            i += units; // the rest of a cluster of text may hold one
        }
    }
    return clusters;
}

std::vector<qsizetype> overlongClusterJoiners(QStringView text, qsizetype codePointsBefore)
{
    std::vector<qsizetype> joiners;
    qsizetype joiner = text.indexOf(QChar(zeroWidthJoiner));
    if (joiner < 0 || text.size() > INT32_MAX)
        return joiners;
    UBreakIterator* iterator = clustersOf(text);
    if (!iterator)
        return joiners;
    // Cluster by cluster from each joiner's, looking past each cluster once.
    while (joiner >= 0) {
        const qsizetype start = ubrk_preceding(iterator, int32_t(joiner + 1));
        const qsizetype end = ubrk_following(iterator, int32_t(joiner));
        if (start < 0 || end <= joiner)
            break;
        qsizetype codePoints = start == 0 ? codePointsBefore : 0;
        for (qsizetype i = start; i < end && codePoints <= longestPictureCluster; ++i)
            codePoints += !(text[i].isLowSurrogate() && i > start && text[i - 1].isHighSurrogate());
        if (codePoints > longestPictureCluster) {
            for (qsizetype i = joiner; i < end; ++i) {
                if (text[i].unicode() == zeroWidthJoiner)
                    joiners.push_back(i);
            }
        }
        joiner = text.indexOf(QChar(zeroWidthJoiner), end);
    }
    return joiners;
}

QString partedForLayout(QString text, qsizetype codePointsBefore)
{
    const std::vector<qsizetype> joiners = overlongClusterJoiners(text, codePointsBefore);
    if (joiners.empty())
        return text;
    QChar* c = text.data();
    for (const qsizetype at : joiners)
        c[at] = QChar(0x200B);
    return text;
}

} // namespace richtext
