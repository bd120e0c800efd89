// The terminal view, offscreen:
//   cat:     `cat` of a 100 MB file in a view of 80 x 25 running it on a pseudo-terminal, beside
//            a bare reader and tmux in the same run, with the event loop's lateness meanwhile;
//   echo:    a key press in a view running bash to the paint that shows bash's echo;
//   repaint: a full paint of a 200 x 50 screen of coloured text with CJK characters;
//   settle:  a 480 x 135 screen (a 4K display's) of distinct clusters, more than the glyph cache
//            holds, with emoji chains among them: the paints until the view rests, and the CPU
//            it takes while the screen is shown;
//   floods:  output of distinct clusters (letters with three random combining marks, random
//            toned emoji joined in pairs, chains of 40 pictographs with 30 marks each) fed to a
//            view of 80 x 25 as fast as it takes them, beside the same floods made of a few
//            clusters repeated: the resident memory every 10 MB of output, the time per frame
//            and the time spent painting.
// Usage: bench_terminal_view [runs] [megabytes] [flood megabytes]
//                            [--only cat|echo|repaint|settle|floods].
// Needs `cat`, bash and tmux (setup.sh), a CJK font for the repaint and a colour emoji font for
// the toned pairs to draw real glyphs (setup.sh installs both).

#include "terminal/view/LocalProcessTerminalView.h"

#include "../terminal_pty/PtyBenchSupport.h"
#include "benchsupport/PeakMemory.h"
#include "terminal/UnicodeUtil.h"

#include <QApplication>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <optional>
#include <random>

#include <sys/resource.h>

namespace {

using namespace ptybench;

constexpr unsigned short benchRows = 25;
constexpr unsigned short benchCols = 80;

QFont terminalFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(12);
    return font;
}

// A shown view sized to hold `cols` x `rows` cells.
void size(terminal::TerminalView& view, int cols, int rows)
{
    const QSize frame(static_cast<int>(std::ceil(view.cellSize().width() * cols)) + view.scroller()->sizeHint().width(),
                      static_cast<int>(std::ceil(view.cellSize().height() * rows)));
    view.setFixedSize(frame);
    view.show();
    QApplication::processEvents();
}

struct Ended : terminal::LocalProcessTerminalViewDelegate {
    bool ended = false;
    void processTerminated(terminal::LocalProcessTerminalView&, std::optional<int>) override { ended = true; }
};

Measure runView(const std::string& file, std::uint64_t& paints)
{
    terminal::LocalProcessTerminalView view(nullptr, terminalFont());
    size(view, benchCols, benchRows);
    Ended ended;
    view.setProcessDelegate(&ended);
    LatenessProbe probe;
    QElapsedTimer timer;
    timer.start();
    const std::uint64_t before = view.paintCount();
    view.startProcess("/bin/cat", {file});
    spinUntil([&] { return ended.ended && view.process().childfd() < 0; });
    const double elapsed = seconds(timer);
    paints = view.paintCount() - before;
    return {elapsed, view.process().totalRead(), probe.worstMs(), probe.p99Ms()};
}

double percentile(std::vector<double> values, int p)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[std::min(values.size() - 1, values.size() * p / 100)];
}

