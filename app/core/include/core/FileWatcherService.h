#pragma once

#include <platform/RecursiveWatcher.h>

#include <QUrl>

#include <chrono>
#include <functional>

namespace quillora {

// Watches the folder of a file, not the folders below it, and calls `onChange` on the main
// thread after each batch that names an entry with the file's name, or that lost events. No
// call after stop(), a new start, or destruction. Main thread only.
class FileWatcherService {
public:
    static constexpr std::chrono::milliseconds latency{300};

    void start(const QUrl& fileURL, std::function<void()> onChange);
    void stop();

private:
    platform::RecursiveWatcher m_watcher;
};

} // namespace quillora
