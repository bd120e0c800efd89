// Opening real Markdown documents in the scrolling document view, 900 px wide, beside cmark-gfm's
// bare parse and QTextDocument::setMarkdown plus its layout of the same text, in the same run.
//
// Budget: first paint (parse included) within 3x the bare parse; the document laid out whole
// (eager, as a chat bubble does) no slower than QTextDocument; End to painted <= 50 ms; the
// visible part laid out at a new width <= 16 ms; the largest gap of the event loop from the first
// paint until the background layout ends <= 16 ms; scroll frame p99 < 4 ms; peak RSS <= 1.5x
// QTextDocument's. Streamed text (200-byte chunks onto 50 KB in a chat bubble) is shown beside.
//
// Documents: a long real changelog (QUILLORA_BENCH_CHANGELOG, else the Rust toolchain's
// releases.md where rustup installed one, else nodejs' CHANGELOG_V12.md), the GFM reference text
// spec.txt repeated to 1 MB, a table-heavy API reference (made by assemble-api-reference.py from
// nodejs-doc's all.html, QUILLORA_BENCH_API_REFERENCE) and one 5 MB code fence. Missing documents
// are skipped with a note.
//
// One giant block (900 KB of family emoji in one run, a 5 MB code fence of 100,000 lines, a table
// of 99,999 rows by 5 columns, a 10 MB paragraph of inline marks in short lines, 10 MB of inline
// tokens on one line, a 1.1 MB line of "](" and words, a 3.5 MB line of one code span) is opened by the whole application as a project's README beside a one-line
// README, each at most 1 s later and under 600 MB; and in the document view, where the rest of
// the block follows its first screen with no gap of the event loop over 16 ms: counted beside the
// gaps a thread that only spins sees for as long, since a shared machine stalls a thread now and
// then whatever it runs.
//
// Memory given back: the whole application shows a 12 MB one-line document (and a real changelog)
// and a one-line README in turn, 4 times, by selection and by rewriting the file; the resident set
// with the README shown after round 4 is within 100 MB (changelog: 10 MB) of before round 1; and a
// project of 100,000 files scanned again 4 times. Beside
// it the largest gap of the event loop while a 12 MB and a 45 MB one-line document open, and the
// time from Quit to the process's end while the 45 MB one is parsed.
//
// Emoji-heavy files are opened by the whole application and offscreen (see EmojiFiles.h).
//
// usage: bench_markdown_view [ROUNDS] [--only documents|giant|memory|emoji [--file NAME]]   (default
//        5 rounds; every figure is the median over the rounds)
//        bench_markdown_view --rss view|qtextdocument|none FILE|NAME   (one peak RSS, in KB)
//        bench_markdown_view --memory select|rewrite FILE ROUNDS   (one run of the memory rounds)
//        bench_markdown_view --memory tree FOLDER ROUNDS   (a project scanned again ROUNDS times)

#include "EmojiFiles.h"

#include <benchsupport/ApplicationLaunch.h>
#include <benchsupport/Heartbeat.h>
#include <benchsupport/OffscreenRun.h>
#include <benchsupport/PeakMemory.h>

#include "core/AppViewModel.h"
#include "entry/QuilloraApp.h"
#include "window/AppDetailView.h"
#include "window/ContentView.h"
#include "window/FileViewerView.h"
#include "window/MarkdownFileViewerBody.h"

#include <platform/Sha256.h>

#include "mddoc/Markdown.h"

#include "mdview/Host.h"

#include "TestSupport.h"

#include <cmark-gfm-core-extensions.h>
#include <cmark-gfm.h>

#include <QAbstractScrollArea>
#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iterator>
#include <map>
#include <random>

