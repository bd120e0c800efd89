#pragma once

// Items of ordered lists that carry their own number. cmark-gfm's CommonMark and plain-text
// renderers number an item by walking back over the items before it, which is quadratic in
// the items of one list; an item made here is written with the number it was given instead.

#include <cmark-gfm.h>

#include <cstdint>

namespace markdown::detail {

// The largest list number cmark reads back: nine digits.
inline constexpr std::int64_t maxListNumber = 999'999'999;

// A new item of an ordered list, written with `number` (clamped to 0...maxListNumber); null
// when cmark gives no node. Where this cmark-gfm's renderer is not the one the numbering was
// written against, the item is a plain one that cmark numbers itself.
cmark_node* newNumberedItem(std::int64_t number);

} // namespace markdown::detail
