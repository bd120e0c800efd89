#include "window/SessionLogFiles.h"

#include <platform/RegularFileReader.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>

namespace quillora {
namespace {

constexpr qint64 chunkSize = platform::regularFileChunkSize;

QString fileName(const QString& path)
{
    return QFileInfo(path).fileName();
}

QString readError(const QString& path, const QString& reason)
{
    return QStringLiteral("The session log \u201C%1\u201D could not be read: %2").arg(fileName(path), reason);
}

QString writeError(const QString& destination, const QString& reason)
{
    return QStringLiteral("The log could not be saved as \u201C%1\u201D: %2").arg(fileName(destination), reason);
}

// The session file opened for reading, or why it cannot be.
struct OpenedLog {
    std::unique_ptr<QFile> file;
    qint64 size = 0;
    QString error;
};

OpenedLog openLog(const QString& path)
{
    const platform::OpenedRegularFile opened = platform::openRegularFile(path);
    if (opened.fd < 0) {
        const bool notRegular = opened.status == platform::RegularFileRead::Status::notRegular;
        return {nullptr, 0, readError(path, notRegular ? QStringLiteral("it is not a regular file") : qt_error_string(opened.error))};
    }
    auto file = std::make_unique<QFile>();
    if (!file->open(opened.fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(opened.fd);
        return {nullptr, 0, readError(path, file->errorString())};
    }
    return {std::move(file), opened.size, {}};
}

std::optional<QString> commit(QSaveFile& out, const QString& destination)
{
    if (!out.commit())
        return writeError(destination, out.errorString());
    return std::nullopt;
}

} // namespace

QList<LogSessionFileModel> pastSessionFiles(const QList<LogSessionFileModel>& sessionFiles,
                                            const QString& currentSessionFilePath)
{
    if (currentSessionFilePath.isEmpty())
        return sessionFiles;
    const QString current = QFileInfo(currentSessionFilePath).absoluteFilePath();
    QList<LogSessionFileModel> past;
    past.reserve(sessionFiles.size());
    for (const LogSessionFileModel& file : sessionFiles) {
        if (QFileInfo(file.url.toLocalFile()).absoluteFilePath() != current)
            past.append(file);
    }
    return past;
}

QString sessionDateText(const QDateTime& date)
{
    return date.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString byteCountText(qint64 bytes)
{
    return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

QString pastSessionExportName(const QDateTime& createdAt)
{
    return QStringLiteral("quillora-") + sessionDateText(createdAt).replace(u':', u'-') + QStringLiteral(".log");
}

SessionLogText readSessionLog(const QString& path, qint64 limit)
{
    OpenedLog log = openLog(path);
    if (!log.file)
        return {std::nullopt, false, log.error};
    const qint64 start = std::max<qint64>(0, log.size - limit);
    if (start > 0 && !log.file->seek(start))
        return {std::nullopt, false, readError(path, log.file->errorString())};
    QByteArray bytes;
    bytes.reserve(qsizetype(std::min(log.size, limit)));
    while (bytes.size() < limit) {
        const QByteArray chunk = log.file->read(std::min(chunkSize, limit - bytes.size()));
        if (chunk.isEmpty()) {
            if (log.file->error() != QFileDevice::NoError)
                return {std::nullopt, false, readError(path, log.file->errorString())};
            break;
        }
        bytes += chunk;
    }
    if (start > 0) {
        // Begin at a whole line rather than inside one (or inside a character).
        const qsizetype lineEnd = bytes.indexOf('\n');
        if (lineEnd >= 0)
            bytes.remove(0, lineEnd + 1);
    }
    return {QString::fromUtf8(bytes), start > 0, {}};
}

std::optional<QString> sessionLogReadError(const QString& path)
{
    OpenedLog log = openLog(path);
    if (!log.file)
        return log.error;
    return std::nullopt;
}

std::optional<QString> saveExport(const QByteArray& bytes, const QString& destination)
{
    QSaveFile out(destination);
    if (!out.open(QIODevice::WriteOnly))
        return writeError(destination, out.errorString());
    if (out.write(bytes) != bytes.size()) {
        out.cancelWriting();
        return writeError(destination, out.errorString());
    }
    return commit(out, destination);
}

std::optional<QString> saveExportCopy(const QString& sourcePath, const QString& destination)
{
    OpenedLog log = openLog(sourcePath);
    if (!log.file)
        return log.error;
    QSaveFile out(destination);
    if (!out.open(QIODevice::WriteOnly))
        return writeError(destination, out.errorString());
    for (;;) {
        const QByteArray chunk = log.file->read(chunkSize);
        if (chunk.isEmpty()) {
            if (log.file->error() == QFileDevice::NoError)
                break;
            out.cancelWriting();
            return readError(sourcePath, log.file->errorString());
        }
        if (out.write(chunk) != chunk.size()) {
            out.cancelWriting();
            return writeError(destination, out.errorString());
        }
    }
    return commit(out, destination);
}

} // namespace quillora
