// What each key sends: the terminfo entry the shell's programs read (infocmp), the control and
// Meta forms, AltGr, and the view's own commands.
#include "terminal/view/KeyMapping.h"

#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <map>

namespace terminal {
namespace {

using Action = KeyResult::Action;
constexpr Qt::KeyboardModifiers none = Qt::NoModifier;
constexpr auto shift = Qt::ShiftModifier;
constexpr auto ctrl = Qt::ControlModifier;
constexpr auto alt = Qt::AltModifier;
constexpr auto keypad = Qt::KeypadModifier;

// The capabilities of a terminfo entry, escapes decoded: \E, ^X, \\ and octal.
std::map<std::string, std::string> terminfo(const QString& name)
{
    QProcess infocmp;
    infocmp.start(QStringLiteral("infocmp"), {QStringLiteral("-1"), QStringLiteral("-x"), name});
    if (!infocmp.waitForFinished(10000) || infocmp.exitCode() != 0)
        return {};
    std::map<std::string, std::string> caps;
    static const QRegularExpression entry(QStringLiteral("^\\s+([A-Za-z0-9]+)=(.*),$"));
    for (const QString& line : QString::fromUtf8(infocmp.readAllStandardOutput()).split(u'\n')) {
        const auto match = entry.match(line);
        if (!match.hasMatch())
            continue;
        const std::string raw = match.captured(2).toStdString();
        std::string value;
        for (std::size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] == '\\' && i + 1 < raw.size()) {
                const char c = raw[++i];
                if (c == 'E' || c == 'e')
                    value += '\x1b';
                else if (c >= '0' && c <= '7') {
                    value += static_cast<char>(std::stoi(raw.substr(i, 3), nullptr, 8));
                    i += 2;
                } else
                    value += c;
            } else if (raw[i] == '^' && i + 1 < raw.size()) {
                const char c = raw[++i];
                value += c == '?' ? '\x7f' : static_cast<char>(c & 0x1f);
            } else
                value += raw[i];
        }
        caps[match.captured(1).toStdString()] = value;
    }
    return caps;
}

std::string bytes(int key, Qt::KeyboardModifiers modifiers, const KeyModes& modes, const QString& text = {})
{
    const KeyResult result = mapKey({key, modifiers, text}, modes);
    return result.action == Action::send ? result.bytes : "<" + std::to_string(int(result.action)) + ">";
}

TEST(KeyMapping, EveryKeyOfTheTerminfoEntrySendsItsSequence)
{
    const auto caps = terminfo(QStringLiteral("xterm-256color"));
    if (caps.empty())
        GTEST_SKIP() << "infocmp is not installed (ncurses-bin)";
    // Programs switch the keypad on (smkx) before they read these, on the alternate screen (the
    // normal screen's shifted editing keys are the next test's); the table is for that state.
    ASSERT_EQ(caps.at("smkx"), "\x1b[?1h\x1b=");
    const KeyModes transmit{true, true, false, true, true};

    struct Key {
        int key;
        const char* cap;
    };
    // Keys with the xterm modifier forms: the plain name, then Shift (the capital-letter name),
    // Alt (3), Alt+Shift (4), Ctrl (5), Ctrl+Shift (6) and Ctrl+Alt (7).
    const Key modified[] = {{Qt::Key_Up, "UP"},      {Qt::Key_Down, "DN"},       {Qt::Key_Left, "LFT"},
                            {Qt::Key_Right, "RIT"},  {Qt::Key_Home, "HOM"},      {Qt::Key_End, "END"},
                            {Qt::Key_Delete, "DC"},  {Qt::Key_Insert, "IC"}};
    const std::pair<Qt::KeyboardModifiers, const char*> levels[] = {
        {shift, ""}, {alt, "3"}, {alt | shift, "4"}, {ctrl, "5"}, {ctrl | shift, "6"}, {ctrl | alt, "7"}};
    int compared = 0;
    for (const Key& k : modified)
        for (const auto& [modifiers, suffix] : levels) {
            const std::string cap = std::string("k") + k.cap + suffix;
            // Shift+Insert pastes the primary selection instead.
            if (!caps.count(cap) || (k.key == Qt::Key_Insert && modifiers == shift))
                continue;
            EXPECT_EQ(bytes(k.key, modifiers, transmit), caps.at(cap)) << cap;
            ++compared;
        }

    const std::pair<const char*, KeyInput> plain[] = {
        {"kcuu1", {Qt::Key_Up, none, {}}},         {"kcud1", {Qt::Key_Down, none, {}}},
        {"kcub1", {Qt::Key_Left, none, {}}},       {"kcuf1", {Qt::Key_Right, none, {}}},
        {"khome", {Qt::Key_Home, none, {}}},       {"kend", {Qt::Key_End, none, {}}},
        {"kich1", {Qt::Key_Insert, none, {}}},     {"kdch1", {Qt::Key_Delete, none, {}}},
        {"kbs", {Qt::Key_Backspace, none, "\b"}},  {"kcbt", {Qt::Key_Backtab, shift, {}}},
        {"kent", {Qt::Key_Enter, keypad, "\r"}},   {"kbeg", {Qt::Key_Clear, none, {}}},
        {"ka1", {Qt::Key_Home, keypad, {}}},       {"ka3", {Qt::Key_PageUp, keypad, {}}},
        {"kb2", {Qt::Key_Clear, keypad, {}}},      {"kc1", {Qt::Key_End, keypad, {}}},
        {"kc3", {Qt::Key_PageDown, keypad, {}}},   {"kri", {Qt::Key_Up, shift, {}}},
        {"kind", {Qt::Key_Down, shift, {}}},
    };
    for (const auto& [cap, input] : plain) {
        const KeyResult result = mapKey(input, transmit);
        EXPECT_EQ(result.bytes, caps.at(cap)) << cap;
        ++compared;
    }
    // F1 to F12, and with Shift, Ctrl, Ctrl+Shift, Alt and Alt+Shift: kf13 to kf63.
    const Qt::KeyboardModifiers fLevels[] = {none, shift, ctrl, ctrl | shift, alt, alt | shift};
    for (int level = 0; level < 6; ++level)
        for (int f = 0; f < 12; ++f) {
            const std::string cap = "kf" + std::to_string(level * 12 + f + 1);
            if (!caps.count(cap))
                continue;
            EXPECT_EQ(bytes(Qt::Key_F1 + f, fLevels[level], transmit), caps.at(cap)) << cap;
            ++compared;
        }
    EXPECT_GE(compared, 125);
    // Page keys are the view's, also with a modifier (see the view's tests): it scrolls on the
    // normal screen and sends kpp and knp on the other.
    EXPECT_EQ(mapKey({Qt::Key_PageUp, none, {}}, transmit).action, Action::pageUp);
    EXPECT_EQ(caps.at("kpp"), "\x1b[5~");
    EXPECT_EQ(caps.at("knp"), "\x1b[6~");
}

