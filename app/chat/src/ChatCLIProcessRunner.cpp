#include "chat/ChatCLIProcessRunner.h"

#include "chat/LineSplitter.h"

#include "ChildProcess.h"
#include "ProcessGroups.h"

#include <QCoreApplication>
#include <QPointer>
#include <QProcess>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <set>
#include <unistd.h>

namespace quillora::chat {

namespace {

// Batches of events handed to the runner's thread and not yet delivered, past which reading
// waits: a tool that prints faster than the receiver takes it is held up by its full pipe.
constexpr int maxBatchesInFlight = 16;

std::atomic<bool> quitting{false};

// The thread on which every chat child's output is read, split and interpreted.
class IOThread {
public:
    static IOThread& instance()
    {
        static IOThread* shared = new IOThread; // lives until the application object goes
        return *shared;
    }

    QThread* thread() { return &m_thread; }
    QObject* context() { return m_context; }

    // On the I/O thread: readers that still hold a process, for shutting down.
    std::set<QObject*> readers;

private:
    IOThread()
    {
        m_thread.setObjectName(QStringLiteral("chat I/O"));
        m_context = new QObject;
        m_context->moveToThread(&m_thread);
        m_thread.start();
        if (auto* app = QCoreApplication::instance())
            QObject::connect(app, &QCoreApplication::aboutToQuit, app, [] { ChatCLIProcessRunner::terminateAll(); });
        qAddPostRoutine(&IOThread::shutDown);
    }

    static void shutDown()
    {
        ChatCLIProcessRunner::terminateAll();
        IOThread& self = instance();
        QMetaObject::invokeMethod(
            self.m_context,
            [&self] {
                for (QObject* reader : std::set<QObject*>(self.readers))
                    delete reader;
                delete self.m_context;
            },
            Qt::BlockingQueuedConnection);
        self.m_thread.quit();
        self.m_thread.wait();
    }

    QThread m_thread;
    QObject* m_context = nullptr;
};

// Decodes standard-error chunks, holding back a character split across reads.
class ErrorDecoder {
public:
    QString decode(const QByteArray& chunk)
    {
        m_tail.append(chunk);
        qsizetype keep = 0;
        // A lead byte within the last three bytes whose sequence is not complete yet waits.
        for (qsizetype back = 1; back <= 3 && back <= m_tail.size(); ++back) {
            const auto c = static_cast<unsigned char>(m_tail[m_tail.size() - back]);
            if ((c & 0xC0) == 0x80)
                continue;
            const qsizetype need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
            if (need > back)
                keep = back;
            break;
        }
        const QByteArray ready = m_tail.left(m_tail.size() - keep);
        m_tail = m_tail.right(keep);
        return QString::fromUtf8(ready);
    }
    QString finish()
    {
        const QString rest = QString::fromUtf8(m_tail);
        m_tail.clear();
        return rest;
    }

private:
    QByteArray m_tail;
};

} // namespace

namespace detail {

// What the runner's thread and the I/O thread share of one turn.
struct ChatTurn {
    pid_t group = 0;
    ChatCLIProcessRunner::EventSink onEvent;             // runner's thread only
    ChatCLIProcessRunner::TerminationSink onTermination; // runner's thread only
    TurnReader* reader = nullptr;                        // I/O thread only

    std::atomic<bool> cancelled{false};
    std::mutex mutex; // guards the three below
    std::condition_variable drained;
    ChatCLIProcessRunner* receiver = nullptr; // the runner, until the turn ends or is stopped
    int batchesInFlight = 0;

    bool interrupted = false; // runner's thread only

    void cancel()
    {
        const std::lock_guard lock(mutex);
        cancelled = true;
        receiver = nullptr;
        drained.notify_all();
    }
};

// Reads one child on the I/O thread and owns its process object until the child has ended.
class TurnReader : public QObject {
public:
    TurnReader(QProcess* process, std::shared_ptr<ChatTurn> turn, std::shared_ptr<ChatOutputInterpreter> interpreter)
        : m_process(process)
        , m_turn(std::move(turn))
        , m_interpreter(std::move(interpreter))
        , m_splitter(ChatCLIProcessRunner::maxLineBytes)
    {
        process->setParent(this);
        connect(process, &QProcess::readyReadStandardOutput, this, &TurnReader::readOutput);
        connect(process, &QProcess::readyReadStandardError, this, &TurnReader::readError);
        connect(process, &QProcess::finished, this, &TurnReader::finished);
    }

