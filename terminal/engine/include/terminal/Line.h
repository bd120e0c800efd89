#pragma once

#include <string>
#include <vector>

namespace terminal {

// A piece of a logical line: its text, the buffer row it came from, the column of its first
// character there (-1 for a line break the buffer adds) and its length in characters.
struct LineFragment {
    std::string text;
    int line = 0;
    int location = 0;
    int length = 0;

    friend bool operator==(const LineFragment&, const LineFragment&) = default;
};

// One logical line of text, rebuilt from the rows it was wrapped over.
class Line {
public:
    std::vector<LineFragment> fragments;
    int length = 0;

    // Appends a fragment and returns the new length.
    int append(LineFragment fragment);
    std::string text() const;
    // "[]" when empty, else "count/length: [text][text][" with "\n" shown as backslash n.
    std::string debugDescription() const;
};

} // namespace terminal