// Milliseconds from each key press to the end of the paint that shows the echoed character.
std::vector<double> echoLatencies(int presses)
{
    terminal::LocalProcessTerminalView view(nullptr, terminalFont());
    size(view, benchCols, benchRows);
    view.startProcess("/bin/bash", {"--norc", "--noprofile", "-i"},
                      std::vector<std::string>{"TERM=xterm-256color", "PS1=$ ", "HOME=/tmp", "PATH=/usr/bin:/bin"});
    // The prompt first.
    spinUntil([&] { return view.terminal().buffer().x() >= 2; });
    spinUntil([&] { return view.paintCount() > 0; });
    QElapsedTimer quiet;
    std::vector<double> latencies;
    for (int i = 0; i < presses; ++i) {
        // A line that fills up is cleared (Ctrl+U), outside the timing.
        if (view.terminal().buffer().x() > benchCols - 10) {
            QKeyEvent clear(QEvent::KeyPress, Qt::Key_U, Qt::ControlModifier, QStringLiteral("\x15"));
            QApplication::sendEvent(&view, &clear);
            spinUntil([&] { return view.terminal().buffer().x() == 2; });
        }
        // After a pause, as a person types.
        quiet.start();
        spinUntil([&] { return quiet.elapsed() >= 25; });
        const int col = view.terminal().buffer().x();
        QElapsedTimer timer;
        timer.start();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QApplication::sendEvent(&view, &press);
        std::uint64_t echoedBy = UINT64_MAX;
        while (true) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            if (echoedBy == UINT64_MAX && view.terminal().buffer().x() > col)
                echoedBy = view.paintCount();
            if (echoedBy != UINT64_MAX && view.paintCount() > echoedBy)
                break;
            if (timer.elapsed() > 2000)
                break;
        }
        latencies.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    return latencies;
}

// Milliseconds of each full paint of a 200 x 50 screen of SGR text with CJK characters.
std::vector<double> repaintTimes(int repaints)
{
    terminal::TerminalView view(nullptr, terminalFont());
    view.setNativeForegroundColor(Qt::white);
    view.setNativeBackgroundColor(Qt::black);
    size(view, 200, 50);
    std::mt19937 random(7);
    static const char* words[] = {"build", "error:", "警告", "文件", "const", "std::vector", "終了", "日本語", "0x7ffd",
                                  "überprüfen", "테스트", "return", "中文字符"};
    std::string screen = "\x1b[H";
    for (int row = 0; row < 50; ++row) {
        std::string line;
        int width = 0;
        while (width < 190) {
            const int pick = static_cast<int>(random() % 6);
            if (pick == 0)
                line += "\x1b[3" + std::to_string(random() % 8) + "m";
            else if (pick == 1)
                line += "\x1b[1;9" + std::to_string(random() % 8) + "m";
            else if (pick == 2)
                line += "\x1b[38;5;" + std::to_string(random() % 256) + ";48;5;" + std::to_string(random() % 256) + "m";
            else if (pick == 3)
                line += "\x1b[38;2;" + std::to_string(random() % 256) + ";" + std::to_string(random() % 256) + ";90;4m";
            else if (pick == 4)
                line += "\x1b[3;7m";
            else
                line += "\x1b[0m";
            const std::string word = words[random() % std::size(words)];
            line += word + ' ';
            width += static_cast<int>(QString::fromStdString(word).size()) * 2 + 1;
        }
        screen += line + "\x1b[0m\x1b[K";
        if (row < 49)
            screen += "\r\n";
    }
    view.feed(screen);
    view.flushDirtyRows();
    view.repaint(); // glyphs shaped and cached once, as the first paint of a screen does
    std::vector<double> times;
    for (int i = 0; i < repaints; ++i) {
        QElapsedTimer timer;
        timer.start();
        view.repaint();
        times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    return times;
}

// ---- Distinct clusters -------------------------------------------------------------------

// Pictographs that take a skin tone (a selection of the emoji modifier bases).
std::vector<char32_t> tonedBases()
{
    std::vector<char32_t> bases{0x1F44B, 0x1F44D, 0x1F44E, 0x1F44F, 0x1F450, 0x1F46E, 0x1F4AA, 0x1F926};
    for (auto [first, last] : {std::pair<char32_t, char32_t>{0x1F466, 0x1F469}, {0x1F470, 0x1F478}, {0x1F481, 0x1F483},
                               {0x1F485, 0x1F487}, {0x1F645, 0x1F647}, {0x1F64B, 0x1F64F}, {0x1F6B4, 0x1F6B6},
                               {0x1F918, 0x1F91F}, {0x1F930, 0x1F939}, {0x1F9D1, 0x1F9DD}})
        for (char32_t c = first; c <= last; ++c)
            bases.push_back(c);
    return bases;
}

// A letter or a pictograph with `marks` random combining marks from U+0300 to U+036F.
void appendMarked(std::string& out, char32_t base, int marks, std::mt19937& random)
{
    terminal::appendUtf8(out, base);
    for (int m = 0; m < marks; ++m)
        terminal::appendUtf8(out, 0x300 + random() % 0x70);
}

// Two random toned pictographs joined by a zero-width joiner: eight columns.
void appendTonedPair(std::string& out, std::mt19937& random)
{
    static const std::vector<char32_t> bases = tonedBases();
    for (int member = 0; member < 2; ++member) {
        if (member)
            terminal::appendUtf8(out, 0x200D);
        terminal::appendUtf8(out, bases[random() % bases.size()]);
        terminal::appendUtf8(out, 0x1F3FB + random() % 5);
    }
}

// A view that times its paints and counts the frames among them: paints of more than the
// caret's cell.
class TimedView : public terminal::TerminalView {
public:
    using TerminalView::TerminalView;
    double paintSeconds = 0;
    int frames = 0;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QElapsedTimer timer;
        timer.start();
        TerminalView::paintEvent(event);
        paintSeconds += seconds(timer);
        if (event->rect().height() > cellSize().height() + 2)
            ++frames;
    }
};

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// ---- A large screen settling -------------------------------------------------------------

