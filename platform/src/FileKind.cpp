#include "platform/FileKind.h"

#include <QFile>

#include <sys/stat.h>

namespace platform {

FileKind fileKind(const QString& path)
{
    if (path.isEmpty())
        return FileKind::Missing;
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return FileKind::Missing;
    if (S_ISREG(info.st_mode))
        return FileKind::RegularFile;
    if (S_ISDIR(info.st_mode))
        return FileKind::Directory;
    return FileKind::Other;
}

bool isExistingDirectory(const QString& path)
{
    return fileKind(path) == FileKind::Directory;
}

bool isExistingRegularFile(const QString& path)
{
    return fileKind(path) == FileKind::RegularFile;
}

} // namespace platform
