#include "core/AppViewModel.h"
#include "core/DefaultsKeys.h"
#include "core/LogStore.h"

#include <platform/SecurityScopedResources.h>
#include <testsupport/EventLoop.h>
#include <testsupport/Files.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThreadPool>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>

#include <sys/stat.h>

inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
inline void PrintTo(const QUrl& url, std::ostream* out) { *out << url.toString().toStdString(); }

using namespace quillora;
using testsupport::waitUntil;
using testsupport::writeFile;
using Clock = std::chrono::steady_clock;
using Listing = FileTreeScannerService::Result;

namespace {

const QString dirKey = QString::fromLatin1(defaults_keys::lastSelectedDirectory);
const QString dirBookmarkKey = QString::fromLatin1(defaults_keys::lastSelectedDirectoryBookmark);
const QString fileKey = QString::fromLatin1(defaults_keys::lastSelectedFile);
const QString fileBookmarkKey = QString::fromLatin1(defaults_keys::lastSelectedFileBookmark);
const QString expandedKey = QString::fromLatin1(defaults_keys::expandedPaths);
const QString hiddenKey = QString::fromLatin1(defaults_keys::showHiddenFilesInTree);

// Access scopes that can be refused; records every start and stop in order.
struct ScriptedScopes : platform::SecurityScopedResources {
    bool refuse = false;
    QStringList calls;
    bool startAccessing(const QString& path) override
    {
        calls << QStringLiteral("start ") + path;
        return !refuse;
    }
    void stopAccessing(const QString& path) override { calls << QStringLiteral("stop ") + path; }
};

// Listings scripted per folder. A held folder's listing waits until it is released or its scan
// is stopped, so that a test can finish another scan first. Called on worker threads.
struct ScriptedDisk {
    std::mutex mutex;
    std::condition_variable_any released;
    std::map<QString, Listing> listings;
    QSet<QString> held;
    // A held listing that ignores a stop models one that returns after the stop was requested.
    bool ignoresStop = false;
    struct Call {
        QString folder;
        bool showsHidden;
        Clock::time_point at;
        std::stop_token stop;
    };
    std::vector<Call> calls;

