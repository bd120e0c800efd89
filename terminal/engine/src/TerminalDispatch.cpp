// Which handler each control character and escape sequence reaches. A handler is registered for
// the exact form of its sequence (private marker and intermediates included); anything else
// reaches a fallback that only logs. The neighbours of built commands that are not built
// themselves are registered to log their names.
#include "TerminalCommands.h"

#include <cstdio>
#include <functional>

namespace terminal {

namespace {

using Id = SequenceId;

// Payload limits of the strings each command accepts; longer ones are dropped whole.
constexpr std::size_t titleLimit = 4 * 1024;
constexpr std::size_t paletteLimit = 16 * 1024;
constexpr std::size_t linkLimit = 8 * 1024;
constexpr std::size_t colorLimit = 4 * 1024;
constexpr std::size_t clipboardLimit = 1024 * 1024;
constexpr std::size_t inlineFileLimit = 8 * 1024 * 1024;
constexpr std::size_t statusRequestLimit = 64;
constexpr std::size_t sixelLimit = 16 * 1024 * 1024;

} // namespace

void TerminalCommands::install(EscapeSequenceParser& parser)
{
    parser.setPrintHandler([this](std::u32string_view text) { print(text); });
    parser.setAsciiHandler([this](std::string_view text) { printAscii(text); });

    const auto control = [&](std::uint8_t byte, void (TerminalCommands::*command)()) {
        parser.setExecuteHandler(byte, [this, command] { (this->*command)(); });
    };
    parser.setExecuteHandler(0x07, [this] {
        if (t_.delegate_)
            t_.delegate_->bell(t_);
    });
    control(0x08, &TerminalCommands::backspace);
    control(0x09, &TerminalCommands::tab);
    control(0x0A, &TerminalCommands::lineFeed);
    control(0x0B, &TerminalCommands::lineFeed);
    control(0x0C, &TerminalCommands::lineFeed);
    control(0x0D, &TerminalCommands::carriageReturn);
    parser.setExecuteHandler(0x0E, [this] { setgLevel(1); });
    parser.setExecuteHandler(0x0F, [this] { setgLevel(0); });
    control(0x84, &TerminalCommands::index);
    control(0x85, &TerminalCommands::nextLine);
    control(0x88, &TerminalCommands::tabSet);

    const auto csi = [&](Id id, void (TerminalCommands::*command)(const SequenceParams&)) {
        parser.setCsiHandler(id, [this, command](const SequenceParams& p) { (this->*command)(p); });
    };
    csi(Id::make('@'), &TerminalCommands::insertChars);
    csi(Id::make('A'), &TerminalCommands::cursorUp);
    csi(Id::make('B'), &TerminalCommands::cursorDown);
    parser.setCsiHandler(Id::make('C'), [this](const SequenceParams& p) { cursorForward(p[0]); });
    parser.setCsiHandler(Id::make('D'), [this](const SequenceParams& p) { cursorBackward(p[0]); });
    csi(Id::make('E'), &TerminalCommands::cursorNextLine);
    csi(Id::make('F'), &TerminalCommands::cursorPrecedingLine);
    csi(Id::make('G'), &TerminalCommands::cursorCharAbsolute);
    // Positions and colours are most of what full-screen programs write: called directly
    // rather than through a member pointer.
    parser.setCsiHandler(Id::make('H'), [this](const SequenceParams& p) { cursorPosition(p); });
    csi(Id::make('I'), &TerminalCommands::cursorForwardTab);
    csi(Id::make('J'), &TerminalCommands::eraseInDisplay);
    csi(Id::make('J', '?'), &TerminalCommands::eraseInDisplay);
    csi(Id::make('K'), &TerminalCommands::eraseInLine);
    csi(Id::make('K', '?'), &TerminalCommands::eraseInLine);
    csi(Id::make('L'), &TerminalCommands::insertLines);
    csi(Id::make('M'), &TerminalCommands::deleteLines);
    csi(Id::make('P'), &TerminalCommands::deleteChars);
    csi(Id::make('S'), &TerminalCommands::scrollUp);
    csi(Id::make('T'), &TerminalCommands::scrollDown);
    parser.setCsiHandler(Id::make('T', '>'), [this](const SequenceParams& p) { setTitleModes(p, false); });
    parser.setCsiHandler(Id::make('t', '>'), [this](const SequenceParams& p) { setTitleModes(p, true); });
    csi(Id::make('X'), &TerminalCommands::eraseChars);
    csi(Id::make('Z'), &TerminalCommands::cursorBackwardTab);
    csi(Id::make('`'), &TerminalCommands::charPosAbsolute);
    csi(Id::make('a'), &TerminalCommands::charPosRelative);
    csi(Id::make('b'), &TerminalCommands::repeatPreceding);
    csi(Id::make('d'), &TerminalCommands::linePosAbsolute);
    csi(Id::make('e'), &TerminalCommands::linePosRelative);
    csi(Id::make('f'), &TerminalCommands::cursorPosition);
    csi(Id::make('g'), &TerminalCommands::tabClear);
    parser.setCsiHandler(Id::make('h'), [this](const SequenceParams& p) { setModes(p, true, false); });
    parser.setCsiHandler(Id::make('l'), [this](const SequenceParams& p) { setModes(p, false, false); });
    parser.setCsiHandler(Id::make('h', '?'), [this](const SequenceParams& p) { setModes(p, true, true); });
    parser.setCsiHandler(Id::make('l', '?'), [this](const SequenceParams& p) { setModes(p, false, true); });
    parser.setCsiHandler(Id::make('m'), [this](const SequenceParams& p) { selectGraphicRendition(p); });
    csi(Id::make('q', 0, ' '), &TerminalCommands::setCursorStyle);
    csi(Id::make('r'), &TerminalCommands::setScrollRegion);
    csi(Id::make('s'), &TerminalCommands::saveCursorOrSetMargins);
    parser.setCsiHandler(Id::make('u'), [this](const SequenceParams&) { restoreCursor(); });
    csi(Id::make('y', 0, '*'), &TerminalCommands::requestChecksum);
    csi(Id::make('~', 0, '\''), &TerminalCommands::deleteColumns);
    parser.setCsiHandler(Id::make('p', 0, '!'), [this](const SequenceParams&) { softReset(); });
    csi(Id::make('p', 0, '"'), &TerminalCommands::setConformance);

    const auto esc = [&](Id id, std::function<void()> command) { parser.setEscHandler(id, std::move(command)); };
    esc(Id::make('6'), [this] { columnIndex(true); });
    esc(Id::make('7'), [this] { saveCursor(); });
    esc(Id::make('8'), [this] { restoreCursor(); });
    esc(Id::make('9'), [this] { columnIndex(false); });
    esc(Id::make('D'), [this] { index(); });
    esc(Id::make('E'), [this] { nextLine(); });
    esc(Id::make('H'), [this] { tabSet(); });
    esc(Id::make('M'), [this] { reverseIndex(); });
    esc(Id::make('='), [this] { t_.modes_.applicationKeypad = true; });
    esc(Id::make('>'), [this] { t_.modes_.applicationKeypad = false; });
    esc(Id::make('c'), [this] { t_.reset(); });
    esc(Id::make('n'), [this] { setgLevel(2); });
    esc(Id::make('o'), [this] { setgLevel(3); });
    // Shifts into the right half (GR): text is UTF-8, which has no right half to shift into.
    for (char final : {'|', '}', '~'})
        esc(Id::make(final), [] {});
    for (char final : {'@', 'G'}) {
        esc(Id::make(final, 0, '%'), [this] {
            t_.charsets_.invoke(0);
            t_.charsets_.designate(0, nullptr);
        });
    }
    esc(Id::make('G', 0, ' '), [this] { t_.cc_.send8bit = true; });
    esc(Id::make('F', 0, ' '), [this] { t_.cc_.send8bit = false; });
    for (char intermediate : std::string_view("()*+-./")) {
        const int slot = CharSets::slotOf(intermediate);
        for (char designator : charsetDesignators) {
            const CharsetTable* table = charsetFor(designator);
            esc(Id::make(designator, 0, intermediate), [this, slot, table] { t_.charsets_.designate(slot, table); });
        }
    }

    parser.setOscHandler(0, titleLimit, [this](std::string_view payload) { setTitle(payload, true, false); });
    parser.setOscHandler(1, titleLimit, [this](std::string_view payload) { setTitle(payload, false, true); });
    parser.setOscHandler(2, titleLimit, [this](std::string_view payload) { setTitle(payload, true, false); });
    parser.setOscHandler(4, paletteLimit, [this](std::string_view payload) { setPalette(payload); });
    parser.setOscHandler(52, clipboardLimit, [this](std::string_view payload) { copyToClipboard(payload); });
    parser.setOscHandler(112, colorLimit, [this](std::string_view) { t_.setCursorColor(std::nullopt); });

    // Reports, rectangles, line sizes, links, dynamic colours, notifications and images.
    parser.setCsiHandler(Id::make('c'), [this](const SequenceParams& p) { deviceAttributes(p, false); });
    parser.setCsiHandler(Id::make('c', '>'), [this](const SequenceParams& p) { deviceAttributes(p, true); });
    parser.setCsiHandler(Id::make('n'), [this](const SequenceParams& p) { deviceStatus(p, false); });
    parser.setCsiHandler(Id::make('n', '?'), [this](const SequenceParams& p) { deviceStatus(p, true); });
    parser.setCsiHandler(Id::make('p', 0, '$'), [this](const SequenceParams& p) { requestMode(p, false); });
    parser.setCsiHandler({'?', '$', 0, 'p'}, [this](const SequenceParams& p) { requestMode(p, true); });
    csi(Id::make('t'), &TerminalCommands::windowOptions);
    parser.setDcsHandler(Id::make('q', 0, '$'), statusRequestLimit, makeStatusRequestHandler(*this));

    csi(Id::make('v', 0, '$'), &TerminalCommands::copyRectangle);
    csi(Id::make('x', 0, '$'), &TerminalCommands::fillRectangle);
    csi(Id::make('z', 0, '$'), &TerminalCommands::eraseRectangle);
    csi(Id::make('{', 0, '$'), &TerminalCommands::selectiveEraseRectangle);
    csi(Id::make('}', 0, '\''), &TerminalCommands::insertColumns);
    using Mode = BufferLine::RenderLineMode;
    esc(Id::make('3', 0, '#'), [this] { setLineRenderMode(Mode::doubledTop); });
    esc(Id::make('4', 0, '#'), [this] { setLineRenderMode(Mode::doubledDown); });
    esc(Id::make('5', 0, '#'), [this] { setLineRenderMode(Mode::single); });
    esc(Id::make('6', 0, '#'), [this] { setLineRenderMode(Mode::doubleWidth); });
    esc(Id::make('8', 0, '#'), [this] { screenAlignmentPattern(); });
    for (const auto& entry : std::initializer_list<std::pair<Id, const char*>>{
             {Id::make('c', '='), "Tertiary device attributes (CSI = c)"},
             {Id::make('z', 0, '\''), "Locator reporting (DECELR)"},
             {Id::make('{', 0, '#'), "Pushing the rendition (XTPUSHSGR)"},
             {Id::make('}', 0, '#'), "Popping the rendition (XTPOPSGR)"},
         })
        parser.setCsiHandler(entry.first, [this, name = entry.second](const SequenceParams& p) { logNotBuilt(name, p); });
    parser.setOscHandler(6, linkLimit, [this](std::string_view payload) { setHostLocation(payload, false); });
    parser.setOscHandler(7, linkLimit, [this](std::string_view payload) { setHostLocation(payload, true); });
    for (int first : {0, 1, 2})
        parser.setOscHandler(10 + first, colorLimit, [this, first](std::string_view payload) { setDynamicColors(payload, first); });
    parser.setOscHandler(104, colorLimit, [this](std::string_view payload) { resetColors(payload); });
    parser.setOscHandler(777, titleLimit, [this](std::string_view payload) { notification(payload); });
    parser.setOscHandler(1337, inlineFileLimit, [this](std::string_view payload) { inlineFile(payload); });
    parser.setOscHandler(8, linkLimit, [this](std::string_view payload) { setHyperlink(payload); });
    parser.setDcsHandler(Id::make('q'), sixelLimit, makeSixelHandler(*this));

    parser.setCsiFallback([this](Id id, const SequenceParams& p) {
        log([&] { return "Unknown CSI sequence: " + id.describe() + " " + p.describe(); });
    });
    parser.setEscFallback([this](Id id) { log([&] { return "Unknown ESC sequence: " + id.describe(); }); });
    parser.setOscFallback([this](int id, std::string_view problem) {
        log([&] { return "OSC " + std::to_string(id) + " ignored: " + std::string(problem); });
    });
    parser.setDcsFallback([this](Id id, std::string_view problem) {
        log([&] { return "DCS " + id.describe() + " ignored: " + std::string(problem); });
    });
    parser.setErrorHandler([this](EscapeSequenceParser::State state, std::uint8_t byte) {
        log([&] {
            char text[64];
            std::snprintf(text, sizeof text, "Byte 0x%02X broke off a sequence (parser state %d)", byte, static_cast<int>(state));
            return std::string(text);
        });
    });
}

} // namespace terminal
