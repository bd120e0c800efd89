#include "core/AppViewModelServices.h"

#include "core/DirectoryPickerService.h"
#include "core/DirectoryWatcherService.h"
#include "core/FileDeletionService.h"
#include "core/FileTreeScannerService.h"

namespace quillora {

AppViewModelServices AppViewModelServices::standard()
{
    auto watcher = std::make_shared<DirectoryWatcherService>();
    auto picker = std::make_shared<DirectoryPickerService>();
    AppViewModelServices services;
    services.defaults = platform::UserDefaults::standard();
    services.listFolder = [](const QUrl& folder, bool showsHiddenFiles, std::stop_token stop) {
        return FileTreeScannerService().scan(folder, showsHiddenFiles, std::move(stop));
    };
    services.watchFolder = [watcher](const QUrl& folder, std::function<void()> onChange) {
        watcher->start(folder, std::move(onChange));
    };
    services.moveToTrash = [](const QUrl& url) { return FileDeletionService().moveToTrash(url).error; };
    services.pickDirectory = [picker](std::function<void(std::optional<QUrl>)> completion) {
        picker->pickDirectory(std::move(completion));
    };
    return services;
}

} // namespace quillora
