// The chat pane under a long session, offscreen, each figure beside its baseline in the same run:
//
//   per event   the cost of one event (the view model's work, the pane's update and the paint
//               that follows) while the transcript holds about 10 messages and about 2,000: the
//               same 100 probe events after a prefill of each size. Budget: p95 with 2,000 at
//               most 1.5x p95 with 10.
//   total       2,000 replayed events (thinking, tool calls with 200 KB outputs, 1-4 KB Markdown
//               answers, turn ends) delivered back to back, then the paint that follows, beside
//               rendering the same prompts, thinking and answer texts as one document in the
//               Markdown widget at the bubbles' width (parse, build, layout, paint). Budget: at
//               most 1.5x. The widget lays out only the part it shows; the same document laid
//               out whole, as the transcript lays out every bubble, is shown beside it.
//   gaps        the same 2,000 events delivered one per turn of the event loop, as the tools'
//               lines arrive: the gaps of a 1 ms heartbeat (longest, p99, how many over 16 ms),
//               beside an idle event loop over as long, which shows what the machine adds.
//               Budget: none over 16 ms.
//   idle        the process's CPU time over 3 s with the finished transcript on screen. Budget:
//               under 1%.
//
// Figures are medians of --runs rounds (default 3). Runs offscreen under a temporary HOME.
// Usage: bench_chat_view [--runs N] [--only probe|total|loop]

#include <benchsupport/OffscreenRun.h>

#include "FakeChatService.h"

#include <chatview/ChatView.h>

#include <mddoc/Markdown.h>
#include <mdview/Host.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

using namespace chat_test;
using E = ChatProviderEvent;

namespace {

constexpr QSize paneSize(520, 820);

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[std::min(values.size() - 1, std::size_t(p * double(values.size())))];
}

// A 1 ms heartbeat that records how late each beat comes.
struct GapMeter {
    GapMeter()
    {
        heartbeat.setInterval(1);
        heartbeat.setTimerType(Qt::PreciseTimer);
        QObject::connect(&heartbeat, &QTimer::timeout, [this] {
            gaps.push_back(double(sinceBeat.nsecsElapsed()) / 1e6);
            sinceBeat.start();
        });
        sinceBeat.start();
        heartbeat.start();
    }
    struct Figures {
        double longest = 0;
        double p99 = 0;
        int over16 = 0;
    };
    Figures figures() const
    {
        Figures f;
        for (const double gap : gaps) {
            f.longest = std::max(f.longest, gap);
            f.over16 += gap > 16;
        }
        f.p99 = percentile(gaps, 0.99);
        return f;
    }
    std::vector<double> gaps;
    QElapsedTimer sinceBeat;
    QTimer heartbeat;
};

// The heartbeat over `ms` of an event loop with nothing else to do: what the machine adds.
GapMeter::Figures idleGaps(int ms)
{
    GapMeter meter;
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return meter.figures();
}

// A replayed session: turns of a prompt and the events the tool sends for it.
struct Turn {
    QString prompt;
    std::vector<ChatProviderEvent> events;
};

QString words(std::mt19937& random, int count)
{
    static const char* vocabulary[] = {"the", "parser", "reads", "each", "line", "of", "input", "and", "builds", "a",
                                       "tree", "that", "the", "renderer", "walks", "once", "to", "lay", "out", "blocks",
                                       "with", "their", "margins", "while", "tests", "cover", "edge", "cases", "here"};
    QString text;
    for (int i = 0; i < count; ++i) {
        if (i)
            text += QLatin1Char(' ');
        text += QLatin1String(vocabulary[random() % std::size(vocabulary)]);
    }
    return text;
}

