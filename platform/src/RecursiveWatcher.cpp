#include "platform/RecursiveWatcher.h"

#include "platform/SystemLog.h"

#include "ChangeCoalescer.h"

#include <QFile>
#include <QMetaObject>
#include <QSet>

#include <atomic>
#include <cerrno>
#include <pthread.h>
#include <dirent.h>
#include <poll.h>
#include <set>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace platform {

namespace {

constexpr uint32_t watchMask = IN_CREATE | IN_DELETE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_FROM | IN_MOVED_TO
    | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW;
constexpr int maxDepth = 128;
// Beyond this many distinct paths a batch only says that much changed.
constexpr qsizetype maxBatchPaths = 10000;

std::atomic<bool> watchLimitLogged{false};

void logWatchLimitOnce(const QByteArray& path)
{
    if (watchLimitLogged.exchange(true))
        return;
    SystemLog::write(SystemLog::Type::Error, QStringLiteral("RecursiveWatcher"),
                     QStringLiteral("The system's limit of watched folders is reached at %1; changes below "
                                    "further folders go unnoticed (see fs.inotify.max_user_watches).")
                         .arg(QFile::decodeName(path)));
}

// Closing an inotify descriptor makes the kernel drop all of its watches, about 2 ms per thousand
// folders, so a watcher that stops closes it on a thread of its own: leaving a large project does
// not freeze the caller. A new walk waits for those closes, since their watches still count
// against the same per-user limit.
std::atomic<int>& retiringDescriptors()
{
    static std::atomic<int> count{0};
    // The closing threads do not live on in a forked child, so its count starts again at none.
    static const int registered = ::pthread_atfork(nullptr, nullptr, [] { count = 0; });
    (void)registered;
    return count;
}

void closeInBackground(int fd)
{
    std::atomic<int>& retiring = retiringDescriptors();
    ++retiring;
    auto finish = [fd, &retiring] {
        ::close(fd);
        --retiring;
        retiring.notify_all();
    };
    try {
        std::thread(finish).detach();
    } catch (const std::system_error&) {
        finish();
    }
}

void waitForRetiringDescriptors()
{
    std::atomic<int>& retiring = retiringDescriptors();
    for (int left = retiring; left > 0; left = retiring)
        retiring.wait(left);
}

} // namespace

struct RecursiveWatcher::Worker {
    RecursiveWatcher* owner = nullptr;
    quint64 generation = 0;
    std::chrono::milliseconds latency{0};
    bool recursive = true;
    QByteArray rootPath;
    QByteArray entryName; // when set, the only entry of the root whose changes count
    bool rootDeferred = false;
    int inotifyFd = -1;
    int wakeFd = -1;
    std::thread thread;
    std::unordered_map<int, QByteArray> folders; // watch descriptor → folder path (worker thread)
    std::atomic<int> watchCount{0};
    std::atomic<bool> stopping{false}; // ends a walk of a large tree early

    Batch pending;
    QSet<QString> pendingSet;

    ~Worker()
    {
        if (thread.joinable()) {
            stopping = true;
            const uint64_t one = 1;
            (void)!::write(wakeFd, &one, sizeof one);
            thread.join();
        }
        if (inotifyFd >= 0)
            closeInBackground(inotifyFd);
        if (wakeFd >= 0)
            ::close(wakeFd);
    }

    void note(const QByteArray& path)
    {
        if (pending.overflowed && pendingSet.size() >= maxBatchPaths)
            return;
        const QString decoded = QFile::decodeName(path);
        if (pendingSet.contains(decoded))
            return;
        if (pendingSet.size() >= maxBatchPaths) {
            pending.overflowed = true;
            return;
        }
        pendingSet.insert(decoded);
        pending.paths.append(decoded);
    }

    // Watches `path` and the folders below it; with `report`, everything found counts as changed
    // (it may have appeared before its folder was watched). Folders watched already are walked
    // again, so that a walk after lost events finds the folders made meanwhile.
    void addTree(const QByteArray& path, bool report)
    {
        std::set<int> walked;
        addTree(path, 0, report, walked);
    }

    // Watches one folder; its watch descriptor, or -1.
    int addWatch(const QByteArray& path, bool logLimit = true)
    {
        const int wd = ::inotify_add_watch(inotifyFd, path.constData(), watchMask);
        if (wd < 0) {
            if (errno == ENOSPC && logLimit)
                logWatchLimitOnce(path);
            return -1;
        }
        folders.emplace(wd, path);
        watchCount = int(folders.size());
        return wd;
    }

    void addTree(const QByteArray& path, int depth, bool report, std::set<int>& walked)
    {
        if (stopping)
            return;
        const int wd = addWatch(path);
        if (wd < 0)
            return;
        if (!walked.insert(wd).second)
            return; // the same folder under another name (a bind mount): once is enough
        if (depth >= maxDepth || !recursive)
            return;
        DIR* dir = ::opendir(path.constData());
        if (!dir)
            return;
        std::vector<QByteArray> subfolders;
        while (const dirent* entry = ::readdir(dir)) {
            const char* name = entry->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                continue;
            const QByteArray child = path + '/' + name;
            if (report)
                note(child);
            bool isFolder = entry->d_type == DT_DIR;
            if (entry->d_type == DT_UNKNOWN) {
                struct stat info {};
                isFolder = ::lstat(child.constData(), &info) == 0 && S_ISDIR(info.st_mode);
            }
            if (isFolder)
                subfolders.push_back(child);
        }
        ::closedir(dir);
        for (const QByteArray& child : subfolders)
            addTree(child, depth + 1, report, walked);
    }

