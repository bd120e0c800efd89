#pragma once

#include <platform/RecursiveWatcher.h>

#include <QUrl>

#include <chrono>
#include <functional>

namespace quillora {

// Calls `onChange` on the main thread after each batch of changes anywhere below the project
// folder, hidden folders included. A new start replaces the old watch; destruction stops it.
// Create and use on the main thread.
class DirectoryWatcherService {
public:
    static constexpr std::chrono::milliseconds latency{300};

    void start(const QUrl& folderURL, std::function<void()> onChange);

private:
    platform::RecursiveWatcher m_watcher;
};

} // namespace quillora
