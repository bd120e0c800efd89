#include "ProcessRecorder.h"

#include <cstdio>

#include <unistd.h>

namespace process_test {

namespace {

struct Stat {
    char state = 0;
    long parent = 0;
    long group = 0;
    long session = 0;
};

// Fields of /proc/<pid>/stat; the command name may hold anything, so they start after its last ")".
std::optional<Stat> readStat(const QString& pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray text = file.readAll();
    const qsizetype close = text.lastIndexOf(')');
    if (close < 0)
        return std::nullopt;
    Stat stat;
    if (std::sscanf(text.constData() + close + 1, " %c %ld %ld %ld", &stat.state, &stat.parent, &stat.group,
                    &stat.session) != 4)
        return std::nullopt;
    return stat;
}

template <typename Predicate> int countProcesses(Predicate predicate)
{
    int count = 0;
    for (const QString& name : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool isPid = false;
        name.toInt(&isPid);
        if (const auto stat = isPid ? readStat(name) : std::nullopt; stat && predicate(*stat))
            ++count;
    }
    return count;
}

} // namespace

int liveSessionMembers(pid_t session)
{
    return countProcesses([&](const Stat& stat) { return stat.session == session && stat.state != 'Z' && stat.state != 'X'; });
}

int ownZombies()
{
    const long self = ::getpid();
    return countProcesses([&](const Stat& stat) { return stat.parent == self && stat.state == 'Z'; });
}

} // namespace process_test
