#include "terminal/Line.h"

namespace terminal {

int Line::append(LineFragment fragment)
{
    length += fragment.length;
    fragments.push_back(std::move(fragment));
    return length;
}

std::string Line::text() const
{
    std::string out;
    for (const LineFragment& fragment : fragments)
        out += fragment.text;
    return out;
}

std::string Line::debugDescription() const
{
    if (fragments.empty())
        return "[]";
    std::string out = std::to_string(fragments.size()) + "/" + std::to_string(length) + ": [";
    for (const LineFragment& fragment : fragments)
        out += (fragment.text == "\n" ? std::string("\\n") : fragment.text) + "][";
    return out;
}

} // namespace terminal
