#pragma once

// Blocks too long to lay out at once: a paragraph, a code block or a table that the lazy stack of
// the document's blocks lays out in parts, each built, measured, let go of and copied as a block
// is, so that what the viewport shows of a long block comes first and the rest follows. The
// parts come from the model alone, the same at every width: a code block by lines, a table by
// rows, a paragraph by groups of its lines (a long run without line ends after a space or
// between two characters). A paragraph's part is laid out from where the line the part above
// left unfinished begins, once that part is laid out (see mdview::TextContinuation), so that
// the parts break into the lines of the paragraph laid out whole.

#include "markdown/BlockNode.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mddoc::detail {

// Layout work in units of about a microsecond: a byte of text is one; a character
// beyond the first plane (an emoji: Qt reads and decodes each one's picture to shape it) many
// more; a styled run, a cell a few dozen.
std::uint64_t textUnits(std::string_view utf8);

// About the work of a part of lines or rows (a millisecond or two: a slice of the background
// layout, which lays out whole parts, stays within a frame), of a paragraph's part (larger: the
// line each leaves unfinished is laid out again by the part below, a smaller share of a larger
// part), and the work above which a block is laid out in parts (a few dozen screens of text).
inline constexpr std::uint64_t partUnits = 2'048;
inline constexpr std::uint64_t paragraphPartUnits = 8'192;
inline constexpr std::uint64_t partedUnits = 65'536;
// The rows of a long table whose cells set its columns' widths: a later cell wider than its
// column wraps inside it, as laying out every row to find the widest would take as long as
// laying out the table whole.
inline constexpr std::size_t columnWidthRows = 256;

struct BlockParts {
    // Paragraph: part i holds its top-level inlines from cut i to cut i + 1. A cut falls after a
    // soft break, or inside a text or code span inline at a byte offset of its text (after a
    // space, or inside a run without one longer than a text leaves unbroken); at an inline's
    // start the offset is 0.
    struct Cut {
        std::size_t inlineIndex = 0;
        std::size_t offset = 0;
    };
    std::vector<Cut> cuts;
    // Code block: the byte offset of each part's first line, and the content's end. Table: the
    // first row of each part, and the row count.
    std::vector<std::size_t> starts;
    // Per part: how much text it holds, and its line ends (code) or rows (table), for the height
    // it is estimated at before it is measured.
    struct Extent {
        double characters = 0;
        double lines = 0;
    };
    std::vector<Extent> extents;

    std::size_t count() const { return extents.size(); }
};

// The parts of a block; absent for a block laid out whole.
std::optional<BlockParts> blockParts(const markdown::BlockNode& block);

// For tests: while one lives, every block is laid out whole, however long (blockParts gives
// none): the layout its parts are to draw as.
class WholeBlocksForTesting {
public:
    WholeBlocksForTesting();
    ~WholeBlocksForTesting();
    WholeBlocksForTesting(const WholeBlocksForTesting&) = delete;
    WholeBlocksForTesting& operator=(const WholeBlocksForTesting&) = delete;
};

// The inlines of part `part` of a paragraph.
std::vector<markdown::InlineNode> partInlines(const std::vector<markdown::InlineNode>& inlines, const BlockParts& parts,
                                              std::size_t part);

// The code of part `part` of a code block's content, without its final line feed (the content's
// own final line feed is the last part's).
std::string partCode(const std::string& content, const BlockParts& parts, std::size_t part);

} // namespace mddoc::detail