    // The listing is taken when the call starts, as a real scan reads the disk of that moment.
    Listing list(const QUrl& folder, bool showsHidden, std::stop_token stop)
    {
        std::unique_lock lock(mutex);
        calls.push_back({folder.toLocalFile(), showsHidden, Clock::now(), stop});
        const auto it = listings.find(folder.toLocalFile());
        Listing listing = it == listings.end() ? Listing{} : it->second;
        if (!released.wait(lock, ignoresStop ? std::stop_token() : stop,
                            [&] { return !held.contains(folder.toLocalFile()); }))
            return {{}, true, true};
        return listing;
    }
    void set(const QString& folder, Listing listing)
    {
        std::lock_guard lock(mutex);
        listings[folder] = std::move(listing);
    }
    void hold(const QString& folder)
    {
        std::lock_guard lock(mutex);
        held.insert(folder);
    }
    void release(const QString& folder)
    {
        {
            std::lock_guard lock(mutex);
            held.remove(folder);
        }
        released.notify_all();
    }
    size_t callCount()
    {
        std::lock_guard lock(mutex);
        return calls.size();
    }
    Call call(size_t index)
    {
        std::lock_guard lock(mutex);
        return calls.at(index);
    }
};

FileTreeNodeModel fileNode(const QString& root, const QString& relative)
{
    FileTreeNodeModel node;
    node.id = relative;
    node.url = QUrl::fromLocalFile(root + u'/' + relative);
    node.name = QFileInfo(relative).fileName();
    node.type = FileTreeNodeType::file;
    node.fileExtension = lowerCasedPathExtension(node.name);
    return node;
}

FileTreeNodeModel folderNode(const QString& root, const QString& relative, QList<FileTreeNodeModel> children)
{
    FileTreeNodeModel node;
    node.id = relative;
    node.url = QUrl::fromLocalFile(root + u'/' + relative);
    node.name = QFileInfo(relative).fileName();
    node.type = FileTreeNodeType::directory;
    node.children = std::move(children);
    return node;
}

// A temporary project p with a.md and docs/b.md, its scripted listing, and the fakes the model
// talks to.
struct Harness {
    Harness()
    {
        previousScopes = platform::SecurityScopedResources::shared();
        platform::SecurityScopedResources::setShared(scopes);
        defaults = std::make_shared<platform::UserDefaults>(dir.filePath(QStringLiteral("defaults.json")));
        project = dir.filePath(QStringLiteral("p"));
        writeFile(project + QStringLiteral("/a.md"), "# text\n");
        writeFile(project + QStringLiteral("/docs/b.md"), "# text\n");
        disk->set(project, {{fileNode(project, QStringLiteral("a.md")),
                             folderNode(project, QStringLiteral("docs"), {fileNode(project, QStringLiteral("docs/b.md"))})},
                            true});
    }
    // The defaults file as it stands on disk once every write so far is saved.
    QByteArray storedDefaults() const
    {
        defaults->flush();
        QFile file(defaults->filePath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    ~Harness()
    {
        model.reset();
        // Let scans still listing finish before the disk they read goes away.
        for (const auto& folder : QSet<QString>(disk->held))
            disk->release(folder);
        QThreadPool::globalInstance()->waitForDone();
        platform::SecurityScopedResources::setShared(previousScopes);
    }

    AppViewModelServices services()
    {
        AppViewModelServices services;
        services.defaults = defaults;
        services.listFolder = [disk = disk](const QUrl& folder, bool hidden, std::stop_token stop) {
            return disk->list(folder, hidden, std::move(stop));
        };
        services.watchFolder = [this](const QUrl& folder, std::function<void()> onChange) {
            watchedFolders << folder.toLocalFile();
            onFolderChange = std::move(onChange);
        };
        services.moveToTrash = [this](const QUrl& url) -> std::optional<platform::FileSystemError> {
            trashRequests << url.toLocalFile();
            if (trashFailure)
                return trashFailure;
            QFile::remove(url.toLocalFile());
            return std::nullopt;
        };
        services.pickDirectory = [this](std::function<void(std::optional<QUrl>)> completion) {
            pickerCompletion = std::move(completion);
        };
        return services;
    }

    AppViewModel& makeModel()
    {
        model = std::make_unique<AppViewModel>(services());
        return *model;
    }

    // A second project folder whose listing holds one file, x.txt.
    QString makeOtherFolder()
    {
        const QString other = dir.filePath(QStringLiteral("other"));
        QDir().mkpath(other);
        disk->set(other, {{fileNode(other, QStringLiteral("x.txt"))}, true});
        return other;
    }

    bool waitForScans(size_t count)
    {
        return waitUntil([&] { return disk->callCount() >= count && !model->isScanning(); });
    }

    QString path(const QString& relative) const { return relative.isEmpty() ? project : project + u'/' + relative; }
    QUrl url(const QString& relative) const { return QUrl::fromLocalFile(path(relative)); }

    QTemporaryDir dir;
    std::shared_ptr<ScriptedScopes> scopes = std::make_shared<ScriptedScopes>();
    std::shared_ptr<platform::SecurityScopedResources> previousScopes;
    std::shared_ptr<platform::UserDefaults> defaults;
    std::shared_ptr<ScriptedDisk> disk = std::make_shared<ScriptedDisk>();
    QString project;
    QStringList watchedFolders;
    std::function<void()> onFolderChange;
    std::function<void(std::optional<QUrl>)> pickerCompletion;
    QStringList trashRequests;
    std::optional<platform::FileSystemError> trashFailure;
    std::unique_ptr<AppViewModel> model;
};

class AppViewModelTest : public ::testing::Test, public Harness {};

// --- Restore at start-up --------------------------------------------------------------------

TEST_F(AppViewModelTest, NothingRememberedStartsEmptyWithoutScanOrWatcher)
{
    defaults->setBoolean(QString::fromLatin1(defaults_keys::showTerminal), false);
    defaults->setBoolean(hiddenKey, true);
    auto& vm = makeModel();
    EXPECT_FALSE(vm.showsTerminal());
    EXPECT_TRUE(vm.showsHiddenFilesInTree());
    EXPECT_TRUE(vm.selectedFolderURL().isEmpty());
    EXPECT_FALSE(vm.selectedFile());
    EXPECT_TRUE(vm.selectedDirectoryURL().isEmpty());
    EXPECT_EQ(vm.fileAvailability(), FileAvailability::available);
    EXPECT_TRUE(vm.fileTreeNodes().isEmpty());
    EXPECT_FALSE(vm.securityScopeErrorMessage());
    testsupport::spin(50);
    EXPECT_EQ(disk->callCount(), 0u);
    EXPECT_TRUE(watchedFolders.isEmpty());
    EXPECT_FALSE(defaults->contains(expandedKey));
}

TEST_F(AppViewModelTest, RestoreTable)
{
    struct Case {
        const char* name;
        std::function<void(Harness&)> remember;
        QString folder;          // expected project folder, relative to the temporary folder
        QString selectedFile;    // expected selected file, relative to it ("" = none)
        QString selectedDir;     // expected selected directory, relative to it ("" = none)
        bool folderKeysAfter;    // folder keys still stored
        bool fileKeysAfter;      // file keys still stored
    };
    const auto saveFolder = [](Harness& t) { DirectoryStore(t.defaults).save(t.url({})); };
    const std::vector<Case> cases = {
        {"bookmark, file in the folder",
         [&](Harness& t) {
             saveFolder(t);
             FileStore(t.defaults).save(t.url(QStringLiteral("a.md")));
         },
         "p", "p/a.md", "", true, true},
        {"bookmark, file in a subfolder",
         [&](Harness& t) {
             saveFolder(t);
             FileStore(t.defaults).save(t.url(QStringLiteral("docs/b.md")));
         },
         "p", "", "p", true, true},
        {"stale bookmark",
         [&](Harness& t) {
             saveFolder(t);
             // Replace the folder by another one at the same path: the bookmark is stale.
             QDir().rename(t.project, t.project + QStringLiteral("-old"));
             writeFile(t.path(QStringLiteral("a.md")), "# text\n");
             QDir(t.project + QStringLiteral("-old")).removeRecursively();
         },
         "p", "", "p", true, false},
        {"path only",
         [](Harness& t) { t.defaults->setString(dirKey, t.project); },
         "p", "", "p", true, false},
        {"file only",
         [](Harness& t) { FileStore(t.defaults).save(t.url(QStringLiteral("docs/b.md"))); },
         "p/docs", "p/docs/b.md", "", true, true},
        {"folder gone, file remembered",
         [&](Harness& t) {
             DirectoryStore(t.defaults).save(QUrl::fromLocalFile(t.dir.filePath(QStringLiteral("gone"))));
             t.defaults->setString(dirKey, t.dir.filePath(QStringLiteral("gone")));
             FileStore(t.defaults).save(t.url(QStringLiteral("a.md")));
         },
         "p", "p/a.md", "", true, true},
        {"remembered file deleted since",
         [&](Harness& t) {
             saveFolder(t);
             FileStore(t.defaults).save(t.url(QStringLiteral("a.md")));
             QFile::remove(t.path(QStringLiteral("a.md")));
         },
         "p", "", "p", true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Harness t;
        c.remember(t);
        const auto staleBookmark = t.defaults->data(dirBookmarkKey);
        auto& vm = t.makeModel();
        const auto in = [&](const QString& relative) { return QUrl::fromLocalFile(t.dir.filePath(relative)); };
        EXPECT_EQ(vm.selectedFolderURL(), in(c.folder));
        EXPECT_EQ(vm.selectedFile() ? vm.selectedFile()->url : QUrl(), c.selectedFile.isEmpty() ? QUrl() : in(c.selectedFile));
        EXPECT_EQ(vm.selectedDirectoryURL(), c.selectedDir.isEmpty() ? QUrl() : in(c.selectedDir));
        EXPECT_EQ(vm.fileAvailability(), FileAvailability::available);
        EXPECT_EQ(t.defaults->contains(dirKey), c.folderKeysAfter);
        EXPECT_EQ(t.defaults->contains(fileKey), c.fileKeysAfter);
        EXPECT_TRUE(vm.expansionStore().expandedPaths().contains(in(c.folder).toLocalFile()));
        EXPECT_EQ(t.watchedFolders, QStringList{in(c.folder).toLocalFile()});
        EXPECT_FALSE(vm.securityScopeErrorMessage());
        EXPECT_TRUE(t.waitForScans(1));
        ASSERT_EQ(vm.fileTreeNodes().size(), 1);
        EXPECT_EQ(vm.fileTreeNodes().first().id, in(c.folder).toLocalFile());
        if (QString(c.name) == QStringLiteral("stale bookmark")) {
            EXPECT_NE(t.defaults->data(dirBookmarkKey), staleBookmark);
        }
        if (QString(c.name) == QStringLiteral("path only")) {
            EXPECT_FALSE(t.defaults->contains(dirBookmarkKey));
        }
    }
}

TEST_F(AppViewModelTest, RememberedFIFOIsForgottenAndNeverOpened)
{
    const QString fifo = dir.filePath(QStringLiteral("pipe"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    defaults->setString(dirKey, fifo);
    defaults->setString(fileKey, fifo);
    auto& vm = makeModel();
    EXPECT_TRUE(vm.selectedFolderURL().isEmpty());
    EXPECT_FALSE(vm.selectedFile());
    EXPECT_FALSE(defaults->contains(dirKey));
    EXPECT_FALSE(defaults->contains(fileKey));
    EXPECT_TRUE(watchedFolders.isEmpty());
}

TEST_F(AppViewModelTest, RefusedScopeShowsTheMessageAndTheFolderOpensAnyway)
{
    DirectoryStore(defaults).save(url({}));
    scopes->refuse = true;
    auto& vm = makeModel();
    EXPECT_EQ(vm.securityScopeErrorMessage(), QStringLiteral("Failed to activate folder access scope: ") + project);
    EXPECT_EQ(vm.selectedFolderURL(), url({}));
    EXPECT_TRUE(waitForScans(1));
    EXPECT_EQ(vm.fileTreeNodes().size(), 1);

    vm.selectNode(path(QStringLiteral("a.md")));
    EXPECT_EQ(vm.securityScopeErrorMessage(), QStringLiteral("Failed to activate file access scope: ") + path(QStringLiteral("a.md")));
    EXPECT_EQ(vm.selectedFile()->url, url(QStringLiteral("a.md")));

    scopes->refuse = false;
    vm.selectNode(path(QStringLiteral("docs/b.md")));
    EXPECT_FALSE(vm.securityScopeErrorMessage());

    QStringList logged;
    for (const auto& entry : LogStore::shared().entries())
        logged << LogStore::formatLine(entry).section(QStringLiteral("] "), 1);
    EXPECT_EQ(logged, (QStringList{QStringLiteral("[ERROR] [AppViewModel] Failed to activate folder security scope: ") + project,
                                   QStringLiteral("[ERROR] [AppViewModel] Failed to activate file security scope: ") + path(QStringLiteral("a.md"))}));
}

TEST_F(AppViewModelTest, ScopeSwitchStopsTheOldAccessBeforeStartingTheNewOne)
{
    auto& vm = makeModel();
    vm.openFolder(url({}), true);
    vm.openFolder(url({}), true);
    EXPECT_EQ(scopes->calls, (QStringList{QStringLiteral("start ") + project, QStringLiteral("stop ") + project,
                                          QStringLiteral("start ") + project}));
    model.reset();
    EXPECT_EQ(scopes->calls.last(), QStringLiteral("stop ") + project);
}

// --- Scanning -------------------------------------------------------------------------------

TEST_F(AppViewModelTest, ScanOfAnEarlierFolderIsDropped)
{
    const QString other = makeOtherFolder();
    auto& vm = makeModel();
    int treeChanges = 0;
    QObject::connect(&vm, &AppViewModel::fileTreeNodesChanged, [&treeChanges] { ++treeChanges; });

    disk->ignoresStop = true;
    disk->hold(project);
    vm.handleDroppedURL(url({}));
    ASSERT_TRUE(waitUntil([&] { return disk->callCount() == 1; }));
    vm.handleDroppedURL(QUrl::fromLocalFile(other));
    ASSERT_TRUE(waitUntil([&] { return treeChanges == 1; }));
    disk->release(project);
    ASSERT_TRUE(waitUntil([&] { return !vm.isScanning(); }));
    testsupport::spin(30);

    EXPECT_EQ(treeChanges, 1);
    ASSERT_EQ(vm.fileTreeNodes().size(), 1);
    EXPECT_EQ(vm.fileTreeNodes().first().id, other);
    EXPECT_EQ(vm.fileTreeNodes().first().children.first().name, QStringLiteral("x.txt"));
}

TEST_F(AppViewModelTest, CancelledScanOfTheSameFolderIsDropped)
{
    auto& vm = makeModel();
    vm.openFolder(url({}), true);
    ASSERT_TRUE(waitForScans(1));

    // Scan 2 lists the old state and is still running when scan 3 starts on the newer state.
    disk->ignoresStop = true;
    disk->hold(project);
    vm.scheduleRescan(false);
    ASSERT_TRUE(waitUntil([&] { return disk->callCount() == 2; }));
    disk->set(project, {{fileNode(project, QStringLiteral("newest.md"))}, true});
    vm.scheduleRescan(false);
    ASSERT_TRUE(waitUntil([&] { return disk->callCount() == 3; }));
    EXPECT_TRUE(disk->call(1).stop.stop_requested());
    EXPECT_FALSE(disk->call(2).stop.stop_requested());
    int finished = 0;
    QObject::connect(&vm, &AppViewModel::scanFinished, [&finished] { ++finished; });
    disk->release(project);
    ASSERT_TRUE(waitUntil([&] { return !vm.isScanning(); }));
    testsupport::spin(30);
    EXPECT_EQ(finished, 1);
    ASSERT_EQ(vm.fileTreeNodes().first().children.size(), 1);
    EXPECT_EQ(vm.fileTreeNodes().first().children.first().name, QStringLiteral("newest.md"));
}

// A scan that can no longer publish is stopped, not left to list the whole tree: its thread is
// free again without its listing ever being released.
TEST_F(AppViewModelTest, OpeningAnotherFolderStopsTheRunningScan)
{
    const QString other = makeOtherFolder();
    auto& vm = makeModel();
    int treeChanges = 0;
    QObject::connect(&vm, &AppViewModel::fileTreeNodesChanged, [&treeChanges] { ++treeChanges; });

    disk->hold(project);
    vm.openFolder(url({}), true);
    ASSERT_TRUE(waitUntil([&] { return disk->callCount() == 1; }));
    EXPECT_FALSE(disk->call(0).stop.stop_requested());
    vm.openFolder(QUrl::fromLocalFile(other), true);
    EXPECT_TRUE(disk->call(0).stop.stop_requested());
    ASSERT_TRUE(waitUntil([&] { return disk->callCount() == 2 && !vm.isScanning(); }));
    EXPECT_FALSE(disk->call(1).stop.stop_requested());
    EXPECT_EQ(treeChanges, 1);
    ASSERT_EQ(vm.fileTreeNodes().size(), 1);
    EXPECT_EQ(vm.fileTreeNodes().first().id, other);
}

TEST_F(AppViewModelTest, DestroyingTheModelStopsItsScan)
{
    makeModel();
    disk->hold(project);
    model->openFolder(url({}), true);
    ASSERT_TRUE(waitUntil([&] { return disk->callCount() == 1; }));
    const std::stop_token stop = disk->call(0).stop;
    EXPECT_FALSE(stop.stop_requested());
    model.reset();
    EXPECT_TRUE(stop.stop_requested());
    EXPECT_TRUE(QThreadPool::globalInstance()->waitForDone(5000)) << "the held listing still runs";
    testsupport::spin(20); // the dropped result goes nowhere
}

TEST_F(AppViewModelTest, BurstOfChangeEventsGivesOneScanAfterTheLast)
{
    auto& vm = makeModel();
    vm.openFolder(url({}), true);
    ASSERT_TRUE(waitForScans(1));
    ASSERT_TRUE(onFolderChange);

    Clock::time_point lastEvent;
    for (int i = 0; i < 10; ++i) {
        onFolderChange();
        lastEvent = Clock::now();
        testsupport::spin(50);
    }
    EXPECT_EQ(disk->callCount(), 1u) << "no scan during the burst";
    ASSERT_TRUE(waitForScans(2));
    testsupport::spin(400);
    EXPECT_EQ(disk->callCount(), 2u);
    const auto delay = std::chrono::duration_cast<std::chrono::milliseconds>(disk->call(1).at - lastEvent);
    EXPECT_GE(delay.count(), 145);
    EXPECT_LT(delay.count(), 1000);
}

TEST_F(AppViewModelTest, HiddenFilesSwitch)
{
    auto& vm = makeModel();
    vm.openFolder(url({}), true);
    ASSERT_TRUE(waitForScans(1));
    int changes = 0;
    QObject::connect(&vm, &AppViewModel::showsHiddenFilesInTreeChanged, [&changes] { ++changes; });

    vm.setShowsHiddenFilesInTree(false);
    testsupport::spin(50);
    EXPECT_EQ(disk->callCount(), 1u);
    EXPECT_FALSE(defaults->contains(hiddenKey));
    EXPECT_EQ(changes, 0);

    vm.setShowsHiddenFilesInTree(true);
    EXPECT_EQ(defaults->boolean(hiddenKey), true);
    EXPECT_EQ(changes, 1);
    ASSERT_TRUE(waitForScans(2));
    EXPECT_TRUE(disk->call(1).showsHidden);
}

TEST_F(AppViewModelTest, NoFolderScanEmptiesEverythingAndListsNothing)
{
    auto& vm = makeModel();
    vm.startScanTask();
    EXPECT_TRUE(vm.fileTreeNodes().isEmpty());
    EXPECT_FALSE(vm.scanError());
    testsupport::spin(30);
    EXPECT_EQ(disk->callCount(), 0u);
}

// A rescan of the open project leaves the defaults file as it is.
TEST_F(AppViewModelTest, RescansOfTheOpenProjectWriteNoDefaults)
{
    auto& vm = makeModel();
    vm.openFolder(url({}), true);
    ASSERT_TRUE(waitForScans(1));
    const auto identity = [&] {
        defaults->flush();
        struct stat info {};
        ::stat(QFile::encodeName(defaults->filePath()).constData(), &info);
        return std::pair(info.st_ino, info.st_mtim.tv_nsec + info.st_mtim.tv_sec * 1'000'000'000ll);
    };
    const auto written = identity();
    vm.scheduleRescan(false);
    ASSERT_TRUE(waitForScans(2));
    EXPECT_EQ(identity(), written);
    EXPECT_TRUE(vm.expansionStore().expandedPaths().contains(project));
}

TEST_F(AppViewModelTest, RevalidationAfterScans)
{
    auto& vm = makeModel();
    vm.openFolder(url({}), true);
    ASSERT_TRUE(waitForScans(1));
    vm.selectNode(path(QStringLiteral("docs")));
    ASSERT_EQ(vm.selectedDirectoryURL(), url(QStringLiteral("docs")));

    // docs vanishes, but a folder could not be read: the selection stays until a clean scan.
    disk->set(project, {{fileNode(project, QStringLiteral("a.md"))}, false});
    vm.scheduleRescan(false);
    ASSERT_TRUE(waitForScans(2));
    EXPECT_EQ(vm.scanError(), ScanError::accessDenied);
    EXPECT_EQ(vm.selectedDirectoryURL(), url(QStringLiteral("docs")));

    disk->set(project, {{fileNode(project, QStringLiteral("a.md"))}, true});
    vm.scheduleRescan(false);
    ASSERT_TRUE(waitForScans(3));
    EXPECT_FALSE(vm.scanError());
    EXPECT_TRUE(vm.selectedDirectoryURL().isEmpty());

    // The project root stays selectable even when the tree comes back empty.
    vm.selectNode(project);
    disk->set(project, {{}, false});
    vm.scheduleRescan(false);
    ASSERT_TRUE(waitForScans(4));
    EXPECT_TRUE(vm.fileTreeNodes().isEmpty());
    vm.revalidateSelection();
    EXPECT_EQ(vm.selectedDirectoryURL(), url({}));
}

// --- Opening and dropping -------------------------------------------------------------------

TEST_F(AppViewModelTest, DroppingAFolderOrAFile)
{
    auto& vm = makeModel();
    vm.handleDroppedURL(url(QStringLiteral("docs/b.md")));
    EXPECT_EQ(vm.selectedFolderURL(), url(QStringLiteral("docs")));
    EXPECT_EQ(vm.selectedFile(), FileDocumentModel::fromURL(url(QStringLiteral("docs/b.md"))));
    EXPECT_EQ(vm.selectedFile()->folderName, QStringLiteral("docs"));
    EXPECT_TRUE(vm.selectedDirectoryURL().isEmpty());
    EXPECT_EQ(defaults->string(dirKey), path(QStringLiteral("docs")));
    EXPECT_EQ(defaults->string(fileKey), path(QStringLiteral("docs/b.md")));
    EXPECT_TRUE(vm.expansionStore().expandedPaths().contains(path(QStringLiteral("docs"))));

    vm.handleDroppedURL(QUrl::fromLocalFile(project + QStringLiteral("/docs/../")));
    EXPECT_EQ(vm.selectedFolderURL(), url({}));
    EXPECT_EQ(vm.selectedFolderName(), QStringLiteral("p"));
    EXPECT_EQ(vm.selectedDirectoryURL(), url({}));
    EXPECT_FALSE(vm.selectedFile());
    EXPECT_EQ(scopes->calls.last(), QStringLiteral("stop ") + path(QStringLiteral("docs/b.md")));
    EXPECT_EQ(defaults->string(dirKey), project);
    EXPECT_EQ(defaults->string(fileKey), path(QStringLiteral("docs/b.md"))) << "the remembered file stays";
    EXPECT_EQ(watchedFolders, (QStringList{path(QStringLiteral("docs")), project}));
}

TEST_F(AppViewModelTest, DroppedItemsThatAreNotFoldersOrFilesChangeNothing)
{
    const QString fifo = dir.filePath(QStringLiteral("pipe"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QFile::link(fifo, dir.filePath(QStringLiteral("link-to-pipe")));
    auto& vm = makeModel();
    vm.handleDroppedURL(url({}));
    ASSERT_TRUE(waitForScans(1));
    const QByteArray defaultsBefore = storedDefaults();
    for (const QUrl& bad : {QUrl(QStringLiteral("https://example.invalid/page")), QUrl::fromLocalFile(dir.filePath(QStringLiteral("missing"))),
                            QUrl::fromLocalFile(fifo), QUrl::fromLocalFile(dir.filePath(QStringLiteral("link-to-pipe"))), QUrl()}) {
        SCOPED_TRACE(bad.toString().toStdString());
        vm.handleDroppedURL(bad);
        EXPECT_EQ(vm.selectedFolderURL(), url({}));
        EXPECT_EQ(vm.selectedDirectoryURL(), url({}));
        EXPECT_FALSE(vm.selectedFile());
    }
    testsupport::spin(30);
    EXPECT_EQ(disk->callCount(), 1u);
    EXPECT_EQ(storedDefaults(), defaultsBefore);
    EXPECT_EQ(watchedFolders.size(), 1);
}

TEST_F(AppViewModelTest, PickerOpensTheChosenFolderAfterItHasClosed)
{
    auto& vm = makeModel();
    vm.presentDirectoryPicker();
    ASSERT_TRUE(pickerCompletion);
    pickerCompletion(std::nullopt);
    pickerCompletion(QUrl(QStringLiteral("https://example.invalid/")));
    testsupport::spin(20);
    EXPECT_TRUE(vm.selectedFolderURL().isEmpty());

    vm.presentDirectoryPicker();
    pickerCompletion(url({}));
    EXPECT_TRUE(vm.selectedFolderURL().isEmpty()) << "opened from the event loop, not inside the completion";
    ASSERT_TRUE(waitUntil([&] { return vm.selectedFolderURL() == url({}); }));
    EXPECT_EQ(vm.selectedDirectoryURL(), url({}));

    // A completion that arrives after the model is gone does nothing.
    vm.presentDirectoryPicker();
    auto late = pickerCompletion;
    model.reset();
    late(url(QStringLiteral("docs")));
    testsupport::spin(20);
}

// --- Selecting ------------------------------------------------------------------------------

TEST_F(AppViewModelTest, SelectingNodes)
{
    auto& vm = makeModel();
    vm.openFolder(url({}), true);
    ASSERT_TRUE(waitForScans(1));
    defaults->remove(fileKey);

    // A directory: no file, no remembered file.
    vm.selectNode(path(QStringLiteral("docs")));
    EXPECT_EQ(vm.selectedDirectoryURL(), url(QStringLiteral("docs")));
    EXPECT_FALSE(vm.selectedFile());
    EXPECT_EQ(vm.selectedNodeID(), path(QStringLiteral("docs")));
    EXPECT_FALSE(defaults->contains(fileKey));

    // A file: selected, scoped and remembered; the selection identifier is its absolute path.
    vm.selectNode(path(QStringLiteral("docs/b.md")));
    EXPECT_TRUE(vm.selectedDirectoryURL().isEmpty());
    EXPECT_EQ(vm.selectedFile(), FileDocumentModel::fromURL(url(QStringLiteral("docs/b.md"))));
    EXPECT_EQ(vm.selectedNodeID(), path(QStringLiteral("docs/b.md")));
    EXPECT_EQ(defaults->string(fileKey), path(QStringLiteral("docs/b.md")));
    EXPECT_EQ(scopes->calls.last(), QStringLiteral("start ") + path(QStringLiteral("docs/b.md")));
    const QString folderBefore = *defaults->string(dirKey);

    // A directory again releases the file's scope and leaves the remembered file alone.
    vm.selectNode(project);
    EXPECT_EQ(scopes->calls.last(), QStringLiteral("stop ") + path(QStringLiteral("docs/b.md")));
    EXPECT_EQ(vm.selectedDirectoryURL(), url({}));
    EXPECT_EQ(defaults->string(fileKey), path(QStringLiteral("docs/b.md")));

    // Unknown identifiers and nothing clear the selection; the remembered file stays.
    vm.selectNode(path(QStringLiteral("a.md")));
    vm.selectNode(path(QStringLiteral("nowhere.md")));
    EXPECT_FALSE(vm.selectedFile());
    EXPECT_TRUE(vm.selectedDirectoryURL().isEmpty());
    vm.selectNode(project);
    vm.selectNode(std::nullopt);
    EXPECT_FALSE(vm.selectedNodeID());
    EXPECT_EQ(defaults->string(fileKey), path(QStringLiteral("a.md")));
    EXPECT_EQ(defaults->string(dirKey), folderBefore);
}

TEST_F(AppViewModelTest, MissingFileCanBeReselectedAndIsPrunedWhenLeft)
{
    auto& vm = makeModel();
    vm.openFolder(url({}), true);
    ASSERT_TRUE(waitForScans(1));
    const auto full = disk->listings[project];
    vm.selectNode(path(QStringLiteral("docs/b.md")));

    // b.md disappears while selected: it stays selected and is reported missing.
    ASSERT_TRUE(QFile::remove(path(QStringLiteral("docs/b.md"))));
    disk->set(project, {{fileNode(project, QStringLiteral("a.md")), folderNode(project, QStringLiteral("docs"), {})}, true});
    vm.scheduleRescan(false);
    ASSERT_TRUE(waitForScans(2));
    EXPECT_EQ(vm.fileAvailability(), FileAvailability::missing);
    EXPECT_EQ(vm.missingSelectedFile(), FileDocumentModel::fromURL(url(QStringLiteral("docs/b.md"))));
    EXPECT_EQ(vm.selectedFile(), vm.missingSelectedFile());

    // Selecting its identifier again keeps it, although no node of the tree has it.
    vm.selectNode(path(QStringLiteral("docs/b.md")));
    EXPECT_EQ(vm.selectedFile(), vm.missingSelectedFile());
    EXPECT_EQ(vm.selectedNodeID(), path(QStringLiteral("docs/b.md")));

    // A tree that still shows it (a listing from before the deletion) loses it once the user
    // selects something else.
    disk->set(project, full);
    vm.scheduleRescan(false);
    ASSERT_TRUE(waitForScans(3));
    ASSERT_EQ(vm.fileTreeNodes().first().children.at(1).children.size(), 1);
    vm.selectNode(path(QStringLiteral("a.md")));
    EXPECT_EQ(vm.fileAvailability(), FileAvailability::available);
    EXPECT_FALSE(vm.missingSelectedFile());
    const auto& children = vm.fileTreeNodes().first().children;
    ASSERT_EQ(children.size(), 2);
    EXPECT_EQ(children.at(0).name, QStringLiteral("a.md"));
    EXPECT_EQ(children.at(1).name, QStringLiteral("docs"));
    EXPECT_TRUE(children.at(1).children.isEmpty());
}

// --- Deleting -------------------------------------------------------------------------------

TEST_F(AppViewModelTest, DeletingTheSelectedFileForgetsItAndRescans)
{
    auto& vm = makeModel();
    vm.openFolder(url({}), true);
    ASSERT_TRUE(waitForScans(1));
    vm.selectNode(path(QStringLiteral("a.md")));
    const QString folderBefore = *defaults->string(dirKey);
    const auto expandedBefore = defaults->stringList(expandedKey);

    // Another file: the selection and the remembered file stay.
    vm.deleteFile(FileDocumentModel::fromURL(url(QStringLiteral("docs/b.md"))));
    EXPECT_EQ(trashRequests, QStringList{path(QStringLiteral("docs/b.md"))});
    EXPECT_EQ(vm.selectedFile()->url, url(QStringLiteral("a.md")));
    EXPECT_EQ(defaults->string(fileKey), path(QStringLiteral("a.md")));
    ASSERT_TRUE(waitForScans(2));

    // The selected one: selection cleared, remembered file forgotten, tree rescanned.
    vm.deleteFile(*vm.selectedFile());
    EXPECT_FALSE(vm.selectedFile());
    EXPECT_EQ(vm.fileAvailability(), FileAvailability::available);
    EXPECT_FALSE(defaults->contains(fileKey));
    EXPECT_FALSE(defaults->contains(fileBookmarkKey));
    EXPECT_FALSE(vm.deleteError());
    ASSERT_TRUE(waitForScans(3));
    EXPECT_EQ(defaults->string(dirKey), folderBefore);
    EXPECT_EQ(defaults->stringList(expandedKey), expandedBefore);
}

TEST_F(AppViewModelTest, DeletingWhatIsNoLongerAFileReportsItMissingAndTrashesNothing)
{
    auto& vm = makeModel();
    vm.openFolder(url({}), true);
    ASSERT_TRUE(waitForScans(1));
    const QString fifo = path(QStringLiteral("pipe"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QDir().mkpath(path(QStringLiteral("became-folder.md")));
    size_t scans = 1;
    for (const QString& relative : {QStringLiteral("gone.md"), QStringLiteral("became-folder.md"), QStringLiteral("pipe")}) {
        SCOPED_TRACE(relative.toStdString());
        int reported = 0;
        const auto connection = QObject::connect(&vm, &AppViewModel::deleteErrorChanged, [&reported] { ++reported; });
        vm.deleteFile(FileDocumentModel::fromURL(url(relative)));
        QObject::disconnect(connection);
        EXPECT_EQ(reported, 1);
        ASSERT_TRUE(vm.deleteError());
        EXPECT_EQ(vm.deleteError()->kind(), FileDeletionError::Kind::fileMissing);
        EXPECT_EQ(vm.deleteError()->errorDescription(), QStringLiteral("The file no longer exists on disk."));
        EXPECT_TRUE(waitForScans(++scans)) << "a missing file rescans";
    }
    EXPECT_TRUE(trashRequests.isEmpty());
    EXPECT_TRUE(QFileInfo(path(QStringLiteral("became-folder.md"))).isDir());
}

TEST_F(AppViewModelTest, FailedDeletionKeepsEverythingAndReportsTheReason)
{
    auto& vm = makeModel();
    vm.openFolder(url({}), true);
    ASSERT_TRUE(waitForScans(1));
    vm.selectNode(path(QStringLiteral("a.md")));
    const auto tree = vm.fileTreeNodes();
    const QByteArray stored = storedDefaults();

    struct Case {
        platform::FileSystemError error;
        FileDeletionError::Kind kind;
        QString description;
    };
    const std::vector<Case> cases = {
        {platform::FileSystemError::fromErrno(EACCES), FileDeletionError::Kind::accessDenied,
         QStringLiteral("The file could not be deleted because access was denied.")},
        {platform::FileSystemError::fromErrno(EPERM), FileDeletionError::Kind::unknown,
         platform::FileSystemError::fromErrno(EPERM).message},
        {platform::FileSystemError::fromErrno(EIO), FileDeletionError::Kind::unknown,
         platform::FileSystemError::fromErrno(EIO).message},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description.toStdString());
        trashFailure = c.error;
        vm.deleteFile(*vm.selectedFile());
        ASSERT_TRUE(vm.deleteError());
        EXPECT_EQ(vm.deleteError()->kind(), c.kind);
        EXPECT_EQ(vm.deleteError()->errorDescription(), c.description);
        EXPECT_EQ(vm.selectedFile()->url, url(QStringLiteral("a.md")));
        EXPECT_TRUE(QFile::exists(path(QStringLiteral("a.md"))));
    }
    testsupport::spin(30);
    EXPECT_EQ(disk->callCount(), 1u) << "a failed deletion does not rescan";
    EXPECT_TRUE(std::ranges::equal(vm.fileTreeNodes(), tree));
    EXPECT_EQ(storedDefaults(), stored);
}

TEST_F(AppViewModelTest, DeletingTheMissingSelectedFileClearsIt)
{
    auto& vm = makeModel();
    vm.openFolder(url({}), true);
    ASSERT_TRUE(waitForScans(1));
    const auto doc = FileDocumentModel::fromURL(url(QStringLiteral("a.md")));
    vm.selectNode(doc.id);
    vm.selectNode(path(QStringLiteral("docs")));
    // The viewer reports the file missing after the user moved on, then it comes back.
    QFile::remove(path(QStringLiteral("a.md")));
    vm.refreshFileAvailability(doc);
    ASSERT_EQ(vm.missingSelectedFile(), doc);
    writeFile(path(QStringLiteral("a.md")), "# text\n");
    vm.deleteFile(doc);
    EXPECT_FALSE(vm.missingSelectedFile());
    EXPECT_FALSE(vm.deleteError());
}

} // namespace
