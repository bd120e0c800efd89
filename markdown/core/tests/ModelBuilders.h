#pragma once

// Short spellings for the model values that tests build and expect.

#include "markdown/BlockNode.h"

#include <string>
#include <vector>

namespace markdown::test {

using I = InlineNode;
using B = BlockNode;
using A = RawTableColumnAlignment;

inline BlockNode para(std::vector<InlineNode> content) { return B::paragraph(std::move(content)); }
inline BlockNode para(const std::string& text) { return para({I::text(text)}); }
inline RawListItem item(const std::string& text) { return RawListItem{{para(text)}}; }
inline RawTableCell cell(const std::string& text) { return RawTableCell{{I::text(text)}}; }

} // namespace markdown::test