struct Settling {
    std::uint64_t paints = 0;    // in the whole time shown
    double lastPaintS = 0;       // when the last of them ended, from the output's arrival
    double firstPaintMs = 0;     // the first paint alone
    double paintS = 0;           // all paints together
    double cpuPercentLater = 0;  // over the second half of the time shown
};

// A screen of 480 x 135 cells, each a distinct letter with three marks (64,800 clusters, four
// times what the glyph cache holds), but for a toned pair in every other row (67 chains), shown
// for `shownSeconds`.
Settling settle(double shownSeconds)
{
    constexpr int cols = 480;
    constexpr int rows = 135;
    TimedView view(nullptr, terminalFont());
    view.setNativeForegroundColor(Qt::white);
    view.setNativeBackgroundColor(Qt::black);
    size(view, cols, rows);
    std::mt19937 random(13);
    std::string screen = "\x1b[2 q\x1b[H"; // a steady caret: a blinking one paints too
    for (int row = 0; row < rows; ++row) {
        const int chainAt = row % 2 ? static_cast<int>(random() % (cols - 8)) : cols;
        for (int col = 0; col < cols;) {
            if (col == chainAt) {
                appendTonedPair(screen, random);
                col += 8;
            } else {
                appendMarked(screen, U'a' + random() % 26, 3, random);
                ++col;
            }
        }
        if (row + 1 < rows)
            screen += "\r\n";
    }
    view.feed(screen);
    QCoreApplication::processEvents();
    const std::uint64_t before = view.paintCount();
    QElapsedTimer shown;
    shown.start();
    view.update();
    Settling settling;
    double cpuHalf = -1;
    std::uint64_t seen = before;
    // The loop waits for events, as the application's does: a wake-up now and then to look.
    QTimer wake;
    wake.start(20);
    while (seconds(shown) < shownSeconds) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (view.paintCount() != seen) {
            if (seen == before)
                settling.firstPaintMs = 1000 * view.paintSeconds;
            seen = view.paintCount();
            settling.lastPaintS = seconds(shown);
        }
        if (cpuHalf < 0 && seconds(shown) >= shownSeconds / 2)
            cpuHalf = cpuSeconds();
    }
    settling.paints = view.paintCount() - before;
    settling.paintS = view.paintSeconds;
    settling.cpuPercentLater = 100 * (cpuSeconds() - cpuHalf) / (seconds(shown) - shownSeconds / 2);
    return settling;
}

// ---- Floods ------------------------------------------------------------------------------

enum class Flood { marks, tonedPairs, longChains };

const char* floodName(Flood flood)
{
    return flood == Flood::marks ? "marks" : flood == Flood::tonedPairs ? "pairs" : "chains";
}

