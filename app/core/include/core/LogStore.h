#pragma once

#include "core/LogLevel.h"
#include "core/LogSessionFileModel.h"

#include <QList>
#include <QObject>

#include <mutex>

namespace quillora {

// The session log: one file per launch in the logs folder, and this session's entries in
// memory for the log viewer. `append` may be called from any thread; the observable lists
// change on the store's own (main) thread only. File failures are silent: without a file the
// session is kept in memory only.
class LogStore : public QObject {
    Q_OBJECT
    Q_PROPERTY(QList<quillora::LogEntryModel> entries READ entries NOTIFY entriesChanged)
    Q_PROPERTY(QList<quillora::LogSessionFileModel> sessionFiles READ sessionFiles NOTIFY sessionFilesChanged)

public:
    static constexpr int pruneThreshold = 10;
    static constexpr int pruneKeepCount = 5;

    // Creates the folder, prunes old session files and opens this session's file.
    explicit LogStore(QString logsDirectoryPath, QObject* parent = nullptr);
    ~LogStore() override;

    // The process-wide store over `defaultLogsDirectoryPath()`, created on first use, never released.
    static LogStore& shared();
    // <generic data location>/Quillora/Logs; empty when the platform has no such location.
    static QString defaultLogsDirectoryPath();

    QString logsDirectoryPath() const { return m_logsDirectoryPath; }
    // Empty when the session file could not be created.
    QString currentSessionFilePath() const { return m_sessionFilePath; }

    // By reference: a viewer that kept a copy would make every later append copy the list.
    const QList<LogEntryModel>& entries() const { return m_entries; }
    QList<LogSessionFileModel> sessionFiles() const { return m_sessionFiles; }

    void append(LogLevel level, const QString& category, const QString& message);
    // The log files of the folder, newest first.
    QList<LogSessionFileModel> listSessionFiles() const;
    void refreshSessionFiles();
    // Every entry as a line, joined by line feeds, without a final one.
    QString exportText() const;

    // "[yyyy-MM-dd HH:mm:ss.SSS] [LEVEL] [category] message", local time, without line feed.
    static QString formatLine(const LogEntryModel& entry);
    // "session-yyyy-MM-dd_HH-mm-ss.log" for the local time of `time`.
    static QString sessionFileName(const QDateTime& time);

signals:
    void entriesChanged();
    void sessionFilesChanged();

private:
    void prune();
    void openSessionFile();
    void writeLine(const QByteArray& line);
    void appendEntry(const LogEntryModel& entry);

    QString m_logsDirectoryPath;
    QString m_sessionFilePath;
    QList<LogEntryModel> m_entries;
    QList<LogSessionFileModel> m_sessionFiles;

    std::mutex m_fileLock; // guards the two below
    int m_sessionFile = -1;
    qint64 m_sessionFileSize = 0;
};

} // namespace quillora
