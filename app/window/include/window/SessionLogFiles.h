#pragma once

#include "core/LogSessionFileModel.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace quillora {

// What the session-log viewer does with session files, apart from any widget: which of the
// store's files are past sessions, how their dates, sizes and export names read, reading one
// for display and writing an export. The reads and writes block; callers run them off the
// main thread.

// A past session shows at most its last 8 MiB.
inline constexpr qint64 sessionLogDisplayLimit = qint64(8) << 20;

// The files of `sessionFiles` other than the running session's own, which is known by its path
// (empty: no file of its own), never by its date.
QList<LogSessionFileModel> pastSessionFiles(const QList<LogSessionFileModel>& sessionFiles,
                                            const QString& currentSessionFilePath);

// "yyyy-MM-dd HH:mm:ss" in local time.
QString sessionDateText(const QDateTime& date);
// A size in bytes as a file browser shows it ("0 bytes", "12.3 kB", ...).
QString byteCountText(qint64 bytes);
// "quillora-yyyy-MM-dd HH-mm-ss.log": one blank, no colon.
QString pastSessionExportName(const QDateTime& createdAt);
inline QString currentSessionExportName()
{
    return QStringLiteral("quillora-current-session.log");
}

// The text of a past session for display: the whole file, or when it is larger than `limit`
// its last `limit` bytes from the first whole line on; invalid UTF-8 becomes replacement
// characters. Absent text means the file could not be read, and `error` says why.
struct SessionLogText {
    std::optional<QString> text;
    bool truncated = false; // only the end of the file is shown
    QString error;
};
SessionLogText readSessionLog(const QString& path, qint64 limit = sessionLogDisplayLimit);

// Why the session file at `path` cannot be read, or nothing when it can.
std::optional<QString> sessionLogReadError(const QString& path);

// Writes `bytes`, or a copy of the file at `sourcePath`, to `destination` atomically: the
// destination is either replaced whole or left as it was. Returns the error shown to the user,
// or nothing on success.
std::optional<QString> saveExport(const QByteArray& bytes, const QString& destination);
std::optional<QString> saveExportCopy(const QString& sourcePath, const QString& destination);

} // namespace quillora