// One line of a flood: 60 letters each with three random marks, eight pairs of toned
// pictographs joined by a zero-width joiner (nine columns each), or a chain of 40 pictographs
// with 30 marks each, joined (a full row; the longest cluster a cell keeps).
std::string floodLine(Flood flood, std::mt19937& random)
{
    static const std::vector<char32_t> bases = tonedBases();
    std::string line;
    if (flood == Flood::marks) {
        for (int i = 0; i < 60; ++i)
            appendMarked(line, U'a' + random() % 26, 3, random);
    } else if (flood == Flood::tonedPairs) {
        for (int i = 0; i < 8; ++i) {
            appendTonedPair(line, random);
            line += ' ';
        }
    } else {
        for (int member = 0; member < 40; ++member) {
            if (member)
                terminal::appendUtf8(line, 0x200D);
            appendMarked(line, bases[random() % bases.size()], 30, random);
        }
    }
    return line + "\r\n";
}

struct FloodRun {
    double startMb = 0;              // resident before the flood
    std::vector<double> residentMb; // after each 10 MB of output
    double msPerFrame = 0;
    double paintMsPerFrame = 0;
    double mbPerSecond = 0;
};

double residentMegabytes()
{
    return static_cast<double>(benchsupport::residentKilobytes()) / 1024;
}

// `megabytes` of a flood fed in pieces of 64 KB (the process layer reads up to 128 KB at once),
// with the event loop run after each, so that the view paints at its own pace as under a program
// that prints without pause. A repeated flood cycles through 16 lines.
FloodRun runFlood(Flood flood, bool distinct, std::size_t megabytes)
{
    TimedView view(nullptr, terminalFont());
    size(view, benchCols, benchRows);
    std::mt19937 random(distinct ? 5 : 6);
    std::vector<std::string> pool;
    for (int i = 0; !distinct && i < 16; ++i)
        pool.push_back(floodLine(flood, random));
    const std::size_t total = megabytes * 1'000'000;
    constexpr std::size_t sample = 10'000'000;
    FloodRun run;
    run.startMb = residentMegabytes();
    std::string chunk;
    std::size_t fed = 0;
    std::size_t line = 0;
    QElapsedTimer timer;
    timer.start();
    while (fed < total) {
        chunk.clear();
        while (chunk.size() < 0x10000)
            chunk += distinct ? floodLine(flood, random) : pool[line++ % pool.size()];
        view.feed(chunk);
        QCoreApplication::processEvents();
        const std::size_t before = fed;
        fed += chunk.size();
        if (fed / sample != before / sample)
            run.residentMb.push_back(residentMegabytes());
    }
    view.flushDirtyRows();
    view.repaint();
    const double elapsed = seconds(timer);
    const double frames = std::max(1, view.frames);
    run.msPerFrame = 1000 * elapsed / frames;
    run.paintMsPerFrame = 1000 * view.paintSeconds / frames;
    run.mbPerSecond = static_cast<double>(fed) / 1e6 / elapsed;
    return run;
}

// The run as one line, for a parent process: the figures, then the samples.
void printFloodRun(const FloodRun& run)
{
    std::printf("%.3f %.3f %.3f %.1f", run.msPerFrame, run.paintMsPerFrame, run.mbPerSecond, run.startMb);
    for (double mb : run.residentMb)
        std::printf(" %.1f", mb);
    std::printf("\n");
}

// Each flood in a process of its own, so that its resident size owes nothing to the one before.
std::optional<FloodRun> runFloodApart(Flood flood, bool distinct, std::size_t megabytes)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--flood"), QString::fromLatin1(floodName(flood)),
                 distinct ? QStringLiteral("distinct") : QStringLiteral("repeated"), QString::number(megabytes)});
    if (!child.waitForFinished(-1) || child.exitCode() != 0)
        return std::nullopt;
    const QStringList figures = QString::fromUtf8(child.readAllStandardOutput()).trimmed().split(u' ');
    if (figures.size() < 4)
        return std::nullopt;
    FloodRun run;
    run.msPerFrame = figures[0].toDouble();
    run.paintMsPerFrame = figures[1].toDouble();
    run.mbPerSecond = figures[2].toDouble();
    run.startMb = figures[3].toDouble();
    for (qsizetype i = 4; i < figures.size(); ++i)
        run.residentMb.push_back(figures[i].toDouble());
    return run;
}

