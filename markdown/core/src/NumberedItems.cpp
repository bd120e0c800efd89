#include "NumberedItems.h"

#include <cmark-gfm-extension_api.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

// cmark-gfm's renderer state as its render.h declares it. The header is not installed, but
// the extensions library is built against the same declaration to write tables and task
// items, so it is what an extension's render function is handed. Only read where the
// library is the version it was copied from.
#define QUILLORA_CMARK_RENDERER_VERSION ((0 << 24) | (29 << 16) | (0 << 8) | 6)

#if CMARK_GFM_VERSION == QUILLORA_CMARK_RENDERER_VERSION
extern "C" {
struct cmark_strbuf;
struct cmark_renderer {
    cmark_mem* mem;
    cmark_strbuf* buffer;
    cmark_strbuf* prefix;
    int column;
    int width;
    int need_cr;
    std::int32_t last_breakable;
    bool begin_line;
    bool begin_content;
    bool no_linebreaks;
    bool in_tight_list_item;
    void (*outc)(cmark_renderer*, cmark_node*, int escaping, std::int32_t c, unsigned char next);
    void (*cr)(cmark_renderer*);
    void (*blankline)(cmark_renderer*);
    void (*out)(cmark_renderer*, cmark_node*, const char* text, bool wrap, int escaping);
    unsigned int footnote_ix;
};
std::int32_t cmark_strbuf_len(const cmark_strbuf* buffer);
void cmark_strbuf_puts(cmark_strbuf* buffer, const char* text);
void cmark_strbuf_truncate(cmark_strbuf* buffer, std::int32_t length);
}
#endif

namespace markdown::detail {

namespace {

#if CMARK_GFM_VERSION == QUILLORA_CMARK_RENDERER_VERSION

constexpr int literal = 0; // cmark_escaping LITERAL

// What cmark writes for an ordered item, with the number kept in the item's user data:
// the marker, then the item's lines indented by the marker's width.
void renderItem(cmark_syntax_extension*, cmark_renderer* renderer, cmark_node* item, cmark_event_type event, int)
{
    const auto number = reinterpret_cast<std::intptr_t>(cmark_node_get_user_data(item));
    const bool paren = cmark_node_get_list_delim(cmark_node_parent(item)) == CMARK_PAREN_DELIM;
    const std::string marker = std::to_string(number) + (paren ? ")" : ".") + (number < 10 ? "  " : " ");
    const auto width = static_cast<std::int32_t>(marker.size());
    if (event == CMARK_EVENT_ENTER) {
        renderer->out(renderer, item, marker.c_str(), false, literal);
        renderer->begin_content = true;
        cmark_strbuf_puts(renderer->prefix, std::string(marker.size(), ' ').c_str());
    } else {
        cmark_strbuf_truncate(renderer->prefix, cmark_strbuf_len(renderer->prefix) - width);
        renderer->cr(renderer);
    }
}

cmark_syntax_extension* makeExtension()
{
    if (cmark_version() != CMARK_GFM_VERSION)
        return nullptr;
    // Never attached to a parser: it only marks the items whose numbers it writes.
    cmark_syntax_extension* extension = cmark_syntax_extension_new("quillora_numbered_item");
    if (extension) {
        cmark_syntax_extension_set_commonmark_render_func(extension, renderItem);
        cmark_syntax_extension_set_plaintext_render_func(extension, renderItem);
    }
    return extension;
}

#else

cmark_syntax_extension* makeExtension()
{
    return nullptr;
}

#endif

cmark_syntax_extension* numberingExtension()
{
    static cmark_syntax_extension* const extension = makeExtension();
    return extension;
}

} // namespace

cmark_node* newNumberedItem(std::int64_t number)
{
    cmark_syntax_extension* extension = numberingExtension();
    if (!extension)
        return cmark_node_new(CMARK_NODE_ITEM);
    cmark_node* item = cmark_node_new_with_ext(CMARK_NODE_ITEM, extension);
    if (item)
        cmark_node_set_user_data(item, reinterpret_cast<void*>(static_cast<std::intptr_t>(std::clamp<std::int64_t>(number, 0, maxListNumber))));
    return item;
}

} // namespace markdown::detail
