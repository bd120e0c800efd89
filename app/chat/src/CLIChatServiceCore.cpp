#include "chat/CLIChatServiceCore.h"

#include "chat/ExecutableResolverService.h"
#include "chat/LineSplitter.h"

#include <QFileInfo>
#include <QPointer>

namespace quillora::chat {

namespace {

// Raw output in the log: the first 2 KiB of it, and its size when it was longer.
QString logExcerpt(std::string_view text)
{
    constexpr std::size_t limit = 2048;
    const std::string_view kept = utf8Prefix(text, limit);
    QString excerpt = QString::fromUtf8(kept.data(), qsizetype(kept.size()));
    if (kept.size() < text.size())
        excerpt += QStringLiteral("… (%1 bytes)").arg(qulonglong(text.size()));
    return excerpt;
}

// Runs on the I/O thread: what the core makes of a turn's output.
class Interpreter final : public ChatOutputInterpreter {
public:
    Interpreter(AppLogger logger, std::shared_ptr<const ChatProviderAdapter> adapter)
        : m_logger(std::move(logger))
        , m_adapter(std::move(adapter))
    {
    }

    // The lines of one read go to the log as one message, a "[stdout] " line each: a message
    // per line would cost the log more than reading and parsing the line does. The session log
    // keeps its entries in memory, so a turn logs at most `logBudget` of raw output; the rest is
    // counted and summed up at the end.
    void outputLine(std::string_view line, QList<ChatProviderEvent>& events) override
    {
        logRaw(QStringLiteral("[stdout] "), line);
        events += m_adapter->parseLine(line);
    }

    void endOfRead(QList<ChatProviderEvent>&) override { flushLog(); }

    void outputLineDropped(std::size_t bound, QList<ChatProviderEvent>& events) override
    {
        const QString note = QStringLiteral("An output line longer than %1 MiB was dropped.").arg(bound >> 20);
        m_logger.warning(note);
        events.append(ChatProviderEvent::ErrorDetails{note + QLatin1Char('\n')});
    }

    void errorOutput(const QString& text, QList<ChatProviderEvent>& events) override
    {
        const QByteArray utf8 = text.toUtf8();
        logRaw(QStringLiteral("[stderr] "), std::string_view(utf8.constData(), std::size_t(utf8.size())));
        flushLog();
        events.append(ChatProviderEvent::ErrorDetails{text, true});
    }

    void terminated(int status, std::string_view rest, QList<ChatProviderEvent>& events) override
    {
        flushLog();
        if (m_unloggedLines > 0)
            m_logger.debug(QStringLiteral("%1 more lines of output (%2 bytes) were not logged for this turn")
                               .arg(m_unloggedLines)
                               .arg(m_unloggedBytes));
        m_logger.info(QStringLiteral("Process terminated with status ") + QString::number(status));
        if (rest.empty())
            return;
        if (rest.front() == '{' && rest.back() == '}')
            events += m_adapter->parseLine(rest);
        else
            events.append(ChatProviderEvent::UnparsedOutput{QString::fromUtf8(rest.data(), qsizetype(rest.size()))});
    }

private:
    static constexpr qsizetype logBudget = qsizetype(4) << 20;

    void logRaw(const QString& prefix, std::string_view text)
    {
        if (m_loggedBytes >= logBudget) {
            ++m_unloggedLines;
            m_unloggedBytes += qint64(text.size());
            return;
        }
        if (!m_pendingLog.isEmpty())
            m_pendingLog += QLatin1Char('\n');
        const QString line = prefix + logExcerpt(text);
        m_loggedBytes += line.size() + 1;
        m_pendingLog += line;
    }

    void flushLog()
    {
        if (m_pendingLog.isEmpty())
            return;
        m_logger.debug(m_pendingLog);
        m_pendingLog.clear();
    }

