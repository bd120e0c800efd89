#pragma once

#include <platform/FileSystemError.h>

#include <QUrl>

#include <optional>

namespace quillora {

// Why a file could not be moved to the Trash, as the user is told.
class FileDeletionError {
public:
    enum class Kind { unknown, accessDenied, fileMissing };

    static FileDeletionError unknown(platform::FileSystemError underlying);
    static FileDeletionError accessDenied();
    static FileDeletionError fileMissing();
    // A permission failure (EACCES) is `accessDenied`; anything else is `unknown` with that error.
    static FileDeletionError classify(const platform::FileSystemError& error);

    Kind kind() const { return m_kind; }
    const std::optional<platform::FileSystemError>& underlyingError() const { return m_underlying; }
    QString errorDescription() const;

    friend bool operator==(const FileDeletionError&, const FileDeletionError&) = default;

private:
    FileDeletionError(Kind kind, std::optional<platform::FileSystemError> underlying);

    Kind m_kind;
    std::optional<platform::FileSystemError> m_underlying;
};

// Moves a file to the user's Trash inside its access scope. Never deletes or copies instead.
class FileDeletionService {
public:
    struct Result {
        std::optional<QUrl> trashedURL; // where the file went, on success
        std::optional<platform::FileSystemError> error;
    };

    // A path that names a folder (it may have become one since it was chosen) is refused with
    // EISDIR and left alone.
    Result moveToTrash(const QUrl& fileURL) const;
};

} // namespace quillora
