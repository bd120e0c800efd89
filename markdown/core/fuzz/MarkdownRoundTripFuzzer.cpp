// Markdown text -> model -> CommonMark, plain text and HTML; the CommonMark is parsed again.
// Nothing may crash, leak or run away on any input.
#include "markdown/MarkdownParser.h"
#include "markdown/MarkdownRenderer.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto blocks = markdown::parseMarkdownBlocks(text);
    if (!blocks)
        return 0;
    const auto commonMark = markdown::renderBlocksAsCommonMark(*blocks);
    markdown::renderBlocksAsPlainText(*blocks);
    markdown::renderBlocksAsHTML(*blocks);
    if (commonMark)
        markdown::parseMarkdownBlocks(*commonMark);
    return 0;
}
