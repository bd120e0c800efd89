// Hyperlinks (OSC 8): the link a cell carries, read back from the terminal's payload table.
#include "terminal/Hyperlink.h"

#include "terminal/Terminal.h"

namespace terminal {

Hyperlink Hyperlink::fromPayload(std::string_view payload)
{
    const auto semicolon = payload.find(';');
    if (semicolon == std::string_view::npos)
        return {{}, std::string(payload)};
    return {std::string(payload.substr(0, semicolon)), std::string(payload.substr(semicolon + 1))};
}

std::string_view Hyperlink::id() const
{
    std::string_view rest = params;
    while (!rest.empty()) {
        const auto colon = rest.find(':');
        const std::string_view param = rest.substr(0, colon);
        if (param.starts_with("id="))
            return param.substr(3);
        if (colon == std::string_view::npos)
            break;
        rest.remove_prefix(colon + 1);
    }
    return {};
}

std::optional<Hyperlink> Terminal::hyperlink(const CharData& cell) const
{
    if (!cell.hasPayload())
        return std::nullopt;
    return Hyperlink::fromPayload(tables_->payload(cell.payload));
}

} // namespace terminal
