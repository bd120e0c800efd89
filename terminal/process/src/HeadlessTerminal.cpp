#include "terminal/process/HeadlessTerminal.h"

namespace terminal {

namespace {

// The cell size the window reports in pixels.
constexpr int cellPixels = 16;

} // namespace

HeadlessTerminal::HeadlessTerminal(const TerminalOptions& options, OnEnd onEnd)
    : process_(this)
    , terminal_(this, options)
    , onEnd_(std::move(onEnd))
{
}

void HeadlessTerminal::resize(int cols, int rows)
{
    terminal_.resize(cols, rows);
    process_.setWindowSize(getWindowSize());
}

void HeadlessTerminal::processTerminated(LocalProcess&, std::optional<int> exitCode)
{
    if (onEnd_)
        onEnd_(exitCode);
}

void HeadlessTerminal::dataReceived(std::span<const std::uint8_t> slice)
{
    terminal_.feed(slice);
}

WindowSize HeadlessTerminal::getWindowSize()
{
    return {terminal_.rows(), terminal_.cols(), terminal_.cols() * cellPixels, terminal_.rows() * cellPixels};
}

void HeadlessTerminal::send(Terminal&, std::span<const std::uint8_t> data)
{
    process_.send(data);
}

void HeadlessTerminal::createImageFromBitmap(Terminal&, std::vector<std::uint8_t>& bytes, int width, int height)
{
    if (bytes.size() > maxImageBytes)
        return;
    imageBytes_ += bytes.size();
    images_.push_back(Image{std::move(bytes), width, height});
    while (imageBytes_ > maxImageBytes) {
        imageBytes_ -= images_.front().bytes.size();
        images_.pop_front();
    }
}

} // namespace terminal