TEST(KeyMapping, NormalModesControlMetaAndAltGr)
{
    const KeyModes normal;
    const KeyModes keypadOn{false, true, false, true};
    struct Case {
        KeyInput input;
        KeyModes modes;
        std::string expected;
    };
    const Case cases[] = {
        {{Qt::Key_Up, none, {}}, normal, "\x1b[A"},
        {{Qt::Key_Home, none, {}}, normal, "\x1b[H"},
        {{Qt::Key_Left, ctrl, {}}, normal, "\x1b[1;5D"},
        {{Qt::Key_C, ctrl, "\x03"}, normal, "\x03"},
        {{Qt::Key_Space, ctrl, " "}, normal, std::string(1, '\0')},
        {{Qt::Key_6, ctrl, "6"}, normal, "\x1e"},
        {{Qt::Key_AsciiCircum, ctrl | shift, "^"}, normal, "\x1e"},
        {{Qt::Key_BracketLeft, ctrl, "\x1b"}, normal, "\x1b"},
        {{Qt::Key_Underscore, ctrl | shift, "_"}, normal, "\x1f"},
        {{Qt::Key_1, ctrl, "1"}, normal, "<0>"},
        {{Qt::Key_R, ctrl, "\x12"}, normal, "\x12"},
        {{Qt::Key_W, ctrl, "\x17"}, normal, "\x17"},
        {{Qt::Key_B, alt, "b"}, normal, "\x1b" "b"},
        {{Qt::Key_B, alt | shift, "B"}, normal, "\x1b" "B"},
        {{Qt::Key_B, alt, "b"}, KeyModes{false, false, false, false}, "b"},
        {{Qt::Key_X, ctrl | alt, "\x18"}, normal, "\x1b\x18"},
        {{Qt::Key_Backspace, alt, "\b"}, normal, "\x1b\x7f"},
        {{Qt::Key_Backspace, ctrl, "\b"}, normal, "\x08"},
        {{Qt::Key_Backspace, none, "\b"}, KeyModes{false, false, true, true}, "\x08"},
        {{Qt::Key_Delete, none, "\x7f"}, normal, "\x1b[3~"},
        {{Qt::Key_Tab, none, "\t"}, normal, "\t"},
        {{Qt::Key_Return, none, "\r"}, normal, "\r"},
        {{Qt::Key_Escape, none, "\x1b"}, normal, "\x1b"},
        // AltGr: on X11 no modifier and the composed text; elsewhere Ctrl+Alt with it.
        {{Qt::Key_At, none, "@"}, normal, "@"},
        {{Qt::Key_Q, ctrl | alt, "@"}, normal, "@"},
        {{Qt::Key_BraceLeft, ctrl | alt, "{"}, normal, "{"},
        {{Qt::Key_Udiaeresis, none, "ü"}, normal, "ü"},
        {{Qt::Key_X, Qt::MetaModifier, "x"}, normal, "<0>"},
        // The keypad sends its digits unless the program switched it to application mode.
        {{Qt::Key_5, keypad, "5"}, normal, "5"},
        {{Qt::Key_5, keypad, "5"}, keypadOn, "\x1bOu"},
        {{Qt::Key_Plus, keypad, "+"}, keypadOn, "\x1bOk"},
        {{Qt::Key_Enter, keypad, "\r"}, normal, "\r"},
        {{Qt::Key_Plus, none, "+"}, keypadOn, "+"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(bytes(c.input.key, c.input.modifiers, c.modes, c.input.text), c.expected)
            << c.input.text.toStdString() << " key " << std::hex << c.input.key;

    EXPECT_EQ(mapKey({Qt::Key_C, ctrl | shift, "\x03"}, normal).action, Action::copy);
    EXPECT_EQ(mapKey({Qt::Key_V, ctrl | shift, "\x16"}, normal).action, Action::paste);
    EXPECT_EQ(mapKey({Qt::Key_Insert, shift, {}}, normal).action, Action::pastePrimary);
    EXPECT_EQ(mapKey({Qt::Key_PageDown, none, {}}, normal).action, Action::pageDown);
    EXPECT_EQ(mapKey({Qt::Key_Shift, shift, {}}, normal).action, Action::none);
}

// A shell on the normal screen binds none of xterm's editing keys with Shift and would keep their
// last letter ("Fecho" after Shift+End): Shift alone sends nothing for the cursor keys, Home and
// End, and forward delete plain; with Ctrl or Alt they send what they send without Shift. A
// full-screen program gets xterm's forms on the alternate screen.
TEST(KeyMapping, ShiftedEditingKeysSendXtermFormsOnlyOnTheAlternateScreen)
{
    struct Case {
        int key;
        Qt::KeyboardModifiers modifiers;
        std::string normalScreen;
        std::string alternateScreen;
    };
    const Case cases[] = {
        {Qt::Key_Up, shift, "<0>", "\x1b[1;2A"},
        {Qt::Key_Down, shift, "<0>", "\x1b[1;2B"},
        {Qt::Key_Right, shift, "<0>", "\x1b[1;2C"},
        {Qt::Key_Left, shift, "<0>", "\x1b[1;2D"},
        {Qt::Key_Home, shift, "<0>", "\x1b[1;2H"},
        {Qt::Key_End, shift, "<0>", "\x1b[1;2F"},
        {Qt::Key_Delete, shift, "\x1b[3~", "\x1b[3;2~"},
        // The keypad's keys without Num Lock are the same keys.
        {Qt::Key_End, shift | keypad, "<0>", "\x1b[1;2F"},
        {Qt::Key_Left, ctrl | shift, "\x1b[1;5D", "\x1b[1;6D"},
        {Qt::Key_Up, ctrl | shift, "\x1b[1;5A", "\x1b[1;6A"},
        {Qt::Key_Home, alt | shift, "\x1b[1;3H", "\x1b[1;4H"},
        {Qt::Key_Right, ctrl | alt | shift, "\x1b[1;7C", "\x1b[1;8C"},
        {Qt::Key_Delete, ctrl | shift, "\x1b[3;5~", "\x1b[3;6~"},
        {Qt::Key_Delete, ctrl, "\x1b[3;5~", "\x1b[3;5~"},
        {Qt::Key_End, none, "\x1b[F", "\x1b[F"},
        {Qt::Key_F5, shift, "\x1b[15;2~", "\x1b[15;2~"},
    };
    KeyModes normal;
    KeyModes alternate;
    alternate.alternateScreen = true;
    for (const Case& c : cases) {
        EXPECT_EQ(bytes(c.key, c.modifiers, normal), c.normalScreen) << std::hex << c.key << " " << c.modifiers;
        EXPECT_EQ(bytes(c.key, c.modifiers, alternate), c.alternateScreen) << std::hex << c.key << " " << c.modifiers;
    }
    // Under DECCKM the plain keys take their SS3 forms, the shifted ones still nothing.
    KeyModes application;
    application.applicationCursor = true;
    EXPECT_EQ(bytes(Qt::Key_Up, none, application), "\x1bOA");
    EXPECT_EQ(bytes(Qt::Key_Up, shift, application), "<0>");
    EXPECT_EQ(bytes(Qt::Key_Up, ctrl | shift, application), "\x1b[1;5A");
}

} // namespace
} // namespace terminal
