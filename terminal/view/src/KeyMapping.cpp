#include "terminal/view/KeyMapping.h"

#include <optional>

namespace terminal {
namespace {

using Action = KeyResult::Action;

KeyResult send(std::string bytes)
{
    return {Action::send, std::move(bytes)};
}

// xterm's modifier parameter: 1 plus Shift 1, Alt 2, Ctrl 4.
int modifierParameter(Qt::KeyboardModifiers modifiers)
{
    int m = 1;
    if (modifiers & Qt::ShiftModifier)
        m += 1;
    if (modifiers & Qt::AltModifier)
        m += 2;
    if (modifiers & Qt::ControlModifier)
        m += 4;
    return m;
}

// A key with a final letter: CSI X or SS3 X plain, CSI 1;m X modified.
std::string letterKey(char final, int m, bool ss3)
{
    if (m > 1)
        return "\x1b[1;" + std::to_string(m) + final;
    return std::string(ss3 ? "\x1bO" : "\x1b[") + final;
}

// A key with a number: CSI n ~, or CSI n;m ~.
std::string tildeKey(int number, int m)
{
    if (m > 1)
        return "\x1b[" + std::to_string(number) + ';' + std::to_string(m) + '~';
    return "\x1b[" + std::to_string(number) + '~';
}

std::optional<std::string> specialKey(int key, int m, const KeyModes& modes)
{
    const bool app = modes.applicationCursor;
    switch (key) {
    case Qt::Key_Up:
        return letterKey('A', m, app);
    case Qt::Key_Down:
        return letterKey('B', m, app);
    case Qt::Key_Right:
        return letterKey('C', m, app);
    case Qt::Key_Left:
        return letterKey('D', m, app);
    case Qt::Key_Clear: // the keypad's middle key without Num Lock
        return letterKey('E', m, app);
    case Qt::Key_Home:
        return letterKey('H', m, app);
    case Qt::Key_End:
        return letterKey('F', m, app);
    case Qt::Key_Insert:
        return tildeKey(2, m);
    case Qt::Key_Delete:
        return tildeKey(3, m);
    case Qt::Key_F1:
    case Qt::Key_F2:
    case Qt::Key_F3:
    case Qt::Key_F4:
        return letterKey(static_cast<char>('P' + (key - Qt::Key_F1)), m, true);
    default:
        break;
    }
    static constexpr int fNumbers[] = {15, 17, 18, 19, 20, 21, 23, 24}; // F5 to F12
    if (key >= Qt::Key_F5 && key <= Qt::Key_F12)
        return tildeKey(fNumbers[key - Qt::Key_F5], m);
    return std::nullopt;
}

// The keys a line editor moves and deletes with: the cursor keys, Home, End and Delete.
bool isEditingKey(int key)
{
    switch (key) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_Delete:
        return true;
    default:
        return false;
    }
}

// The keypad under DECKPAM: SS3 and a letter for each key.
std::optional<std::string> applicationKeypadKey(int key)
{
    char final = 0;
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        final = static_cast<char>('p' + (key - Qt::Key_0));
    else {
        switch (key) {
        case Qt::Key_Asterisk: final = 'j'; break;
        case Qt::Key_Plus: final = 'k'; break;
        case Qt::Key_Comma: final = 'l'; break;
        case Qt::Key_Minus: final = 'm'; break;
        case Qt::Key_Period: final = 'n'; break;
        case Qt::Key_Slash: final = 'o'; break;
        case Qt::Key_Equal: final = 'X'; break;
        case Qt::Key_Enter: final = 'M'; break;
        // Without Num Lock: the corners and the middle of the keypad.
        case Qt::Key_Home: final = 'w'; break;
        case Qt::Key_PageUp: final = 'y'; break;
        case Qt::Key_Clear: final = 'u'; break;
        case Qt::Key_End: final = 'q'; break;
        case Qt::Key_PageDown: final = 's'; break;
        default: return std::nullopt;
        }
    }
    return std::string("\x1bO") + final;
}

// The control byte of a key held with Ctrl, by its key: letters, the brackets, backslash,
// caret (and 6), underscore and space.
std::optional<char> controlByte(int key)
{
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return static_cast<char>(key - Qt::Key_A + 1);
    switch (key) {
    case Qt::Key_Space: return '\0';
    case Qt::Key_BracketLeft: return '\x1b';
    case Qt::Key_Backslash: return '\x1c';
    case Qt::Key_BracketRight: return '\x1d';
    case Qt::Key_AsciiCircum:
    case Qt::Key_6: return '\x1e';
    case Qt::Key_Underscore: return '\x1f';
    default: return std::nullopt;
    }
}

bool isPrintable(const QString& text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return false;
    return true;
}

} // namespace

