#include "core/AppViewModel.h"
#include "core/PersistentURLStore.h"

#include <testsupport/EventLoop.h>

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QThreadPool>

#include <atomic>
#include <thread>

using namespace quillora;

namespace {

// A model destroyed while its scan is handing back the listing: the result must go nowhere.
// A hop aimed at the model itself can land in the event queue after the model is gone, and
// the event loop then delivers it to freed memory.
TEST(ScanTeardown, ModelDestroyedAsItsScanFinishesReceivesNothing)
{
    QTemporaryDir dir;
    const auto defaults = std::make_shared<platform::UserDefaults>(dir.filePath(QStringLiteral("defaults.json")));
    DirectoryStore(defaults).save(QUrl::fromLocalFile(dir.path())); // the model restores it and scans at once

    std::atomic<bool> listed = false;
    AppViewModelServices services;
    services.defaults = defaults;
    services.listFolder = [&listed](const QUrl&, bool, std::stop_token) {
        listed = true;
        return FileTreeScannerService::Result{{}, true};
    };
    services.watchFolder = [](const QUrl&, std::function<void()>) {};

    for (int round = 0; round < 600; ++round) {
        listed = false;
        auto model = std::make_unique<AppViewModel>(services);
        while (!listed)
            std::this_thread::yield();
        // Vary the moment of destruction around the listing's return.
        std::atomic<int> spin = 0;
        while (spin.fetch_add(1, std::memory_order_relaxed) < round % 64) {
        }
        model.reset();
    }
    QThreadPool::globalInstance()->waitForDone();
    testsupport::spin(50); // delivers whatever the scans left in the queue
    SUCCEED();
}

} // namespace
