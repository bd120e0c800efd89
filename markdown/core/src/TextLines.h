#pragma once

// Line-level reading of Markdown source for the guards' pre-scans: what a line certainly is,
// judged from its own bytes. Every test here errs on the side the guards can afford: a line
// is called a block start only where cmark-gfm certainly starts a block there.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace markdown::detail {

// A line of the text without its ending: [begin, end) in bytes.
struct Line {
    std::size_t begin = 0;
    std::size_t end = 0;
};

// The lines of a text; lines end at LF, CR or CR LF.
std::vector<Line> splitLines(std::string_view text);

template <typename Visit> void forEachLine(std::string_view text, Visit visit)
{
    // Line ends are found with memchr, one byte at a time: looking for either of two at every
    // position costs a call per byte. The next CR is looked for once and kept until passed, as
    // most texts have none.
    const char* const data = text.data();
    const std::size_t size = text.size();
    std::size_t nextCR = 0;
    bool crFound = false;
    std::size_t begin = 0;
    while (begin < size) {
        if (!crFound || nextCR < begin) {
            const void* cr = std::memchr(data + begin, '\r', size - begin);
            nextCR = cr ? std::size_t(static_cast<const char*>(cr) - data) : size;
            crFound = true;
        }
        const void* lf = std::memchr(data + begin, '\n', nextCR - begin);
        const std::size_t end = lf ? std::size_t(static_cast<const char*>(lf) - data) : nextCR;
        visit(Line{begin, end});
        begin = end + (end + 1 < size && data[end] == '\r' && data[end + 1] == '\n' ? 2 : 1);
    }
}

inline std::string_view lineText(std::string_view text, const Line& line)
{
    return text.substr(line.begin, line.end - line.begin);
}

bool isBlank(std::string_view line);

// Blank, or holding nothing but block-quote markers: it ends any paragraph.
bool isBlankOrQuoteMarkers(std::string_view line);

// Columns of leading blanks (a tab goes to the next multiple of 4) and the bytes they take.
struct Indent {
    int columns = 0;
    std::size_t bytes = 0;
};
Indent indentOf(std::string_view line);

// The line after block-quote markers (each after at most three spaces, with one optional space;
// at most `limit` of them) and how many there were.
struct Unquoted {
    std::string_view rest;
    int quotes = 0;
};
Unquoted stripQuoteMarkers(std::string_view line, int limit = 1 << 30);

// The length of a list marker with the blank after it ("- ", "12. "), or 0. `startsAtOne` is
// set for an ordered marker numbered 1.
std::size_t listMarkerLength(std::string_view line, bool* startsAtOne = nullptr);

// "***", "- - -", "___": three or more of one of the marks and nothing else but blanks.
bool isThematicBreak(std::string_view line);

// "# Title" up to "###### Title", after at most three spaces.
bool isAtxHeading(std::string_view line);

// A line of dashes under a paragraph makes a heading of it before any table is tried.
bool isSetextUnderline(std::string_view line);

// The column count of a delimiter row ("| :-- | --: |"), or 0 when the line is not one.
// Indentation and block-quote markers, which a table may sit behind, are skipped.
std::uint64_t delimiterRowColumns(std::string_view line);

std::uint64_t countOf(std::string_view text, std::string_view needle);

} // namespace markdown::detail
