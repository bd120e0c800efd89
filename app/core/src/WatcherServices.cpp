#include "core/DirectoryWatcherService.h"
#include "core/FileWatcherService.h"

#include <QFileInfo>

namespace quillora {

void DirectoryWatcherService::start(const QUrl& folderURL, std::function<void()> onChange)
{
    m_watcher.start(folderURL.toLocalFile(), latency,
                    [onChange = std::move(onChange)](const platform::RecursiveWatcher::Batch&) { onChange(); });
}

void FileWatcherService::start(const QUrl& fileURL, std::function<void()> onChange)
{
    const QFileInfo file(fileURL.toLocalFile());
    m_watcher.start(file.absolutePath(), latency,
                    [onChange = std::move(onChange)](const platform::RecursiveWatcher::Batch&) { onChange(); },
                    platform::RecursiveWatcher::Depth::folderOnly, file.fileName());
}

void FileWatcherService::stop()
{
    m_watcher.stop();
}

} // namespace quillora
