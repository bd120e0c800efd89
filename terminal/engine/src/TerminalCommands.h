#pragma once

// The command handlers of a Terminal: what each control character and escape sequence does to
// its state and buffers. Wired to the parser by install() (TerminalDispatch.cpp); the families
// live in their own files: printing and the line controls (TerminalPrint.cpp), cursor, erase,
// insert, delete and scroll commands (TerminalEdit.cpp), graphic rendition and the palette
// (TerminalSgr.cpp), modes (TerminalModes.cpp), and the screen-level commands
// (TerminalScreen.cpp).

#include "terminal/Terminal.h"

#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace terminal {

// The DCS string handler of setting requests (DECRQSS), answered at the string's end.
std::unique_ptr<DcsHandler> makeStatusRequestHandler(TerminalCommands& commands);
// The DCS string handler of sixel images, decoded at the string's end.
std::unique_ptr<DcsHandler> makeSixelHandler(TerminalCommands& commands);

class TerminalCommands {
public:
    explicit TerminalCommands(Terminal& terminal) : t_(terminal) {}
    TerminalCommands(const TerminalCommands&) = delete;
    TerminalCommands& operator=(const TerminalCommands&) = delete;

    // Registers every handler, fallback and the error handler with the parser.
    void install(EscapeSequenceParser& parser);

    // Printing and the line controls.
    void print(std::u32string_view text);
    void printAscii(std::string_view text);
    void repeatPreceding(const SequenceParams& params);
    void forgetPrinted() { lastPrinted_ = {}; }
    void lineFeed();
    void carriageReturn();
    void backspace();
    void tab();
    void tabSet();
    void index();
    void nextLine();
    void reverseIndex();
    void scroll(bool isWrapped);
    void columnIndex(bool back);
    void setgLevel(int level);
    // Keeps the cursor on the screen (the last column at most when `clampX`) and, in origin
    // mode, inside the scroll region.
    void restrictCursor(bool clampX = true);

    // Cursor, erase, insert, delete and scroll commands.
    void cursorUp(const SequenceParams& p);
    void cursorDown(const SequenceParams& p);
    void cursorForward(int count);
    void cursorBackward(int count);
    void cursorNextLine(const SequenceParams& p);
    void cursorPrecedingLine(const SequenceParams& p);
    void cursorCharAbsolute(const SequenceParams& p);
    void cursorPosition(const SequenceParams& p);
    void cursorForwardTab(const SequenceParams& p);
    void cursorBackwardTab(const SequenceParams& p);
    void charPosAbsolute(const SequenceParams& p);
    void charPosRelative(const SequenceParams& p);
    void linePosAbsolute(const SequenceParams& p);
    void linePosRelative(const SequenceParams& p);
    void setCursor(int col, int row);
    void eraseInDisplay(const SequenceParams& p);
    void eraseInLine(const SequenceParams& p);
    void eraseChars(const SequenceParams& p);
    void insertChars(const SequenceParams& p);
    void deleteChars(const SequenceParams& p);
    void deleteColumns(const SequenceParams& p) { shiftColumns(p.at(0, 1), false); }
    void insertColumns(const SequenceParams& p) { shiftColumns(p.at(0, 1), true); }
    void insertLines(const SequenceParams& p);
    void deleteLines(const SequenceParams& p);
    void scrollUp(const SequenceParams& p);
    void scrollDown(const SequenceParams& p);
    void tabClear(const SequenceParams& p);
    void saveCursor();
    void restoreCursor();
    void saveCursorOrSetMargins(const SequenceParams& p);
    void requestChecksum(const SequenceParams& p);

    // Graphic rendition and the palette.
    void selectGraphicRendition(const SequenceParams& p);
    void setPalette(std::string_view payload);

    // Modes.
    void setModes(const SequenceParams& p, bool set, bool dec);

    // Screen-level commands.
    void setScrollRegion(const SequenceParams& p);
    void setCursorStyle(const SequenceParams& p);
    void softReset();
    void setConformance(const SequenceParams& p);
    void setTitleModes(const SequenceParams& p, bool set);
    void setTitle(std::string_view payload, bool window, bool icon);
    void copyToClipboard(std::string_view payload);

    // Reports and replies (TerminalReports.cpp).
    void deviceAttributes(const SequenceParams& p, bool secondary);
    void deviceStatus(const SequenceParams& p, bool dec);
    void requestMode(const SequenceParams& p, bool dec);
    void requestStatusString(std::string_view request);
    void windowOptions(const SequenceParams& p);

    // OSC commands (TerminalOsc.cpp).
    void setHostLocation(std::string_view payload, bool directory);
    void setDynamicColors(std::string_view payload, int first);
    void resetColors(std::string_view payload);
    void notification(std::string_view payload);
    void inlineFile(std::string_view payload);
    // OSC 8 (Hyperlink.cpp): opens a link for the text printed next, or ends the open one.
    void setHyperlink(std::string_view payload);
    void closeHyperlink();

    // Rectangles, line sizes and the alignment pattern (TerminalRectangles.cpp).
    void copyRectangle(const SequenceParams& p);
    void fillRectangle(const SequenceParams& p);
    void eraseRectangle(const SequenceParams& p);
    void selectiveEraseRectangle(const SequenceParams& p);
    void setLineRenderMode(BufferLine::RenderLineMode mode);
    void screenAlignmentPattern();
    void logNotBuilt(const char* name, const SequenceParams& p);

