#pragma once

#include "core/FileTreeNodeModel.h"

#include <QUrl>

#include <atomic>
#include <set>
#include <stop_token>
#include <sys/types.h>
#include <utility>

namespace quillora {

// Directories met during one scan, by device and inode: a folder reached twice (through a
// link, a bind mount or a link back up the tree) is listed only where it was met first.
struct VisitedDirectories {
    std::set<std::pair<dev_t, ino_t>> identities;
};

// Lists a project folder into the tree the sidebar shows: folders first, then regular files,
// each group in localized case-insensitive order. Links are followed, except links to folders of
// the shown tree, which appear at their own place only; FIFOs, sockets, devices, dangling links
// and names that are not valid UTF-8 are left out. Runs on any thread; another thread may stop
// it through a stop token, which the scan checks before listing each folder.
class FileTreeScannerService {
public:
    struct Result {
        QList<FileTreeNodeModel> nodes;
        bool allReadable = true; // false when some folder could not be listed for lack of permission
        bool cancelled = false;  // stopped before the end: `nodes` is empty and means nothing
    };

    // Folders nested deeper than this below the project folder are shown without children.
    static constexpr int maxDepth = 128;

    // Once `stop` is requested the scan lists no further folder and returns a cancelled result.
    // `foldersListed`, when given, counts the folders as their listing starts, so that another
    // thread can watch how far the scan got.
    Result scan(const QUrl& rootURL, bool showsHiddenFiles, std::stop_token stop = {},
                std::atomic<int>* foldersListed = nullptr) const;
    Result scanDirectory(const QUrl& directoryURL, const QUrl& rootURL, bool showsHiddenFiles,
                         VisitedDirectories& visited) const;
};

} // namespace quillora
