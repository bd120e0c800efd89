#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <optional>

namespace quillora::chat {

// The user's home folder: $HOME, else what the platform reports.
QString homeDirectory();
// The folders the chat tools are commonly installed in, in search order: the ones the known
// paths use (nvm's node folders newest version first), for the children's PATH.
QStringList chatToolFolders(const QString& home);

// Finds a chat tool's executable: the known paths in order, then `which` (or, without it, a
// search of PATH). A candidate counts only when it is a regular executable file once links are
// followed.
struct ExecutableResolverService {
    QString executableName;
    QStringList knownPaths;
    QString loggerCategory;
    // Bounds the asynchronous entry, and how long `which` may run before it is killed.
    std::chrono::milliseconds timeout{2000};
    QString whichPath = QStringLiteral("/usr/bin/which");

    // The known paths of each tool under `home`, listed now.
    static ExecutableResolverService claude(const QString& home = homeDirectory());
    static ExecutableResolverService codex(const QString& home = homeDirectory());

    static bool isExecutableFile(const QString& path);

    // On the calling thread, which waits for `which` (at most `timeout`).
    std::optional<QString> resolveBlocking() const;
    // Resolves on a worker thread; `done` runs once on the thread of `context`, with no path
    // when `timeout` passes first, and not at all when `context` is gone by then.
    void resolveAsync(QObject* context, std::function<void(std::optional<QString>)> done) const;

private:
    std::optional<QString> resolveWithWhich() const;
};

struct ClaudeExecutableResolverService {
    ExecutableResolverService resolver = ExecutableResolverService::claude();
};

struct CodexExecutableResolverService {
    ExecutableResolverService resolver = ExecutableResolverService::codex();
};

} // namespace quillora::chat
