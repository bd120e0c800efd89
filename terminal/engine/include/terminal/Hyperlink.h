#pragma once

#include <string>
#include <string_view>

namespace terminal {

// The link a cell carries (OSC 8): the parameters and the target as the program wrote them.
// All cells printed under one link, and under any other link with the same parameters and
// target, carry the same payload atom, so the atom tells which cells belong together.
struct Hyperlink {
    std::string params; // "id=abc:key=value", often empty
    std::string uri;

    // The value of the "id" parameter; empty when there is none.
    std::string_view id() const;
    // A link's payload ("params;uri") split at its first ';'.
    static Hyperlink fromPayload(std::string_view payload);
};

} // namespace terminal
