#include "core/PersistentURLStore.h"

#include "core/DefaultsKeys.h"

#include <platform/FileKind.h>
#include <platform/SecurityScopedResources.h>

namespace quillora {

std::optional<QUrl> PersistentURLStore::load() const
{
    if (const auto bookmark = defaults->data(bookmarkKey)) {
        const auto resolved = platform::SecurityScopedResources::shared()->resolveBookmark(*bookmark);
        if (!resolved) {
            defaults->remove(bookmarkKey);
        } else {
            const QUrl url = QUrl::fromLocalFile(resolved->path);
            if (!validate(url)) {
                defaults->remove(pathKey);
                defaults->remove(bookmarkKey);
                return std::nullopt;
            }
            if (resolved->isStale)
                save(url);
            return url;
        }
    }
    const auto path = defaults->string(pathKey);
    if (!path)
        return std::nullopt;
    const QUrl url = QUrl::fromLocalFile(*path);
    if (!path->isEmpty() && validate(url))
        return url;
    defaults->remove(pathKey);
    defaults->remove(bookmarkKey);
    return std::nullopt;
}

void PersistentURLStore::save(const QUrl& url) const
{
    const QString path = url.toLocalFile();
    if (defaults->string(pathKey) != path)
        defaults->setString(pathKey, path);
    const auto bookmark = platform::SecurityScopedResources::shared()->createBookmark(path);
    if (!bookmark) {
        defaults->remove(bookmarkKey);
        return;
    }
    if (defaults->data(bookmarkKey) != bookmark)
        defaults->setData(bookmarkKey, *bookmark);
}

bool isExistingDirectory(const QUrl& url)
{
    return url.isLocalFile() && platform::isExistingDirectory(url.toLocalFile());
}

bool isExistingFile(const QUrl& url)
{
    return url.isLocalFile() && platform::isExistingRegularFile(url.toLocalFile());
}

DirectoryStore::DirectoryStore(std::shared_ptr<platform::UserDefaults> defaults)
    : store{QString::fromLatin1(defaults_keys::lastSelectedDirectory),
            QString::fromLatin1(defaults_keys::lastSelectedDirectoryBookmark), isExistingDirectory,
            std::move(defaults)}
{
}

FileStore::FileStore(std::shared_ptr<platform::UserDefaults> defaults)
    : defaults(defaults)
    , store{QString::fromLatin1(defaults_keys::lastSelectedFile), QString::fromLatin1(defaults_keys::lastSelectedFileBookmark),
            isExistingFile, defaults}
{
}

void FileStore::clear(const FileDocumentModel& matching) const
{
    const auto stored = defaults->string(QString::fromLatin1(defaults_keys::lastSelectedFile));
    if (stored && *stored == matching.url.toLocalFile()) {
        defaults->remove(store.pathKey);
        defaults->remove(store.bookmarkKey);
    }
}

} // namespace quillora
