#include "EmojiFiles.h"

#include <benchsupport/ApplicationLaunch.h>

#include "mddoc/Markdown.h"
#include "mdview/Host.h"
#include "window/GrammarCodeHighlighter.h"
#include "window/TextFileViewerBody.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace emojifiles {

namespace {

const QString man = QString::fromUtf8("\xF0\x9F\x91\xA8");

struct EmojiFile {
    const char* name;
    const char* fileName;
    std::function<QString()> make;
};

QString chain(int members)
{
    return QStringList(members, man).join(QChar(0x200D)) + QLatin1Char('\n');
}

const std::vector<EmojiFile>& emojiFiles()
{
    static const std::vector<EmojiFile> all = {
        {"one-line README", "README.md", [] { return QStringLiteral("# A README of one line\n"); }},
        {"100k-member chain .md", "README.md", [] { return chain(100'000); }},
        {"100k-member chain .txt", "chain.txt", [] { return chain(100'000); }},
        {"100k emoji, 1,250 lines", "emoji.txt", [] { return QStringList(1'250, man.repeated(80)).join(QLatin1Char('\n')) + '\n'; }},
        {"the same, Swift", "emoji.swift",
         [] { return QStringList(1'250, QStringLiteral("// ") + man.repeated(80)).join(QLatin1Char('\n')) + '\n'; }},
        {"100k emoji, 1 line", "emoji.txt", [] { return man.repeated(100'000) + QLatin1Char('\n'); }},
    };
    return all;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// The largest gap between two turns of the event loop while `run` drives it, measured with a
// heartbeat timer: what a synchronous step takes counts whole.
class Gaps {
public:
    Gaps()
    {
        m_clock.start();
        m_last = m_clock.nsecsElapsed();
        m_heartbeat.setInterval(1);
        QObject::connect(&m_heartbeat, &QTimer::timeout, [this] { beat(); });
        m_heartbeat.start();
    }
    // Runs the event loop for `milliseconds`, or until `done`.
    void run(double milliseconds, const std::function<bool()>& done = {})
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < milliseconds && !(done && done()))
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        beat();
    }
    double largest()
    {
        const double gap = m_largest;
        m_largest = 0;
        return gap;
    }
    void beat()
    {
        const qint64 now = m_clock.nsecsElapsed();
        m_largest = std::max(m_largest, double(now - m_last) / 1e6);
        m_last = now;
    }

private:
    QElapsedTimer m_clock;
    QTimer m_heartbeat;
    qint64 m_last = 0;
    double m_largest = 0;
};

void wheel(QWidget* viewport, int steps)
{
    for (int i = 0; i < steps; ++i) {
        const QPointF at(viewport->width() / 2.0, viewport->height() / 2.0);
        QWheelEvent event(at, viewport->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &event);
        QCoreApplication::processEvents();
    }
}

struct Phases {
    double firstPaint = 0; // from the text given to its first screen painted
    double open = 0;       // the largest gap until settled (or filled)
    double resize = 0;     // ... after a resize to 1200 x 760
    double scroll = 0;     // ... over ten wheel steps and after
};

// A document in the scrolling Markdown widget, or a text in the text viewer, offscreen at
// 900 x 1000: opened, settled, resized and scrolled.
Phases inProcess(const EmojiFile& file, const QString& text)
{
    Phases phases;
    const bool markdown = QString::fromLatin1(file.fileName).endsWith(QLatin1String(".md"));
    std::unique_ptr<QWidget> widget;
    QWidget* viewport = nullptr;
    std::function<bool()> settled;
    if (markdown) {
        auto* view = new mddoc::Markdown(mddoc::Markdown::Sizing::scrolling);
        widget.reset(view);
        settled = [view] { return view->host().isSettled(); };
    } else {
        auto* body = new quillora::TextFileViewerBody;
        widget.reset(body);
        settled = [body] { return !body->isFilling(); };
    }
    widget->resize(920, 1000);
    widget->show();
    QCoreApplication::processEvents();
    Gaps gaps;
    QElapsedTimer clock;
    clock.start();
    if (markdown) {
        static_cast<mddoc::Markdown*>(widget.get())->setText(text);
        viewport = widget->findChild<QAbstractScrollArea*>()->viewport();
    } else {
        auto content = std::make_shared<quillora::FileViewerContent>();
        content->text = text;
        const bool swift = QString::fromLatin1(file.fileName).endsWith(QLatin1String(".swift"));
        if (swift)
            content->highlightedSwiftText = quillora::GrammarCodeHighlighter(mdview::ColorScheme::light).highlight(text);
        auto* body = static_cast<quillora::TextFileViewerBody*>(widget.get());
        body->showText(QStringLiteral("/p/") + QString::fromLatin1(file.fileName), content, swift);
        viewport = body->textView()->viewport();
    }
    viewport->grab();
    phases.firstPaint = double(clock.nsecsElapsed()) / 1e6;
    gaps.run(120'000, settled);
    phases.open = gaps.largest();
    widget->resize(1200, 760);
    gaps.beat();
    gaps.run(120'000, settled);
    gaps.run(300);
    phases.resize = gaps.largest();
    wheel(viewport, 10);
    gaps.beat();
    gaps.run(300);
    phases.scroll = gaps.largest();
    return phases;
}

} // namespace

void run(int rounds, const QString& only)
{
    QTemporaryDir scratch;
    const QString platform = qEnvironmentVariableIsSet("DISPLAY") ? QStringLiteral("xcb") : QStringLiteral("offscreen");
    std::vector<QString> paths;
    std::vector<QString> texts;
    for (std::size_t i = 0; i < emojiFiles().size(); ++i) {
        const QString folder = scratch.path() + QStringLiteral("/file%1").arg(i);
        QDir().mkpath(folder);
        QFile file(folder + QLatin1Char('/') + QString::fromLatin1(emojiFiles()[i].fileName));
        texts.push_back(emojiFiles()[i].make());
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(file.fileName()));
        file.write(texts.back().toUtf8());
        paths.push_back(file.fileName());
    }
    const auto launch = [&](std::size_t i) {
        return benchsupport::launchApplication(QStringLiteral(QUILLORA_PATH),
                                               scratch.path() + QStringLiteral("/home%1").arg(i), {paths[i]}, platform);
    };
    const bool launching = only.isEmpty();
    if (launching)
        launch(0); // fonts and caches warm
    std::vector<std::vector<double>> times(paths.size()), later(paths.size());
    for (int round = 0; round < rounds && launching; ++round) {
        const benchsupport::ApplicationLaunch baseline = launch(0);
        for (std::size_t i = 0; i < paths.size(); ++i) {
            const benchsupport::ApplicationLaunch run = i == 0 ? baseline : launch(i);
            times[i].push_back(run.milliseconds);
            later[i].push_back(run.milliseconds - baseline.milliseconds);
        }
    }
    if (launching) {
    std::printf("\nEmoji files: the whole application (QUILLORA_QUIT_AFTER_FIRST_PAINT=1, %s) opening each file; "
                "medians of %d rounds.\nBudget: at most 1,000 ms later than the one-line README.\n",
                qPrintable(platform), rounds);
    std::printf("%-26s %10s %18s\n", "file", "1stpaint", "later than 1-line");
    for (std::size_t i = 0; i < paths.size(); ++i)
        std::printf("%-26s %10.0f %18.0f\n", emojiFiles()[i].name, median(times[i]), median(later[i]));
    std::fflush(stdout);
    }

    std::printf("\nThe same files offscreen in the Markdown view or the text viewer, 900 x 1000: the first screen, "
                "and the largest gap of the event loop (ms) until settled, after a resize to 1200 x 760, and over "
                "ten wheel steps; medians of %d rounds.\nBudget: every gap under 100 ms.\n",
                rounds);
    std::printf("%-26s %10s %10s %10s %10s\n", "file", "1stpaint", "open gap", "resize gap", "scroll gap");
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (!only.isEmpty() && !QString::fromLatin1(emojiFiles()[i].name).contains(only))
            continue;
        std::vector<double> first, open, resize, scroll;
        for (int round = 0; round < rounds; ++round) {
            const Phases phases = inProcess(emojiFiles()[i], texts[i]);
            first.push_back(phases.firstPaint);
            open.push_back(phases.open);
            resize.push_back(phases.resize);
            scroll.push_back(phases.scroll);
        }
        std::printf("%-26s %10.0f %10.1f %10.1f %10.1f\n", emojiFiles()[i].name, median(first), median(open),
                    median(resize), median(scroll));
        std::fflush(stdout);
    }
}

} // namespace emojifiles
