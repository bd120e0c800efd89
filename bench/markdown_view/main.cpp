// Opening real Markdown documents in the document view beside cmark-gfm's bare parse and
// QTextDocument::setMarkdown plus its layout, at 900 px.
//
// Budget: the first full layout no slower than QTextDocument's layout of the same file; open to
// first paint <= 250 ms; relayout at a new width <= 100 ms; scroll frame p99 < 8 ms; appending
// 200-byte chunks to a 50 KB text <= 4 ms per update; peak RSS <= 2x QTextDocument's.
//
// Documents: a long project changelog (QUILLORA_BENCH_CHANGELOG, else nodejs' CHANGELOG_V12.md
// where the nodejs docs ship it; the Rust toolchain's releases.md is another), a table-heavy
// API reference (made by assemble-api-reference.py from nodejs-doc's all.html, path in
// QUILLORA_BENCH_API_REFERENCE), the GFM reference text spec.txt repeated to 1 MB, and one
// 5 MB code fence.
// Missing documents are skipped with a note.
//
// Peak memory: `bench_markdown_view --rss KIND FILE` opens FILE one way (view, qtextdocument or
// none) in a fresh process and prints its peak resident set; the benchmark runs itself so for
// each document before the timings.

#include "mddoc/Markdown.h"
#include "mddoc/OffscreenDocument.h"
#include "mddoc/Themes.h"

#include "mdview/Host.h"

#include "TestSupport.h"

#include <cmark-gfm-core-extensions.h>
#include <cmark-gfm.h>

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTextDocument>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>