namespace {

constexpr int width = 900;
constexpr int height = 1000;

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

QString changelogPath()
{
    if (qEnvironmentVariableIsSet("QUILLORA_BENCH_CHANGELOG"))
        return qEnvironmentVariable("QUILLORA_BENCH_CHANGELOG");
    const QDir toolchains(QDir::homePath() + QStringLiteral("/.rustup/toolchains"));
    for (const QString& toolchain : toolchains.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString releases = toolchains.filePath(toolchain + QStringLiteral("/share/doc/rust/html/releases.md"));
        if (QFile::exists(releases))
            return releases;
    }
    return QStringLiteral("/usr/share/doc/nodejs/changelogs/CHANGELOG_V12.md");
}

void loadDocuments()
{
    const QString api = qEnvironmentVariable("QUILLORA_BENCH_API_REFERENCE", QStringLiteral("/tmp/api-reference.md"));
    for (const auto& [name, path] : {std::pair{"changelog", changelogPath()}, std::pair{"api-reference", api}}) {
        const QString text = readFile(path);
        if (text.isEmpty())
            std::fprintf(stderr, "skipping %s: cannot read %s (set QUILLORA_BENCH_CHANGELOG; "
                                 "bench/markdown_view/assemble-api-reference.py makes the API reference)\n",
                         name, qUtf8Printable(path));
        else
            documents().push_back({name, path, text});
    }
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
    // One code fence of 5 MB: a single block, laid out in parts.
    QString code = QStringLiteral("```swift\n");
    const QString line = QStringLiteral("let value = compute(42) // a comment that makes the line long enough\n");
    while (code.size() < 5 * 1024 * 1024)
        code += line;
    documents().push_back({"code-5mb", QString(), code + QStringLiteral("```\n")});
}

double ms(qint64 nanoseconds)
{
    return double(nanoseconds) / 1e6;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[std::min(values.size() - 1, std::size_t(double(values.size()) * p))];
}

double cmarkParse(const QByteArray& utf8)
{
    cmark_gfm_core_extensions_ensure_registered();
    QElapsedTimer clock;
    clock.start();
    cmark_parser* parser = cmark_parser_new(CMARK_OPT_DEFAULT);
    for (const char* name : {"autolink", "strikethrough", "tagfilter", "tasklist", "table"})
        cmark_parser_attach_syntax_extension(parser, cmark_find_syntax_extension(name));
    cmark_parser_feed(parser, utf8.constData(), std::size_t(utf8.size()));
    cmark_node* root = cmark_parser_finish(parser);
    const double took = ms(clock.nsecsElapsed());
    cmark_node_free(root);
    cmark_parser_free(parser);
    return took;
}

// setMarkdown, then the layout at the width.
double qTextDocumentOpen(const QString& text)
{
    QElapsedTimer clock;
    clock.start();
    QTextDocument document;
    document.setTextWidth(width);
    document.setMarkdown(text);
    benchmark::DoNotOptimize(document.documentLayout()->documentSize());
    return ms(clock.nsecsElapsed());
}

// A document laid out whole, as a chat bubble lays out its text: the height-for-width widget
// given the text and asked for its height at the width.
double eagerOpen(const QString& text)
{
    QElapsedTimer clock;
    clock.start();
    mddoc::Markdown markdown(mddoc::Markdown::Sizing::heightForWidth);
    markdown.setText(text);
    benchmark::DoNotOptimize(markdown.heightForWidth(width));
    return ms(clock.nsecsElapsed());
}

// The scrolling document widget, shown offscreen.
struct Window {
    mddoc::Markdown markdown{mddoc::Markdown::Sizing::scrolling};
    QAbstractScrollArea* area = nullptr;

    Window()
    {
        markdown.resize(width + 20, height);
        markdown.show();
        QCoreApplication::processEvents();
        area = markdown.findChild<QAbstractScrollArea*>();
    }
    void paint() { area->viewport()->grab(); }
    bool settled() { return markdown.host().isSettled(); }
};

// Runs the event loop until the background layout ends: the largest gap between two turns,
// measured with a heartbeat timer, how many gaps took longer than a frame (16 ms), and how long
// it took.
struct Settling {
    double largestGap = 0;
    int overFrame = 0;
    double milliseconds = 0;
};

Settling settle(Window& window)
{
    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.nsecsElapsed();
    Settling settling;
    const auto gapEnds = [&](qint64 now) {
        const double gap = ms(now - last);
        settling.largestGap = std::max(settling.largestGap, gap);
        settling.overFrame += gap > 16;
        last = now;
    };
    QTimer heartbeat;
    heartbeat.setInterval(1);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] { gapEnds(clock.nsecsElapsed()); });
    heartbeat.start();
    while (!window.settled() && clock.elapsed() < 600'000)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    gapEnds(clock.nsecsElapsed());
    settling.milliseconds = ms(clock.nsecsElapsed());
    return settling;
}

// The machine's own stalls: a thread that only spins, timed for as long, sees gaps of its own
// when the machine is shared. The peer of the event loop's gaps.
Settling spin(double milliseconds)
{
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0;
    Settling spun;
    volatile std::uint64_t work = 0;
    while (clock.nsecsElapsed() < qint64(milliseconds * 1e6)) {
        for (int i = 0; i < 1000; ++i)
            work = work + std::uint64_t(i);
        const qint64 now = clock.nsecsElapsed();
        spun.largestGap = std::max(spun.largestGap, ms(now - last));
        spun.overFrame += ms(now - last) > 16;
        last = now;
    }
    spun.milliseconds = ms(clock.nsecsElapsed());
    return spun;
}

