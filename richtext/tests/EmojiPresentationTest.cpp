#include "richtext/EmojiPresentation.h"

#include "testsupport/QtPrinting.h"

#include <unicode/uchar.h>
#include <unicode/uset.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using namespace richtext;

namespace {

QStringList clustersOf(const QString& text)
{
    QStringList found;
    for (const TextSpan& span : emojiClusters(text))
        found.push_back(text.sliced(span.start, span.length));
    return found;
}

QString u8(const char* text)
{
    return QString::fromUtf8(text);
}

} // namespace

// Which clusters are drawn as emoji, by the rules of emoji presentation.
TEST(EmojiPresentation, FindsTheClustersUnicodeDrawsAsEmoji)
{
    const struct {
        const char* name;
        QString text;
        QStringList emoji;
    } cases[] = {
        {"the issue's line", u8("😀 ❤️ 👍 👍🏽 1️⃣ 🇩🇪 © ™"), {u8("😀"), u8("❤️"), u8("👍"), u8("👍🏽"), u8("1️⃣"), u8("🇩🇪")}},
        {"text by default", u8("© ™ ↔ 1 # * ❤ ☺ x"), {}},
        {"text made emoji by U+FE0F", u8("©️ ↔️ ❤️x"), {u8("©️"), u8("↔️"), u8("❤️")}},
        {"keycaps with and without U+FE0F", u8("#️⃣ *⃣ 10"), {u8("#️⃣"), u8("*⃣")}},
        {"emoji made text by U+FE0E", u8("😀︎ 👍︎"), {}},
        {"a skin tone on a base that is text by default", u8("✌🏽"), {u8("✌🏽")}},
        {"a skin tone alone, and after a letter or a sign", u8("🏽 a🏽 ©🏽"), {u8("🏽"), u8("🏽"), u8("🏽")}},
        {"ZWJ sequences, with and without U+FE0F", u8("❤️‍🔥 ❤‍🔥 🏳️‍🌈"), {u8("❤️‍🔥"), u8("❤‍🔥"), u8("🏳️‍🌈")}},
        {"a joiner after a letter joins nothing", u8("x‍👩"), {u8("👩")}},
        {"flags: pairs of regional indicators, a tag sequence", u8("🇩🇪🇫 🏴󠁧󠁢󠁳󠁣󠁴󠁿"), {u8("🇩🇪"), u8("🇫"), u8("🏴󠁧󠁢󠁳󠁣󠁴󠁿")}},
        {"neighbours without a space", u8("👨‍👩‍👧👨‍👩‍👧😀"), {u8("👨‍👩‍👧"), u8("👨‍👩‍👧"), u8("😀")}},
        {"other scripts and marks", u8("é 日本 שלום"), {}},
        {"a lone surrogate", QString(QChar(0xD83D)) + u8(" 😀"), {u8("😀")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(clustersOf(c.text), c.emoji);
    }
    EXPECT_TRUE(emojiClusters(QStringView()).empty());
}

// Every emoji of Unicode's recommended set (ICU's RGI_Emoji: single characters, presentation and
// keycap sequences, flags, modifier, tag and ZWJ sequences) is one cluster drawn as emoji, alone
// and between words.
TEST(EmojiPresentation, EveryRecommendedEmojiIsOneCluster)
{
    UErrorCode status = U_ZERO_ERROR;
    const std::unique_ptr<USet, decltype(&uset_close)> set(uset_openEmpty(), uset_close);
    uset_applyIntPropertyValue(set.get(), UCHAR_RGI_EMOJI, 1, &status);
    ASSERT_TRUE(U_SUCCESS(status)) << u_errorName(status);
    int checked = 0;
    const auto check = [&checked](const QString& emoji) {
        ++checked;
        ASSERT_EQ(clustersOf(emoji), QStringList{emoji}) << emoji.toStdString();
        ASSERT_EQ(clustersOf(QStringLiteral("a ") + emoji + QStringLiteral(" b")), QStringList{emoji}) << emoji.toStdString();
    };
    for (int32_t i = 0; i < uset_getItemCount(set.get()); ++i) {
        UChar32 first = 0;
        UChar32 last = 0;
        UChar string[64];
        const int32_t length = uset_getItem(set.get(), i, &first, &last, string, 64, &status);
        ASSERT_TRUE(U_SUCCESS(status)) << u_errorName(status);
        if (length > 0) {
            check(QString(reinterpret_cast<const QChar*>(string), length));
        } else {
            for (UChar32 c = first; c <= last; ++c)
                check(QString::fromUcs4(reinterpret_cast<const char32_t*>(&c), 1));
        }
    }
    EXPECT_GT(checked, 3'000);
}

// A cluster of more code points than any emoji sequence has is laid out as its pieces: its
// joiners, and only its, become zero width spaces; a recommended sequence, however long, and a
// cluster the text only continues the end of, stay whole unless the part before makes them long.
TEST(EmojiPresentation, AClusterTooLongToBeOnePictureIsPartedAtItsJoiners)
{
    const QString man = u8("👨");
    const QString joiner(QChar(0x200D));
    const auto chain = [&](int members) {
        QStringList pieces;
        for (int i = 0; i < members; ++i)
            pieces.push_back(man);
        return pieces.join(joiner);
    };
    const QString kiss = u8("👩🏽‍❤️‍💋‍👨🏿"); // ten code points
    const QString longest = chain(16);      // 31 code points: still one cluster to draw
    const QString tooLong = chain(17);      // 33
    const QString text = kiss + QStringLiteral(" ") + longest + QStringLiteral(" ") + tooLong + QStringLiteral(" ") + kiss;
    const qsizetype tooLongAt = text.indexOf(tooLong);
    std::vector<qsizetype> expected;
    for (qsizetype i = tooLongAt; i < tooLongAt + tooLong.size(); ++i) {
        if (text[i] == joiner[0])
            expected.push_back(i);
    }
    EXPECT_EQ(expected.size(), 16u);
    EXPECT_EQ(overlongClusterJoiners(text), expected);
    EXPECT_TRUE(overlongClusterJoiners(longest).empty());
    EXPECT_EQ(overlongClusterJoiners(longest, 2).size(), 15u) << "a cluster begun before the text";
    EXPECT_TRUE(overlongClusterJoiners(QStringLiteral("x ") + longest, 2).empty()) << "only the first cluster continues";
    EXPECT_TRUE(overlongClusterJoiners(QStringView()).empty());

    const QString parted = partedForLayout(text);
    ASSERT_EQ(parted.size(), text.size());
    for (qsizetype i = 0; i < text.size(); ++i)
        EXPECT_EQ(parted[i], std::find(expected.begin(), expected.end(), i) != expected.end() ? QChar(0x200B) : text[i]) << i;
    // Each man of the parted cluster is an emoji of its own; the kisses stay one each.
    EXPECT_EQ(clustersOf(parted).count(man), 17 + 0);
    EXPECT_EQ(clustersOf(parted).count(kiss), 2);
}
