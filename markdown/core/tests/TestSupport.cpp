#include "TestSupport.h"

#include <cmark-gfm-core-extensions.h>

#include <cstdio>

namespace markdown::test {

CmarkDocument parseWithCmark(std::string_view markdown)
{
    cmark_gfm_core_extensions_ensure_registered();
    cmark_parser* parser = cmark_parser_new(CMARK_OPT_DEFAULT);
    for (const char* name : {"autolink", "strikethrough", "tagfilter", "tasklist", "table"})
        cmark_parser_attach_syntax_extension(parser, cmark_find_syntax_extension(name));
    cmark_parser_feed(parser, markdown.data(), markdown.size());
    CmarkDocument root(cmark_parser_finish(parser));
    cmark_parser_free(parser);
    return root;
}

std::string readGzip(const char* path)
{
    const std::string command = std::string("gzip -dc '") + path + "' 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::string text;
    if (!pipe)
        return text;
    char buffer[65536];
    for (std::size_t read; (read = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0;)
        text.append(buffer, read);
    return text;
}

std::string repeat(std::string_view piece, std::size_t count)
{
    std::string result;
    result.reserve(piece.size() * count);
    for (std::size_t i = 0; i < count; ++i)
        result += piece;
    return result;
}

} // namespace markdown::test
