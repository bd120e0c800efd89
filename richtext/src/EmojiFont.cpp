#include "richtext/gui/EmojiFont.h"

#include "platform/EmojiFont.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QMutex>

#include <unicode/uchar.h>

#include <optional>
#include <unordered_map>

namespace richtext {

namespace {

// The colour emoji family and how often it has been looked up, so that what was made from an
// earlier answer is made again.
struct EmojiFamily {
    QString name;
    quint64 lookup = 0;
};

EmojiFamily currentEmojiFamily()
{
    static QMutex mutex;
    static std::optional<QString> family;
    static quint64 lookups = 0;
    static bool following = false;
    QMutexLocker lock(&mutex);
    if (!following && qGuiApp) {
        // Fonts added to the application (or the system's, when they change) may bring one.
        QObject::connect(
            qGuiApp, &QGuiApplication::fontDatabaseChanged, qGuiApp,
            [] {
                QMutexLocker forget(&mutex);
                family.reset();
            },
            Qt::DirectConnection);
        following = true;
    }
    if (!family) {
        family = platform::colourEmojiFamily();
        ++lookups;
    }
    return {*family, lookups};
}

// Whether the colour font draws a character: it has a glyph for it, or the character is one the
// shaper hides (a variation selector, a tag).
bool emojiFontDraws(const EmojiFamily& family, char32_t c)
{
    struct Known {
        quint64 lookup = 0;
        QFont font;
        std::unordered_map<char32_t, bool> draws;
    };
    thread_local Known known;
    if (known.lookup != family.lookup) {
        known = {family.lookup, QFont(family.name), {}};
        known.font.setStyleStrategy(QFont::NoFontMerging);
    }
    const auto [entry, isNew] = known.draws.try_emplace(c, false);
    if (isNew) {
        entry->second = u_hasBinaryProperty(UChar32(c), UCHAR_DEFAULT_IGNORABLE_CODE_POINT)
            || QFontMetricsF(known.font).inFontUcs4(uint(c));
    }
    return entry->second;
}

bool emojiFontDrawsAll(const EmojiFamily& family, QStringView cluster)
{
    for (qsizetype i = 0; i < cluster.size(); ++i) {
        char32_t c = cluster[i].unicode();
        if (cluster[i].isHighSurrogate() && i + 1 < cluster.size() && cluster[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(cluster[i], cluster[i + 1]);
            ++i;
        }
        if (!emojiFontDraws(family, c))
            return false;
    }
    return true;
}

// The families of a text font, the one it resolves to first: a generic name such as "monospace"
// is no family of the font database.
QStringList textFamilies(const QFont& font)
{
    struct Entry {
        QFont font;
        QStringList families;
    };
    thread_local std::vector<Entry> entries; // the most recent last
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if (it->font == font)
            return it->families;
    }
    if (entries.size() >= 32)
        entries.erase(entries.begin());
    QStringList families = font.families();
    families.prepend(QFontInfo(font).family());
    families.removeDuplicates();
    entries.push_back({font, families});
    return families;
}

} // namespace

QString colourEmojiFamily()
{
    return currentEmojiFamily().name;
}

std::vector<EmojiRun> emojiRuns(QStringView text)
{
    std::vector<EmojiRun> runs;
    const std::vector<TextSpan> clusters = emojiClusters(text);
    if (clusters.empty())
        return runs;
    const EmojiFamily family = currentEmojiFamily();
    if (family.name.isEmpty())
        return runs;
    for (const TextSpan& cluster : clusters) {
        const bool alone = emojiFontDrawsAll(family, text.sliced(cluster.start, cluster.length));
        if (!runs.empty() && runs.back().start + runs.back().length == cluster.start && runs.back().inEmojiFontAlone == alone)
            runs.back().length += cluster.length;
        else
            runs.push_back({cluster.start, cluster.length, alone});
    }
    return runs;
}

QFont emojiFont(QFont textFont, bool inEmojiFontAlone)
{
    QStringList families = textFamilies(textFont);
    families.prepend(currentEmojiFamily().name);
    families.removeDuplicates();
    textFont.setFamilies(families);
    if (inEmojiFontAlone)
        textFont.setStyleStrategy(QFont::StyleStrategy(textFont.styleStrategy() | QFont::NoFontMerging));
    return textFont;
}

QTextCharFormat emojiFormat(QTextCharFormat format, const QFont& textFont, bool inEmojiFontAlone)
{
    const QFont font = emojiFont(textFont, inEmojiFontAlone);
    format.setFontFamilies(font.families());
    if (inEmojiFontAlone)
        format.setFontStyleStrategy(font.styleStrategy());
    return format;
}

} // namespace richtext