// 1 to 4 KB of Markdown: a heading, paragraphs with inline code and emphasis, a list, a code
// block and sometimes a table.
QString answer(std::mt19937& random)
{
    const int target = 1024 + int(random() % 3072);
    QString text = QStringLiteral("## ") + words(random, 4) + QStringLiteral("\n\n");
    while (text.size() < target) {
        switch (random() % 4) {
        case 0:
            text += words(random, 40) + QStringLiteral(" `value_") + QString::number(random() % 100) + QStringLiteral("` and **")
                + words(random, 3) + QStringLiteral("** ") + words(random, 20) + QStringLiteral(".\n\n");
            break;
        case 1:
            for (int i = 0; i < 4; ++i)
                text += QStringLiteral("- ") + words(random, 8) + QLatin1Char('\n');
            text += QLatin1Char('\n');
            break;
        case 2:
            text += QStringLiteral("```cpp\nint compute(int x) {\n    return x * ") + QString::number(random() % 50)
                + QStringLiteral(";\n}\n```\n\n");
            break;
        default:
            text += QStringLiteral("| name | value |\n|---|---|\n| ") + words(random, 2) + QStringLiteral(" | ")
                + QString::number(random() % 1000) + QStringLiteral(" |\n| ") + words(random, 2) + QStringLiteral(" | ")
                + QString::number(random() % 1000) + QStringLiteral(" |\n\n");
            break;
        }
    }
    return text;
}

// Turns of thinking, a command and its 200 KB output, an answer and the turn's end, until
// `events` events.
std::vector<Turn> session(int events, unsigned seed)
{
    std::mt19937 random(seed);
    const QString output = QStringLiteral("[build] compiling unit with flags -O2 -Wall -Wextra\n").repeated(200 * 1024 / 52);
    std::vector<Turn> turns;
    int count = 0;
    for (int turn = 0; count < events; ++turn) {
        Turn t{QStringLiteral("Question ") + QString::number(turn) + QStringLiteral(": ") + words(random, 12), {}};
        const QString id = QStringLiteral("call_") + QString::number(turn);
        t.events.push_back(E::Thinking{words(random, 40 + int(random() % 60))});
        t.events.push_back(E::ToolUse{id, QStringLiteral("Bash"), QStringLiteral("{\"command\":\"make -j8 target_%1\"}").arg(turn)});
        t.events.push_back(E::ToolResult{id, output});
        t.events.push_back(E::AssistantMessage{answer(random)});
        t.events.push_back(E::TurnCompleted{});
        count += int(t.events.size());
        turns.push_back(std::move(t));
    }
    return turns;
}

// A pane over a view model whose service the replay plays.
struct Pane {
    explicit Pane(const QString& folder)
        : world(folder + QStringLiteral("/defaults-") + QString::number(++made) + QStringLiteral(".json"))
        , vm(world.viewModelServices())
        , view(vm)
    {
        view.resize(paneSize);
        view.show();
        while (!vm.isProcessReady())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        QCoreApplication::processEvents();
        service = world.last();
    }

    void prompt(const QString& text)
    {
        vm.setDraftMessage(text);
        vm.sendDraft();
    }
    void deliver(const ChatProviderEvent& event)
    {
        service->deliver(event);
        if (event.as<E::TurnCompleted>())
            service->exit(0);
    }

    static inline int made = 0;
    FakeChatWorld world;
    ChatViewModel vm;
    quillora::chat::ChatView view;
    FakeChatService* service = nullptr;
};

// Whether every bubble shows all of its text (a long one joins in steps).
bool complete(Pane& pane)
{
    quillora::chat::ChatTranscriptView* transcript = pane.view.transcript();
    for (int i = transcript->rowCount() - 1; i >= 0; --i)
        if (const auto* bubble = dynamic_cast<const quillora::chat::ChatMarkdownBubbleView*>(transcript->row(i)->bubble()))
            if (!bubble->isComplete())
                return false;
    return true;
}

// Plays the first `events` events back to back, as a burst of output would come, then lets the
// event loop do what was posted and paint; the whole time in ms.
double burst(Pane& pane, const std::vector<Turn>& turns, int events)
{
    QElapsedTimer clock;
    clock.start();
    int delivered = 0;
    for (const Turn& turn : turns) {
        pane.prompt(turn.prompt);
        for (const ChatProviderEvent& event : turn.events) {
            pane.deliver(event);
            if (++delivered == events)
                break;
        }
        if (delivered == events)
            break;
    }
    do
        QCoreApplication::processEvents();
    while (!complete(pane));
    return double(clock.nsecsElapsed()) / 1e6;
}

