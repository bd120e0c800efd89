#include "Cmark.h"

#include "markdown/Log.h"

#include <string>

extern "C" {
// Exported by the extensions library and assigned when it registers its extensions.
extern cmark_node_type CMARK_NODE_TABLE;
extern cmark_node_type CMARK_NODE_TABLE_ROW;
extern cmark_node_type CMARK_NODE_TABLE_CELL;
extern cmark_node_type CMARK_NODE_STRIKETHROUGH;
}

namespace markdown::detail {

std::mutex& cmarkMutex()
{
    static std::mutex mutex;
    return mutex;
}

void ensureExtensionsRegistered()
{
    static std::once_flag once;
    std::call_once(once, [] {
        std::lock_guard lock(cmarkMutex());
        cmark_gfm_core_extensions_ensure_registered();
    });
}

const ExtensionNodeTypes& extensionNodeTypes()
{
    static const ExtensionNodeTypes types = [] {
        ensureExtensionsRegistered();
        const ExtensionNodeTypes read{CMARK_NODE_TABLE, CMARK_NODE_TABLE_ROW, CMARK_NODE_TABLE_CELL,
                                      CMARK_NODE_STRIKETHROUGH};
        const std::pair<const char*, cmark_node_type> named[] = {
            {"CMARK_NODE_TABLE", read.table},
            {"CMARK_NODE_TABLE_ROW", read.tableRow},
            {"CMARK_NODE_TABLE_CELL", read.tableCell},
            {"CMARK_NODE_STRIKETHROUGH", read.strikethrough},
        };
        for (const auto& [name, type] : named) {
            if (type == CMARK_NODE_NONE)
                log(LogLevel::error, logCategory,
                    std::string("Extension node kind ") + name + " is not registered.");
        }
        return read;
    }();
    return types;
}

CmarkTree parseCmark(std::string_view text, unsigned extensions, const std::function<void()>& fed)
{
    static constexpr std::pair<unsigned, const char*> named[] = {
        {CmarkExtension::autolink, "autolink"}, {CmarkExtension::strikethrough, "strikethrough"},
        {CmarkExtension::tagfilter, "tagfilter"}, {CmarkExtension::tasklist, "tasklist"},
        {CmarkExtension::table, "table"},
    };
    ensureExtensionsRegistered();
    std::lock_guard lock(cmarkMutex());
    cmark_parser* parser = cmark_parser_new(CMARK_OPT_DEFAULT);
    if (!parser)
        return nullptr;
    for (const auto& [flag, name] : named) {
        if (extensions & flag) {
            if (cmark_syntax_extension* extension = cmark_find_syntax_extension(name))
                cmark_parser_attach_syntax_extension(parser, extension);
        }
    }
    cmark_parser_feed(parser, text.data(), text.size());
    if (fed)
        fed();
    CmarkTree root(cmark_parser_finish(parser));
    cmark_parser_free(parser);
    return root;
}

} // namespace markdown::detail
