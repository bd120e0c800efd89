#pragma once

#include "terminal/Buffer.h"
#include "terminal/CharSets.h"
#include "terminal/Color.h"
#include "terminal/EscapeSequenceParser.h"
#include "terminal/EscapeSequences.h"
#include "terminal/Hyperlink.h"
#include "terminal/MouseEvent.h"
#include "terminal/TerminalDelegate.h"
#include "terminal/TerminalOptions.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace terminal {

class TerminalCommands;

// A terminal: the bytes a program writes go in through feed(); the screens (a normal buffer
// with scroll-back and an alternate one), the cursor, the modes and the colours come out, and
// everything else that leaves (replies, titles, bells, ...) goes through the delegate. No
// threads and no locks: use it from one thread.
//
//     Terminal terminal(&host, options);      // host implements TerminalDelegate::send
//     terminal.feed(bytesFromTheProgram);
//     terminal.buffer().screenLine(row)        // the active screen; getLine(row) for the view
class Terminal {
public:
    enum class MouseMode { off, x10, vt200, buttonEventTracking, anyEvent };
    enum class MouseProtocolEncoding { x10, utf8, sgr, urxvt, sgrPixel };
    // Whether a mouse mode reports motion with no button held, and the modifier keys.
    static constexpr bool sendMotionEvent(MouseMode mode) { return mode == MouseMode::anyEvent; }
    static constexpr bool sendsModifiers(MouseMode mode) { return mode != MouseMode::off && mode != MouseMode::x10; }
    enum class Conformance { vt100, vt200, vt300, vt400, vt500 };
    enum class BufferKind { active, normal, alt };

    // The modes programs switch (SM/RM, DECSET/DECRST and a few escape sequences).
    struct Modes {
        bool applicationCursor = false;
        bool applicationKeypad = false;
        bool sendFocus = false;
        bool cursorHidden = false;
        bool originMode = false;
        bool marginMode = false;
        bool insertMode = false;
        bool wraparound = true;
        bool reverseWraparound = false;
        bool bracketedPasteMode = false;
        bool cursorBlink = false;
        bool allow80To132 = true;
        bool smoothScroll = false;
        bool lineFeedMode = false;
        // The whole screen is shown in reverse video (the view swaps the colours).
        bool reverseVideo = false;
        MouseMode mouseMode = MouseMode::off;
        MouseProtocolEncoding mouseProtocol = MouseProtocolEncoding::x10;

        friend bool operator==(const Modes&, const Modes&) = default;
    };

    // How titles are set and reported (CSI > T, CSI > t).
    struct TitleModes {
        bool setHex = false;
        bool queryHex = false;
        bool setUtf = false;
        bool queryUtf = false;
    };

    // The delegate may be null (everything that would leave is dropped); it must outlive the
    // terminal. Sizes in the options are clamped to the limits of TerminalOptions.
    explicit Terminal(TerminalDelegate* delegate, const TerminalOptions& options = TerminalOptions::defaultOptions());
    ~Terminal();
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    // Output of the program. Sequences and characters may be split anywhere between feeds.
    void feed(std::span<const std::uint8_t> bytes);
    void feed(std::string_view bytes);

    int cols() const { return cols_; }
    int rows() const { return rows_; }
    const TerminalOptions& options() const { return options_; }
    // Replaces the options and applies them: the size, and the modes, character sets, current
    // attribute, scroll region and margins back to their start.
    void setOptions(const TerminalOptions& options);
    // A new size (clamped); both buffers follow, the normal one re-wrapping its text.
    void resize(int cols, int rows);
    // RIS: everything back to the start, the scroll-back dropped (the cursor stays hidden if it was).
    void reset();
    // DECSTR: modes, scroll region, attribute, character sets and palette back to their start.
    void softReset();
    // A line feed: down one row, or the region scrolls at its bottom.
    void lineFeed();

    Buffer& buffer() { return *buffer_; }
    const Buffer& buffer() const { return *buffer_; }
    Buffer& normalBuffer() { return *normal_; }
    const Buffer& normalBuffer() const { return *normal_; }
    Buffer& altBuffer() { return *alt_; }
    const Buffer& altBuffer() const { return *alt_; }
    bool isCurrentBufferAlternate() const { return buffer_ == alt_.get(); }
    CellTables& tables() { return *tables_; }
    const CellTables& tables() const { return *tables_; }

    // The row shown at screen row `row` (counted from yDisp); null outside the screen.
    const BufferLine* getLine(int row) const;
    // A row counted from the first row ever kept (scrolling does not move it); null when gone.
    const BufferLine* getScrollInvariantLine(int row) const;
    // The cell shown at a screen position; null outside the screen.
    const CharData* getCharData(int col, int row) const;
    Position getCursorLocation() const { return {buffer_->x(), buffer_->y()}; }
    int getTopVisibleRow() const { return buffer_->yDisp(); }
    // The logical lines between two buffer positions of the active buffer, and their text.
    std::vector<Line> getSelectedLines(Position start, Position end) const;
    std::string getText(Position start, Position end) const;
    // Every row of a buffer as text.
    std::string getBufferAsData(BufferKind kind = BufferKind::active) const;