// Plays turns directly, each event followed by the event loop's posted work and paint; the
// cost of each event in ms. Stops after `events` events, or once the transcript holds
// `messages` messages.
std::vector<double> replay(Pane& pane, const std::vector<Turn>& turns, int events, int messages = 0)
{
    std::vector<double> costs;
    QElapsedTimer clock;
    for (const Turn& turn : turns) {
        pane.prompt(turn.prompt);
        for (const ChatProviderEvent& event : turn.events) {
            clock.start();
            pane.deliver(event);
            QCoreApplication::processEvents();
            costs.push_back(double(clock.nsecsElapsed()) / 1e6);
            if (int(costs.size()) == events || (messages && pane.vm.messages().size() >= messages))
                return costs;
        }
    }
    return costs;
}

// The probe's per-event p95 after a prefill to about `messages` messages.
double probeP95(const QString& folder, const std::vector<Turn>& prefill, const std::vector<Turn>& probe, int messages)
{
    Pane pane(folder);
    replay(pane, prefill, 1 << 30, messages);
    // Let the last scroll finish, as it would between turns.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 300)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return percentile(replay(pane, probe, 100), 0.95);
}

// The same events through the event loop, one per turn of it, with the heartbeat meanwhile.
GapMeter::Figures replayThroughLoop(Pane& pane, const std::vector<Turn>& turns, int events)
{
    std::vector<std::pair<QString, const ChatProviderEvent*>> steps;
    for (const Turn& turn : turns) {
        steps.emplace_back(turn.prompt, nullptr);
        for (const ChatProviderEvent& event : turn.events)
            steps.emplace_back(QString(), &event);
    }
    std::size_t next = 0;
    int delivered = 0;
    QTimer feeder;
    feeder.setInterval(0);
    QObject::connect(&feeder, &QTimer::timeout, [&] {
        if (next >= steps.size() || delivered >= events) {
            feeder.stop();
            return;
        }
        const auto& [prompt, event] = steps[next++];
        if (event) {
            pane.deliver(*event);
            ++delivered;
        } else {
            pane.prompt(prompt);
        }
    });
    GapMeter meter;
    feeder.start();
    while (feeder.isActive() || !complete(pane))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return meter.figures();
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// CPU use over `ms` of an idle event loop, in percent.
double idleCpu(int ms)
{
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    const double before = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return (cpuSeconds() - before) / (double(clock.elapsed()) / 1000.0) * 100.0;
}

// The thinking and answer texts of the first `events` events as one document, rendered by the
// Markdown widget at the bubbles' width: parse, build, layout and first paint, in ms. The widget
// lays out only what it shows; with `whole` it takes its height from its width, as each bubble
// does, which lays out every block.
double oneDocument(const std::vector<Turn>& turns, int events, bool whole)
{
    QStringList texts;
    int count = 0;
    for (const Turn& turn : turns) {
        texts.append(turn.prompt);
        for (const ChatProviderEvent& event : turn.events) {
            if (count++ == events)
                break;
            if (const auto* thinking = event.as<E::Thinking>())
                texts.append(thinking->text);
            else if (const auto* answer = event.as<E::AssistantMessage>())
                texts.append(answer->text);
        }
    }
    const QString document = texts.join(QStringLiteral("\n\n"));
    mddoc::Markdown markdown(whole ? mddoc::Markdown::Sizing::heightForWidth : mddoc::Markdown::Sizing::scrolling);
    // The bubbles' text width: the pane less the transcript's margins and the bubble's padding.
    markdown.resize(paneSize.width() - 2 * 12 - 2 * 10, paneSize.height());
    markdown.show();
    QCoreApplication::processEvents();
    QElapsedTimer clock;
    clock.start();
    markdown.setText(document);
    markdown.host().layout(markdown.width());
    if (whole)
        markdown.host().root()->measure({double(markdown.width()), std::nullopt});
    markdown.repaint();
    QCoreApplication::processEvents();
    return double(clock.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    const benchsupport::OffscreenRun offscreen;
    QApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const int runs = benchsupport::runs(arguments, 3);

    const QString only = benchsupport::option(arguments, QStringLiteral("--only"));
    const auto wanted = [&only](const char* part) { return only.isEmpty() || only == QLatin1String(part); };

    constexpr int events = 2000;
    const std::vector<Turn> turns = session(events + 600, 1);
    const std::vector<Turn> probe = session(100, 2);
    std::vector<double> p95At10, p95At2000, totals, documents, wholeDocuments, longest, p99, over16, idleLongest, idleP99, idleOver16, idle;
    const auto last = [](const std::vector<double>& values) { return values.empty() ? 0.0 : values.back(); };
    for (int run = 0; run < runs; ++run) {
        if (wanted("probe")) {
            p95At10.push_back(probeP95(offscreen.path(), turns, probe, 10));
            p95At2000.push_back(probeP95(offscreen.path(), turns, probe, 2000));
            std::printf("run %d: p95 per event %.2f ms with 10 messages, %.2f ms with 2,000\n", run + 1, last(p95At10),
                        last(p95At2000));
        }
        if (wanted("total")) {
            Pane pane(offscreen.path());
            totals.push_back(burst(pane, turns, events));
            documents.push_back(oneDocument(turns, events, false));
            wholeDocuments.push_back(oneDocument(turns, events, true));
            std::printf("run %d: 2,000 events %.0f ms, one document %.0f ms, laid out whole %.0f ms\n", run + 1,
                        last(totals), last(documents), last(wholeDocuments));
        }
        if (wanted("loop")) {
            Pane pane(offscreen.path());
            QElapsedTimer replayTime;
            replayTime.start();
            const GapMeter::Figures replayed = replayThroughLoop(pane, turns, events);
            const GapMeter::Figures quiet = idleGaps(int(replayTime.elapsed()));
            longest.push_back(replayed.longest);
            p99.push_back(replayed.p99);
            over16.push_back(replayed.over16);
            idleLongest.push_back(quiet.longest);
            idleP99.push_back(quiet.p99);
            idleOver16.push_back(quiet.over16);
            idle.push_back(idleCpu(3000));
            std::printf("run %d: heartbeat during the replay: longest %.1f ms, p99 %.2f ms, %.0f over 16 ms; idle loop: "
                        "longest %.1f ms, p99 %.2f ms, %.0f over 16 ms; idle CPU %.2f%%\n",
                        run + 1, last(longest), last(p99), last(over16), last(idleLongest), last(idleP99), last(idleOver16),
                        last(idle));
        }
        std::fflush(stdout);
    }
    std::printf("\nmedians of %d runs:\n", runs);
    if (wanted("probe"))
        std::printf("  per event p95: %.2f ms with 10 messages, %.2f ms with 2,000: %.2fx (budget 1.5x)\n",
                    median(p95At10), median(p95At2000), median(p95At2000) / median(p95At10));
    if (wanted("total")) {
        std::printf("  2,000 events: %.0f ms, the same texts as one document %.0f ms: %.2fx (budget 1.5x)\n",
                    median(totals), median(documents), median(totals) / median(documents));
        std::printf("  the document laid out whole: %.0f ms: %.2fx\n", median(wholeDocuments),
                    median(totals) / median(wholeDocuments));
    }
    if (wanted("loop")) {
        std::printf("  event-loop gaps during the replay: longest %.1f ms, p99 %.2f ms, %.0f over 16 ms (budget: none over "
                    "16 ms)\n",
                    median(longest), median(p99), median(over16));
        std::printf("  an idle event loop over as long:   longest %.1f ms, p99 %.2f ms, %.0f over 16 ms\n",
                    median(idleLongest), median(idleP99), median(idleOver16));
        std::printf("  idle CPU with the finished transcript shown: %.2f%% (budget 1%%)\n", median(idle));
    }
    return 0;
}
