#pragma once

#include <QString>

namespace platform {

// A failed file-system operation: the errno value when it is known (else 0) and the system's text.
struct FileSystemError {
    int code = 0;
    QString message;

    static FileSystemError fromErrno(int code);

    friend bool operator==(const FileSystemError&, const FileSystemError&) = default;
};

} // namespace platform
