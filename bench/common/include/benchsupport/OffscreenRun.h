#pragma once

#include <QByteArray>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>

namespace benchsupport {

// A benchmark drawn offscreen, with its settings, logs and caches in a temporary home, so a run
// never touches the developer's own. Made before the QApplication, kept for the whole run.
class OffscreenRun {
public:
    OffscreenRun()
    {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        const QByteArray home = QFile::encodeName(m_scratch.path() + QStringLiteral("/home"));
        qputenv("HOME", home);
        qputenv("XDG_CONFIG_HOME", home + "/.config");
        qputenv("XDG_DATA_HOME", home + "/.local/share");
        qputenv("XDG_CACHE_HOME", home + "/.cache");
    }

    // A folder for the run's own files, removed at its end.
    QString path() const { return m_scratch.path(); }

private:
    QTemporaryDir m_scratch;
};

// The value after `name` on the command line, or an empty text.
inline QString option(const QStringList& arguments, const QString& name)
{
    const qsizetype at = arguments.indexOf(name);
    return at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1) : QString();
}

// The number of runs `--runs N` asks for (at least one), else `fallback`.
inline int runs(const QStringList& arguments, int fallback)
{
    const QString value = option(arguments, QStringLiteral("--runs"));
    return value.isEmpty() ? fallback : std::max(1, value.toInt());
}

} // namespace benchsupport
