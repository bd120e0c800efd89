// Sixel images: the DCS string is collected (bounded by the parser), decoded at its end and the
// bitmap handed to the host, which places it.
#include "TerminalCommands.h"

#include "terminal/SixelDecoder.h"

namespace terminal {

namespace {

class SixelHandler final : public DcsHandler {
public:
    explicit SixelHandler(TerminalCommands& commands) : commands_(commands) {}
    void hook(SequenceId, const SequenceParams&) override { data_.clear(); }
    void put(std::string_view data) override { data_ += data; }
    void unhook() override
    {
        commands_.showSixelImage(data_);
        release();
    }
    void cancel() override { release(); }

private:
    // A large picture's data is not kept for the next one.
    void release()
    {
        if (data_.capacity() > keptCapacity)
            std::string().swap(data_);
        data_.clear();
    }
    static constexpr std::size_t keptCapacity = 64 * 1024;

    TerminalCommands& commands_;
    std::string data_;
};

} // namespace

std::unique_ptr<DcsHandler> makeSixelHandler(TerminalCommands& commands)
{
    return std::make_unique<SixelHandler>(commands);
}

void TerminalCommands::showSixelImage(std::string_view data)
{
    if (!t_.delegate_)
        return;
    auto image = decodeSixel(data, t_.defaultAnsiColors_);
    if (!image) {
        log([] { return std::string("Sixel image larger than 4096 x 4096 dropped"); });
        return;
    }
    if (image->width > 0)
        t_.delegate_->createImageFromBitmap(t_, image->pixels, image->width, image->height);
}

} // namespace terminal
