#pragma once

#include <QObject>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>

namespace platform {

// Watches a folder and everything below it through inotify: one watch per folder, folders that
// appear later are watched as they appear. The folder itself is watched before start() returns;
// the folders below it are found by the watcher's own thread, so that starting on a large tree
// (a home folder) does not hold up the caller. Changes are handed over in batches on the thread
// the watcher lives on (the main thread): the first change after a quiet spell at once, the
// changes that follow within `latency` of a hand-over together once `latency` has passed since
// it. No callback runs after stop(), after a new start(), or after the watcher is destroyed.
// When the system's watch limit is reached, the rest of the tree goes unwatched (logged once
// per process).
class RecursiveWatcher : public QObject {
    Q_OBJECT

public:
    struct Batch {
        QStringList paths;       // changed entries, each once
        bool overflowed = false; // events were lost: anything may have changed
    };
    using Callback = std::function<void(const Batch&)>;
    // How far below the folder changes are watched.
    enum class Depth { recursive, folderOnly };

    explicit RecursiveWatcher(QObject* parent = nullptr);
    ~RecursiveWatcher() override;

    // Replaces any earlier watch. False when nothing could be watched (the watcher stays idle).
    // With `entryName`, only changes to the entry of that name directly in the folder count, so
    // that changes to its neighbours (the temporary file of a save by rename, say) never hold a
    // change to it back by the latency; lost events always count.
    bool start(const QString& path, std::chrono::milliseconds latency, Callback callback,
               Depth depth = Depth::recursive, const QString& entryName = {});
    void stop();
    bool isWatching() const { return m_worker != nullptr; }
    // Folders currently watched; grows while the watcher's thread walks the tree.
    int watchCount() const;

private:
    struct Worker;
    void deliver(quint64 generation, const Batch& batch);

    std::unique_ptr<Worker> m_worker;
    Callback m_callback;
    quint64 m_generation = 0;
};

} // namespace platform