    // Images (TerminalImages.cpp).
    void showSixelImage(std::string_view data);

private:
    // Screen cells, 0-based and inclusive.
    struct Rectangle {
        int top;
        int left;
        int bottom;
        int right;
    };
    // The rectangle of parameters first ... first + 3 (1-based top, left, bottom, right; in
    // origin mode from the region's corner), cut to the screen; nothing when it is empty.
    std::optional<Rectangle> readRectangle(const SequenceParams& p, int first) const;
    void replaceInRectangle(const Rectangle& area, const CharData& cell);
    void markRows(int top, int bottom);
    // DECIC and DECDC: n columns at the cursor, inside the region and the margins.
    void shiftColumns(int n, bool insert);
    // Replies framed by the terminal's control choice, built from text, characters and numbers
    // in a buffer kept for them: CSI ..., DCS ... ST, OSC ... ST.
    template <typename... Parts>
    void csiReply(const Parts&... parts) { sendReply(t_.cc_.csi(), false, parts...); }
    template <typename... Parts>
    void dcsReply(const Parts&... parts) { sendReply(t_.cc_.dcs(), true, parts...); }
    template <typename... Parts>
    void oscReply(const Parts&... parts) { sendReply(t_.cc_.osc(), true, parts...); }
    template <typename... Parts>
    void sendReply(std::string_view introducer, bool terminated, const Parts&... parts)
    {
        reply_.assign(introducer);
        (appendToReply(parts), ...);
        if (terminated)
            reply_ += t_.cc_.st();
        t_.sendResponse(reply_);
    }
    void appendToReply(std::string_view text) { reply_ += text; }
    void appendToReply(char c) { reply_ += c; }
    void appendToReply(int number);
    std::pair<int, int> reportedCursor() const;
    int modeState(int mode, bool dec) const;
    // The title a program set, as it is kept and shown, and told to the host.
    void applyTitle(const std::string& title, bool window, bool icon);
    void pushTitle(std::vector<std::string>& stack, const std::string& title);
    void popTitle(std::vector<std::string>& stack, bool window);

    Buffer& b() { return *t_.buffer_; }
    CharData blank() const { return CharData::blank(fillAttribute(t_.curAttr_.bg)); }
    // The region's columns: the margins in margin mode, else the whole row.
    int leftLimit() const { return t_.modes_.marginMode ? t_.buffer_->marginLeft() : 0; }
    int rightLimit() const { return t_.modes_.marginMode ? t_.buffer_->marginRight() : t_.cols_ - 1; }
    bool isInsideMargins(int x) const { return x >= t_.buffer_->marginLeft() && x <= t_.buffer_->marginRight(); }
    // Leaves the pending-wrap position for the last column: every cursor movement does.
    void endPendingWrap();
    // Down one row, or the region scrolls when the cursor is on its bottom row.
    void moveDownOrScroll();
    void joinPrevious(std::u32string_view marks);
    // The code of `base` with `marks` added, entered in the tables.
    std::int32_t enterCluster(std::int32_t base, std::u32string_view marks);
    // The code of a character joined with a mark when a recent join made it, else 0.
    std::int32_t cachedJoin(std::int32_t base, char32_t mark);
    static std::size_t joinSlot(std::int32_t base, char32_t mark);
    // Screen rows [from, to) become blank rows.
    void resetBufferLines(int from, int to);
    // Moves the rows [top, bottom] of the screen (margin columns only in margin mode) by `n`,
    // up (negative) or down, filling the rows that came free with blanks.
    void shiftRows(int top, int bottom, int n);
    void columnScroll(bool back, int at);
    void setMode(int mode, bool set);
    void setDecMode(int mode, bool set);
    void switchToAltScreen();
    void switchToNormalScreen(bool clearAlt);
    void columnModeSwitch();

    // Logs when the terminal's silent flag is off; the message is built only then.
    template <typename MakeMessage>
    void log(MakeMessage&& makeMessage) const
    {
        if (!t_.silentLog_)
            t_.log(makeMessage());
    }

    Terminal& t_;
    std::string reply_;
    std::u32string run_;
    std::vector<std::int8_t> widths_;
    std::u32string asciiScalars_;
    std::u32string marks_;
    // The cell a mark joined last and its scalars, so that the next mark on it needs no
    // decoding (valid while no collection ran since).
    std::int32_t joinedCode_ = 0;
    std::uint64_t joinedCollections_ = 0;
    std::u32string joinedScalars_;
    // Recent joins: a character code and a mark, and the code of the two joined (cleared when
    // a collection may have given codes new meanings).
    struct Join {
        std::int32_t base = 0;
        char32_t mark = 0;
        std::int32_t result = 0;
    };
    std::array<Join, 4096> joins_{};
    // What the repeat command repeats (with the attribute current then); code 0 when nothing.
    // Only these two fields: a whole cell assembled on every print would stall the stores.
    struct Printed {
        std::int32_t code = 0;
        std::int8_t width = 1;
    } lastPrinted_;
    // Where the cursor stood after the last printed character was dropped (a wide one that did
    // not fit with wrap-around off): a mark arriving there belonged to it and goes with it.
    struct Dropped {
        const Buffer* buffer = nullptr;
        int x = 0;
        int y = 0;
    } dropped_;
    void noteStored(const Buffer& buffer, bool stored) { dropped_ = stored ? Dropped{} : Dropped{&buffer, buffer.x(), buffer.y()}; }
};

} // namespace terminal