    AppLogger m_logger;
    std::shared_ptr<const ChatProviderAdapter> m_adapter;
    QString m_pendingLog;
    qsizetype m_loggedBytes = 0;
    qint64 m_unloggedLines = 0;
    qint64 m_unloggedBytes = 0;
};

} // namespace

CLIChatServiceCore::CLIChatServiceCore(QString loggerCategory, QString providerDisplayName,
                                       ExecutableResolution resolveExecutable,
                                       std::shared_ptr<const ChatProviderAdapter> adapter, QObject* parent)
    : QObject(parent)
    , m_logger(std::move(loggerCategory))
    , m_providerDisplayName(std::move(providerDisplayName))
    , m_resolveExecutable(std::move(resolveExecutable))
    , m_adapter(std::move(adapter))
{
    connect(&m_runner, &ChatCLIProcessRunner::runningChanged, this, &CLIChatServiceCore::runningChanged);
}

void CLIChatServiceCore::start(EventSink onEvent, TerminationSink onTermination, StartCompletion completion)
{
    m_logger.debug(QStringLiteral("Starting ") + m_providerDisplayName + QStringLiteral(" session"));
    const quint64 generation = ++m_generation;
    if (m_runner.isRunning()) {
        QMetaObject::invokeMethod(
            this,
            [this, generation, completion = std::move(completion)] {
                if (generation == m_generation)
                    completion(ChatSessionStartResult::of(ChatSessionStartResult::Kind::alreadyRunning));
            },
            Qt::QueuedConnection);
        return;
    }
    m_resolveExecutable(this, [this, generation, onEvent = std::move(onEvent), onTermination = std::move(onTermination),
                               completion = std::move(completion)](std::optional<QString> path) mutable {
        if (generation != m_generation)
            return;
        if (!path) {
            completion(ChatSessionStartResult::of(ChatSessionStartResult::Kind::executableNotFound));
            return;
        }
        m_logger.debug(m_providerDisplayName + QStringLiteral(" executable resolved: ") + *path);
        m_executablePath = std::move(path);
        m_onEvent = std::move(onEvent);
        m_onTermination = std::move(onTermination);
        completion(ChatSessionStartResult::of(ChatSessionStartResult::Kind::started));
    });
}

ChatLaunchResult CLIChatServiceCore::launchProcess(const QString& prompt, const std::optional<QString>& workingDirectory,
                                                   const ChatSessionMode& mode)
{
    if (!m_executablePath || !m_onEvent || !m_onTermination)
        return ChatLaunchResult::notStarted;
    if (m_runner.isRunning())
        return ChatLaunchResult::busy;
    if (mode.resumeSessionID && !isSafeSessionID(*mode.resumeSessionID))
        m_logger.warning(QStringLiteral("Starting a new session: the session identifier cannot be passed on the command line"));

    ChatCLIProcessRunner::Launch launch;
    launch.program = *m_executablePath;
    launch.arguments = m_adapter->arguments(mode, workingDirectory);
    launch.environment = makeEnvironment(*m_executablePath, QProcessEnvironment::systemEnvironment(),
                                         chatToolFolders(homeDirectory()));
    launch.workingDirectory = workingDirectory.value_or(homeDirectory());
    launch.input = prompt.toUtf8();

    const auto interpreter = std::make_shared<Interpreter>(m_logger, m_adapter);
    const std::optional<QString> failure = m_runner.launch(std::move(launch), interpreter, m_onEvent, m_onTermination);
    if (!failure)
        return ChatLaunchResult::launched;

    m_logger.error(QStringLiteral("Failed to launch process: ") + *failure);
    QMetaObject::invokeMethod(
        this,
        [this, generation = m_generation, onEvent = m_onEvent, onTermination = m_onTermination, reason = *failure] {
            const QPointer<CLIChatServiceCore> self(this);
            if (generation != m_generation)
                return;
            onEvent(ChatProviderEvent::ErrorDetails{reason});
            // The sink may have stopped the session, or destroyed it.
            if (self && generation == m_generation)
                onTermination(1);
        },
        Qt::QueuedConnection);
    return ChatLaunchResult::failed;
}

void CLIChatServiceCore::stop()
{
    ++m_generation;
    m_runner.stop();
    m_onEvent = nullptr;
    m_onTermination = nullptr;
}

QProcessEnvironment CLIChatServiceCore::makeEnvironment(const QString& executablePath, QProcessEnvironment base,
                                                        const QStringList& extraFolders)
{
    QStringList candidates{QFileInfo(executablePath).path()};
    candidates += base.value(QStringLiteral("PATH")).split(QLatin1Char(':'), Qt::SkipEmptyParts);
    candidates += extraFolders;
    QStringList kept;
    for (const QString& folder : candidates)
        if (!folder.isEmpty() && !kept.contains(folder))
            kept.append(folder);
    base.insert(QStringLiteral("PATH"), kept.join(QLatin1Char(':')));
    return base;
}

} // namespace quillora::chat