    void removeTree(const QByteArray& path)
    {
        const QByteArray prefix = path + '/';
        for (auto it = folders.begin(); it != folders.end();) {
            if (it->second == path || it->second.startsWith(prefix)) {
                ::inotify_rm_watch(inotifyFd, it->first);
                it = folders.erase(it);
            } else {
                ++it;
            }
        }
        watchCount = int(folders.size());
    }

    // Returns whether the events changed anything.
    bool handleEvents(const char* buffer, ssize_t length)
    {
        bool changed = false;
        for (const char* p = buffer; p < buffer + length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(p);
            p += sizeof(inotify_event) + event->len;
            if (event->mask & IN_Q_OVERFLOW) {
                pending.overflowed = true;
                addTree(rootPath, false); // folders made during the loss need their watches
                changed = true;
                continue;
            }
            const auto folder = folders.find(event->wd);
            if (folder == folders.end())
                continue;
            if (event->mask & IN_IGNORED) {
                folders.erase(folder);
                watchCount = int(folders.size());
                continue;
            }
            const QByteArray path = event->len ? folder->second + '/' + event->name : folder->second;
            if (entryName.isEmpty() || (event->len && folder->second == rootPath && entryName == event->name)) {
                note(path);
                changed = true;
            }
            if (recursive && (event->mask & IN_ISDIR)) {
                if (event->mask & IN_MOVED_FROM)
                    removeTree(path);
                if (event->mask & (IN_CREATE | IN_MOVED_TO))
                    addTree(path, true);
            }
        }
        return changed;
    }

    void post()
    {
        Batch batch = std::move(pending);
        pending = {};
        pendingSet.clear();
        QMetaObject::invokeMethod(
            owner, [owner = owner, generation = generation, batch] { owner->deliver(generation, batch); },
            Qt::QueuedConnection);
    }

    void run()
    {
        waitForRetiringDescriptors();
        if (rootDeferred && addWatch(rootPath) < 0)
            return;
        addTree(rootPath, false); // the root is watched already; this finds the folders below it
        using Clock = ChangeCoalescer::Clock;
        ChangeCoalescer coalescer(latency);
        alignas(inotify_event) char buffer[64 * 1024];
        for (;;) {
            int timeout = -1;
            if (const auto deadline = coalescer.deadline()) {
                const auto now = Clock::now();
                timeout = *deadline <= now
                    ? 0
                    : int(std::chrono::ceil<std::chrono::milliseconds>(*deadline - now).count());
            }
            pollfd fds[2] = {{wakeFd, POLLIN, 0}, {inotifyFd, POLLIN, 0}};
            const int ready = ::poll(fds, 2, timeout);
            if (ready < 0 && errno != EINTR)
                return;
            if (fds[0].revents)
                return;
            if (fds[1].revents & POLLIN) {
                const ssize_t length = ::read(inotifyFd, buffer, sizeof buffer);
                if (length > 0 && handleEvents(buffer, length))
                    coalescer.noteChange();
            } else if (fds[1].revents) {
                return; // the inotify descriptor broke: nothing more will come
            }
            if (coalescer.takeDue(Clock::now()))
                post();
        }
    }
};

RecursiveWatcher::RecursiveWatcher(QObject* parent)
    : QObject(parent)
{
}

RecursiveWatcher::~RecursiveWatcher()
{
    stop();
}

bool RecursiveWatcher::start(const QString& path, std::chrono::milliseconds latency, Callback callback, Depth depth,
                             const QString& entryName)
{
    stop();
    auto worker = std::make_unique<Worker>();
    worker->owner = this;
    worker->generation = m_generation;
    worker->latency = latency;
    worker->recursive = depth == Depth::recursive;
    worker->rootPath = QFile::encodeName(path);
    worker->entryName = QFile::encodeName(entryName);
    worker->inotifyFd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    worker->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (worker->inotifyFd < 0 || worker->wakeFd < 0) {
        SystemLog::write(SystemLog::Type::Error, QStringLiteral("RecursiveWatcher"),
                         QStringLiteral("Cannot watch %1: %2").arg(path, qt_error_string(errno)));
        return false;
    }
    // The root is watched here, so that a folder that cannot be watched fails the start. When the
    // limit is taken by the watches of a stopped watcher on their way out, the worker's thread
    // watches the root once they are gone.
    if (worker->addWatch(worker->rootPath, false) < 0) {
        if (errno != ENOSPC || retiringDescriptors() == 0)
            return false;
        worker->rootDeferred = true;
    }
    try {
        worker->thread = std::thread([w = worker.get()] { w->run(); });
    } catch (const std::system_error&) {
        return false;
    }
    m_worker = std::move(worker);
    m_callback = std::move(callback);
    return true;
}

void RecursiveWatcher::stop()
{
    ++m_generation; // batches already queued are dropped on arrival
    m_worker.reset();
    m_callback = nullptr;
}

int RecursiveWatcher::watchCount() const
{
    return m_worker ? m_worker->watchCount.load() : 0;
}

void RecursiveWatcher::deliver(quint64 generation, const Batch& batch)
{
    if (generation != m_generation || !m_callback)
        return;
    const Callback callback = m_callback; // the callback may restart or stop this watcher
    callback(batch);
}

} // namespace platform
