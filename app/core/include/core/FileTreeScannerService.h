#pragma once

#include "core/FileTreeNodeModel.h"

#include <QUrl>

#include <atomic>
#include <cstdint>
#include <stop_token>
#include <sys/types.h>
#include <vector>

namespace quillora {

// Directories met during one scan, by device and inode: a folder reached twice (through a
// link, a bind mount or a link back up the tree) is listed only where it was met first. A flat
// open-addressing hash set: one allocation per growth, none per folder.
class VisitedDirectories {
public:
    // Adds the directory; false when it was there already.
    bool insert(dev_t device, ino_t inode);
    bool contains(dev_t device, ino_t inode) const;

private:
    struct Slot {
        dev_t device = emptyDevice;
        ino_t inode = 0;
    };
    static constexpr dev_t emptyDevice = dev_t(-1);
    size_t slotOf(dev_t device, ino_t inode) const;
    void grow();

    std::vector<Slot> slots_;
    size_t used_ = 0;
};

// Lists a project folder into the tree the sidebar shows: folders first, then regular files,
// each group in localized case-insensitive order. Links are followed, except links to folders of
// the shown tree, which appear at their own place only; FIFOs, sockets, devices, dangling links
// and names that are not valid UTF-8 are left out. Folders on pseudo file systems (proc, sysfs,
// cgroup and the like) are shown but never entered, and a scan keeps at most `maxEntries` nodes,
// so that a link to "/" cannot walk the whole machine. Runs on any thread; another thread may
// stop it through a stop token, which the scan checks before listing each folder.
class FileTreeScannerService {
public:
    struct Result {
        FileTreeNodeList nodes;
        bool allReadable = true; // false when some folder could not be listed for lack of permission
        bool cancelled = false;  // stopped before the end: `nodes` is empty and means nothing
        bool reachedEntryLimit = false; // stopped at `maxEntries`: `nodes` hold the entries met until then
    };

    // Folders nested deeper than this below the project folder are shown without children.
    static constexpr int maxDepth = 128;
    static constexpr qsizetype defaultMaxEntries = 2'000'000;

    FileTreeScannerService() = default;
    explicit FileTreeScannerService(qsizetype maxEntries) : maxEntries_(maxEntries) {}

    // Once `stop` is requested the scan lists no further folder and returns a cancelled result.
    // `foldersListed`, when given, counts the folders as their listing starts, so that another
    // thread can watch how far the scan got.
    Result scan(const QUrl& rootURL, bool showsHiddenFiles, std::stop_token stop = {},
                std::atomic<int>* foldersListed = nullptr) const;
    Result scanDirectory(const QUrl& directoryURL, const QUrl& rootURL, bool showsHiddenFiles,
                         VisitedDirectories& visited) const;

private:
    qsizetype maxEntries_ = defaultMaxEntries;
};

} // namespace quillora
