// The terminal view, offscreen:
//   cat:     `cat` of a 100 MB file in a view of 80 x 25 running it on a pseudo-terminal, beside
//            a bare reader and tmux in the same run, with the event loop's lateness meanwhile;
//   echo:    a key press in a view running bash to the paint that shows bash's echo;
//   repaint: a full paint of a 200 x 50 screen of coloured text with CJK characters.
// Usage: bench_terminal_view [runs] [megabytes]. Needs `cat`, bash and tmux (setup.sh), and a
// CJK font for the repaint to draw real glyphs (setup.sh installs one).

#include "terminal/view/LocalProcessTerminalView.h"

#include "../terminal_pty/PtyBenchSupport.h"

#include <QApplication>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTemporaryDir>

#include <cstdio>
#include <random>

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

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const std::size_t megabytes = argc > 2 ? std::max(1, std::atoi(argv[2])) : 100;
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

    const auto echo = echoLatencies(300);
    std::printf("\nkey press to painted echo (bash, %zu presses): median %.2f ms, p95 %.2f ms, worst %.2f ms\n",
                echo.size(), percentile(echo, 50), percentile(echo, 95), percentile(echo, 100));
    const auto repaint = repaintTimes(200);
    std::printf("full repaint of 200 x 50 cells of SGR and CJK text (%zu paints): median %.2f ms, p95 %.2f ms\n",
                repaint.size(), percentile(repaint, 50), percentile(repaint, 95));
    return 0;
}
