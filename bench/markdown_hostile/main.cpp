// Hostile Markdown: documents made to hang a parser or a text layout, opened in the document
// view at 900 px (parse, build, layout and the first screen painted), at 1 MB and at 2 MB.
//
// Budget: every input opens in under 2 s at 1 MB, and twice the input takes at most 2.2 times as
// long. The table printed after the runs holds both sizes, the ratio and the verdict; the
// individual runs are Google Benchmark's (median of the repetitions asked for, 3 by default).
//
// Then documents of very many blocks (and one paragraph of emoji) laid out whole, as quillora-render and a chat bubble lay
// them out (parse, build, layout of everything, the first screen painted), each in a process of
// its own for its peak memory, beside QTextDocument::setMarkdown plus its layout of the same
// text. Budget: within 2 s + 0.5 s per MB of input, and under 1 GB.
//
// With --guard: the emphasis guard's table. Each input (ordinary text with many marks, and each
// input above) at sizes growing fourfold: cmark-gfm's bare parse time, and whether the parser's
// guard rewrites it (the bounds it passes). The guard should fire only where cmark-gfm's time
// grows faster than its input, and before that time is long.
//
// usage: bench_markdown_hostile [Google Benchmark flags]   (--benchmark_filter=NONE for the
//        whole layouts alone)
//        bench_markdown_hostile --guard [PART OF AN INPUT'S NAME]

#include <benchsupport/PeakMemory.h>

#include "mddoc/OffscreenDocument.h"
#include "mddoc/Themes.h"

#include "mdview/Host.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTextDocument>

#include "InputGuard.h"
#include "TestSupport.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <random>
#include <string>

