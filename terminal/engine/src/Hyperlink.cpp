// Hyperlinks (OSC 8): the link a cell carries, read back from the terminal's payload table.
#include "terminal/Hyperlink.h"

#include "TerminalCommands.h"

#include <algorithm>

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

void TerminalCommands::closeHyperlink()
{
    if (t_.link_.code != 0)
        t_.tables_->unpinPayload(t_.link_);
    t_.link_ = {};
}

// "params;uri" opens a link; an empty URI ends it, and so does anything that is not printable
// ASCII (a URI is written percent-encoded), so no link is ever made of control bytes.
void TerminalCommands::setHyperlink(std::string_view payload)
{
    closeHyperlink();
    const auto semicolon = payload.find(';');
    const bool printable = std::all_of(payload.begin(), payload.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
    if (semicolon == std::string_view::npos || semicolon + 1 == payload.size() || !printable)
        return;
    const auto atom = t_.tables_->payloadAtom(payload);
    if (!atom) {
        log([] { return std::string("Too many links at once: a link is dropped"); });
        return;
    }
    t_.tables_->pinPayload(*atom);
    t_.link_ = *atom;
}

} // namespace terminal