struct Round {
    double cmark = 0, qtd = 0, eager = 0, firstPaint = 0, end = 0, relayout = 0, gap = 0, background = 0, scrollP99 = 0,
           scrollMax = 0;
};

Round measure(const Document& document)
{
    Round round;
    const QByteArray utf8 = document.text.toUtf8();
    round.cmark = cmarkParse(utf8);
    round.qtd = qTextDocumentOpen(document.text);
    round.eager = eagerOpen(document.text);

    Window window;
    QElapsedTimer clock;
    clock.start();
    window.markdown.setText(document.text);
    window.paint();
    round.firstPaint = ms(clock.nsecsElapsed());

    // End right away, while the rest is still being laid out.
    clock.restart();
    QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::NoModifier);
    QApplication::sendEvent(window.area, &end);
    window.paint();
    round.end = ms(clock.nsecsElapsed());
    QKeyEvent home(QEvent::KeyPress, Qt::Key_Home, Qt::NoModifier);
    QApplication::sendEvent(window.area, &home);
    window.paint();

    const Settling settling = settle(window);
    round.gap = settling.largestGap;
    round.background = settling.milliseconds;

    // A window edge dragged: each new width, the visible part laid out and painted.
    std::vector<double> relayouts;
    for (int w = width - 7; w > width - 7 * 8; w -= 7) {
        clock.restart();
        window.markdown.resize(w + 20, height);
        window.paint();
        relayouts.push_back(ms(clock.nsecsElapsed()));
    }
    round.relayout = median(relayouts);
    window.markdown.resize(width + 20, height);
    window.paint();
    settle(window);

    // Scrolling through the document, 97 px a frame, the event loop coming round between frames.
    std::vector<double> frames;
    QScrollBar* bar = window.area->verticalScrollBar();
    for (int i = 0; i < 300; ++i) {
        clock.restart();
        bar->setValue(bar->value() + 97);
        window.paint();
        frames.push_back(ms(clock.nsecsElapsed()));
        QCoreApplication::processEvents();
    }
    round.scrollP99 = percentile(frames, 0.99);
    round.scrollMax = percentile(frames, 1);
    return round;
}

// Text streaming into a chat bubble: 200 bytes at a time onto the first 50 KB; ms per update.
double streaming(const Document& document)
{
    const QString start = document.text.left(50 * 1024);
    const QString rest = document.text.mid(50 * 1024, 200 * 200);
    mddoc::Markdown markdown(start, mddoc::Markdown::Sizing::heightForWidth);
    markdown.resize(width, height);
    markdown.show();
    QCoreApplication::processEvents();
    markdown.host().layout(width);
    std::vector<double> updates;
    QString text = start;
    for (qsizetype at = 0; at + 200 <= rest.size(); at += 200) {
        text += rest.mid(at, 200);
        QElapsedTimer clock;
        clock.start();
        markdown.setText(text);
        benchmark::DoNotOptimize(markdown.host().layout(width));
        updates.push_back(ms(clock.nsecsElapsed()));
    }
    return median(updates);
}

// Child mode: opens one document one way and prints the peak resident set in kilobytes. The view
// is opened as a reader would: first screen, the background layout to its end, then End.
int measureResidentSet(const QString& kind, const QString& path)
{
    QString text = readFile(path);
    for (const Document& d : documents()) {
        if (d.path.isEmpty() && path == QLatin1String(d.name))
            text = d.text; // made in memory: named by its name
    }
    if (kind == QLatin1String("view")) {
        Window window;
        window.markdown.setText(text);
        window.paint();
        settle(window);
        QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::NoModifier);
        QApplication::sendEvent(window.area, &end);
        window.paint();
        settle(window);
        std::printf("%ld\n", benchsupport::peakKilobytes());
    } else if (kind == QLatin1String("qtextdocument")) {
        QTextDocument doc;
        doc.setTextWidth(width);
        doc.setMarkdown(text);
        benchmark::DoNotOptimize(doc.documentLayout()->documentSize());
        std::printf("%ld\n", benchsupport::peakKilobytes());
    } else {
        std::printf("%ld\n", benchsupport::peakKilobytes());
    }
    return 0;
}

