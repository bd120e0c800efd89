// Operating-system commands: the current folder and document, dynamic colours, palette resets,
// notifications and inline files. Each is best-effort: what does not decode is skipped, and
// nothing is ever answered with an error.
#include "TerminalCommands.h"

#include "TextDecoding.h"

#include <charconv>
#include <map>

namespace terminal {

namespace {

// Calls `each` with every piece of `text` between `separator`s, empty ones included, until it
// returns false.
template <typename Each>
void forEachPiece(std::string_view text, char separator, Each&& each)
{
    for (;;) {
        const auto at = text.find(separator);
        if (!each(text.substr(0, at)) || at == std::string_view::npos)
            return;
        text.remove_prefix(at + 1);
    }
}

// A whole decimal number of at most nine digits, or nothing.
std::optional<int> wholeNumber(std::string_view text)
{
    int value = 0;
    if (text.empty() || text.size() > 9)
        return std::nullopt;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < 0)
        return std::nullopt;
    return value;
}

// "auto", "50%", "10px" or a number of cells; anything else is automatic.
ImageSizeRequest imageSize(const std::map<std::string_view, std::string_view>& args, std::string_view key)
{
    using Kind = ImageSizeRequest::Kind;
    const auto found = args.find(key);
    if (found == args.end())
        return {};
    std::string_view text = found->second;
    Kind kind = Kind::cells;
    if (text.ends_with('%')) {
        kind = Kind::percent;
        text.remove_suffix(1);
    } else if (text.ends_with("px")) {
        kind = Kind::pixels;
        text.remove_suffix(2);
    }
    const auto value = wholeNumber(text);
    if (!value)
        return {};
    return {kind, *value};
}

} // namespace

void TerminalCommands::setHostLocation(std::string_view payload, bool directory)
{
    TerminalDelegate* host = t_.delegate_;
    if (!host || !host->isProcessTrusted(t_) || !isValidUtf8(payload))
        return;
    if (directory) {
        t_.hostCurrentDirectory_ = std::string(payload);
        host->hostCurrentDirectoryUpdated(t_);
    } else {
        t_.hostCurrentDocument_ = std::string(payload);
        host->hostCurrentDocumentUpdated(t_);
    }
}

void TerminalCommands::setDynamicColors(std::string_view payload, int first)
{
    static constexpr int codes[] = {10, 11, 12};
    int which = first;
    forEachPiece(payload, ';', [&](std::string_view piece) {
        if (piece.empty())
            return true;
        if (which > 2)
            return false;
        if (piece.starts_with('?')) {
            const Color color = which == 0 ? t_.foregroundColor_
                : which == 1               ? t_.backgroundColor_
                                           : t_.cursorColor_.value_or(t_.foregroundColor_);
            oscReply(codes[which], ';', color.formatAsXcolor());
        } else if (const auto color = parseColor(piece)) {
            if (which == 0)
                t_.setForegroundColor(*color);
            else if (which == 1)
                t_.setBackgroundColor(*color);
            else
                t_.setCursorColor(*color);
        }
        ++which;
        return true;
    });
}

void TerminalCommands::resetColors(std::string_view payload)
{
    if (payload.empty()) {
        t_.resetAllColors();
        return;
    }
    if (!isAscii(payload))
        return;
    forEachPiece(payload, ';', [&](std::string_view piece) {
        if (piece.empty())
            return true;
        // A piece that is not a number resets entry 0; one too large for the palette nothing.
        const bool digits = piece.find_first_not_of("0123456789") == std::string_view::npos;
        const int index = digits ? wholeNumber(piece).value_or(256) : 0;
        if (index > 255)
            return true;
        t_.ansiColors_[static_cast<std::size_t>(index)] = t_.defaultAnsiColors_[static_cast<std::size_t>(index)];
        if (t_.delegate_)
            t_.delegate_->colorChanged(t_, index);
        return true;
    });
}

void TerminalCommands::notification(std::string_view payload)
{
    if (!t_.delegate_ || !isValidUtf8(payload))
        return;
    // notify;TITLE;BODY, the body with any further ";" in it.
    const auto first = payload.find(';');
    const auto second = first == std::string_view::npos ? first : payload.find(';', first + 1);
    if (second == std::string_view::npos || payload.substr(0, first) != "notify")
        return;
    t_.delegate_->notify(t_, std::string(payload.substr(first + 1, second - first - 1)), std::string(payload.substr(second + 1)));
}

void TerminalCommands::inlineFile(std::string_view payload)
{
    TerminalDelegate* host = t_.delegate_;
    const auto equals = payload.find('=');
    if (!host || equals == std::string_view::npos || !isValidUtf8(payload.substr(0, equals)))
        return;
    const auto content = [&] { host->iTermContent(t_, std::span(reinterpret_cast<const std::uint8_t*>(payload.data()), payload.size())); };
    if (payload.substr(0, equals) != "File") {
        content();
        return;
    }
    const auto colon = payload.find(':', equals);
    if (colon == std::string_view::npos)
        return;
    // key=value pairs up to the first piece that is not one; a later key replaces an earlier.
    std::map<std::string_view, std::string_view> args;
    forEachPiece(payload.substr(equals + 1, colon - equals - 1), ';', [&](std::string_view piece) {
        const auto at = piece.find('=');
        if (at == std::string_view::npos || !isValidUtf8(piece))
            return false;
        args[piece.substr(0, at)] = piece.substr(at + 1);
        return true;
    });
    const auto isInline = args.find("inline");
    if (isInline == args.end() || isInline->second != "1") {
        content();
        return;
    }
    const auto data = decodeBase64(payload.substr(colon + 1));
    if (!data)
        return;
    const auto aspect = args.find("preserveAspectRatio");
    host->createImage(t_, *data, imageSize(args, "width"), imageSize(args, "height"), aspect == args.end() || aspect->second == "1");
}

} // namespace terminal