namespace {

constexpr double width = 900;
constexpr double viewportHeight = 1000;

std::string repeatTo(std::string_view piece, std::size_t bytes)
{
    std::string text;
    text.reserve(bytes + piece.size());
    while (text.size() < bytes)
        text += piece;
    return text;
}

// Words of ordinary length with inline marks, code, links, images and bare links among them,
// in one paragraph.
std::string wordsWithMarks(std::size_t bytes, bool oneParagraph)
{
    static const char* const pieces[] = {
        "word", "lorem", "ipsum", "dolor", "*em*", "_under_", "**strong**", "`code`", "~~struck~~",
        "[link](https://example.org/a_b)", "![image](missing.png)", "[", "]", "*", "_", "![", "(", ")",
        "https://example.org/path", "www.example.org", "a@example.org", "<b>", "&amp;",
    };
    std::mt19937 random(7);
    std::string text;
    text.reserve(bytes + 64);
    std::size_t line = 0;
    while (text.size() < bytes) {
        const char* piece = pieces[random() % std::size(pieces)];
        text += piece;
        line += std::strlen(piece) + 1;
        if (line > 72) {
            text += oneParagraph || random() % 8 ? "\n" : "\n\n";
            line = 0;
        } else {
            text += ' ';
        }
    }
    return text;
}

std::string table(std::size_t bytes)
{
    std::string text = "| a | b |\n|---|---|\n";
    for (int row = 0; text.size() < bytes; ++row)
        text += "| *e* | [x](u" + std::to_string(row) + ") |\n";
    return text;
}

struct Input {
    const char* name;
    std::function<std::string(std::size_t)> make;
};

const std::vector<Input>& inputs()
{
    static const std::vector<Input> all = {
        // The rows the issue measured.
        {"one unbroken word", [](std::size_t n) { return std::string(n, 'a'); }},
        {"a format run per character", [](std::size_t n) { return repeatTo("*w_w**w__w", n); }},
        {"NUL bytes", [](std::size_t n) { return std::string(n, '\0'); }},
        {"unbroken script in an HTML block",
         [](std::size_t n) { return "<script>\n" + repeatTo("var_a=b+c;if(d){e()}", n) + "\n</script>\n"; }},
        {"one autolink", [](std::size_t n) { return "https://example.org/" + std::string(n, 'a'); }},
        {"* openers, _ closers", [](std::size_t n) { return repeatTo("*a_", n / 2) + repeatTo("*_", n / 2); }},
        {"words, marks, links, images", [](std::size_t n) { return wordsWithMarks(n, true); }},
        {"table of emphasis and links", table},
        // More of the same kind.
        {"emphasis before many links",
         [](std::size_t n) { return "[o]: /u\n\n" + repeatTo("*[o] _[o](/u) ~[o] ", n); }},
        {"image openers and links", [](std::size_t n) { return repeatTo("![[]()", n); }},
        {"failing www. domains", [](std::size_t n) { return repeatTo("www.a_", n); }},
        {"closing parentheses of a link", [](std::size_t n) { return "http://a.b/" + std::string(n, ')'); }},
        {"addresses", [](std::size_t n) { return repeatTo("a@", n); }},
        {"deep list, blank lines", [](std::size_t n) { return repeatTo("- ", 6'000) + "a\n" + std::string(n, '\n'); }},
        {"deep quote, lazy lines", [](std::size_t n) { return std::string(3'000, '>') + " a\n" + repeatTo("b\n", n); }},
        {"unbroken Cyrillic", [](std::size_t n) { return repeatTo("\xD0\xB6\xD0\xB8\xD0\xB2", n); }},
        {"unbroken line in a code block", [](std::size_t n) { return "```\n" + std::string(n, 'x') + "\n```\n"; }},
        {"minified JSON line", [](std::size_t n) { return repeatTo("{\"k\":[1,2,{\"v\":\"w\"}]},", n); }},
        {"a list of short items", [](std::size_t n) { return repeatTo("- item *a*\n", n); }},
        {"words in one paragraph", [](std::size_t n) { return repeatTo("lorem ipsum dolor sit amet ", n); }},
        {"words, marks, many paragraphs", [](std::size_t n) { return wordsWithMarks(n, false); }},
        {"one wide table row", [](std::size_t n) { return "|" + repeatTo("a|", n / 2) + "\n|" + repeatTo("-|", n / 2) + "\n"; }},
        {"control characters", [](std::size_t n) { return repeatTo("\x01\x02\x1b[31m\x7f", n); }},
    };
    return all;
}

// Parse, build, layout at the width and the first screen painted.
double openOnce(const QString& text)
{
    QElapsedTimer timer;
    timer.start();
    mddoc::OffscreenDocument view(text, mddoc::themes::basic(), mdview::ColorScheme::light, width);
    QImage frame(int(width), int(viewportHeight), QImage::Format_ARGB32_Premultiplied);
    frame.fill(Qt::white);
    {
        QPainter painter(&frame);
        view.host().paint(painter, QRectF(0, 0, width, viewportHeight));
    }
    return double(timer.nsecsElapsed()) / 1e6;
}

// Documents of very many small blocks.
struct ManyBlocks {
    const char* name;
    std::string text;
};

const std::vector<ManyBlocks>& manyBlocks()
{
    static const std::vector<ManyBlocks> all = {
        {"200,000 ATX headings", repeatTo("# Heading\n", 200'000 * 10)},
        {"200,000 setext headings", repeatTo("Heading\n=======\n", 200'000 * 16)},
        {"500,000 thematic breaks", repeatTo("***\n", 500'000 * 4)},
        {"200,000 paragraphs, CR line ends", repeatTo("A line of text in a paragraph.\r\r", 200'000 * 32)},
        // Man, woman, girl and boy joined into one emoji, with no space: colour glyphs, each
        // measured from its picture.
        {"50,000 family emoji, 1 paragraph",
         repeatTo("\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7\xE2\x80\x8D\xF0\x9F\x91\xA6", 50'000 * 25)},
    };
    return all;
}

// Child mode: lays one document out whole one way; prints the milliseconds and the peak in KB.
int measureWhole(const QString& kind, int index)
{
    const std::string& made = manyBlocks().at(std::size_t(index)).text;
    const QString text = QString::fromUtf8(made.data(), qsizetype(made.size()));
    QElapsedTimer timer;
    timer.start();
    if (kind == QLatin1String("view")) {
        openOnce(text);
    } else {
        QTextDocument document;
        document.setTextWidth(width);
        document.setMarkdown(text);
        benchmark::DoNotOptimize(document.documentLayout()->documentSize());
    }
    std::printf("%.1f %ld\n", double(timer.nsecsElapsed()) / 1e6, benchsupport::peakKilobytes());
    return 0;
}

std::pair<double, double> childWhole(const QString& kind, std::size_t index)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--whole"), kind, QString::number(index)});
    child.waitForFinished(600'000);
    const QStringList figures = QString::fromUtf8(child.readAllStandardOutput()).trimmed().split(QLatin1Char(' '));
    return {figures.value(0).toDouble(), figures.value(1).toDouble() / 1024};
}

void printWholeLayouts()
{
    std::printf("\n%-34s %6s %9s %8s %10s %9s %7s  %s\n", "laid out whole (900 px)", "MB", "view ms", "view MB",
                "QTextDoc ms", "QTD MB", "budget", "verdict");
    for (std::size_t i = 0; i < manyBlocks().size(); ++i) {
        const ManyBlocks& document = manyBlocks()[i];
        const double megabytes = double(document.text.size()) / (1 << 20);
        const auto [viewMs, viewMb] = childWhole(QStringLiteral("view"), i);
        const auto [qtdMs, qtdMb] = childWhole(QStringLiteral("qtextdocument"), i);
        const double budget = 2000 + 500 * megabytes;
        const bool ok = viewMs > 0 && viewMs <= budget && viewMb < 1024;
        std::printf("%-34s %6.1f %9.0f %8.0f %10.0f %9.0f %7.0f  %s\n", document.name, megabytes, viewMs, viewMb, qtdMs,
                    qtdMb, budget, ok ? "ok" : "OVER");
        std::fflush(stdout);
    }
}

std::map<std::string, std::map<std::size_t, std::vector<double>>>& results()
{
    static std::map<std::string, std::map<std::size_t, std::vector<double>>> all;
    return all;
}

void Open(benchmark::State& state, const Input* input, std::size_t bytes)
{
    const std::string made = input->make(bytes);
    const QString text = QString::fromUtf8(made.data(), qsizetype(made.size()));
    for (auto _ : state) {
        const double ms = openOnce(text);
        state.SetIterationTime(ms / 1000);
        results()[input->name][bytes].push_back(ms);
    }
    state.counters["MB"] = double(made.size()) / (1 << 20);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

void printTable()
{
    constexpr std::size_t small = 1 << 20;
    std::printf("\n%-34s %10s %10s %7s  %s\n", "input (open at 900 px)", "1 MB ms", "2 MB ms", "ratio", "verdict");
    for (const Input& input : inputs()) {
        const auto found = results().find(input.name);
        if (found == results().end())
            continue;
        const double one = median(found->second[small]);
        const double two = median(found->second[2 * small]);
        const double ratio = one > 0 ? two / one : 0;
        const bool ok = one < 2000 && (two == 0 || ratio <= 2.2);
        std::printf("%-34s %10.0f %10.0f %7.2f  %s\n", input.name, one, two, ratio, ok ? "ok" : "OVER");
    }
    std::fflush(stdout);
}

// cmark-gfm's bare parse of a text with the extensions the parser attaches, in ms: the best of
// three runs when they are short.
double cmarkMilliseconds(const std::string& text)
{
    double best = 0;
    for (int run = 0; run < 3 && (run == 0 || best < 200); ++run) {
        QElapsedTimer timer;
        timer.start();
        benchmark::DoNotOptimize(markdown::test::parseWithCmark(text));
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        best = run == 0 ? ms : std::min(best, ms);
    }
    return best;
}

// The bounds the guard passes on a text, named short; "-" for none.
std::string guardDecision(const std::string& text)
{
    markdown::detail::GuardedInput guarded;
    markdown::detail::guardInput(text, guarded);
    static const std::pair<const char*, const char*> names[] = {
        {"emphasis marks", "emphasis"}, {"image openers", "images"}, {"bare links", "bare links"},
        {"tables", "tables"},           {"nests blocks", "nesting"},
    };
    std::string decision;
    for (const std::string& warning : guarded.warnings) {
        for (const auto& [key, name] : names) {
            if (warning.find(key) != std::string::npos)
                decision += (decision.empty() ? "" : ",") + std::string(name);
        }
    }
    return decision.empty() ? "-" : decision;
}

int guardTable(std::string_view only)
{
    std::vector<Input> all = {
        {"*w0* *w1* ... (ordinary marks)",
         [](std::size_t n) {
             std::string text;
             for (int i = 0; text.size() < n; ++i)
                 text += "*w" + std::to_string(i) + "* ";
             return text;
         }},
    };
    all.insert(all.end(), inputs().begin(), inputs().end());
    std::printf("%-34s %9s %10s %7s %12s  %s\n", "input", "KB", "cmark ms", "growth", "steps", "guard");
    for (const Input& input : all) {
        if (std::string_view(input.name).find(only) == std::string_view::npos)
            continue;
        double previous = 0;
        for (const std::size_t bytes : {std::size_t(9) << 10, std::size_t(36) << 10, std::size_t(144) << 10,
                                        std::size_t(576) << 10, std::size_t(2304) << 10}) {
            const std::string text = input.make(bytes);
            const double ms = cmarkMilliseconds(text);
            std::uint64_t steps = 0;
            for (const markdown::detail::Segment& run : markdown::detail::lineRuns(text))
                steps += markdown::detail::inlineWork(std::string_view(text).substr(run.begin, run.end - run.begin), true).emphasis;
            std::printf("%-34s %9.0f %10.2f %7s %12llu  %s\n", input.name, double(text.size()) / 1024, ms,
                        previous > 0.05 ? QByteArray::number(ms / previous, 'f', 1).constData() : "",
                        static_cast<unsigned long long>(steps), guardDecision(text).c_str());
            std::fflush(stdout);
            previous = ms;
            if (ms > 2000)
                break; // the next size would take minutes
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc >= 2 && qstrcmp(argv[1], "--guard") == 0)
        return guardTable(argc > 2 ? argv[2] : "");
    if (argc == 4 && qstrcmp(argv[1], "--whole") == 0)
        return measureWhole(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]));
    for (const Input& input : inputs()) {
        for (const std::size_t bytes : {std::size_t(1) << 20, std::size_t(2) << 20}) {
            const std::string name = std::string("Open/") + input.name + "/" + std::to_string(bytes >> 20) + "MB";
            benchmark::RegisterBenchmark(name.c_str(), Open, &input, bytes)
                ->Unit(benchmark::kMillisecond)
                ->UseManualTime()
                ->Iterations(1)
                ->Repetitions(3)
                ->ReportAggregatesOnly(true);
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    printTable();
    printWholeLayouts();
    return 0;
}
