#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace benchsupport {

// The peak resident set in KB of a process (by its id, this one by default): getrusage's
// maximum would carry over the peak of the parent that started it, which the kernel keeps across
// exec. 0 when it cannot be read (the process is gone).
inline long peakKilobytes(const QString& process = QStringLiteral("self"))
{
    QFile status(QStringLiteral("/proc/%1/status").arg(process));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

} // namespace benchsupport