    ~TurnReader() override
    {
        m_turn->reader = nullptr;
        IOThread::instance().readers.erase(this);
        process_groups::forgetIfEmpty(m_turn->group);
    }

    // On the I/O thread, once the reader lives there.
    void begin(const QByteArray& input)
    {
        m_turn->reader = this;
        IOThread::instance().readers.insert(this);
        if (m_turn->cancelled) {
            abandon();
            return;
        }
        if (!input.isEmpty())
            m_process->write(input);
        m_process->closeWriteChannel();
    }

    // The turn was stopped: read nothing more; the runner is signalling the child.
    void abandon()
    {
        m_process->closeReadChannel(QProcess::StandardOutput);
        m_process->closeReadChannel(QProcess::StandardError);
        m_process->closeWriteChannel();
    }

private:
    // Hands events (and at the end the status) to the runner's thread. While the receiver is
    // behind, reading waits, so a tool that prints faster than it is consumed is held up by
    // its full pipe instead of filling memory; stopping or quitting lets the reader go.
    void post(QList<ChatProviderEvent> events, std::optional<int> status)
    {
        std::unique_lock lock(m_turn->mutex);
        ChatCLIProcessRunner* runner = m_turn->receiver;
        if (!runner)
            return;
        ++m_turn->batchesInFlight;
        QMetaObject::invokeMethod(
            runner,
            [runner, turn = m_turn, events = std::move(events), status]() mutable {
                runner->deliver(turn, std::move(events), status);
            },
            Qt::QueuedConnection);
        while (m_turn->batchesInFlight > maxBatchesInFlight && m_turn->receiver && !quitting)
            m_turn->drained.wait_for(lock, std::chrono::milliseconds(50));
    }

    void readOutput()
    {
        const QByteArray data = m_process->readAllStandardOutput();
        if (m_turn->cancelled)
            return;
        QList<ChatProviderEvent> events;
        m_splitter.feed(
            std::string_view(data.constData(), std::size_t(data.size())),
            [&](std::string_view line) { m_interpreter->outputLine(line, events); },
            [&] { m_interpreter->outputLineDropped(m_splitter.maxLineBytes(), events); });
        m_interpreter->endOfRead(events);
        if (!events.isEmpty())
            post(std::move(events), std::nullopt);
    }

    void readError()
    {
        const QByteArray data = m_process->readAllStandardError();
        if (m_turn->cancelled)
            return;
        const QString text = m_errors.decode(data);
        if (text.isEmpty())
            return;
        QList<ChatProviderEvent> events;
        m_interpreter->errorOutput(text, events);
        if (!events.isEmpty())
            post(std::move(events), std::nullopt);
    }

    void finished(int exitCode, QProcess::ExitStatus exitStatus)
    {
        if (!m_turn->cancelled) {
            readError();
            readOutput();
            QList<ChatProviderEvent> events;
            if (const QString rest = m_errors.finish(); !rest.isEmpty())
                m_interpreter->errorOutput(rest, events);
            // A signal number would read like an ordinary exit code.
            const int status = exitStatus == QProcess::CrashExit ? 128 + exitCode : exitCode;
            m_interpreter->terminated(status, m_splitter.finish(), events);
            post(std::move(events), status);
        }
        deleteLater();
    }

