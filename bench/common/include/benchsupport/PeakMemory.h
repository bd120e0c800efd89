#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace benchsupport {

// A memory figure in KB from /proc/<process>/status ("VmHWM:", "VmRSS:"); 0 when it cannot be
// read (the process is gone).
inline long statusKilobytes(const char* field, const QString& process = QStringLiteral("self"))
{
    QFile status(QStringLiteral("/proc/%1/status").arg(process));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray name(field);
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(name))
            return line.mid(name.size()).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

// The peak resident set in KB of a process (by its id, this one by default): getrusage's
// maximum would carry over the peak of the parent that started it, which the kernel keeps across
// exec.
inline long peakKilobytes(const QString& process = QStringLiteral("self"))
{
    return statusKilobytes("VmHWM:", process);
}

// The resident set in KB of a process now.
inline long residentKilobytes(const QString& process = QStringLiteral("self"))
{
    return statusKilobytes("VmRSS:", process);
}

} // namespace benchsupport
