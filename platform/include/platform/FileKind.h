#pragma once

#include <QString>

namespace platform {

// What a path names, following symbolic links. FIFOs, sockets and devices are `Other`:
// nothing in the application may open them, since a read could block forever.
enum class FileKind { Missing, RegularFile, Directory, Other };

FileKind fileKind(const QString& path);
bool isExistingDirectory(const QString& path);
bool isExistingRegularFile(const QString& path);

// Whether the open directory lies on a pseudo file system (proc, sysfs, devtmpfs, cgroup and the
// like): kernel state shown as files, which a walk through the user's files must not enter.
bool isOnPseudoFileSystem(int directoryFd);

} // namespace platform