namespace {

constexpr double width = 900;
constexpr double viewportHeight = 1000;

struct Document {
    const char* name;
    QString path; // empty when made in memory
    QString text;
};

std::vector<Document>& documents()
{
    static std::vector<Document> all;
    return all;
}

QString readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

void loadDocuments()
{
    // Any long real changelog will do: QUILLORA_BENCH_CHANGELOG, else the one the nodejs docs ship.
    const QString changelog = qEnvironmentVariable("QUILLORA_BENCH_CHANGELOG",
                                                   QStringLiteral("/usr/share/doc/nodejs/changelogs/CHANGELOG_V12.md"));
    const QString api = qEnvironmentVariable("QUILLORA_BENCH_API_REFERENCE", QStringLiteral("/tmp/api-reference.md"));
    for (const auto& [name, path] : {std::pair{"changelog", changelog}, std::pair{"api-reference", api}}) {
        const QString text = readFile(path);
        if (text.isEmpty())
            std::fprintf(stderr, "skipping %s: cannot read %s (apt-get install nodejs-doc; "
                                 "bench/markdown_view/assemble-api-reference.py makes the API reference)\n",
                         name, qUtf8Printable(path));
        else
            documents().push_back({name, path, text});
    }
    // One code fence of 5 MB: it lays out as one text, and a scroll frame draws a screen of it.
    QString code = QStringLiteral("```swift\n");
    const QString line = QStringLiteral("let value = compute(42) // a comment that makes the line long enough\n");
    while (code.size() < 5 * 1024 * 1024)
        code += line;
    documents().push_back({"code-5mb", QString(), code + QStringLiteral("```\n")});
    const std::string spec = markdown::test::readGzip(markdown::test::gfmReferencePath);
    if (spec.empty()) {
        std::fprintf(stderr, "skipping spec-x: cannot read %s\n", markdown::test::gfmReferencePath);
    } else {
        const QString once = QString::fromStdString(spec);
        QString text;
        while (text.size() < (1 << 20))
            text += once + QStringLiteral("\n\n");
        documents().push_back({"spec-x", QString(), text});
    }
}

double ms(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

void paintFrame(mdview::ViewHost& host, QImage& frame, double top)
{
    frame.fill(Qt::white);
    QPainter painter(&frame);
    painter.translate(0, -top);
    host.paint(painter, QRectF(0, top, width, viewportHeight));
}

void CmarkParse(benchmark::State& state, const Document* document)
{
    cmark_gfm_core_extensions_ensure_registered();
    const QByteArray utf8 = document->text.toUtf8();
    for (auto _ : state) {
        cmark_parser* parser = cmark_parser_new(CMARK_OPT_DEFAULT);
        for (const char* name : {"autolink", "strikethrough", "tagfilter", "tasklist", "table"})
            cmark_parser_attach_syntax_extension(parser, cmark_find_syntax_extension(name));
        cmark_parser_feed(parser, utf8.constData(), std::size_t(utf8.size()));
        cmark_node* root = cmark_parser_finish(parser);
        benchmark::DoNotOptimize(root);
        cmark_node_free(root);
        cmark_parser_free(parser);
    }
}

// setMarkdown, then the layout at the width (both timed, the layout also alone).
void QTextDocumentOpen(benchmark::State& state, const Document* document)
{
    double layoutMs = 0;
    for (auto _ : state) {
        QTextDocument doc;
        doc.setTextWidth(width);
        doc.setMarkdown(document->text);
        QElapsedTimer timer;
        timer.start();
        benchmark::DoNotOptimize(doc.documentLayout()->documentSize());
        layoutMs += ms(timer);
    }
    state.counters["layout_ms"] = layoutMs / double(state.iterations());
}

// Parse, build and the first full layout, then the first screen painted.
void ViewOpen(benchmark::State& state, const Document* document)
{
    double parse = 0, build = 0, layout = 0, firstPaint = 0;
    QImage frame(int(width), int(viewportHeight), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        mddoc::OffscreenDocument view(document->text, mddoc::themes::basic(), mdview::ColorScheme::light, width);
        paintFrame(view.host(), frame, 0);
        firstPaint += ms(timer);
        parse += view.timings().parseMs;
        build += view.timings().buildMs;
        layout += view.timings().fullLayoutMs;
    }
    const double n = double(state.iterations());
    state.counters["parse_ms"] = parse / n;
    state.counters["build_ms"] = build / n;
    state.counters["layout_ms"] = layout / n;
    state.counters["first_paint_ms"] = firstPaint / n;
}

// A window resize: every text wraps again at the new width.
void ViewRelayout(benchmark::State& state, const Document* document)
{
    mddoc::OffscreenDocument view(document->text, mddoc::themes::basic(), mdview::ColorScheme::light, width);
    double w = width;
    for (auto _ : state) {
        w -= 7; // a width not seen before
        benchmark::DoNotOptimize(view.host().layout(w));
    }
}

// One frame per scroll position through the document; p99 and the slowest as counters.
void ViewScrollFrame(benchmark::State& state, const Document* document)
{
    mddoc::OffscreenDocument view(document->text, mddoc::themes::basic(), mdview::ColorScheme::light, width);
    QImage frame(int(width), int(viewportHeight), QImage::Format_ARGB32_Premultiplied);
    std::vector<double> times;
    double y = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        paintFrame(view.host(), frame, y);
        times.push_back(ms(timer));
        y += 97; // a new position each frame, as when scrolling
        if (y > view.height())
            y = 0;
    }
    std::sort(times.begin(), times.end());
    state.counters["p99_ms"] = times[std::min(times.size() - 1, std::size_t(double(times.size()) * 0.99))];
    state.counters["max_ms"] = times.back();
}

// Text streaming into a chat bubble: 200 bytes at a time onto the first 50 KB of the document.
void ViewAppend(benchmark::State& state, const Document* document)
{
    const QString start = document->text.left(50 * 1024);
    const QString rest = document->text.mid(50 * 1024, 200 * 500);
    mddoc::Markdown markdown(start, mddoc::Markdown::Sizing::heightForWidth);
    markdown.resize(int(width), int(viewportHeight)); // a bubble as wide as the document
    markdown.show();
    QCoreApplication::processEvents();
    markdown.host().layout(width);
    qsizetype at = 0;
    QString text = start;
    for (auto _ : state) {
        if (at + 200 > rest.size()) {
            state.PauseTiming();
            text = start;
            at = 0;
            markdown.setText(text);
            markdown.host().layout(width);
            state.ResumeTiming();
        }
        text += rest.mid(at, 200);
        at += 200;
        markdown.setText(text);
        benchmark::DoNotOptimize(markdown.host().layout(width));
    }
}

long peakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Child mode: open one document one way and print the peak resident set in kilobytes.
int measureResidentSet(const QString& kind, const QString& path)
{
    QString text = readFile(path);
    for (const Document& d : documents()) {
        if (d.path.isEmpty() && path == QLatin1String(d.name))
            text = d.text; // made in memory: named by its name
    }
    if (kind == QLatin1String("view")) {
        mddoc::OffscreenDocument view(text, mddoc::themes::basic(), mdview::ColorScheme::light, width);
        QImage frame(int(width), int(viewportHeight), QImage::Format_ARGB32_Premultiplied);
        paintFrame(view.host(), frame, 0);
        std::printf("%ld\n", peakKilobytes());
    } else if (kind == QLatin1String("qtextdocument")) {
        QTextDocument doc;
        doc.setTextWidth(width);
        doc.setMarkdown(text);
        benchmark::DoNotOptimize(doc.documentLayout()->documentSize());
        std::printf("%ld\n", peakKilobytes());
    } else {
        std::printf("%ld\n", peakKilobytes());
    }
    return 0;
}

long childResidentSet(const QString& program, const QString& kind, const QString& path)
{
    QProcess child;
    child.start(program, {QStringLiteral("--rss"), kind, path});
    child.waitForFinished(600000);
    return QString::fromUtf8(child.readAllStandardOutput()).trimmed().toLong();
}

void reportResidentSets(const QString& program)
{
    const long empty = childResidentSet(program, QStringLiteral("none"), QString());
    std::printf("Peak resident set (MB), whole process; an idle process takes %.1f MB\n", double(empty) / 1024);
    std::printf("%-16s %12s %14s %8s %22s\n", "document", "view", "QTextDocument", "ratio", "ratio above idle");
    for (const Document& document : documents()) {
        const QString path = document.path.isEmpty() ? QString::fromLatin1(document.name) : document.path;
        const long view = childResidentSet(program, QStringLiteral("view"), path);
        const long qtd = childResidentSet(program, QStringLiteral("qtextdocument"), path);
        std::printf("%-16s %12.1f %14.1f %8.2f %22.2f\n", document.name, double(view) / 1024, double(qtd) / 1024,
                    double(view) / double(qtd), double(view - empty) / double(std::max(1L, qtd - empty)));
    }
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    loadDocuments();
    if (argc == 4 && qstrcmp(argv[1], "--rss") == 0)
        return measureResidentSet(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    if (!qEnvironmentVariableIsSet("QUILLORA_BENCH_NO_RSS"))
        reportResidentSets(QCoreApplication::applicationFilePath());

    for (const Document& document : documents()) {
        const std::string name = document.name;
        const Document* d = &document;
        benchmark::RegisterBenchmark(("CmarkParse/" + name).c_str(), CmarkParse, d)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("QTextDocumentOpen/" + name).c_str(), QTextDocumentOpen, d)
            ->Unit(benchmark::kMillisecond)->Iterations(3);
        benchmark::RegisterBenchmark(("ViewOpen/" + name).c_str(), ViewOpen, d)->Unit(benchmark::kMillisecond)->Iterations(3);
        benchmark::RegisterBenchmark(("ViewRelayout/" + name).c_str(), ViewRelayout, d)
            ->Unit(benchmark::kMillisecond)->Iterations(5);
        benchmark::RegisterBenchmark(("ViewScrollFrame/" + name).c_str(), ViewScrollFrame, d)
            ->Unit(benchmark::kMillisecond)->Iterations(300);
        benchmark::RegisterBenchmark(("ViewAppend/" + name).c_str(), ViewAppend, d)->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
