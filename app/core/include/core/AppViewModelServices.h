#pragma once

#include "core/FileTreeScannerService.h"

#include <platform/FileSystemError.h>
#include <platform/UserDefaults.h>

#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <stop_token>

namespace quillora {

// The outside world as the application view model sees it. The standard set talks to the disk,
// the inotify watcher, the Trash and the file dialog; tests hand in their own. Access scopes
// go through the shared platform::SecurityScopedResources.
struct AppViewModelServices {
    // Where the remembered folder and file, the settings and the expanded folders live.
    std::shared_ptr<platform::UserDefaults> defaults;

    // Lists a folder recursively: its top-level nodes and whether every folder below it could
    // be read. Runs on a worker thread and must touch no shared state. Once `stop` is requested
    // it should return soon with a cancelled result.
    std::function<FileTreeScannerService::Result(const QUrl& folder, bool showsHiddenFiles, std::stop_token stop)> listFolder;

    // Watches a folder and everything below it; `onChange` runs on the main thread. A new call
    // replaces the previous watch.
    std::function<void(const QUrl& folder, std::function<void()> onChange)> watchFolder;

    // Moves a file to the Trash; the failure, if any. Never deletes or copies instead.
    std::function<std::optional<platform::FileSystemError>(const QUrl& url)> moveToTrash;

    // Shows the folder picker without blocking and later calls back with the chosen folder.
    std::function<void(std::function<void(std::optional<QUrl>)> completion)> pickDirectory;

    // The services of the running application, over the standard user defaults.
    static AppViewModelServices standard();
};

} // namespace quillora
