// The chat pane under a long session, offscreen, each figure beside its baseline in the same run:
//
//   per event   the cost of one event (the view model's work, the pane's update and the paint
//               that follows) while the transcript holds about 10 messages and about 2,000: the
//               same 100 probe events after a prefill of each size, once the transcript has
//               settled; in wall time, and in CPU time of the GUI thread, which a busy machine
//               does not stretch. Budget: p95 with 2,000 at most 1.5x p95 with 10.
//   total       2,000 replayed events (thinking, tool calls with 200 KB outputs, 1-4 KB Markdown
//               answers, turn ends) delivered back to back, then what the event loop does until
//               the newest message is shown, in CPU time, beside rendering the same prompts,
//               thinking and answer texts as one document in the Markdown widget at the bubbles'
//               width (parse, build, layout, paint), which lays out only the part it shows.
//               Budget: at most 1.5x. The same document laid out whole is shown beside it.
//   gaps        the same 2,000 events delivered one per turn of the event loop, as the tools'
//               lines arrive: the gaps of a 1 ms heartbeat (longest, p99, how many over 16 ms)
//               and the GUI thread's CPU time within each, beside an idle event loop over as
//               long, which shows what the machine adds (on a virtual machine whose host stalls
//               it, even the idle loop's thread is charged CPU time between beats). Budget: none
//               over 16 ms beyond the idle loop's.
//   idle        the process's CPU time over 3 s with the finished, settled transcript on
//               screen. Budget: under 1%.
//   answer      one answer of 1,000, 10,000 and 60,000 short paragraphs: CPU time from its
//               arrival until it is shown and laid out to its end (every paragraph measured),
//               per paragraph, and the resident memory before it, with it and after New Chat.
//               Budget: 60,000 within 1.2x of 1,000 per paragraph; 10,000 in at most 1 s; memory
//               back to within 50 MB of where it was after New Chat.
//
// Figures are medians of --runs rounds (default 3). Runs offscreen under a temporary HOME.
// Usage: bench_chat_view [--runs N] [--only probe|total|loop|answer]

#include <benchsupport/OffscreenRun.h>
#include <benchsupport/PeakMemory.h>

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
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <functional>
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