    QProcess* m_process;
    std::shared_ptr<ChatTurn> m_turn;
    std::shared_ptr<ChatOutputInterpreter> m_interpreter;
    LineSplitter m_splitter;
    ErrorDecoder m_errors;
};

} // namespace detail

using detail::ChatTurn;
using detail::TurnReader;

ChatCLIProcessRunner::ChatCLIProcessRunner(QObject* parent)
    : QObject(parent)
{
}

ChatCLIProcessRunner::~ChatCLIProcessRunner()
{
    stop();
}

qint64 ChatCLIProcessRunner::processGroup() const
{
    return m_turn ? m_turn->group : 0;
}

std::optional<QString> ChatCLIProcessRunner::launch(Launch launch, std::shared_ptr<ChatOutputInterpreter> interpreter,
                                                    EventSink onEvent, TerminationSink onTermination)
{
    auto* process = new QProcess;
    process->setProgram(launch.program);
    process->setArguments(launch.arguments);
    process->setProcessEnvironment(launch.environment);
    process->setWorkingDirectory(launch.workingDirectory);
    isolateChild(*process);
    process->start(QIODevice::ReadWrite);
    if (!process->waitForStarted(-1)) {
        const QString reason = process->errorString();
        delete process;
        return reason;
    }

    auto turn = std::make_shared<ChatTurn>();
    turn->group = pid_t(process->processId());
    turn->onEvent = std::move(onEvent);
    turn->onTermination = std::move(onTermination);
    turn->receiver = this;
    process_groups::add(turn->group);

    auto* reader = new TurnReader(process, turn, std::move(interpreter));
    reader->moveToThread(IOThread::instance().thread());
    QMetaObject::invokeMethod(reader, [reader, input = std::move(launch.input)] { reader->begin(input); },
                              Qt::QueuedConnection);
    m_turn = std::move(turn);
    emit runningChanged(true);
    return std::nullopt;
}

void ChatCLIProcessRunner::deliver(const std::shared_ptr<ChatTurn>& turn, QList<ChatProviderEvent> events,
                                   std::optional<int> status)
{
    {
        const std::lock_guard lock(turn->mutex);
        --turn->batchesInFlight;
        turn->drained.notify_all();
    }
    const QPointer<ChatCLIProcessRunner> self(this);
    for (const ChatProviderEvent& event : events) {
        // A sink may stop the turn, or destroy the runner.
        if (!self || m_turn != turn)
            return;
        if (turn->onEvent)
            turn->onEvent(event);
    }
    if (!status || !self || m_turn != turn)
        return;
    const TerminationSink onTermination = std::move(turn->onTermination);
    turn->cancel();
    m_turn.reset();
    emit runningChanged(false);
    if (self && onTermination)
        onTermination(*status);
}

void ChatCLIProcessRunner::interrupt()
{
    if (!m_turn)
        return;
    ::kill(-m_turn->group, SIGINT);
    if (std::exchange(m_turn->interrupted, true))
        return;
    // A tool that goes on regardless is stopped as `stop` would, a grace period later: SIGTERM,
    // then SIGKILL. The turn ends, and is delivered, once the tool has exited.
    const std::weak_ptr<ChatTurn> interrupted = m_turn;
    const auto signalIfRunning = [this, interrupted](int signal) {
        const std::shared_ptr<ChatTurn> turn = interrupted.lock();
        if (!turn || m_turn != turn || !process_groups::hasLiveMembers(turn->group))
            return false;
        ::kill(-turn->group, signal);
        return true;
    };
    // Precise: a coarse timer may fire a twentieth early.
    QTimer::singleShot(stopGracePeriod, Qt::PreciseTimer, this, [this, signalIfRunning] {
        if (signalIfRunning(SIGTERM))
            QTimer::singleShot(stopGracePeriod, Qt::PreciseTimer, this, [signalIfRunning] { signalIfRunning(SIGKILL); });
    });
}

void ChatCLIProcessRunner::stop()
{
    if (!m_turn)
        return;
    const std::shared_ptr<ChatTurn> turn = std::move(m_turn);
    turn->cancel();
    const pid_t group = turn->group;
    ::kill(-group, SIGTERM);
    QObject* io = IOThread::instance().context();
    QMetaObject::invokeMethod(
        io,
        [io, turn, group] {
            if (turn->reader)
                turn->reader->abandon();
            // Owned by the I/O thread's context, so that shutting down releases it.
            auto* deadline = new QTimer(io);
            deadline->setSingleShot(true);
            QObject::connect(deadline, &QTimer::timeout, deadline, [deadline, group] {
                if (process_groups::hasLiveMembers(group))
                    ::kill(-group, SIGKILL);
                deadline->deleteLater();
            });
            deadline->start(stopGracePeriod);
        },
        Qt::QueuedConnection);
    emit runningChanged(false);
}

bool ChatCLIProcessRunner::groupHasLiveProcesses(qint64 group)
{
    return process_groups::hasLiveMembers(pid_t(group));
}

void ChatCLIProcessRunner::terminateAll(std::chrono::milliseconds grace)
{
    quitting = true;
    process_groups::terminateAll(grace);
    quitting = false;
}

} // namespace quillora::chat
