// Markdown text -> model -> every inline run through the inline renderers, the image
// helpers and the HTML tag matcher, in both colour schemes and soft-break modes; the text laid
// out at a page's width, painted in the middle and hit-tested.
#include "markdown/MarkdownParser.h"
#include "mdview/Environment.h"
#include "mdview/InlineRendering.h"
#include "mdview/TextNode.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <cstddef>
#include <cstdint>
#include <string_view>

using markdown::BlockNode;
using markdown::InlineNode;
using markdown::SoftBreak;
using namespace mdview;

namespace {

void layOut(StyledText text)
{
    static const Environment environment;
    static QImage image(300, 200, QImage::Format_ARGB32_Premultiplied);
    RenderNodePtr node = Text(std::move(text)).build(environment);
    const QSizeF size = node->measure({900, std::nullopt});
    node->place(QRectF(QPointF(0, 0), size));
    const QRectF middle(0, size.height() / 2, 300, 200);
    {
        QPainter painter(&image);
        painter.translate(0, -middle.top());
        node->paint(painter, middle);
    }
    for (TextNode* text : collectTextNodes(*node)) {
        text->setSelection(0, int(text->text().size()));
        text->offsetAt(middle.center());
        text->linkAt(middle.center());
        text->rangeRect(int(text->text().size() / 2), int(text->text().size()));
    }
}

void renderInlines(const std::vector<InlineNode>& inlines)
{
    static const InlineTextStyles styles = InlineTextStyles::of(Theme());
    static const std::optional<QUrl> base(QUrl(QStringLiteral("file:///docs/readme.md")));
    AttributeContainer attributes;
    attributes.fontProperties = FontProperties{};
    for (const SoftBreak::Mode mode : {SoftBreak::Mode::space, SoftBreak::Mode::lineBreak}) {
        TextInlineRenderer text(base, styles, {}, mode, attributes);
        text.renderInlines(inlines);
        text.result().plainText();
        if (mode == SoftBreak::Mode::space)
            layOut(std::move(text).result());
        AttributedStringInlineRenderer attributed(std::nullopt, styles, mode, attributes);
        for (const InlineNode& node : inlines)
            attributed.renderInline(node);
    }
    for (const InlineNode& node : inlines) {
        if (const auto image = imageData(node)) {
            imageURL(image->source, base);
            if (image->destination)
                linkURL(*image->destination, base);
        }
        filterImagesByColorScheme(node, ColorScheme::light);
        filterImagesByColorScheme(node, ColorScheme::dark);
        if (const auto* html = node.as<InlineNode::Html>())
            HTMLTag::from(QString::fromStdString(html->html));
    }
}

void walk(const std::vector<BlockNode>& blocks)
{
    for (const BlockNode& block : blocks) {
        if (const auto* n = block.as<BlockNode::Paragraph>())
            renderInlines(n->content);
        else if (const auto* n = block.as<BlockNode::Heading>())
            renderInlines(n->content);
        else if (const auto* n = block.as<BlockNode::Table>())
            for (const auto& row : n->rows)
                for (const auto& cell : row.cells)
                    renderInlines(cell.content);
        walk(block.blockChildren());
    }
}

} // namespace

// Qt Gui, fontconfig, FreeType and HarfBuzz keep state for the whole process (the font database,
// font engines and their glyph caches), which LeakSanitizer reports at exit through stacks that end
// in those libraries, built without frame pointers. An allocation of this program's own code has a
// frame of its own, and its leak is still reported.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libQt6Gui.so\nleak:libfontconfig.so\nleak:libfreetype.so\nleak:libharfbuzz.so\n";
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (const auto blocks = markdown::parseMarkdownBlocks(std::string_view(reinterpret_cast<const char*>(data), size)))
        walk(*blocks);
    return 0;
}