    const Modes& modes() const { return modes_; }
    const TitleModes& titleModes() const { return titleModes_; }
    const Attribute& currentAttribute() const { return curAttr_; }
    const CharSets& charsets() const { return charsets_; }
    CursorStyle cursorStyle() const { return options_.cursorStyle; }
    const CC& cc() const { return cc_; }
    Conformance conformance() const { return conformance_; }
    const std::string& terminalTitle() const { return terminalTitle_; }
    const std::string& iconTitle() const { return iconTitle_; }
    // The folder (OSC 7) and the document (OSC 6) the program last named, as it wrote them (a
    // URL or a path); the host is told by hostCurrentDirectoryUpdated and ...DocumentUpdated.
    const std::optional<std::string>& hostCurrentDirectory() const { return hostCurrentDirectory_; }
    const std::optional<std::string>& hostCurrentDocument() const { return hostCurrentDocument_; }
    // The link a cell carries, or nothing.
    std::optional<Hyperlink> hyperlink(const CharData& cell) const;
    // The view has scrolled away from the bottom: output keeps the display where it is.
    bool userScrolling() const { return userScrolling_; }
    void setUserScrolling(bool scrolling) { userScrolling_ = scrolling; }

    // The 16 installed colours, the 256-colour palette they make, and the current palette.
    const std::vector<Color>& installedColors() const { return installedColors_; }
    const std::vector<Color>& defaultAnsiColors() const { return defaultAnsiColors_; }
    const std::vector<Color>& ansiColors() const { return ansiColors_; }
    // Exactly 16 colours: they replace the installed ones and the palette is rebuilt.
    void installPalette(const std::vector<Color>& colors);
    void resetAllColors();
    // Setting a colour tells the delegate once (a delegate that sets it back is not told again).
    Color foregroundColor() const { return foregroundColor_; }
    void setForegroundColor(Color color);
    Color backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(Color color);
    std::optional<Color> cursorColor() const { return cursorColor_; }
    void setCursorColor(std::optional<Color> color);

    // Rows to redraw: screen rows, and the same counted from the top of the scroll-back.
    void updateRange(int y, bool scrolling = false)
    {
        if (!scrolling) {
            const int row = y + buffer_->yDisp();
            if (row >= 0) {
                scrollInvariantRefreshStart_ = std::min(scrollInvariantRefreshStart_, row);
                scrollInvariantRefreshEnd_ = std::max(scrollInvariantRefreshEnd_, row);
            }
        }
        if (y >= 0) {
            refreshStart_ = std::min(refreshStart_, y);
            refreshEnd_ = std::max(refreshEnd_, y);
        }
    }
    void refresh(int startRow, int endRow);
    void updateFullScreen();
    std::optional<std::pair<int, int>> getUpdateRange() const;
    std::optional<std::pair<int, int>> getScrollInvariantUpdateRange() const;
    void clearUpdateRange();

    TerminalDelegate* delegate() const { return delegate_; }
    // While set (the default), diagnostics about skipped input are not logged.
    bool silentLog() const { return silentLog_; }
    void setSilentLog(bool silent) { silentLog_ = silent; }
    EscapeSequenceParser& parser() { return parser_; }
    const EscapeSequenceParser& parser() const { return parser_; }
    // Sends bytes to the program through the delegate, in one call.
    void sendResponse(std::string_view bytes);
    // Hand over every press, release, wheel step and motion while modes().mouseMode is not off:
    // the report the mode and the encoding ask for is sent, nothing for what the mode leaves
    // out or for a position the encoding cannot carry. Returns whether a report was sent.
    bool sendMouseEvent(const MouseEvent& event);

private:
    friend class TerminalCommands;

    void setup(bool isReset);
    void resetNormalBuffer();
    void activateNormalBuffer(bool clearAlt);
    void activateAltBuffer();
    void installBuffer(Buffer& buffer);
    void log(std::string_view message) const;

    TerminalDelegate* delegate_;
    TerminalOptions options_;
    int cols_ = 80;
    int rows_ = 25;
    std::shared_ptr<CellTables> tables_;
    std::unique_ptr<Buffer> normal_;
    std::unique_ptr<Buffer> alt_;
    Buffer* buffer_ = nullptr;

    Modes modes_;
    TitleModes titleModes_;
    Attribute curAttr_ = CharData::Null.attribute;
    CharSets charsets_;
    // What the save-cursor command keeps besides the buffer's own fields: normal, alternate.
    std::array<CharSets, 2> savedCharsets_{};
    CC cc_;
    Conformance conformance_ = Conformance::vt500;
    std::string terminalTitle_;
    std::string iconTitle_;
    // Titles saved by CSI 22 t, the oldest dropped past the bound.
    static constexpr std::size_t maxTitleStack = 10;
    std::vector<std::string> titleStack_;
    std::vector<std::string> iconTitleStack_;
    // The open hyperlink (OSC 8), pinned in the tables while open: every cell printed carries it.
    TinyAtom link_;
    std::optional<std::string> hostCurrentDirectory_;
    std::optional<std::string> hostCurrentDocument_;
    bool userScrolling_ = false;
    bool silentLog_ = true;

    std::vector<Color> installedColors_;
    std::vector<Color> defaultAnsiColors_;
    std::vector<Color> ansiColors_;
    Color foregroundColor_ = defaultForegroundColor();
    Color backgroundColor_ = defaultBackgroundColor();
    std::optional<Color> cursorColor_;
    bool settingFgColor_ = false;
    bool settingBgColor_ = false;
    bool settingCursorColor_ = false;

    int refreshStart_ = INT32_MAX;
    int refreshEnd_ = -1;
    int scrollInvariantRefreshStart_ = INT32_MAX;
    int scrollInvariantRefreshEnd_ = -1;

    EscapeSequenceParser parser_;
    std::unique_ptr<TerminalCommands> commands_;
};

} // namespace terminal
