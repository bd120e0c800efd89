#include "core/DefaultsKeys.h"
#include "core/FileTreeExpansionStore.h"
#include "core/PersistentURLStore.h"
#include "core/SettingsStore.h"

#include <platform/SecurityScopedResources.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QTemporaryDir>

using namespace quillora;
using platform::UserDefaults;

namespace {

const QString dirKey = QString::fromLatin1(defaults_keys::lastSelectedDirectory);
const QString dirBookmarkKey = QString::fromLatin1(defaults_keys::lastSelectedDirectoryBookmark);
const QString fileKey = QString::fromLatin1(defaults_keys::lastSelectedFile);
const QString fileBookmarkKey = QString::fromLatin1(defaults_keys::lastSelectedFileBookmark);

// Bookmarks that can be told to fail or to report staleness; counts what it is asked.
struct ScriptedResources : platform::SecurityScopedResources {
    bool failCreation = false;
    bool reportStale = false;
    mutable int created = 0;
    std::optional<QByteArray> createBookmark(const QString& path) const override
    {
        ++created;
        if (failCreation)
            return std::nullopt;
        return SecurityScopedResources::createBookmark(path);
    }
    std::optional<platform::ResolvedBookmark> resolveBookmark(const QByteArray& data) const override
    {
        auto resolved = SecurityScopedResources::resolveBookmark(data);
        if (resolved && reportStale)
            resolved->isStale = true;
        return resolved;
    }
};

class StoresTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        defaults = std::make_shared<UserDefaults>(dir.filePath(QStringLiteral("defaults.json")));
        previousResources = platform::SecurityScopedResources::shared();
        resources = std::make_shared<ScriptedResources>();
        platform::SecurityScopedResources::setShared(resources);
        project = dir.filePath(QStringLiteral("project"));
        QDir().mkpath(project);
    }
    void TearDown() override { platform::SecurityScopedResources::setShared(previousResources); }

    QByteArray fileBytes() const
    {
        defaults->flush();
        QFile file(defaults->filePath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir dir;
    std::shared_ptr<UserDefaults> defaults;
    std::shared_ptr<platform::SecurityScopedResources> previousResources;
    std::shared_ptr<ScriptedResources> resources;
    QString project;
};

TEST_F(StoresTest, NothingStoredLoadsNothingAndWritesNothing)
{
    EXPECT_FALSE(DirectoryStore(defaults).load());
    EXPECT_FALSE(FileStore(defaults).load());
    EXPECT_FALSE(QFile::exists(defaults->filePath()));
}

TEST_F(StoresTest, PathWithoutBookmarkLoadsAndStaysWithoutBookmark)
{
    defaults->setString(dirKey, project);
    EXPECT_EQ(DirectoryStore(defaults).load(), QUrl::fromLocalFile(project));
    EXPECT_FALSE(defaults->contains(dirBookmarkKey));
}

TEST_F(StoresTest, SaveWritesPathAndBookmarkAndLoadReturnsIt)
{
    DirectoryStore store(defaults);
    store.save(QUrl::fromLocalFile(project));
    EXPECT_EQ(defaults->string(dirKey), project);
    ASSERT_TRUE(defaults->data(dirBookmarkKey));
    EXPECT_EQ(store.load(), QUrl::fromLocalFile(project));

    // Same URL again: identical bookmark, the file is not rewritten.
    const QByteArray bytes = fileBytes();
    const QDateTime before = QFileInfo(defaults->filePath()).lastModified();
    QThread::msleep(20);
    store.save(QUrl::fromLocalFile(project));
    EXPECT_EQ(fileBytes(), bytes);
    EXPECT_EQ(QFileInfo(defaults->filePath()).lastModified(), before);
}

TEST_F(StoresTest, BookmarkToAFolderThatBecameAFileForgetsBothKeys)
{
    DirectoryStore store(defaults);
    store.save(QUrl::fromLocalFile(project));
    ASSERT_TRUE(QDir(project).removeRecursively());
    QFile replacement(project);
    ASSERT_TRUE(replacement.open(QIODevice::WriteOnly));
    replacement.close();
    // The stored path would pass for another folder: it is not tried.
    const QString other = dir.filePath(QStringLiteral("other"));
    QDir().mkpath(other);
    defaults->setString(dirKey, other);

    EXPECT_FALSE(store.load());
    EXPECT_FALSE(defaults->contains(dirKey));
    EXPECT_FALSE(defaults->contains(dirBookmarkKey));
}

TEST_F(StoresTest, UnresolvableBookmarkFallsBackToThePath)
{
    for (const QByteArray& garbage : {QByteArray("garbage"), QByteArray("\x00\xff", 2)}) {
        defaults->setString(dirKey, project);
        defaults->setData(dirBookmarkKey, garbage);
        EXPECT_EQ(DirectoryStore(defaults).load(), QUrl::fromLocalFile(project));
        EXPECT_FALSE(defaults->contains(dirBookmarkKey));
        EXPECT_EQ(defaults->string(dirKey), project);
    }
    // A bookmark stored with the wrong type is no bookmark at all.
    defaults->setString(dirBookmarkKey, QStringLiteral("text"));
    EXPECT_EQ(DirectoryStore(defaults).load(), QUrl::fromLocalFile(project));
}

TEST_F(StoresTest, StaleBookmarkThatStillValidatesIsRefreshed)
{
    DirectoryStore store(defaults);
    store.save(QUrl::fromLocalFile(project));
    defaults->setString(dirKey, QStringLiteral("/elsewhere"));
    defaults->setData(dirBookmarkKey, *defaults->data(dirBookmarkKey) + " "); // same meaning, other bytes
    resources->reportStale = true;
    EXPECT_EQ(store.load(), QUrl::fromLocalFile(project));
    EXPECT_EQ(defaults->string(dirKey), project);
    EXPECT_EQ(defaults->data(dirBookmarkKey), resources->SecurityScopedResources::createBookmark(project));
}

TEST_F(StoresTest, FailedBookmarkCreationLeavesNoBookmark)
{
    DirectoryStore store(defaults);
    store.save(QUrl::fromLocalFile(project));
    resources->failCreation = true;
    store.save(QUrl::fromLocalFile(project));
    EXPECT_FALSE(defaults->contains(dirBookmarkKey));
    EXPECT_EQ(store.load(), QUrl::fromLocalFile(project));
}

TEST_F(StoresTest, FileStoreValidatesRegularFilesAndClearsOnlyTheMatchingFile)
{
    const QString notes = project + QStringLiteral("/notes.md");
    QFile file(notes);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    FileStore store(defaults);
    store.save(QUrl::fromLocalFile(notes));
    EXPECT_EQ(store.load(), QUrl::fromLocalFile(notes));

    store.clear(FileDocumentModel::fromURL(QUrl::fromLocalFile(project + QStringLiteral("/other.md"))));
    EXPECT_TRUE(defaults->contains(fileKey));
    EXPECT_TRUE(defaults->contains(fileBookmarkKey));
    store.clear(FileDocumentModel::fromURL(QUrl::fromLocalFile(notes)));
    EXPECT_FALSE(defaults->contains(fileKey));
    EXPECT_FALSE(defaults->contains(fileBookmarkKey));

    // A folder is no file, and neither is a FIFO.
    defaults->setString(fileKey, project);
    EXPECT_FALSE(store.load());
    EXPECT_FALSE(defaults->contains(fileKey));
    EXPECT_FALSE(isExistingFile(QUrl::fromLocalFile(QStringLiteral("/dev/null"))));
}

TEST_F(StoresTest, SettingsDefaultsAndTypes)
{
    SettingsStore settings(defaults);
    EXPECT_TRUE(settings.showTerminal());
    EXPECT_FALSE(settings.showHiddenFilesInTree());
    settings.setShowTerminal(false);
    settings.setShowHiddenFilesInTree(true);
    EXPECT_FALSE(SettingsStore(defaults).showTerminal());
    EXPECT_TRUE(SettingsStore(defaults).showHiddenFilesInTree());
    defaults->setString(QString::fromLatin1(defaults_keys::showTerminal), QStringLiteral("false"));
    EXPECT_TRUE(settings.showTerminal());
}

TEST_F(StoresTest, ExpansionStoreLoadsSavesAndSignalsRealChangesOnly)
{
    const QString key = QString::fromLatin1(defaults_keys::expandedPaths);
    FileTreeExpansionStore store({}, key, defaults);
    int changed = 0;
    QObject::connect(&store, &FileTreeExpansionStore::expandedPathsChanged, [&] { ++changed; });
    store.load();
    EXPECT_TRUE(store.expandedPaths().isEmpty());
    EXPECT_EQ(changed, 0);

    store.setExpandedPaths({QStringLiteral("/p"), QStringLiteral("/p/docs")});
    EXPECT_EQ(changed, 1);
    store.setExpandedPaths({QStringLiteral("/p/docs"), QStringLiteral("/p")});
    EXPECT_EQ(changed, 1);
    store.save();

    FileTreeExpansionStore reloaded({}, key, defaults);
    reloaded.load();
    EXPECT_EQ(reloaded.expandedPaths(), (QSet<QString>{QStringLiteral("/p"), QStringLiteral("/p/docs")}));

    defaults->setString(key, QStringLiteral("/p"));
    reloaded.load();
    EXPECT_TRUE(reloaded.expandedPaths().isEmpty());
}

} // namespace
