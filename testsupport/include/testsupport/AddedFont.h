#pragma once

#include <QFontDatabase>
#include <QString>

namespace testsupport {

// Font files of desktop packages that tests add to the DejaVu faces the GUI test mains pin.
inline const QString colourEmojiFontFile = QStringLiteral("/usr/share/fonts/truetype/noto/NotoColorEmoji.ttf"); // fonts-noto-color-emoji
inline const QString symbolsFontFile = QStringLiteral("/usr/share/fonts/truetype/noto/NotoSansSymbols2-Regular.ttf"); // fonts-noto-core
inline const QString notoMonoFontFile = QStringLiteral("/usr/share/fonts/truetype/noto/NotoSansMono-Regular.ttf"); // fonts-noto-mono

// A font file added to the fonts the test sees for as long as this lives. A test that needs it
// skips when it is missing: `if (!font.isAdded()) GTEST_SKIP() << ...`.
class AddedFont {
public:
    explicit AddedFont(const QString& path) : m_id(QFontDatabase::addApplicationFont(path)) {}
    ~AddedFont()
    {
        if (m_id >= 0)
            QFontDatabase::removeApplicationFont(m_id);
    }
    AddedFont(const AddedFont&) = delete;
    AddedFont& operator=(const AddedFont&) = delete;

    bool isAdded() const { return m_id >= 0; }

private:
    int m_id;
};

} // namespace testsupport
