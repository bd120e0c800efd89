#pragma once

#include <QString>
#include <Qt>

#include <string>

namespace terminal {

// One key press as the view receives it.
struct KeyInput {
    int key = 0; // Qt::Key
    Qt::KeyboardModifiers modifiers;
    QString text;
};

// The terminal's state that changes what a key sends.
struct KeyModes {
    bool applicationCursor = false; // DECCKM: SS3 forms of the cursor keys, Home and End
    bool applicationKeypad = false; // DECKPAM: SS3 forms of the keypad
    bool backspaceSendsControlH = false;
    bool altSendsEscape = true; // Alt is Meta: ESC before the key's text
    bool alternateScreen = false; // a full-screen program's screen
};

// What a key does: bytes for the program, or one of the view's own commands.
struct KeyResult {
    enum class Action { none, send, pageUp, pageDown, copy, paste, pastePrimary };
    Action action = Action::none;
    std::string bytes;

    friend bool operator==(const KeyResult&, const KeyResult&) = default;
};

// Maps a key by its Qt::Key first and its text only after: the xterm forms (with the modifier
// parameter of CSI 1;m A, CSI 3;m ~ and the like), the keypad under DECKPAM, control bytes, Alt
// as an ESC prefix. The forms with Shift are for the alternate screen only: on the normal screen
// Shift alone makes the cursor keys, Home and End send nothing and Delete its plain form, and
// with Ctrl or Alt these keys send what they send without Shift. AltGr (reported as no modifier,
// or as Ctrl+Alt with printable text) sends its text. Ctrl+Shift+C and Ctrl+Shift+V copy and
// paste; Shift+Insert pastes the primary selection. Page Up and Page Down page the view (pageUp,
// pageDown), also with Shift; with Alt as Meta they send ESC and the key's sequence, with Ctrl
// nothing.
KeyResult mapKey(const KeyInput& input, const KeyModes& modes);

} // namespace terminal