long childResidentSet(const QString& kind, const QString& path)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--rss"), kind, path});
    child.waitForFinished(600000);
    return QString::fromUtf8(child.readAllStandardOutput()).trimmed().toLong();
}

// --- One giant block, as the whole application opens it -------------------------------------------

// Documents of one block each that once held up the first paint, beside a one-line README.
struct GiantDocument {
    const char* name;
    std::function<QByteArray()> make;
};

const std::vector<GiantDocument>& giantDocuments()
{
    static const std::vector<GiantDocument> all = {
        {"one-line README", [] { return QByteArray("# A README of one line\n"); }},
        {"900 KB of family emoji",
         [] {
             // Man, woman, girl and boy joined into one emoji, over and over, with no space.
             const QByteArray family("\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D"
                                     "\xF0\x9F\x91\xA7\xE2\x80\x8D\xF0\x9F\x91\xA6");
             return family.repeated(900 * 1024 / family.size()) + '\n';
         }},
        {"5 MB code fence",
         [] {
             QByteArray code = "```swift\n";
             for (int i = 0; i < 100'000; ++i)
                 code += "let value" + QByteArray::number(i) + " = compute(" + QByteArray::number(i)
                     + ") // a comment on line " + QByteArray::number(i) + '\n';
             return code + "```\n";
         }},
        {"table, 99,999 x 5",
         [] {
             // As many rows as the parser takes: 500,000 cells with the header and delimiter.
             QByteArray table = "| a | b | c | d | e |\n|---|---|---|---|---|\n";
             for (int i = 0; i < 99'998; ++i) {
                 const QByteArray n = QByteArray::number(i);
                 table += "| " + n + " | cell " + n + " b | *c* " + n + " | `d" + n + "` | [e](https://example.org/" + n + ") |\n";
             }
             return table;
         }},
        {"10 MB of inline marks",
         [] {
             // Words, emphasis, strong emphasis, code and links in one paragraph of short lines.
             static const char* const pieces[] = {"word", "*em*", "`code`", "[link](https://example.org/x)",
                                                  "**strong**", "plain"};
             std::mt19937 random(7);
             QByteArray text;
             int line = 0;
             while (text.size() < 10 * 1024 * 1024) {
                 const char* piece = pieces[random() % std::size(pieces)];
                 text += piece;
                 line += int(std::strlen(piece)) + 1;
                 text += line > 72 ? '\n' : ' ';
                 if (line > 72)
                     line = 0;
             }
             return text + '\n';
         }},
        {"10 MB of tokens, 1 line",
         [] {
             // Inline tokens joined by single spaces with no line end until the last byte, so the
             // beginning shown first has to be cut inside the line.
             static const char* const tokens[] = {"*a*", "_b_", "**c**", "`d`", "[e](f)", "~~g~~", "word", "plain",
                                                  "http://example.org/h"};
             std::mt19937 random(40);
             QByteArray text;
             while (text.size() < 10 * 1024 * 1024) {
                 text += tokens[random() % std::size(tokens)];
                 text += ' ';
             }
             text.back() = '\n';
             return text;
         }},
        {"3.5 MB line, 1 code span",
         [] {
             // A code span from the first byte to the last: no space outside it to cut at.
             return "`" + QByteArray("code words ").repeated(3500 * 1024 / 11) + "`\n";
         }},
        {"1.1 MB line after \"](\"",
         [] {
             // "](" over nearly all of the first 256 KiB, then words: every "](" starts a link
             // tail that runs to the first space.
             QByteArray text = QByteArray("](").repeated(125'000);
             while (text.size() < 1100 * 1024)
                 text += " word";
             return text + '\n';
         }},
    };
    return all;
}

// Each document as the README of a folder of its own, opened by the application as a reader
// opens it: the time to its first paint, and that beside the one-line README's in the same
// round; its peak resident set. Medians of the rounds, the documents taken in turn each round.
void giantFirstPaints(int rounds)
{
    QTemporaryDir scratch;
    const QString platform = qEnvironmentVariableIsSet("DISPLAY") ? QStringLiteral("xcb") : QStringLiteral("offscreen");
    std::vector<QString> readmes;
    for (std::size_t i = 0; i < giantDocuments().size(); ++i) {
        const QString folder = scratch.path() + QStringLiteral("/document%1").arg(i);
        QDir().mkpath(folder);
        QFile file(folder + QStringLiteral("/README.md"));
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(file.fileName()));
        file.write(giantDocuments()[i].make());
        readmes.push_back(file.fileName());
    }
    const auto launch = [&](std::size_t i) {
        return benchsupport::launchApplication(QStringLiteral(QUILLORA_PATH),
                                               scratch.path() + QStringLiteral("/home%1").arg(i), {readmes[i]}, platform);
    };
    launch(0); // fonts and caches warm
    std::vector<std::vector<double>> times(readmes.size()), later(readmes.size()), exits(readmes.size()),
        peaks(readmes.size());
    for (int round = 0; round < rounds; ++round) {
        const benchsupport::ApplicationLaunch baseline = launch(0);
        for (std::size_t i = 0; i < readmes.size(); ++i) {
            const benchsupport::ApplicationLaunch run = i == 0 ? baseline : launch(i);
            times[i].push_back(run.milliseconds);
            later[i].push_back(run.milliseconds - baseline.milliseconds);
            exits[i].push_back(run.exitMilliseconds);
            peaks[i].push_back(double(run.peakKilobytes) / 1024);
        }
    }
    std::printf("\nOne giant block: the whole application (QUILLORA_QUIT_AFTER_FIRST_PAINT=1, %s) opening each "
                "document as its README; medians of %d rounds. The exit does not wait for the whole document, "
                "parsed in the background, and the peak is the process's until then.\nBudget: at most 1,000 ms later "
                "than the one-line README, under 600 MB.\n",
                qPrintable(platform), rounds);
    std::printf("%-24s %10s %16s %9s %9s\n", "document", "1stpaint", "later than 1-line", "exit", "peak MB");
    for (std::size_t i = 0; i < readmes.size(); ++i)
        std::printf("%-24s %10.0f %16.0f %9.0f %9.0f\n", giantDocuments()[i].name, median(times[i]), median(later[i]),
                    median(exits[i]), median(peaks[i]));

    // In the document view itself (offscreen, parsing on this thread): the first screen, then
    // the rest of the block in the background, with the largest gap of the event loop meanwhile.
    std::printf("\nThe same documents in the document view, 900 px wide (parse included), medians of %d rounds:\n",
                rounds);
    std::printf("(beside each, a thread that only spins for as long as the rest took: the machine's own stalls)\n");
    std::printf("%-24s %10s %10s %10s %14s %10s %14s\n", "document", "1stpaint", "settled", "max gap", "gaps > 16 ms",
                "spin max", "spin > 16 ms");
    for (const GiantDocument& document : giantDocuments()) {
        const QByteArray bytes = document.make();
        const QString text = QString::fromUtf8(bytes);
        std::vector<double> first, settled, gaps, overFrame, spinGaps, spinOverFrame;
        for (int round = 0; round < rounds; ++round) {
            Window window;
            QElapsedTimer clock;
            clock.start();
            window.markdown.setText(text);
            window.paint();
            first.push_back(ms(clock.nsecsElapsed()));
            const Settling settling = settle(window);
            gaps.push_back(settling.largestGap);
            overFrame.push_back(settling.overFrame);
            settled.push_back(first.back() + settling.milliseconds);
            const Settling spun = spin(settling.milliseconds);
            spinGaps.push_back(spun.largestGap);
            spinOverFrame.push_back(spun.overFrame);
        }
        std::printf("%-24s %10.0f %10.0f %10.1f %14.0f %10.1f %14.0f\n", document.name, median(first), median(settled),
                    median(gaps), median(overFrame), median(spinGaps), median(spinOverFrame));
        std::fflush(stdout);
    }
}

// The real documents: opened, laid out and scrolled beside cmark-gfm and QTextDocument, and
// their peak memory.
void realDocuments(int rounds)
{
    std::printf("Medians of %d rounds, ms; 900 px wide, a 1000 px viewport.\n", rounds);
    std::printf("%-14s %7s %8s %8s %6s %6s %9s %7s %8s %8s %8s %7s %8s %7s\n", "document", "cmark", "QTextDoc",
                "1stpaint", "ratio", "End", "relayout", "gap", "bgpass", "scrollp99", "scrollmax", "stream", "eager",
                "e/QTD");
    for (const Document& document : documents()) {
        std::vector<Round> all;
        for (int i = 0; i < rounds; ++i)
            all.push_back(measure(document));
        auto field = [&](double Round::*member) {
            std::vector<double> values;
            for (const Round& r : all)
                values.push_back(r.*member);
            return median(values);
        };
        std::vector<double> ratios, eagerRatios;
        for (const Round& r : all) {
            ratios.push_back(r.firstPaint / r.cmark);
            eagerRatios.push_back(r.eager / r.qtd);
        }
        std::printf("%-14s %7.1f %8.1f %8.1f %6.2f %6.1f %9.1f %7.1f %8.0f %8.2f %9.2f %7.2f %8.1f %7.2f\n",
                    document.name, field(&Round::cmark), field(&Round::qtd), field(&Round::firstPaint), median(ratios),
                    field(&Round::end), field(&Round::relayout), field(&Round::gap), field(&Round::background),
                    field(&Round::scrollP99), field(&Round::scrollMax), streaming(document), field(&Round::eager),
                    median(eagerRatios));
        std::fflush(stdout);
    }

    if (qEnvironmentVariableIsSet("QUILLORA_BENCH_NO_RSS"))
        return;
    const long idle = childResidentSet(QStringLiteral("none"), QString());
    std::printf("\nPeak resident set (MB), whole process; an idle process takes %.1f MB\n", double(idle) / 1024);
    std::printf("%-14s %10s %14s %8s %18s\n", "document", "view", "QTextDocument", "ratio", "ratio above idle");
    for (const Document& document : documents()) {
        const QString path = document.path.isEmpty() ? QString::fromLatin1(document.name) : document.path;
        const long view = childResidentSet(QStringLiteral("view"), path);
        const long qtd = childResidentSet(QStringLiteral("qtextdocument"), path);
        std::printf("%-14s %10.1f %14.1f %8.2f %18.2f\n", document.name, double(view) / 1024, double(qtd) / 1024,
                    double(view) / double(qtd), double(view - idle) / double(std::max(1L, qtd - idle)));
        std::fflush(stdout);
    }
}

// --- Memory given back: a large document and a one-line README in turn -------------------------

// Inline tokens joined by single spaces on one line of `bytes`.
QByteArray oneLineOfTokens(qsizetype bytes)
{
    static const char* const tokens[] = {"*a*", "_b_", "`d`", "[e](f)", "word", "plain"};
    std::mt19937 random(12);
    QByteArray text;
    text.reserve(bytes + 16);
    while (text.size() < bytes) {
        text += tokens[random() % std::size(tokens)];
        text += ' ';
    }
    text.back() = '\n';
    return text;
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// Child mode: the whole application (offscreen, this process) shows a project of a one-line
// README and `bigPath`'s document, in turn `rounds` times: by selecting each in the tree
// ("select"), or by rewriting the one shown file with the one, then the other ("rewrite").
// Prints "rss KB" with the README shown before the first round and after each (and "anon KB", the
// part of it that is not files mapped, such as the fonts a document needed), and "gap MS" and
// "back MS", the largest gaps of the event loop while the large document opened and while the
// README replaced it, for each round.
int memoryRounds(const QString& how, const QString& bigPath, int rounds)
{
    QFile bigFile(bigPath);
    if (!bigFile.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(bigPath));
    const QByteArray big = bigFile.readAll();
    bigFile.close();
    const QByteArray small("# small\n");
    const QString bigHash = platform::sha256Hex(big), smallHash = platform::sha256Hex(small);

    QTemporaryDir scratch;
    const QString folder = scratch.path() + QStringLiteral("/project");
    QDir().mkpath(folder);
    const bool rewrite = how == QLatin1String("rewrite");
    const QString smallPath = folder + (rewrite ? QStringLiteral("/README.md") : QStringLiteral("/small.md"));
    const QString hugePath = folder + QStringLiteral("/huge.md");
    if (!writeBytes(smallPath, small) || (!rewrite && !writeBytes(hugePath, big)))
        qFatal("cannot write into %s", qPrintable(folder));

    quillora::QuilloraApp app;
    app.launch({folder});
    quillora::ContentView* window = app.mainWindows().front();
    window->resize(1400, 900);
    quillora::FileViewerView* viewer = window->detail()->fileViewer();
    quillora::AppViewModel& model = app.appViewModel();
    using benchsupport::Heartbeat;
    Heartbeat::runUntil([&] { return !model.fileTreeNodes().empty(); });

    // Until the document of `hash` is shown whole and laid out, then a moment more for what the
    // event loop lets go of after it.
    const auto shown = [&](const QString& hash) {
        Heartbeat::runUntil(
            [&] {
                return viewer->model().loadedContentHash() == hash && !viewer->model().isReading()
                    && viewer->markdownBody()->markdown()->host().isSettled();
            },
            600'000);
        QElapsedTimer quiet;
        quiet.start();
        Heartbeat::runUntil([&] { return quiet.elapsed() > 300; });
    };
    const auto resident = [] {
        std::printf("rss %ld\nanon %ld\n", benchsupport::residentKilobytes(), benchsupport::statusKilobytes("RssAnon:"));
        std::fflush(stdout);
    };
    const auto show = [&](const QString& path, const QByteArray& bytes, const QString& hash) {
        if (rewrite) {
            if (!writeBytes(path, bytes))
                qFatal("cannot write %s", qPrintable(path));
        } else {
            model.selectNode(path);
        }
        shown(hash);
    };
    model.selectNode(smallPath);
    shown(smallHash);
    resident();
    for (int round = 0; round < rounds; ++round) {
        Heartbeat heartbeat;
        heartbeat.start();
        show(rewrite ? smallPath : hugePath, big, bigHash);
        std::printf("gap %.1f\n", heartbeat.largestMs());
        heartbeat.start();
        show(smallPath, small, smallHash);
        std::printf("back %.1f\n", heartbeat.largestMs());
        resident();
    }
    return 0;
}

// Child mode: the whole application opens the project `folder` and scans it again `rounds`
// times; prints "rss KB" and "anon KB" once the first scan is shown and after each rescan.
int treeRounds(const QString& folder, int rounds)
{
    quillora::QuilloraApp app;
    app.launch({folder});
    quillora::AppViewModel& model = app.appViewModel();
    int scans = 0;
    QObject::connect(&model, &quillora::AppViewModel::scanFinished, [&] { ++scans; });
    using benchsupport::Heartbeat;
    const auto settled = [&](int wanted) {
        Heartbeat::runUntil([&] { return scans >= wanted; }, 600'000);
        QElapsedTimer quiet;
        quiet.start();
        Heartbeat::runUntil([&] { return quiet.elapsed() > 300; });
        std::printf("rss %ld\nanon %ld\n", benchsupport::residentKilobytes(), benchsupport::statusKilobytes("RssAnon:"));
        std::fflush(stdout);
    };
    settled(1);
    for (int round = 0; round < rounds; ++round) {
        model.scheduleRescan(false);
        settled(scans + 1);
    }
    return 0;
}

struct MemoryRounds {
    std::vector<double> residentMB; // before the first round, then after each
    std::vector<double> anonymousMB; // the same without files mapped
    double largestGap = 0;     // while the large document opened
    double largestGapBack = 0; // while the README replaced it
};

MemoryRounds childMemoryRounds(const QString& how, const QString& bigPath, int rounds, const QString& home)
{
    QProcess child;
    child.setProcessEnvironment(benchsupport::environmentUnder(home));
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--memory"), how, bigPath, QString::number(rounds)});
    child.waitForFinished(1'800'000);
    MemoryRounds result;
    for (const QByteArray& line : child.readAllStandardOutput().split('\n')) {
        if (line.startsWith("rss "))
            result.residentMB.push_back(line.mid(4).toDouble() / 1024);
        else if (line.startsWith("anon "))
            result.anonymousMB.push_back(line.mid(5).toDouble() / 1024);
        else if (line.startsWith("gap "))
            result.largestGap = std::max(result.largestGap, line.mid(4).toDouble());
        else if (line.startsWith("back "))
            result.largestGapBack = std::max(result.largestGapBack, line.mid(5).toDouble());
    }
    if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0 || int(result.residentMB.size()) != rounds + 1)
        qFatal("the memory rounds of %s (%s) failed", qPrintable(bigPath), qPrintable(how));
    return result;
}

// The memory rounds, for a 12 MB one-line document and a real changelog; the largest gap of the
// event loop while a 12 MB and a 45 MB one-line document open in the whole application; and the
// time from Quit (right after the first paint) to the end of the process while the 45 MB one is
// still being parsed.
void memory()
{
    constexpr int rounds = 4;
    QTemporaryDir scratch;
    const QString twelve = scratch.path() + QStringLiteral("/tokens-12mb.md");
    const QString fortyFive = scratch.path() + QStringLiteral("/README.md");
    if (!writeBytes(twelve, oneLineOfTokens(12 * 1024 * 1024)) || !writeBytes(fortyFive, oneLineOfTokens(45 * 1024 * 1024)))
        qFatal("cannot write into %s", qPrintable(scratch.path()));
    std::vector<std::pair<const char*, QString>> bigs = {{"12 MB of tokens, 1 line", twelve}};
    if (QFile::exists(changelogPath()))
        bigs.emplace_back("changelog", changelogPath());
    else
        std::fprintf(stderr, "skipping the changelog's memory rounds: cannot read %s\n", qUtf8Printable(changelogPath()));

    std::printf("\nMemory given back: the whole application (offscreen) shows a large document and a one-line README "
                "in turn, %d times, by selection and by rewriting the shown file; resident MB with the README shown, and its growth\n"
                "without files mapped (the fonts a document needed, loaded once).\n"
                "Budget: after round %d within 100 MB of before round 1 (12 MB), within 10 MB (changelog).\n",
                rounds, rounds);
    std::printf("%-24s %-8s %8s", "document", "how", "before");
    for (int round = 1; round <= rounds; ++round)
        std::printf(" %7s%d", "after ", round);
    std::printf(" %8s %12s %9s %9s\n", "growth", "without files", "max gap", "gap back");
    int run = 0;
    for (const auto& [name, path] : bigs) {
        for (const char* how : {"select", "rewrite"}) {
            const MemoryRounds result =
                childMemoryRounds(QString::fromLatin1(how), path, rounds, scratch.path() + QStringLiteral("/home%1").arg(run++));
            std::printf("%-24s %-8s", name, how);
            for (double mb : result.residentMB)
                std::printf(" %8.0f", mb);
            std::printf(" %8.0f %12.0f %9.1f %9.1f\n", result.residentMB.back() - result.residentMB.front(),
                        result.anonymousMB.back() - result.anonymousMB.front(), result.largestGap, result.largestGapBack);
            std::fflush(stdout);
        }
    }
    // A project of 100,000 files in 2,000 folders, scanned again: the other large structure a
    // background job makes.
    const QString project = scratch.path() + QStringLiteral("/project-100000");
    for (int folder = 0; folder < 2000; ++folder) {
        const QString path = project + QStringLiteral("/group%1/folder%2").arg(folder / 50).arg(folder);
        QDir().mkpath(path);
        for (int file = 0; file < 50; ++file)
            writeBytes(path + QStringLiteral("/notes-%1.md").arg(file), "notes\n");
    }
    const MemoryRounds tree = childMemoryRounds(QStringLiteral("tree"), project, rounds, scratch.path() + QStringLiteral("/home-tree"));
    std::printf("%-24s %-8s", "tree of 100,000 files", "rescan");
    for (double mb : tree.residentMB)
        std::printf(" %8.0f", mb);
    std::printf(" %8.0f %12.0f\n", tree.residentMB.back() - tree.residentMB.front(),
                tree.anonymousMB.back() - tree.anonymousMB.front());

    const MemoryRounds large = childMemoryRounds(QStringLiteral("select"), fortyFive, 1, scratch.path() + QStringLiteral("/home-45"));
    std::printf("45 MB of tokens, 1 line: largest gap of the event loop while it opens %.1f ms\n", large.largestGap);

    const QString platform = qEnvironmentVariableIsSet("DISPLAY") ? QStringLiteral("xcb") : QStringLiteral("offscreen");
    std::vector<double> quits;
    for (int i = 0; i < 3; ++i) {
        const benchsupport::ApplicationLaunch launch = benchsupport::launchApplication(
            QStringLiteral(QUILLORA_PATH), scratch.path() + QStringLiteral("/home-quit"), {fortyFive}, platform);
        quits.push_back(launch.exitMilliseconds - launch.milliseconds);
    }
    std::printf("45 MB of tokens, 1 line, as a README: Quit at its first paint to the end of the process %.0f ms "
                "(median of 3, %s)\n",
                median(quits), qPrintable(platform));
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
    if (argc == 5 && qstrcmp(argv[1], "--memory") == 0 && qstrcmp(argv[2], "tree") == 0)
        return treeRounds(QString::fromLocal8Bit(argv[3]), std::atoi(argv[4]));
    if (argc == 5 && qstrcmp(argv[1], "--memory") == 0)
        return memoryRounds(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]), std::atoi(argv[4]));
    const QStringList arguments = QCoreApplication::arguments();
    const int rounds = arguments.size() > 1 && arguments[1].toInt() > 0 ? arguments[1].toInt() : 5;
    const QString only = benchsupport::option(arguments, QStringLiteral("--only"));
    if (only.isEmpty() || only == QLatin1String("documents"))
        realDocuments(rounds);
    if (only.isEmpty() || only == QLatin1String("giant"))
        giantFirstPaints(rounds);
    if (only.isEmpty() || only == QLatin1String("memory"))
        memory();
    if (only.isEmpty() || only == QLatin1String("emoji"))
        emojifiles::run(rounds, benchsupport::option(arguments, QStringLiteral("--file")));
    return 0;
}
