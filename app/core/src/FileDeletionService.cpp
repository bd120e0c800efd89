#include "core/FileDeletionService.h"

#include <platform/SecurityScopedResources.h>
#include <platform/Trash.h>

#include <QFile>

#include <cerrno>
#include <sys/stat.h>

namespace quillora {

FileDeletionError::FileDeletionError(Kind kind, std::optional<platform::FileSystemError> underlying)
    : m_kind(kind)
    , m_underlying(std::move(underlying))
{
}

FileDeletionError FileDeletionError::unknown(platform::FileSystemError underlying)
{
    return {Kind::unknown, std::move(underlying)};
}

FileDeletionError FileDeletionError::accessDenied()
{
    return {Kind::accessDenied, std::nullopt};
}

FileDeletionError FileDeletionError::fileMissing()
{
    return {Kind::fileMissing, std::nullopt};
}

FileDeletionError FileDeletionError::classify(const platform::FileSystemError& error)
{
    return error.code == EACCES ? accessDenied() : unknown(error);
}

QString FileDeletionError::errorDescription() const
{
    switch (m_kind) {
    case Kind::accessDenied:
        return QStringLiteral("The file could not be deleted because access was denied.");
    case Kind::fileMissing:
        return QStringLiteral("The file no longer exists on disk.");
    case Kind::unknown:
        break;
    }
    if (m_underlying && !m_underlying->message.isEmpty())
        return m_underlying->message;
    return qt_error_string(m_underlying ? m_underlying->code : -1);
}

FileDeletionService::Result FileDeletionService::moveToTrash(const QUrl& fileURL) const
{
    const QString path = fileURL.toLocalFile();
    struct stat info {};
    if (!path.isEmpty() && ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode))
        return {std::nullopt, platform::FileSystemError::fromErrno(EISDIR)};

    const auto resources = platform::SecurityScopedResources::shared();
    const bool accessing = resources->startAccessing(path);
    const platform::TrashResult result = platform::moveToTrash(path);
    if (accessing)
        resources->stopAccessing(path);
    if (result.error)
        return {std::nullopt, result.error};
    return {result.trashedPath ? std::optional<QUrl>(QUrl::fromLocalFile(*result.trashedPath)) : std::nullopt, std::nullopt};
}

} // namespace quillora