KeyResult mapKey(const KeyInput& input, const KeyModes& modes)
{
    const Qt::KeyboardModifiers mods = input.modifiers;
    const bool shift = mods & Qt::ShiftModifier;
    const bool ctrl = mods & Qt::ControlModifier;
    const bool alt = mods & Qt::AltModifier;
    const int key = input.key;

    if (ctrl && shift && !alt && key == Qt::Key_C)
        return {Action::copy, {}};
    if (ctrl && shift && !alt && key == Qt::Key_V)
        return {Action::paste, {}};
    if (shift && !ctrl && !alt && key == Qt::Key_Insert)
        return {Action::pastePrimary, {}};

    // The Super key belongs to the desktop and the application's shortcuts.
    if (mods & Qt::MetaModifier)
        return {};
    // AltGr on some systems arrives as Ctrl+Alt with the composed character as text (Ctrl+Alt+Q
    // giving "@"); Ctrl+Alt with a letter gives a control byte or the letter itself.
    if (ctrl && alt && isPrintable(input.text) &&
        !(input.text.size() == 1 && input.text.front().isLetter() && input.text.front().toUpper().unicode() == key))
        return send(input.text.toStdString());

    const std::string escape = alt && modes.altSendsEscape ? "\x1b" : "";

    if ((mods & Qt::KeypadModifier) && modes.applicationKeypad)
        if (auto bytes = applicationKeypadKey(key))
            return send(*bytes);

    // A shell reads the normal screen's keys and binds none of xterm's editing forms with Shift
    // in them: it would leave their last letter on its line. There Shift alone sends nothing
    // with the cursor keys, Home and End, and adds nothing to the other modifiers or to Delete.
    // Full-screen programs read the forms with Shift on the alternate screen (editors select
    // with Shift and the arrows).
    const bool shellEditing = shift && !modes.alternateScreen && isEditingKey(key);
    if (shellEditing && !ctrl && !alt && key != Qt::Key_Delete)
        return {};
    const int m = modifierParameter(shellEditing ? mods & ~Qt::ShiftModifier : mods);

    if (key == Qt::Key_PageUp || key == Qt::Key_PageDown) {
        // Tried in the order of the other keys: Alt as Meta is ESC before the key's own
        // sequence; Ctrl has no control byte for a page key, so nothing goes out (the view
        // still returns to the caret); otherwise, Shift or not, the view pages through its
        // scroll-back, or the program gets the key on the alternate screen. The xterm forms
        // with a modifier (CSI 5;2~) would be typed into a shell's line as junk.
        const bool up = key == Qt::Key_PageUp;
        if (alt && modes.altSendsEscape)
            return send(std::string("\x1b") + tildeKey(up ? 5 : 6, 1));
        if (ctrl)
            return send({});
        return {up ? Action::pageUp : Action::pageDown, {}};
    }
    if (auto bytes = specialKey(key, m, modes))
        return send(*bytes);

    switch (key) {
    case Qt::Key_Backspace:
        return send(escape + (ctrl || modes.backspaceSendsControlH ? "\x08" : "\x7f"));
    case Qt::Key_Tab:
        return send(shift ? std::string("\x1b[Z") : escape + "\t");
    case Qt::Key_Backtab:
        return send("\x1b[Z");
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return send(escape + "\r");
    case Qt::Key_Escape:
        return send(escape + "\x1b");
    default:
        break;
    }

    if (ctrl) {
        if (auto byte = controlByte(key))
            return send(escape + *byte);
        return {};
    }
    if (input.text.isEmpty() || !isPrintable(input.text))
        return {};
    return send(escape + input.text.toStdString());
}

} // namespace terminal