// The CPU time of the calling thread, in ms: what it did, whatever else the machine ran.
double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// A 1 ms heartbeat that records how late each beat comes, and how much of the wait was work
// of this thread (a busy machine makes a wait longer than the work).
struct GapMeter {
    GapMeter()
    {
        heartbeat.setInterval(1);
        heartbeat.setTimerType(Qt::PreciseTimer);
        QObject::connect(&heartbeat, &QTimer::timeout, [this] {
            gaps.push_back(double(sinceBeat.nsecsElapsed()) / 1e6);
            const double cpu = threadCpuMs();
            work.push_back(cpu - cpuAtBeat);
            cpuAtBeat = cpu;
            sinceBeat.start();
        });
        sinceBeat.start();
        cpuAtBeat = threadCpuMs();
        heartbeat.start();
    }
    struct Figures {
        double longest = 0;
        double p99 = 0;
        int over16 = 0;
        double longestWork = 0;
        int workOver16 = 0;
    };
    Figures figures() const
    {
        Figures f;
        for (const double gap : gaps) {
            f.longest = std::max(f.longest, gap);
            f.over16 += gap > 16;
        }
        for (const double done : work) {
            f.longestWork = std::max(f.longestWork, done);
            f.workOver16 += done > 16;
        }
        f.p99 = percentile(gaps, 0.99);
        return f;
    }
    std::vector<double> gaps;
    std::vector<double> work;
    QElapsedTimer sinceBeat;
    double cpuAtBeat = 0;
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

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Whether the newest message is shown: built, and the scroll to it over.
bool showsNewest(Pane& pane)
{
    quillora::chat::ChatTranscriptView* transcript = pane.view.transcript();
    const int rows = transcript->rowCount();
    return !transcript->isScrolling() && (rows == 0 || transcript->row(rows - 1));
}

// Runs the event loop until `done`, or for at most `ms`, waiting for events rather than spinning
// (an animation's 150 ms would otherwise count as CPU time).
void runUntil(const std::function<bool()>& done, int ms = 60000)
{
    QElapsedTimer clock;
    clock.start();
    QTimer wake; // so that the condition is looked at even when nothing else happens
    wake.start(5);
    while (!done() && clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// Lets the event loop run until the transcript has measured everything.
void settle(Pane& pane)
{
    runUntil([&] { return pane.view.transcript()->isSettled() && !pane.view.transcript()->isScrolling(); });
}

// Plays the first `events` events back to back, as a burst of output would come, then lets the
// event loop do what was posted until the newest message is shown; the CPU time in ms.
double burst(Pane& pane, const std::vector<Turn>& turns, int events)
{
    const double before = cpuSeconds();
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
    runUntil([&] { return showsNewest(pane); });
    return (cpuSeconds() - before) * 1000;
}

// Per event, its wall time and the CPU time of the GUI thread, in ms.
struct Costs {
    std::vector<double> wall;
    std::vector<double> cpu;
};

// Plays turns directly, each event followed by the event loop's posted work and paint; the
// cost of each event. Stops after `events` events, or once the transcript holds `messages`
// messages.
Costs replay(Pane& pane, const std::vector<Turn>& turns, int events, int messages = 0)
{
    Costs costs;
    QElapsedTimer clock;
    for (const Turn& turn : turns) {
        pane.prompt(turn.prompt);
        for (const ChatProviderEvent& event : turn.events) {
            clock.start();
            const double cpu = threadCpuMs();
            pane.deliver(event);
            QCoreApplication::processEvents();
            costs.wall.push_back(double(clock.nsecsElapsed()) / 1e6);
            costs.cpu.push_back(threadCpuMs() - cpu);
            if (int(costs.wall.size()) == events || (messages && pane.vm.messages().size() >= messages))
                return costs;
        }
    }
    return costs;
}

// The probe's per-event p95, in wall and CPU time, after a prefill to about `messages` messages.
std::pair<double, double> probeP95(const QString& folder, const std::vector<Turn>& prefill, const std::vector<Turn>& probe,
                                   int messages)
{
    Pane pane(folder);
    replay(pane, prefill, 1 << 30, messages);
    // Let the last scroll finish and the rows be measured, as they would be between turns.
    settle(pane);
    const Costs costs = replay(pane, probe, 100);
    return {percentile(costs.wall, 0.95), percentile(costs.cpu, 0.95)};
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
    while (feeder.isActive() || !showsNewest(pane) || !pane.view.transcript()->isSettled())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return meter.figures();
}

// CPU use over `ms` of an idle event loop once the transcript has settled, in percent.
double idleCpu(Pane& pane, int ms)
{
    settle(pane);
    QElapsedTimer quiet;
    quiet.start();
    while (quiet.elapsed() < 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    const double before = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return (cpuSeconds() - before) / (double(clock.elapsed()) / 1000.0) * 100.0;
}

// One answer of `paragraphs` short paragraphs: the CPU time in ms from its arrival until the pane
// shows it and has measured it to its end, and the resident memory in KB before it, with it,
// and once New Chat has dropped it.
struct AnswerFigures {
    double cpuMs = 0;
    double before = 0;
    double with = 0;
    double afterNewChat = 0;
};

AnswerFigures longAnswer(const QString& folder, int paragraphs)
{
    std::mt19937 random(3);
    QString text;
    for (int i = 0; i < paragraphs; ++i)
        text += QStringLiteral("Step %1: ").arg(i + 1) + words(random, 5) + QStringLiteral(".\n\n");
    Pane pane(folder);
    pane.prompt(QStringLiteral("Write it all out"));
    settle(pane);
    AnswerFigures figures;
    figures.before = double(benchsupport::residentKilobytes());
    const double before = cpuSeconds();
    pane.deliver(E::AssistantMessage{std::exchange(text, {})});
    pane.deliver(E::TurnCompleted{});
    runUntil([&] { return showsNewest(pane) && pane.view.transcript()->isSettled(); });
    figures.cpuMs = (cpuSeconds() - before) * 1000;
    figures.with = double(benchsupport::residentKilobytes());
    pane.vm.resetChat();
    runUntil([] { return false; }, 300);
    figures.afterNewChat = double(benchsupport::residentKilobytes());
    return figures;
}

// The thinking and answer texts of the first `events` events as one document, rendered by the
// Markdown widget at the bubbles' width: parse, build, layout and first paint, CPU time in ms.
// The widget lays out only what it shows; with `whole` it takes its height from its width,
// which lays out every block.
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
    const double before = cpuSeconds();
    markdown.setText(document);
    markdown.host().layout(markdown.width());
    if (whole)
        markdown.host().root()->measure({double(markdown.width()), std::nullopt});
    markdown.repaint();
    QCoreApplication::processEvents();
    return (cpuSeconds() - before) * 1000;
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
    std::vector<double> p95At10, p95At2000, cpuP95At10, cpuP95At2000, totals, documents, wholeDocuments, longest, p99,
        over16, longestWork, workOver16, idleLongest, idleP99, idleOver16, idleWork, idle;
    constexpr int answerSizes[] = {1'000, 10'000, 60'000};
    std::vector<double> answers[std::size(answerSizes)], residentBefore[std::size(answerSizes)],
        residentWith[std::size(answerSizes)], residentAfter[std::size(answerSizes)];
    const auto last = [](const std::vector<double>& values) { return values.empty() ? 0.0 : values.back(); };
    for (int run = 0; run < runs; ++run) {
        if (wanted("probe")) {
            const auto [wall10, cpu10] = probeP95(offscreen.path(), turns, probe, 10);
            const auto [wall2000, cpu2000] = probeP95(offscreen.path(), turns, probe, 2000);
            p95At10.push_back(wall10);
            p95At2000.push_back(wall2000);
            cpuP95At10.push_back(cpu10);
            cpuP95At2000.push_back(cpu2000);
            std::printf("run %d: p95 per event %.2f ms with 10 messages, %.2f ms with 2,000 (CPU %.2f and %.2f ms)\n",
                        run + 1, wall10, wall2000, cpu10, cpu2000);
        }
        if (wanted("total")) {
            Pane pane(offscreen.path());
            totals.push_back(burst(pane, turns, events));
            documents.push_back(oneDocument(turns, events, false));
            wholeDocuments.push_back(oneDocument(turns, events, true));
            std::printf("run %d: 2,000 events %.0f ms CPU, one document %.0f ms, laid out whole %.0f ms\n", run + 1,
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
            longestWork.push_back(replayed.longestWork);
            workOver16.push_back(replayed.workOver16);
            idleLongest.push_back(quiet.longest);
            idleP99.push_back(quiet.p99);
            idleOver16.push_back(quiet.over16);
            idleWork.push_back(quiet.longestWork);
            idle.push_back(idleCpu(pane, 3000));
            std::printf("run %d: heartbeat during the replay: longest %.1f ms, p99 %.2f ms, %.0f over 16 ms (work between "
                        "beats: longest %.1f ms, %.0f over 16 ms); idle loop: longest %.1f ms, p99 %.2f ms, %.0f over 16 ms "
                        "(work between beats: longest %.1f ms); idle CPU %.2f%%\n",
                        run + 1, last(longest), last(p99), last(over16), last(longestWork), last(workOver16),
                        last(idleLongest), last(idleP99), last(idleOver16), last(idleWork), last(idle));
        }
        if (wanted("answer")) {
            // What the first answer of a process pays once (fonts, styles) is not the answer's.
            longAnswer(offscreen.path(), 100);
            std::printf("run %d: one answer:", run + 1);
            for (std::size_t i = 0; i < std::size(answerSizes); ++i) {
                const AnswerFigures figures = longAnswer(offscreen.path(), answerSizes[i]);
                answers[i].push_back(figures.cpuMs);
                residentBefore[i].push_back(figures.before / 1024);
                residentWith[i].push_back(figures.with / 1024);
                residentAfter[i].push_back(figures.afterNewChat / 1024);
                std::printf(" %d paragraphs %.0f ms CPU (%.1f us each; resident %.0f, %.0f, after New Chat %.0f MB)%s",
                            answerSizes[i], last(answers[i]), last(answers[i]) * 1000 / answerSizes[i],
                            last(residentBefore[i]), last(residentWith[i]), last(residentAfter[i]),
                            i + 1 < std::size(answerSizes) ? "," : "\n");
            }
        }
        std::fflush(stdout);
    }
    std::printf("\nmedians of %d runs:\n", runs);
    if (wanted("probe"))
    {
        std::printf("  per event p95: %.2f ms with 10 messages, %.2f ms with 2,000: %.2fx (budget 1.5x)\n",
                    median(p95At10), median(p95At2000), median(p95At2000) / median(p95At10));
        std::printf("  the same in CPU time of the GUI thread: %.2f ms, %.2f ms: %.2fx\n", median(cpuP95At10),
                    median(cpuP95At2000), median(cpuP95At2000) / median(cpuP95At10));
    }
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
        std::printf("  the GUI thread's work between two beats:  longest %.1f ms, %.0f over 16 ms\n", median(longestWork),
                    median(workOver16));
        std::printf("  an idle event loop over as long:   longest %.1f ms, p99 %.2f ms, %.0f over 16 ms (its work between "
                    "beats, which a stalled machine adds to: longest %.1f ms)\n",
                    median(idleLongest), median(idleP99), median(idleOver16), median(idleWork));
        std::printf("  idle CPU with the finished transcript shown: %.2f%% (budget 1%%)\n", median(idle));
    }
    if (wanted("answer")) {
        const auto perParagraph = [&](std::size_t i) { return median(answers[i]) * 1000 / answerSizes[i]; };
        for (std::size_t i = 0; i < std::size(answerSizes); ++i)
            std::printf("  one answer of %d paragraphs: %.0f ms CPU, %.1f us per paragraph%s; resident %.0f MB before, %.0f "
                        "MB with it, %.0f MB after New Chat (budget: within 50 MB of before)\n",
                        answerSizes[i], median(answers[i]), perParagraph(i),
                        answerSizes[i] == 10'000 ? " (budget 1,000 ms)" : "", median(residentBefore[i]),
                        median(residentWith[i]), median(residentAfter[i]));
        std::printf("  per paragraph, 60,000 against 1,000: %.2fx (budget 1.2x)\n", perParagraph(2) / perParagraph(0));
    }
    return 0;
}
