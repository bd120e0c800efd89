// Budget: a 1 MB document opens (parse + build + first layout) no slower than
// QTextDocument::setMarkdown plus its layout at the same width; a scroll frame paints in
// under 8 ms. The block views here are plain stand-ins (text per block, lists and tables as
// stacks and grids) that exercise the layout layer the way the document views do.

#include "mdview/Environment.h"
#include "mdview/Host.h"
#include "mdview/InlineRendering.h"

#include "markdown/MarkdownParser.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTextDocument>

#include <benchmark/benchmark.h>

using namespace mdview;
using markdown::BlockNode;

namespace {

constexpr double width = 800;

std::string makeDocument(std::size_t bytes)
{
    const std::string section = R"md(## Section heading with *emphasis*

A paragraph of running text with **strong words**, `inline code`, ~~struck text~~ and a
[link to somewhere](https://example.org/path). It goes on for a while so that it wraps over
several lines at the usual document width, like most prose in a project's documentation.

- First item of a list with some text
- Second item, which has `code` in it
  - A nested item
1. Numbered one
2. Numbered two

```swift
let answer = compute(42)
print("The answer is \(answer)")
```

| Column A | Column B | Column C |
|----------|:--------:|---------:|
| cell a1  | cell b1  | cell c1  |
| cell a2  | cell b2  | cell c2  |

> A quoted remark that spans a line or two of text in the document.

)md";
    std::string text;
    while (text.size() < bytes)
        text += section;
    return text;
}

View inlineText(const std::vector<markdown::InlineNode>& inlines)
{
    return EnvironmentReader([inlines](const Environment& environment) {
        TextInlineRenderer renderer(environment.baseURL, InlineTextStyles::of(environment.theme()), {},
                                    environment.softBreakMode, environment.textStyle.attributes());
        renderer.renderInlines(inlines);
        return Text(renderer.result());
    });
}

View blockView(const BlockNode& block);

View blocks(const std::vector<BlockNode>& children)
{
    std::vector<View> views;
    for (const BlockNode& child : children)
        views.push_back(blockView(child));
    return VStack(std::move(views), HorizontalAlignment::leading, 8);
}

View listItems(const std::vector<markdown::RawListItem>& items)
{
    std::vector<View> rows;
    for (const auto& item : items)
        rows.push_back(HStack({ListMarker::disc().makeBody({1, 1}), blocks(item.children)},
                              VerticalAlignment::firstTextBaseline, 4));
    return VStack(std::move(rows), HorizontalAlignment::leading, 4);
}

View blockView(const BlockNode& block)
{
    if (const auto* p = block.as<BlockNode::Paragraph>())
        return inlineText(p->content);
    if (const auto* h = block.as<BlockNode::Heading>())
        return inlineText(h->content).markdownTextStyle([] { return TextStyle(FontSize(RelativeSize::em(1.5))); });
    if (const auto* c = block.as<BlockNode::CodeBlock>())
        return HorizontalScroll(Text(QString::fromStdString(c->content))).padding(8).background(Color::rgba(0xf0f0f0ff));
    if (const auto* q = block.as<BlockNode::Blockquote>())
        return blocks(q->children).padding(Leading, 12);
    if (const auto* l = block.as<BlockNode::BulletedList>())
        return listItems(l->items);
    if (const auto* l = block.as<BlockNode::NumberedList>())
        return listItems(l->items);
    if (const auto* t = block.as<BlockNode::Table>()) {
        std::vector<std::vector<View>> rows;
        for (const auto& row : t->rows) {
            rows.emplace_back();
            for (const auto& cell : row.cells)
                rows.back().push_back(inlineText(cell.content).padding(4));
        }
        return Grid(std::move(rows));
    }
    return Divider();
}

View documentView(const std::vector<BlockNode>& parsed)
{
    return blocks(parsed).padding(16);
}

const std::string& document()
{
    static const std::string text = makeDocument(1 << 20);
    return text;
}

void QTextDocumentOpen(benchmark::State& state)
{
    const QString text = QString::fromStdString(document());
    for (auto _ : state) {
        QTextDocument doc;
        doc.setTextWidth(width);
        doc.setMarkdown(text);
        benchmark::DoNotOptimize(doc.documentLayout()->documentSize());
    }
}
BENCHMARK(QTextDocumentOpen)->Unit(benchmark::kMillisecond)->Iterations(3);

void ViewOpen(benchmark::State& state)
{
    for (auto _ : state) {
        const auto parsed = markdown::parseMarkdownBlocks(document()).value_or(std::vector<BlockNode>{});
        ViewHost host;
        host.setView(documentView(parsed));
        benchmark::DoNotOptimize(host.layout(width));
    }
}
BENCHMARK(ViewOpen)->Unit(benchmark::kMillisecond)->Iterations(3);

// A window resize: every text wraps again at the new width.
void ViewRelayout(benchmark::State& state)
{
    const auto parsed = markdown::parseMarkdownBlocks(document()).value_or(std::vector<BlockNode>{});
    ViewHost host;
    host.setView(documentView(parsed));
    double w = width;
    host.layout(w); // opened
    for (auto _ : state) {
        w -= 7; // always a width not seen before
        benchmark::DoNotOptimize(host.layout(w));
    }
}
BENCHMARK(ViewRelayout)->Unit(benchmark::kMillisecond)->Iterations(10);

// A window edge dragged: ten resizes reach the document view before the event loop comes round.
void DocumentResizeBurst(benchmark::State& state)
{
    const auto parsed = markdown::parseMarkdownBlocks(document()).value_or(std::vector<BlockNode>{});
    DocumentView view;
    view.setView(documentView(parsed));
    int w = int(width);
    view.resize(w, 600);
    view.show();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        for (int step = 0; step < 10; ++step)
            view.resize(w -= 3, 600); // always a width not seen before
        QCoreApplication::processEvents();
    }
}
BENCHMARK(DocumentResizeBurst)->Unit(benchmark::kMillisecond)->Iterations(5);

void ViewScrollFrame(benchmark::State& state)
{
    const auto parsed = markdown::parseMarkdownBlocks(document()).value_or(std::vector<BlockNode>{});
    ViewHost host;
    host.setView(documentView(parsed));
    const double height = host.layout(width);
    QImage frame(int(width), 1000, QImage::Format_ARGB32_Premultiplied);
    double y = height / 2;
    for (auto _ : state) {
        frame.fill(Qt::white);
        QPainter painter(&frame);
        painter.translate(0, -y);
        host.paint(painter, QRectF(0, y, width, 1000));
        y += 37; // a new position each frame, as when scrolling
    }
}
BENCHMARK(ViewScrollFrame)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
