#pragma once

#include "platform/FileSystemError.h"

#include <optional>

namespace platform {

struct TrashResult {
    std::optional<QString> trashedPath; // where the item went, on success
    std::optional<FileSystemError> error;
};

// Moves the item at `path` (a link itself, not its target) to the user's freedesktop Trash.
// Never deletes or copies instead: when the move fails, the item stays where it is.
TrashResult moveToTrash(const QString& path);

} // namespace platform
