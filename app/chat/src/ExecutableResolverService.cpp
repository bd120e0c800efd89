#include "chat/ExecutableResolverService.h"

#include "ChildProcess.h"

#include <core/AppLogger.h>

#include <QDir>
#include <QFile>
#include <QFuture>
#include <QPromise>
#include <QProcess>
#include <QThreadPool>
#include <QTimer>
#include <QVersionNumber>

#include <algorithm>
#include <csignal>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace quillora::chat {

namespace {

enum class Tool { claude, codex };

// The entries of a folder, hidden ones skipped, in the order in which the system lists them.
QStringList entriesOf(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
}

// nvm's node folders, newest version first ("v20.11.0" before "v9.0.0").
QStringList nvmBinFolders(const QString& home)
{
    const QString root = home + QStringLiteral("/.nvm/versions/node");
    QStringList versions = entriesOf(root);
    auto versionOf = [](const QString& name) {
        return QVersionNumber::fromString(name.startsWith(QLatin1Char('v')) ? name.mid(1) : name);
    };
    std::stable_sort(versions.begin(), versions.end(), [&](const QString& a, const QString& b) {
        const int order = QVersionNumber::compare(versionOf(a), versionOf(b));
        return order != 0 ? order > 0 : a < b;
    });
    QStringList folders;
    for (const QString& version : versions)
        folders.append(root + QLatin1Char('/') + version + QStringLiteral("/bin"));
    return folders;
}

QStringList foldersBeforeVersions(const QString& home)
{
    return {QStringLiteral("/usr/local/bin"), QStringLiteral("/usr/bin"), home + QStringLiteral("/.local/bin"),
            home + QStringLiteral("/.npm-global/bin"), home + QStringLiteral("/.yarn/bin"),
            home + QStringLiteral("/.volta/bin")};
}

QStringList foldersAfterVersions(const QString& home, std::optional<Tool> tool)
{
    QStringList folders{home + QStringLiteral("/.bun/bin"), home + QStringLiteral("/.local/share/pnpm")};
    folders += nvmBinFolders(home);
    if (tool != Tool::claude)
        folders.append(home + QStringLiteral("/.cargo/bin"));
    folders.append(QStringLiteral("/home/linuxbrew/.linuxbrew/bin"));
    return folders;
}

QStringList knownPathsOf(const QString& home, Tool tool, const QString& name)
{
    QStringList paths;
    for (const QString& folder : foldersBeforeVersions(home))
        paths.append(folder + QLatin1Char('/') + name);
    if (tool == Tool::claude) {
        const QString versions = home + QStringLiteral("/.local/share/claude/versions");
        for (const QString& entry : entriesOf(versions)) {
            paths.append(versions + QLatin1Char('/') + entry + QStringLiteral("/claude"));
            paths.append(versions + QLatin1Char('/') + entry + QStringLiteral("/bin/claude"));
        }
    }
    for (const QString& folder : foldersAfterVersions(home, tool))
        paths.append(folder + QLatin1Char('/') + name);
    return paths;
}

} // namespace

QString homeDirectory()
{
    const QString home = qEnvironmentVariable("HOME");
    return home.isEmpty() ? QDir::homePath() : home;
}

QStringList chatToolFolders(const QString& home)
{
    return foldersBeforeVersions(home) + foldersAfterVersions(home, std::nullopt);
}

ExecutableResolverService ExecutableResolverService::claude(const QString& home)
{
    return {QStringLiteral("claude"), knownPathsOf(home, Tool::claude, QStringLiteral("claude")),
            QStringLiteral("ClaudeExecutableResolverService")};
}

ExecutableResolverService ExecutableResolverService::codex(const QString& home)
{
    return {QStringLiteral("codex"), knownPathsOf(home, Tool::codex, QStringLiteral("codex")),
            QStringLiteral("CodexExecutableResolverService")};
}

bool ExecutableResolverService::isExecutableFile(const QString& path)
{
    if (path.isEmpty() || !QDir::isAbsolutePath(path))
        return false;
    const QByteArray encoded = QFile::encodeName(path);
    struct stat info {};
    return ::stat(encoded.constData(), &info) == 0 && S_ISREG(info.st_mode) && ::access(encoded.constData(), X_OK) == 0;
}

std::optional<QString> ExecutableResolverService::resolveBlocking() const
{
    const AppLogger logger(loggerCategory);
    logger.debug(QStringLiteral("Resolving ") + executableName + QStringLiteral(" executable"));
    for (const QString& path : knownPaths) {
        if (isExecutableFile(path)) {
            logger.debug(executableName + QStringLiteral(" executable found at known path: ") + path);
            return path;
        }
    }
    return resolveWithWhich();
}

std::optional<QString> ExecutableResolverService::resolveWithWhich() const
{
    if (!isExecutableFile(whichPath)) {
        // No `which`: search PATH as it would.
        for (const QString& folder : qEnvironmentVariable("PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
            const QString candidate = folder + QLatin1Char('/') + executableName;
            if (isExecutableFile(candidate))
                return candidate;
        }
        return std::nullopt;
    }
    QProcess which;
    which.setProgram(whichPath);
    which.setArguments({executableName});
    which.setStandardInputFile(QProcess::nullDevice());
    isolateChild(which);
    which.start(QIODevice::ReadOnly);
    if (!which.waitForStarted(-1))
        return std::nullopt;
    if (!which.waitForFinished(int(timeout.count()))) {
        // The whole group: a `which` that is a script may have children of its own.
        ::kill(-pid_t(which.processId()), SIGKILL);
        which.waitForFinished(-1);
        return std::nullopt;
    }
    if (which.exitStatus() != QProcess::NormalExit || which.exitCode() != 0)
        return std::nullopt;
    const QString path = QString::fromUtf8(which.readAllStandardOutput()).trimmed();
    if (!isExecutableFile(path))
        return std::nullopt;
    return path;
}

void ExecutableResolverService::resolveAsync(QObject* context, std::function<void(std::optional<QString>)> done) const
{
    auto promise = std::make_shared<QPromise<std::optional<QString>>>();
    QFuture<std::optional<QString>> future = promise->future();
    promise->start();
    QThreadPool::globalInstance()->start([resolver = *this, promise] {
        promise->addResult(resolver.resolveBlocking());
        promise->finish();
    });
    // Both ends run on the context's thread: whichever comes first answers. A continuation of
    // a future that is done already runs inside `then`, so the answer goes round the event loop
    // and never reaches the caller before this returns.
    auto answered = std::make_shared<bool>(false);
    future.then(context, [context, answered, done](std::optional<QString> path) {
        QMetaObject::invokeMethod(
            context,
            [answered, done, path = std::move(path)] {
                if (!std::exchange(*answered, true))
                    done(path);
            },
            Qt::QueuedConnection);
    });
    QTimer::singleShot(timeout, context, [answered, done] {
        if (!std::exchange(*answered, true))
            done(std::nullopt);
    });
}

} // namespace quillora::chat
