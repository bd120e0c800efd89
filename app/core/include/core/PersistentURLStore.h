#pragma once

#include "core/FileDocumentModel.h"

#include <platform/UserDefaults.h>

#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

namespace quillora {

// One remembered URL, kept twice in the user defaults: as a path and as bookmark data.
struct PersistentURLStore {
    QString pathKey;
    QString bookmarkKey;
    std::function<bool(const QUrl&)> validate;
    std::shared_ptr<platform::UserDefaults> defaults;

    // The remembered URL when it still passes `validate`. A bookmark that no longer resolves is
    // dropped in favour of the path; a URL that fails validation forgets both keys; a stale
    // bookmark that still validates is refreshed.
    std::optional<QUrl> load() const;
    // Writes the path and a fresh bookmark, each only when it changed.
    void save(const QUrl& url) const;
};

// Something exists at the URL's path and it is a directory (links followed).
bool isExistingDirectory(const QUrl& url);
// Something exists at the URL's path and it is a regular file (links followed): FIFOs, sockets
// and devices are never remembered, since opening one could block.
bool isExistingFile(const QUrl& url);

struct DirectoryStore {
    PersistentURLStore store;

    explicit DirectoryStore(std::shared_ptr<platform::UserDefaults> defaults = platform::UserDefaults::standard());
    std::optional<QUrl> load() const { return store.load(); }
    void save(const QUrl& url) const { store.save(url); }
};

struct FileStore {
    std::shared_ptr<platform::UserDefaults> defaults;
    PersistentURLStore store;

    explicit FileStore(std::shared_ptr<platform::UserDefaults> defaults = platform::UserDefaults::standard());
    std::optional<QUrl> load() const { return store.load(); }
    void save(const QUrl& url) const { store.save(url); }
    // Forgets the remembered file when it is the given one.
    void clear(const FileDocumentModel& matching) const;
};

} // namespace quillora
