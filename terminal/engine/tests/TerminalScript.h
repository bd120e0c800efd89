#pragma once

#include "terminal/Terminal.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace terminal::test {

// A host that records what a terminal sends and tells: replies as bytes, notifications as
// words ("bell", "title:\"x\"", "hideCursor"). Scrolling and line feeds are left out.
class RecordingDelegate : public TerminalDelegate {
public:
    std::string sent;
    std::vector<std::string> events;
    bool trusted = true;

    void send(Terminal&, std::span<const std::uint8_t> data) override;
    void showCursor(Terminal&) override { events.push_back("showCursor"); }
    void hideCursor(Terminal&) override { events.push_back("hideCursor"); }
    void setTerminalTitle(Terminal&, const std::string& title) override;
    void setTerminalIconTitle(Terminal&, const std::string& title) override;
    void sizeChanged(Terminal&) override { events.push_back("sizeChanged"); }
    void bufferActivated(Terminal&) override { events.push_back("bufferActivated"); }
    void bell(Terminal&) override { events.push_back("bell"); }
    bool isProcessTrusted(Terminal&) override { return trusted; }
    void mouseModeChanged(Terminal&) override { events.push_back("mouseModeChanged"); }
    void cursorStyleChanged(Terminal&, CursorStyle style) override;
    void colorChanged(Terminal&, std::optional<int> index) override;
    void setCursorColor(Terminal& source, std::optional<Color> color) override;
    void clipboardCopy(Terminal&, std::span<const std::uint8_t> content) override;
    std::optional<std::vector<std::uint8_t>> windowCommand(Terminal&, const WindowManipulationCommand& command) override;
    void hostCurrentDirectoryUpdated(Terminal& source) override;
    void hostCurrentDocumentUpdated(Terminal& source) override;
    void setForegroundColor(Terminal& source, Color color) override;
    void setBackgroundColor(Terminal& source, Color color) override;
    void iTermContent(Terminal&, std::span<const std::uint8_t> content) override;
    void notify(Terminal&, const std::string& title, const std::string& body) override;
    void createImageFromBitmap(Terminal&, std::vector<std::uint8_t>& bytes, int width, int height) override;
    void createImage(Terminal&, std::span<const std::uint8_t> data, ImageSizeRequest width, ImageSizeRequest height,
                     bool preserveAspectRatio) override;
};

// Bytes written with C-like escapes: \e (ESC), \a \b \t \n \r \\ \", \xHH (one byte) and
// \u{HHHH} (a scalar in UTF-8).
std::string unescape(std::string_view text);
// The reverse, for messages: control and non-ASCII bytes as escapes.
std::string escape(std::string_view bytes);

// Everything a feed can change that a test can see: every row of both buffers with cells and
// attributes, the cursor, modes, attribute, character sets, titles, colours, what was sent.
std::string stateDump(const Terminal& terminal, const RecordingDelegate& host);

// Runs every case of a script file (format in tests/scripts/README), reporting each failed
// expectation as a test failure at the file's line. Every case is also replayed with each feed
// split at every position, and fed one byte at a time; each must end in the same state.
void runScriptFile(const std::string& path);

// The folder of the test data (scripts, recordings).
std::string testDataDir();

// The bytes of a file, whole; empty when it cannot be read.
std::string readFile(const std::string& path);

} // namespace terminal::test
