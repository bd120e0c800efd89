#pragma once

#include "terminal/Color.h"
#include "terminal/TerminalOptions.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace terminal {

class Terminal;

// How one dimension of an inline image was asked for.
struct ImageSizeRequest {
    enum class Kind { cells, pixels, percent, automatic };
    Kind kind = Kind::automatic;
    int value = 0;

    friend bool operator==(const ImageSizeRequest&, const ImageSizeRequest&) = default;
};

// A window operation a program asked for (CSI t). `first` and `second` carry the numbers of
// the operations that have them (x and y, width and height, columns and rows, lines).
struct WindowManipulationCommand {
    enum class Kind {
        moveWindowTo,
        resizeWindowTo,
        resizeTo,
        resizeToLines,
        deiconifyWindow,
        iconifyWindow,
        bringToFront,
        sendToBack,
        refreshWindow,
        restoreMaximizedWindow,
        maximizeWindow,
        maximizeWindowVertically,
        maximizeWindowHorizontally,
        undoFullScreen,
        switchToFullScreen,
        toggleFullScreen,
        reportTerminalState,
        reportTerminalPosition,
        reportTextAreaPosition,
        reportTextAreaPixelDimension,
        reportSizeOfScreenInPixels,
        reportCellSizeInPixels,
        reportTextAreaCharacters,
        reportScreenSizeCharacters,
        reportIconLabel,
        reportWindowTitle,
    };
    Kind kind = Kind::refreshWindow;
    int first = 0;
    int second = 0;

    friend bool operator==(const WindowManipulationCommand&, const WindowManipulationCommand&) = default;
};

// The host of a Terminal: everything that leaves the engine goes through it, synchronously,
// from inside Terminal::feed and on the feeding thread. A host must not feed the same terminal
// from inside a call. Every operation but send has a default; `source` is the calling terminal.
class TerminalDelegate {
public:
    virtual ~TerminalDelegate() = default;

    // Bytes for the program (replies): write them to it unchanged.
    virtual void send(Terminal& source, std::span<const std::uint8_t> data) = 0;

    virtual void showCursor(Terminal&) {}
    virtual void hideCursor(Terminal&) {}
    virtual void setTerminalTitle(Terminal&, const std::string&) {}
    virtual void setTerminalIconTitle(Terminal&, const std::string&) {}
    // A reply to send for a report, or nothing (the engine then answers by itself when it can).
    virtual std::optional<std::vector<std::uint8_t>> windowCommand(Terminal&, const WindowManipulationCommand&) { return std::nullopt; }
    // The engine changed its own size.
    virtual void sizeChanged(Terminal&) {}
    // The buffer scrolled; yDisp is its new first displayed row.
    virtual void scrolled(Terminal&, int /*yDisp*/) {}
    virtual void linefeed(Terminal&) {}
    // The normal or the alternate screen became active.
    virtual void bufferActivated(Terminal&) {}
    virtual void bell(Terminal&) {}
    virtual void selectionChanged(Terminal&) {}
    // Asked before acting on requests that reveal or change host state.
    virtual bool isProcessTrusted(Terminal&) { return true; }
    virtual void mouseModeChanged(Terminal&) {}
    virtual void cursorStyleChanged(Terminal&, CursorStyle) {}
    virtual void hostCurrentDirectoryUpdated(Terminal&) {}
    virtual void hostCurrentDocumentUpdated(Terminal&) {}
    // A palette entry changed; nothing means the whole palette.
    virtual void colorChanged(Terminal&, std::optional<int> /*index*/) {}
    // The defaults store the colour in the terminal.
    virtual void setForegroundColor(Terminal& source, Color color);
    virtual void setBackgroundColor(Terminal& source, Color color);
    virtual void setCursorColor(Terminal& source, std::optional<Color> color);
    virtual std::pair<Color, Color> getColors(Terminal& source);
    virtual void iTermContent(Terminal&, std::span<const std::uint8_t>) {}
    virtual void clipboardCopy(Terminal&, std::span<const std::uint8_t>) {}
    virtual void notify(Terminal&, const std::string& /*title*/, const std::string& /*body*/) {}
    // RGBA pixels, four bytes each.
    virtual void createImageFromBitmap(Terminal&, std::vector<std::uint8_t>& /*bytes*/, int /*width*/, int /*height*/) {}
    // An encoded image (PNG, JPEG, ...) with the size asked for.
    virtual void createImage(Terminal&, std::span<const std::uint8_t> /*data*/, ImageSizeRequest /*width*/, ImageSizeRequest /*height*/,
                             bool /*preserveAspectRatio*/)
    {
    }
};

} // namespace terminal
