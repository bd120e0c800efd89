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
    const QString targetFilename = file.fileName();
    m_watcher.start(file.absolutePath(), latency,
                    [targetFilename, onChange = std::move(onChange)](const platform::RecursiveWatcher::Batch& batch) {
                        const bool named = std::any_of(batch.paths.begin(), batch.paths.end(), [&](const QString& path) {
                            return QStringView(path).mid(path.lastIndexOf(u'/') + 1) == targetFilename;
                        });
                        if (named || batch.overflowed)
                            onChange();
                    },
                    platform::RecursiveWatcher::Depth::folderOnly);
}

void FileWatcherService::stop()
{
    m_watcher.stop();
}

} // namespace quillora
