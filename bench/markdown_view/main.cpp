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
// tokens on one line) is opened by the whole application as a project's README beside a one-line
// README, each at most 1 s later and under 600 MB; and in the document view, where the rest of
// the block follows its first screen with no gap of the event loop over 16 ms: counted beside the
// gaps a thread that only spins sees for as long, since a shared machine stalls a thread now and
// then whatever it runs.
//
// Emoji-heavy files are opened by the whole application and offscreen (see EmojiFiles.h).
//
// usage: bench_markdown_view [ROUNDS] [--only documents|giant|emoji [--file NAME]]   (default 5 rounds; every figure
//        is the median over the rounds)
//        bench_markdown_view --rss view|qtextdocument|none FILE|NAME   (one peak RSS, in KB)

#include "EmojiFiles.h"

#include <benchsupport/ApplicationLaunch.h>
#include <benchsupport/OffscreenRun.h>
#include <benchsupport/PeakMemory.h>

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
                "document as its README; medians of %d rounds. The exit waits for the whole document, parsed "
                "in the background, and the peak is the process's until then.\nBudget: at most 1,000 ms later "
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

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    loadDocuments();
    if (argc == 4 && qstrcmp(argv[1], "--rss") == 0)
        return measureResidentSet(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    const QStringList arguments = QCoreApplication::arguments();
    const int rounds = arguments.size() > 1 && arguments[1].toInt() > 0 ? arguments[1].toInt() : 5;
    const QString only = benchsupport::option(arguments, QStringLiteral("--only"));
    if (only.isEmpty() || only == QLatin1String("documents"))
        realDocuments(rounds);
    if (only.isEmpty() || only == QLatin1String("giant"))
        giantFirstPaints(rounds);
    if (only.isEmpty() || only == QLatin1String("emoji"))
        emojifiles::run(rounds, benchsupport::option(arguments, QStringLiteral("--file")));
    return 0;
}
