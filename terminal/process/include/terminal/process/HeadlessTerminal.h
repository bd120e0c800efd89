#pragma once

#include "terminal/Terminal.h"
#include "terminal/process/LocalProcess.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace terminal {

// A terminal with a program on a pseudo-terminal and no view: the program's output drives the
// Terminal, the Terminal's replies go back to the program. Used to run real shells end to end
// and to measure the engine on real output. Lives on the thread it is made on.
class HeadlessTerminal final : public TerminalDelegate, public LocalProcessDelegate {
public:
    using OnEnd = std::function<void(std::optional<int> exitCode)>;

    // A bitmap an image sequence produced: RGBA, four bytes a pixel.
    struct Image {
        std::vector<std::uint8_t> bytes;
        int width = 0;
        int height = 0;
    };
    // Bytes of bitmaps kept; the oldest go first beyond it.
    static constexpr std::size_t maxImageBytes = std::size_t(64) << 20;

    explicit HeadlessTerminal(const TerminalOptions& options = TerminalOptions::defaultOptions(), OnEnd onEnd = {});

    Terminal& terminal() { return terminal_; }
    LocalProcess& process() { return process_; }
    const std::deque<Image>& images() const { return images_; }
    // The folder the program last named (OSC 7), as it wrote it.
    const std::optional<std::string>& dir() const { return dir_; }

    // The terminal and the program's window take the new size (the terminal clamps it); the
    // terminal keeps its modes.
    void resize(int cols, int rows);

    // LocalProcessDelegate
    void processTerminated(LocalProcess& source, std::optional<int> exitCode) override;
    void dataReceived(std::span<const std::uint8_t> slice) override;
    WindowSize getWindowSize() override;

    // TerminalDelegate
    void send(Terminal& source, std::span<const std::uint8_t> data) override;
    void createImageFromBitmap(Terminal& source, std::vector<std::uint8_t>& bytes, int width, int height) override;
    void hostCurrentDirectoryUpdated(Terminal& source) override { dir_ = source.hostCurrentDirectory(); }

private:
    // The process first: the terminal may call back into it while it is made.
    LocalProcess process_;
    Terminal terminal_;
    OnEnd onEnd_;
    std::deque<Image> images_;
    std::size_t imageBytes_ = 0;
    std::optional<std::string> dir_;
};

} // namespace terminal
