#include "core/LogStore.h"

#include "LogFileOrder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace quillora {

namespace {

// Same-second launches get "_02", "_03", … rather than replacing each other's file; the
// suffix sorts after the plain name, so names keep the order of the launches.
constexpr int maxSessionFileAttempts = 99;

} // namespace

QString rawValue(LogLevel level)
{
    switch (level) {
    case LogLevel::debug:
        return QStringLiteral("DEBUG");
    case LogLevel::info:
        return QStringLiteral("INFO");
    case LogLevel::warning:
        return QStringLiteral("WARN");
    case LogLevel::error:
        break;
    }
    return QStringLiteral("ERROR");
}

std::optional<LogLevel> logLevelFromRawValue(const QString& raw)
{
    for (LogLevel level : {LogLevel::debug, LogLevel::info, LogLevel::warning, LogLevel::error}) {
        if (rawValue(level) == raw)
            return level;
    }
    return std::nullopt;
}

QDateTime LogSessionFileModel::distantPast()
{
    return QDateTime(QDate(1, 1, 1), QTime(0, 0), Qt::UTC);
}

LogStore::LogStore(QString logsDirectoryPath, QObject* parent)
    : QObject(parent)
    , m_logsDirectoryPath(std::move(logsDirectoryPath))
{
    if (m_logsDirectoryPath.isEmpty())
        return;
    QDir().mkpath(m_logsDirectoryPath);
    prune();
    openSessionFile();
    m_sessionFiles = listSessionFiles();
}

LogStore::~LogStore()
{
    std::lock_guard lock(m_fileLock);
    if (m_sessionFile >= 0)
        ::close(m_sessionFile);
}

LogStore& LogStore::shared()
{
    static LogStore* const instance = [] {
        auto* store = new LogStore(defaultLogsDirectoryPath());
        // The entries belong to the main thread, whichever thread logged first.
        if (auto* app = QCoreApplication::instance())
            store->moveToThread(app->thread());
        return store;
    }();
    return *instance;
}

QString LogStore::defaultLogsDirectoryPath()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return base.isEmpty() ? QString() : base + QStringLiteral("/Quillora/Logs");
}

QString LogStore::formatLine(const LogEntryModel& entry)
{
    // Written field by field: the Gregorian form with ASCII digits, whatever the user's locale.
    const QDateTime local = entry.timestamp.toLocalTime();
    const QDate date = local.date();
    const QTime time = local.time();
    return QString::asprintf("[%04d-%02d-%02d %02d:%02d:%02d.%03d] ", date.year(), date.month(), date.day(),
                             time.hour(), time.minute(), time.second(), time.msec())
        + u'[' + rawValue(entry.level) + QStringLiteral("] [") + entry.category + QStringLiteral("] ") + entry.message;
}

QString LogStore::sessionFileName(const QDateTime& time)
{
    const QDateTime local = time.toLocalTime();
    const QDate date = local.date();
    const QTime clock = local.time();
    return QString::asprintf("session-%04d-%02d-%02d_%02d-%02d-%02d.log", date.year(), date.month(), date.day(),
                             clock.hour(), clock.minute(), clock.second());
}

QList<LogSessionFileModel> LogStore::listSessionFiles() const
{
    if (m_logsDirectoryPath.isEmpty())
        return {};
    // Regular files only: no links, FIFOs or folders, and no hidden names.
    const QFileInfoList infos = QDir(m_logsDirectoryPath).entryInfoList(QDir::Files | QDir::NoSymLinks, QDir::Unsorted);
    QList<LogSessionFileModel> files;
    for (const QFileInfo& info : infos) {
        if (info.suffix() != QStringLiteral("log"))
            continue;
        files.append({info.fileName(), QUrl::fromLocalFile(info.absoluteFilePath()), creationDate(info), info.size()});
    }
    std::sort(files.begin(), files.end(), isNewer);
    return files;
}

void LogStore::refreshSessionFiles()
{
    const QList<LogSessionFileModel> files = listSessionFiles();
    if (files == m_sessionFiles)
        return;
    m_sessionFiles = files;
    emit sessionFilesChanged();
}

void LogStore::prune()
{
    const QList<LogSessionFileModel> files = listSessionFiles();
    if (files.size() <= pruneThreshold)
        return;
    for (qsizetype i = pruneKeepCount; i < files.size(); ++i)
        QFile::remove(files[i].url.toLocalFile());
}

void LogStore::openSessionFile()
{
    const QString stem = sessionFileName(QDateTime::currentDateTime()).chopped(4);
    for (int attempt = 1; attempt <= maxSessionFileAttempts; ++attempt) {
        const QString name = attempt == 1 ? stem : stem + QString::asprintf("_%02d", attempt);
        const QString path = m_logsDirectoryPath + u'/' + name + QStringLiteral(".log");
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0644);
        if (fd >= 0) {
            m_sessionFile = fd;
            m_sessionFilePath = path;
            return;
        }
        if (errno != EEXIST)
            return;
    }
}

void LogStore::writeLine(const QByteArray& line)
{
    std::lock_guard lock(m_fileLock);
    if (m_sessionFile < 0)
        return;
    qsizetype written = 0;
    while (written < line.size()) {
        const ssize_t n = ::write(m_sessionFile, line.constData() + written, size_t(line.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // Full disk or similar: take back the part that made it, so the file holds whole lines.
            if (written > 0 && ::ftruncate(m_sessionFile, m_sessionFileSize) != 0)
                m_sessionFileSize += written;
            return;
        }
        written += n;
    }
    m_sessionFileSize += written;
}

void LogStore::append(LogLevel level, const QString& category, const QString& message)
{
    const LogEntryModel entry{QUuid::createUuid(), QDateTime::currentDateTime(), level, category, message};
    writeLine((formatLine(entry) + u'\n').toUtf8());
    if (QThread::currentThread() == thread())
        appendEntry(entry);
    else
        QMetaObject::invokeMethod(this, [this, entry] { appendEntry(entry); }, Qt::QueuedConnection);
}

void LogStore::appendEntry(const LogEntryModel& entry)
{
    m_entries.append(entry);
    emit entriesChanged();
}

QString LogStore::exportText() const
{
    QStringList lines;
    lines.reserve(m_entries.size());
    for (const LogEntryModel& entry : m_entries)
        lines.append(formatLine(entry));
    return lines.join(u'\n');
}

} // namespace quillora
