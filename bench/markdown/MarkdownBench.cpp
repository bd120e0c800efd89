#include "TestSupport.h"
#include "markdown/MarkdownParser.h"
#include "markdown/MarkdownRenderer.h"
#include "markdown/Log.h"

#include <benchmark/benchmark.h>

#include <optional>
#include <string>
#include <vector>

using namespace markdown::test;

namespace {

constexpr std::size_t documentSize = 2'000'000;

// The GFM reference text (spec.txt) repeated to about 2 MB.
const std::string& document()
{
    static const std::string text = [] {
        const std::string spec = readGzip(gfmReferencePath);
        std::string result;
        while (!spec.empty() && result.size() < documentSize)
            result += spec + "\n\n";
        return result;
    }();
    return text;
}

bool haveDocument(benchmark::State& state)
{
    if (!document().empty())
        return true;
    state.SkipWithError("the GFM reference text spec.txt.gz is missing (install Debian's cmark-gfm package)");
    return false;
}

void BM_CmarkParse(benchmark::State& state)
{
    if (!haveDocument(state))
        return;
    const std::string& text = document();
    for (auto _ : state)
        benchmark::DoNotOptimize(parseWithCmark(text));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_CmarkParse)->Unit(benchmark::kMillisecond);

// The model is what the caller keeps: its destruction is timed separately.
void BM_ParseAndConvert(benchmark::State& state)
{
    if (!haveDocument(state))
        return;
    const std::string& text = document();
    for (auto _ : state) {
        auto blocks = markdown::parseMarkdownBlocks(text);
        benchmark::DoNotOptimize(blocks);
        state.PauseTiming();
        blocks.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseAndConvert)->Unit(benchmark::kMillisecond);

void BM_ParseConvertAndDestroy(benchmark::State& state)
{
    if (!haveDocument(state))
        return;
    const std::string& text = document();
    for (auto _ : state)
        benchmark::DoNotOptimize(markdown::parseMarkdownBlocks(text));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseConvertAndDestroy)->Unit(benchmark::kMillisecond);

void BM_RenderHTML(benchmark::State& state)
{
    if (!haveDocument(state))
        return;
    const auto blocks = markdown::parseMarkdownBlocks(document()).value();
    for (auto _ : state)
        benchmark::DoNotOptimize(markdown::renderBlocksAsHTML(blocks));
}
BENCHMARK(BM_RenderHTML)->Unit(benchmark::kMillisecond);

// One ordered list of N one-word items rendered back: linear in N in every format (cmark-gfm
// itself would count the items before each one to number it).
void BM_RenderLongNumberedList(benchmark::State& state,
                               std::optional<std::string> (*render)(const std::vector<markdown::BlockNode>&))
{
    std::vector<markdown::RawListItem> items;
    for (std::int64_t i = 0; i < state.range(0); ++i)
        items.push_back({{markdown::BlockNode::paragraph({markdown::InlineNode::text("item" + std::to_string(i))})}});
    const std::vector<markdown::BlockNode> blocks{markdown::BlockNode::numberedList(true, 1, std::move(items))};
    for (auto _ : state)
        benchmark::DoNotOptimize(render(blocks));
    state.SetComplexityN(state.range(0));
}
BENCHMARK_CAPTURE(BM_RenderLongNumberedList, commonMark, markdown::renderBlocksAsCommonMark)
    ->Arg(25'000)->Arg(100'000)->Arg(400'000)->Complexity()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RenderLongNumberedList, plainText, markdown::renderBlocksAsPlainText)
    ->Arg(25'000)->Arg(100'000)->Arg(400'000)->Complexity()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RenderLongNumberedList, html, markdown::renderBlocksAsHTML)
    ->Arg(25'000)->Arg(100'000)->Arg(400'000)->Complexity()->Unit(benchmark::kMillisecond);

void BM_Hostile(benchmark::State& state, std::string text)
{
    markdown::setLogHandler([](markdown::LogLevel, std::string_view, std::string_view) {});
    for (auto _ : state)
        benchmark::DoNotOptimize(markdown::parseMarkdownBlocks(text));
    markdown::setLogHandler(nullptr);
}
BENCHMARK_CAPTURE(BM_Hostile, empty, std::string())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Hostile, nul_and_invalid_utf8, repeat(std::string("a\0\xFF\xC0\r\n", 6), 100'000))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Hostile, crlf, repeat("line\r\n", 200'000))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Hostile, quotes_100k, repeat(">", 100'000) + " x")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Hostile, bullets_100k, repeat("* ", 100'000) + "x")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Hostile, stars_100k, repeat("*", 100'000) + "x" + repeat("*", 100'000))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Hostile, table_5000x5000, "|" + repeat("a|", 5'000) + "\n|" + repeat("-|", 5'000) + "\n" + repeat("x\n", 5'000))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Hostile, table_row_20000, "|" + repeat("a|", 20'000) + "\n|" + repeat("-|", 20'000) + "\n")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Hostile, image_openers_20k, repeat("![[]()", 20'000))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Hostile, image_openers_200k, repeat("![[]()", 200'000))->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
