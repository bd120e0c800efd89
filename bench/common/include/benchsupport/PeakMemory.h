#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace benchsupport {

// The process's own peak resident set in KB: getrusage's maximum would carry over the peak of
// the parent that started it, which the kernel keeps across exec. 0 when it cannot be read.
inline long peakKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

} // namespace benchsupport
