#pragma once

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <functional>
#include <stdlib.h>
#include <unistd.h>

namespace testsupport {

// Runs `body` with the process's standard output going to a temporary file and returns what was
// written, as UTF-8. Assertions inside `body` print their failures into the capture too: keep
// them outside.
inline QString captureStdout(const std::function<void()>& body)
{
    std::fflush(stdout);
    char name[] = "/tmp/quillora-stdout-XXXXXX";
    const int file = ::mkstemp(name);
    if (file < 0)
        return QStringLiteral("<could not capture standard output>");
    ::unlink(name);
    const int saved = ::dup(STDOUT_FILENO);
    ::dup2(file, STDOUT_FILENO);
    body();
    std::fflush(stdout);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    QByteArray captured;
    char buffer[4096];
    ::lseek(file, 0, SEEK_SET);
    for (ssize_t n; (n = ::read(file, buffer, sizeof buffer)) > 0;)
        captured.append(buffer, n);
    ::close(file);
    return QString::fromUtf8(captured);
}

} // namespace testsupport
