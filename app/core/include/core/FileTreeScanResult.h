#pragma once

#include "core/FileTreeNodeModel.h"

#include <optional>

namespace quillora {

// Some folder at or below the project folder could not be listed for lack of permission.
enum class ScanError { accessDenied };

// The outcome of one scan: no nodes, or the one root node; and the error, if any.
struct FileTreeScanResult {
    QList<FileTreeNodeModel> rootNodes;
    std::optional<ScanError> error;
};

} // namespace quillora