void printFloods(std::size_t megabytes, int runs)
{
    std::printf("\nfloods through a view of %d x %d, %zu MB each, median of %d runs; resident MB before it, then after "
                "10, 50, 100 and 200 MB:\n",
                benchCols, benchRows, megabytes, runs);
    for (Flood flood : {Flood::marks, Flood::tonedPairs, Flood::longChains}) {
        std::vector<FloodRun> distinct, repeated;
        for (int run = 0; run < runs; ++run)
            for (bool isDistinct : {true, false})
                if (const auto result = runFloodApart(flood, isDistinct, megabytes))
                    (isDistinct ? distinct : repeated).push_back(*result);
        if (distinct.empty() || repeated.empty()) {
            std::fprintf(stderr, "bench_terminal_view: a flood failed\n");
            return;
        }
        auto middle = [](const std::vector<FloodRun>& runs, auto field) {
            std::vector<double> values;
            for (const FloodRun& run : runs)
                values.push_back(field(run));
            return median(values);
        };
        const char* name = flood == Flood::marks        ? "letters with 3 marks"
                           : flood == Flood::tonedPairs ? "toned pairs"
                                                        : "chains of 40 x 30 marks";
        for (const auto& [kind, set] : {std::pair{"distinct", &distinct}, std::pair{"repeated", &repeated}}) {
            std::printf("  %-20s %s: %6.2f ms a frame (%5.2f ms of it painting), %6.1f MB/s; resident %.0f ->", name,
                        kind, middle(*set, [](const FloodRun& r) { return r.msPerFrame; }),
                        middle(*set, [](const FloodRun& r) { return r.paintMsPerFrame; }),
                        middle(*set, [](const FloodRun& r) { return r.mbPerSecond; }),
                        middle(*set, [](const FloodRun& r) { return r.startMb; }));
            for (std::size_t at : {10, 50, 100, 200})
                if (at / 10 <= set->front().residentMb.size())
                    std::printf(" %.0f", middle(*set, [&](const FloodRun& r) { return r.residentMb[at / 10 - 1]; }));
            std::printf("\n");
        }
        std::printf("  %-20s time per frame, distinct / repeated: %.2fx\n", name,
                    middle(distinct, [](const FloodRun& r) { return r.msPerFrame; }) /
                        middle(repeated, [](const FloodRun& r) { return r.msPerFrame; }));
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc == 5 && QString::fromUtf8(argv[1]) == u"--flood") {
        Flood flood = Flood::marks;
        for (Flood f : {Flood::marks, Flood::tonedPairs, Flood::longChains})
            if (QString::fromUtf8(argv[2]) == QLatin1String(floodName(f)))
                flood = f;
        printFloodRun(runFlood(flood, QString::fromUtf8(argv[3]) == u"distinct",
                               static_cast<std::size_t>(std::max(1, std::atoi(argv[4])))));
        return 0;
    }
    std::vector<int> numbers;
    QString only;
    for (int i = 1; i < argc; ++i) {
        if (QString::fromUtf8(argv[i]) == u"--only" && i + 1 < argc)
            only = QString::fromUtf8(argv[++i]);
        else
            numbers.push_back(std::max(1, std::atoi(argv[i])));
    }
    const int runs = numbers.size() > 0 ? numbers[0] : 3;
    const std::size_t megabytes = numbers.size() > 1 ? static_cast<std::size_t>(numbers[1]) : 100;
    const std::size_t floodMegabytes = numbers.size() > 2 ? static_cast<std::size_t>(numbers[2]) : 200;
    const auto wanted = [&](const char* name) { return only.isEmpty() || only == QLatin1String(name); };

    if (wanted("cat")) {
        QTemporaryDir dir;
        const std::string file = dir.path().toStdString() + "/sample.txt";
        if (!writeSample(file, megabytes * 1'000'000)) {
            std::fprintf(stderr, "bench_terminal_view: cannot write %s\n", file.c_str());
            return 1;
        }
        const std::string socket = "quillora-view-bench-" + std::to_string(::getpid());
        const std::vector<std::string> tmux = {"tmux", "-L", socket, "-f", "/dev/null", "new-session", "cat " + file};

        std::vector<double> bare, view, viaTmux, ratios, tmuxRatios, p99, worst, paintRates;
        for (int run = 0; run < runs; ++run) {
            const Measure b = runDrain({"cat", file}, benchRows, benchCols);
            std::uint64_t paints = 0;
            const Measure v = runView(file, paints);
            const Measure t = runDrain(tmux, benchRows, benchCols);
            if (v.bytes != b.bytes)
                std::fprintf(stderr, "bench_terminal_view: read %zu bytes bare, %zu by the view\n", b.bytes, v.bytes);
            bare.push_back(static_cast<double>(b.bytes) / 1e6 / b.seconds);
            view.push_back(static_cast<double>(v.bytes) / 1e6 / v.seconds);
            viaTmux.push_back(static_cast<double>(b.bytes) / 1e6 / t.seconds);
            ratios.push_back(100 * view.back() / bare.back());
            tmuxRatios.push_back(view.back() / viaTmux.back());
            p99.push_back(v.p99Ms);
            worst.push_back(v.worstMs);
            paintRates.push_back(static_cast<double>(paints) / v.seconds);
            std::printf("run %d: bare %.0f MB/s, view %.0f MB/s (%.0f%%, %.0f paints/s, loop late %.1f ms p99, %.1f ms worst), "
                        "tmux %.1f MB/s\n",
                        run + 1, bare.back(), view.back(), ratios.back(), paintRates.back(), v.p99Ms, v.worstMs,
                        viaTmux.back());
        }
        std::printf("\n%zu MB through a view of %d x %d, median of %d runs:\n", megabytes, benchCols, benchRows, runs);
        std::printf("  bare reader  %7.0f MB/s\n", median(bare));
        std::printf("  view         %7.0f MB/s  %5.1f%% of bare, %.1fx tmux; event loop late by %.1f ms at p99, %.1f ms at worst\n",
                    median(view), median(ratios), median(tmuxRatios), median(p99), median(worst));
        std::printf("  tmux         %7.1f MB/s\n", median(viaTmux));
    }
    if (wanted("echo")) {
        const auto echo = echoLatencies(300);
        std::printf("\nkey press to painted echo (bash, %zu presses): median %.2f ms, p95 %.2f ms, worst %.2f ms\n",
                    echo.size(), percentile(echo, 50), percentile(echo, 95), percentile(echo, 100));
    }
    if (wanted("repaint")) {
        const auto repaint = repaintTimes(200);
        std::printf("full repaint of 200 x 50 cells of SGR and CJK text (%zu paints): median %.2f ms, p95 %.2f ms\n",
                    repaint.size(), percentile(repaint, 50), percentile(repaint, 95));
    }
    if (wanted("settle")) {
        std::vector<double> paints, last, first, painting, cpu;
        for (int run = 0; run < runs; ++run) {
            const Settling s = settle(8);
            paints.push_back(static_cast<double>(s.paints));
            last.push_back(s.lastPaintS);
            first.push_back(s.firstPaintMs);
            painting.push_back(s.paintS);
            cpu.push_back(s.cpuPercentLater);
        }
        std::printf("\na screen of 480 x 135 distinct clusters with 67 toned pairs, shown for 8 s, median of %d runs:\n"
                    "  %.0f paints, the last ending %.2f s after the output; first paint %.0f ms, %.2f s painting in all;\n"
                    "  CPU in the last 4 s shown: %.1f%%\n",
                    runs, median(paints), median(last), median(first), median(painting), median(cpu));
    }
    if (wanted("floods"))
        printFloods(floodMegabytes, runs);
    return 0;
}
