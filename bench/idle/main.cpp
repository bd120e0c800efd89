// What an idle window costs, each figure beside its baseline in the same run:
//
//   frames   offscreen: the frames per second the terminal caret's blink and the feedback
//            button's glimmer draw while they run (the caret over two periods, the glimmer over
//            one sweep), how many of them change no pixel, how many the glimmer draws while its
//            band stays off the label, and the share of the button each glimmer frame repaints.
//   idle     the application under Xvfb with a project and its README shown and the terminal
//            focused at its prompt: clock ticks (user + system time from /proc/PID/stat) over
//            --seconds (default 10) once it has settled; the same with its window unmapped (what
//            a window manager does to minimise it); with the file viewer focused instead (the
//            glimmer alone runs); the same window with both animations stopped
//            (QUILLORA_STILL=1); and `xterm -bc` focused in the same X server.
//            Budget: the application <= 10 ticks per 10 s, shown and unmapped.
//
// Usage: bench_idle [--only frames|idle] [--seconds N] [--app PATH]
// The idle part needs Xvfb, xterm and xdotool (bench/idle/setup.sh installs them).

#include <benchsupport/OffscreenRun.h>

#include "window/FeedbackButtonView.h"

#include <terminal/view/CaretView.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPaintEvent>
#include <QProcess>
#include <QThread>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <optional>

namespace {

void runFor(int milliseconds)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
}

// --- frames --------------------------------------------------------------------------------

void caretFrames()
{
    constexpr int periods = 2, periodMs = 1400;
    int frames = 0, unchanged = 0, lastAlpha = -1;
    terminal::CaretView* caret = nullptr;
    terminal::CaretView view(terminal::CursorStyle::blinkBlock, [&] {
        if (!caret || !caret->blinking())
            return;
        ++frames;
        const int alpha = int(std::lround(caret->opacity() * 255));
        unchanged += alpha == lastAlpha;
        lastAlpha = alpha;
    });
    view.setBlinking(true);
    caret = &view;
    runFor(periods * periodMs);
    std::printf("caret blink: %.1f frames/s while blinking, %d of %d frames change no pixel\n",
                frames * 1000.0 / (periods * periodMs), unchanged, frames);
}

class PaintCounter : public QObject {
public:
    explicit PaintCounter(quillora::FeedbackButtonView& button) : m_button(button) { button.installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            ++frames;
            // A frame with the band off the label, after one with the band off too, repeats it.
            const qreal phase = m_button.glimmerPhase();
            const bool off = phase <= 0 || phase >= 4;
            offLabel += off && m_wasOff;
            m_wasOff = off;
            double area = 0;
            for (const QRect& rect : static_cast<QPaintEvent*>(event)->region())
                area += double(rect.width()) * rect.height();
            repainted += area / (m_button.width() * m_button.height());
        }
        return false;
    }
    int frames = 0;
    int offLabel = 0;
    double repainted = 0;

private:
    quillora::FeedbackButtonView& m_button;
    bool m_wasOff = true;
};

void glimmerFrames()
{
    constexpr int sweepMs = 6000;
    quillora::FeedbackButtonView button;
    button.resize(button.sizeHint());
    button.show();
    runFor(300); // the first paint of the shown button
    PaintCounter counter(button);
    runFor(sweepMs);
    std::printf("glimmer: %.1f frames/s over a sweep, %d of %d frames drawn with the band off the label "
                "since the frame before, each repainting %.0f%% of the button's area\n",
                counter.frames * 1000.0 / sweepMs, counter.offLabel, counter.frames,
                counter.frames ? 100 * counter.repainted / counter.frames : 0.0);
}

// --- idle under Xvfb -------------------------------------------------------------------------

long ticksOf(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // Fields after the command name in parentheses: state is the 3rd, utime the 14th, stime the 15th.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 12 ? fields[11].toLong() + fields[12].toLong() : -1;
}

QString run(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.waitForFinished(30000);
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

struct Display {
    QProcess server;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();

    Display()
    {
        int number = 60;
        while (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)))
            ++number;
        server.start(QStringLiteral("Xvfb"), {QStringLiteral(":%1").arg(number), QStringLiteral("-screen"),
                                              QStringLiteral("0"), QStringLiteral("1400x900x24"), QStringLiteral("-nolisten"),
                                              QStringLiteral("tcp")});
        for (int i = 0; i < 100 && !QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)); ++i)
            QThread::msleep(50);
        environment.insert(QStringLiteral("DISPLAY"), QStringLiteral(":%1").arg(number));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    }
    ~Display()
    {
        server.terminate();
        server.waitForFinished();
    }
    QString xdotool(const QStringList& arguments) const { return run(QStringLiteral("xdotool"), arguments, environment); }

    // The process's window, clicked at a point given as fractions of its width and height.
    std::optional<QString> click(qint64 pid, double x, double y) const
    {
        const QString window = xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                                        QString::number(pid)}).section(QLatin1Char('\n'), 0, 0);
        if (window.isEmpty())
            return std::nullopt;
        QMap<QString, int> geometry;
        for (const QString& line : xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), window}).split(QLatin1Char('\n')))
            geometry[line.section(QLatin1Char('='), 0, 0)] = line.section(QLatin1Char('='), 1).toInt();
        xdotool({QStringLiteral("mousemove"), QString::number(geometry[QStringLiteral("X")] + int(x * geometry[QStringLiteral("WIDTH")])),
                 QString::number(geometry[QStringLiteral("Y")] + int(y * geometry[QStringLiteral("HEIGHT")])),
                 QStringLiteral("click"), QStringLiteral("1")});
        return window;
    }
};

