#include "ProcessRecorder.h"

#include <cstdio>

#include <unistd.h>

namespace process_test {

namespace {

struct Stat {
    std::string command;
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
    const qsizetype open = text.indexOf('(');
    stat.command = text.mid(open + 1, close - open - 1).toStdString();
    if (std::sscanf(text.constData() + close + 1, " %c %ld %ld %ld", &stat.state, &stat.parent, &stat.group,
                    &stat.session) != 4)
        return std::nullopt;
    return stat;
}

template <typename Visit> void forEachProcess(Visit visit)
{
    for (const QString& name : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool isPid = false;
        const int pid = name.toInt(&isPid);
        if (const auto stat = isPid ? readStat(name) : std::nullopt)
            visit(pid, *stat);
    }
}

template <typename Predicate> int countProcesses(Predicate predicate)
{
    int count = 0;
    forEachProcess([&](int, const Stat& stat) { count += predicate(stat); });
    return count;
}

bool isLive(const Stat& stat)
{
    return stat.state != 'Z' && stat.state != 'X';
}

} // namespace

int liveSessionMembers(pid_t session)
{
    return countProcesses([&](const Stat& stat) { return stat.session == session && isLive(stat); });
}

std::string describeSession(pid_t session)
{
    std::string text;
    forEachProcess([&](int pid, const Stat& stat) {
        if (stat.session == session && isLive(stat))
            text += std::to_string(pid) + " " + stat.state + " " + std::to_string(stat.group) + " " + stat.command + "\n";
    });
    return text;
}

int ownZombies()
{
    const long self = ::getpid();
    return countProcesses([&](const Stat& stat) { return stat.parent == self && stat.state == 'Z'; });
}

} // namespace process_test
