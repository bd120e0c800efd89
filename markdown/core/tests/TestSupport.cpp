#include "TestSupport.h"

#include <cmark-gfm-core-extensions.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

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

std::string cmarkHTML(std::string_view markdown)
{
    const CmarkDocument root = parseWithCmark(markdown);
    cmark_iter* iter = cmark_iter_new(root.get());
    while (cmark_iter_next(iter) != CMARK_EVENT_DONE) {
        cmark_node* node = cmark_iter_get_node(iter);
        const cmark_node_type type = cmark_node_get_type(node);
        if (type == CMARK_NODE_LINK || type == CMARK_NODE_IMAGE)
            cmark_node_set_title(node, "");
    }
    cmark_iter_free(iter);
    char* html = cmark_render_html(root.get(), CMARK_OPT_DEFAULT, nullptr);
    std::string result(html);
    cmark_get_default_mem_allocator()->free(html);
    return result;
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

std::string documentsFolder()
{
    const char* folder = std::getenv(documentsVariable);
    return folder ? folder : "";
}

std::vector<std::pair<std::string, std::string>> loadMarkdownDocuments(const std::string& folder)
{
    std::vector<std::pair<std::string, std::string>> documents;
    std::error_code error;
    for (std::filesystem::recursive_directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        if (!it->is_regular_file() || it->path().extension() != ".md")
            continue;
        std::ifstream file(it->path(), std::ios::binary);
        std::ostringstream content;
        content << file.rdbuf();
        documents.emplace_back(it->path().string(), content.str());
    }
    std::sort(documents.begin(), documents.end());
    return documents;
}

std::string repeat(std::string_view piece, std::size_t count)
{
    std::string result;
    result.reserve(piece.size() * count);
    for (std::size_t i = 0; i < count; ++i)
        result += piece;
    return result;
}

std::vector<GfmExample> gfmExamples(const std::string& spec)
{
    const std::string fence(32, '`');
    std::vector<GfmExample> examples;
    std::size_t at = 0;
    int line = 1;
    int number = 0;
    GfmExample current;
    enum { outside, markdown, html } state = outside;
    while (at < spec.size()) {
        std::size_t end = spec.find('\n', at);
        if (end == std::string::npos)
            end = spec.size();
        const std::string_view text(spec.data() + at, end - at);
        if (state == outside && text.starts_with(fence + " example")) {
            ++number;
            current = GfmExample{number, line, {}, text.find("disabled") != std::string_view::npos};
            state = markdown;
        } else if (state == markdown && text == ".") {
            state = html;
        } else if (state == markdown) {
            current.markdown.append(text);
            current.markdown += '\n';
        } else if (state == html && text == fence) {
            examples.push_back(current);
            state = outside;
        }
        at = end + 1;
        ++line;
    }
    // Tabs are written as U+2192 in the examples.
    const std::string_view arrow = "\xE2\x86\x92";
    for (GfmExample& example : examples) {
        std::string text;
        for (std::size_t from = 0;;) {
            const std::size_t found = example.markdown.find(arrow, from);
            text.append(example.markdown, from, found == std::string::npos ? std::string::npos : found - from);
            if (found == std::string::npos)
                break;
            text += '\t';
            from = found + arrow.size();
        }
        example.markdown = std::move(text);
    }
    return examples;
}

} // namespace markdown::test