long ticksOver(qint64 pid, int seconds)
{
    const long before = ticksOf(pid);
    runFor(seconds * 1000);
    return ticksOf(pid) - before;
}

void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()) {
        std::fprintf(stderr, "bench_idle: cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
}

// The application on a project with its README, the terminal focused; then `measure` with its
// process id and window.
void withApplication(const Display& display, const QString& application, const QString& scratch, bool still,
                     const std::function<void(qint64, const QString&)>& measure)
{
    const QString home = scratch + (still ? QStringLiteral("/home-still") : QStringLiteral("/home"));
    const QString project = scratch + QStringLiteral("/project");
    QDir().mkpath(project + QStringLiteral("/src"));
    writeFile(project + QStringLiteral("/README.md"),
              "# Demo\n\nA small project with a *README* and a `src` folder.\n\n- one\n- two\n");
    writeFile(project + QStringLiteral("/src/main.cpp"), "int main() { return 0; }\n");
    QProcessEnvironment environment = display.environment;
    for (const auto& [name, folder] : {std::pair{"HOME", ""}, std::pair{"XDG_CONFIG_HOME", "/.config"},
                                       std::pair{"XDG_DATA_HOME", "/.local/share"}, std::pair{"XDG_CACHE_HOME", "/.cache"},
                                       std::pair{"XDG_STATE_HOME", "/.local/state"}})
        environment.insert(QLatin1String(name), home + QLatin1String(folder));
    if (still)
        environment.insert(QStringLiteral("QUILLORA_STILL"), QStringLiteral("1"));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(application, {project + QStringLiteral("/README.md")});
    runFor(4000);
    // The terminal pane is at the window's foot.
    const std::optional<QString> window = display.click(process.processId(), 0.6, 0.97);
    if (!window) {
        std::fprintf(stderr, "bench_idle: the application shows no window\n");
        std::exit(1);
    }
    display.xdotool({QStringLiteral("mousemove"), QStringLiteral("1399"), QStringLiteral("899")});
    runFor(2000);
    measure(process.processId(), *window);
    process.terminate();
    if (!process.waitForFinished(5000))
        process.kill();
}

void idle(const QString& application, const QString& scratch, int seconds)
{
    Display display;
    const auto report = [seconds](const char* what, long ticks) {
        std::printf("  %-52s %4ld ticks in %d s\n", what, ticks, seconds);
    };
    std::printf("idle CPU (clock ticks of %ld per second):\n", sysconf(_SC_CLK_TCK));
    withApplication(display, application, scratch, false, [&](qint64 pid, const QString& window) {
        report("application, shown, terminal focused", ticksOver(pid, seconds));
        // The file viewer takes the keyboard: the caret stands still, the glimmer goes on.
        display.click(pid, 0.3, 0.5);
        display.xdotool({QStringLiteral("mousemove"), QStringLiteral("1399"), QStringLiteral("899")});
        runFor(1000);
        report("application, shown, file viewer focused", ticksOver(pid, seconds));
        display.xdotool({QStringLiteral("windowunmap"), window});
        runFor(1000);
        report("application, window unmapped (minimised)", ticksOver(pid, seconds));
    });
    withApplication(display, application, scratch, true, [&](qint64 pid, const QString&) {
        report("application, animations stopped (QUILLORA_STILL=1)", ticksOver(pid, seconds));
    });
    QProcess xterm;
    xterm.setProcessEnvironment(display.environment);
    xterm.start(QStringLiteral("xterm"), {QStringLiteral("-bc")});
    runFor(2000);
    display.click(xterm.processId(), 0.5, 0.5);
    runFor(1000);
    report("xterm -bc, focused", ticksOver(xterm.processId(), seconds));
    xterm.terminate();
    xterm.waitForFinished();
}

} // namespace

int main(int argc, char** argv)
{
    const benchsupport::OffscreenRun offscreen;
    QApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const QString part = benchsupport::option(arguments, QStringLiteral("--only"));
    const QString app = benchsupport::option(arguments, QStringLiteral("--app"));
    const QString secondsOption = benchsupport::option(arguments, QStringLiteral("--seconds"));
    const int seconds = secondsOption.isEmpty() ? 10 : std::max(1, secondsOption.toInt());
    if (part.isEmpty() || part == u"frames") {
        caretFrames();
        glimmerFrames();
    }
    if (part.isEmpty() || part == u"idle")
        idle(app.isEmpty() ? QStringLiteral(QUILLORA_PATH) : app, offscreen.path(), seconds);
    return 0;
}
