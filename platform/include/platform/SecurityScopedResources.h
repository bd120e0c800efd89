#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

namespace platform {

struct ResolvedBookmark {
    QString path;
    // The path now names another item than the one the bookmark was made for (replaced, or
    // deleted and created again); the caller should make a fresh bookmark.
    bool isStale = false;
};

// Bookmarks and access scopes for user-chosen items. Linux has no sandbox: a bookmark records
// the path and the identity of the item (device and inode), and access can be started whenever
// the path is readable. Tests replace the shared instance to force failures and staleness.
class SecurityScopedResources {
public:
    virtual ~SecurityScopedResources();

    static std::shared_ptr<SecurityScopedResources> shared();
    static void setShared(std::shared_ptr<SecurityScopedResources> resources);

    // Nothing when there is no item at the path.
    virtual std::optional<QByteArray> createBookmark(const QString& path) const;
    // Nothing when the data is no bookmark or nothing exists at its path any more.
    virtual std::optional<ResolvedBookmark> resolveBookmark(const QByteArray& data) const;
    virtual bool startAccessing(const QString& path);
    virtual void stopAccessing(const QString& path);
};

} // namespace platform
