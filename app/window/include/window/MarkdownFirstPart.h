#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quillora {

// How many bytes of a Markdown text (UTF-8) to show first, parsed alone, while the whole is
// parsed: at most `limit`. The cut comes after the last line end (LF or a lone CR) within the
// limit, unless the line it would leave unfinished holds more than half the limit: then that line
// is cut at its last space or tab outside a code span and a link (its text, destination and
// title); a code span or link open across the limit is left out whole, and without such a space
// the cut is the last UTF-8 character boundary before it (or before the limit). The whole text
// when it is within the limit; 0 when nothing can be cut off. Pure; any thread.
std::size_t markdownFirstPartLength(std::string_view utf8, std::size_t limit);

// The beginning to show first: the first markdownFirstPartLength() bytes; or, when nothing can be
// cut off because the text opens with a code span that closes past the limit, the span up to the
// limit (a character boundary, before any backticks there) closed by a run like its opener's, so
// that it shows as the code it is. Empty when nothing can be shown first.
std::string markdownFirstPart(std::string_view utf8, std::size_t limit);

} // namespace quillora
