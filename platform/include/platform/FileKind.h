#pragma once

#include <QString>

namespace platform {

// What a path names, following symbolic links. FIFOs, sockets and devices are `Other`:
// nothing in the application may open them, since a read could block forever.
enum class FileKind { Missing, RegularFile, Directory, Other };

FileKind fileKind(const QString& path);
bool isExistingDirectory(const QString& path);
bool isExistingRegularFile(const QString& path);

} // namespace platform
