#include "core/FileTreeScannerService.h"

#include "FileTreeSnapshotData.h"
#include "core/AppLogger.h"

#include <platform/FileKind.h>

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <system_error>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace quillora {

// --- Visited directories ---------------------------------------------------------------------

size_t VisitedDirectories::slotOf(dev_t device, ino_t inode) const
{
    // splitmix64 finaliser over both halves of the identity
    auto x = std::uint64_t(inode) ^ (std::uint64_t(device) * 0x9e3779b97f4a7c15ull);
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
    x ^= x >> 31;
    const size_t mask = slots_.size() - 1;
    for (size_t slot = x & mask;; slot = (slot + 1) & mask) {
        const Slot& s = slots_[slot];
        if (s.device == emptyDevice || (s.device == device && s.inode == inode))
            return slot;
    }
}

void VisitedDirectories::grow()
{
    std::vector<Slot> old = std::exchange(slots_, std::vector<Slot>(std::max<size_t>(64, slots_.size() * 2)));
    for (const Slot& s : old) {
        if (s.device != emptyDevice)
            slots_[slotOf(s.device, s.inode)] = s;
    }
}

bool VisitedDirectories::insert(dev_t device, ino_t inode)
{
    if ((used_ + 1) * 2 > slots_.size())
        grow();
    Slot& s = slots_[slotOf(device, inode)];
    if (s.device != emptyDevice)
        return false;
    s = {device, inode};
    ++used_;
    return true;
}

bool VisitedDirectories::contains(dev_t device, ino_t inode) const
{
    return !slots_.empty() && slots_[slotOf(device, inode)].device != emptyDevice;
}

// --- Scan ------------------------------------------------------------------------------------

namespace {

using Record = FileTreeSnapshotBuilder::Record;
using Index = FileTreeSnapshot::Index;

const AppLogger& logger()
{
    static const AppLogger shared(QStringLiteral("FileTreeScanner"));
    return shared;
}

bool isValidUtf8(const char* s, size_t length)
{
    const auto* p = reinterpret_cast<const unsigned char*>(s);
    const auto* end = p + length;
    while (p < end) {
        if (*p < 0x80) {
            ++p;
            continue;
        }
        int extra = 0;
        unsigned min = 0;
        unsigned code = 0;
        if ((*p & 0xE0) == 0xC0) {
            extra = 1, min = 0x80, code = *p & 0x1F;
        } else if ((*p & 0xF0) == 0xE0) {
            extra = 2, min = 0x800, code = *p & 0x0F;
        } else if ((*p & 0xF8) == 0xF0) {
            extra = 3, min = 0x10000, code = *p & 0x07;
        } else {
            return false;
        }
        if (end - p <= extra)
            return false;
        for (int i = 1; i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (p[i] & 0x3F);
        }
        if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        p += extra + 1;
    }
    return true;
}

// Stable. Most folders hold a few entries, for which insertion needs no buffer, where
// std::stable_sort allocates one per call.
template <typename Less>
void stableSort(quint32* begin, quint32* end, Less less)
{
    if (end - begin > 16) {
        std::stable_sort(begin, end, less);
        return;
    }
    for (quint32* i = begin; i < end; ++i) {
        const quint32 value = *i;
        quint32* j = i;
        for (; j > begin && less(value, *(j - 1)); --j)
            *j = *(j - 1);
        *j = value;
    }
}

int openFolder(int dirFd, const char* name)
{
    return ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

void closeIfOpen(int fd)
{
    if (fd >= 0)
        ::close(fd);
}

QByteArray resolvedPath(const QByteArray& path)
{
    char resolved[PATH_MAX];
    return ::realpath(path.constData(), resolved) ? QByteArray(resolved) : QByteArray();
}

constexpr size_t listingBufferSize = 32 * 1024;

// What listing one folder needs, kept for the next folder at the same depth, so that a scan
// allocates per depth rather than per folder or per entry.
struct LevelBuffers {
    std::unique_ptr<char[]> listing; // entries as the kernel hands them out
    std::vector<Record> children;    // the folder's nodes in listing order
};

// The nodes of a folder as the listing gave them: records [first, first + count).
struct Block {
    Index first = 0;
    Index count = 0;
};

// Puts blocks of records in display order: folders first, each group in localized
// case-insensitive order of the names, names that compare equal in listing order. Comparing
// names is most of a scan's own work, so the blocks wait until the walk is done and are then
// shared out among a few sorters, one per thread.
class BlockSorter {
public:
    BlockSorter() { collator_.setCaseSensitivity(Qt::CaseInsensitive); }

    void sort(Record* records, const QByteArray& names, Block block)
    {
        Record* const first = records + block.first;
        order_.resize(block.count);
        quint32 folders = 0;
        for (quint32 i = 0; i < block.count; ++i) {
            if (first[i].directory)
                order_[folders++] = i;
        }
        for (quint32 i = 0, next = folders; i < block.count; ++i) {
            if (!first[i].directory)
                order_[next++] = i;
        }
        qsizetype bytes = 0;
        for (quint32 i = 0; i < block.count; ++i)
            bytes += first[i].nameLength;
        utf16_.resize(bytes); // UTF-16 never takes more units than UTF-8 takes bytes
        bounds_.resize(block.count + 1);
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QChar* const start = utf16_.data();
        QChar* out = start;
        for (quint32 i = 0; i < block.count; ++i) {
            bounds_[i] = quint32(out - start);
            out = decoder.appendToBuffer(out, QByteArrayView(names.constData() + first[i].nameOffset, first[i].nameLength));
        }
        bounds_[block.count] = quint32(out - start);
        const auto name = [&](quint32 i) { return QStringView(start + bounds_[i], start + bounds_[i + 1]); };
        const auto byName = [&](quint32 a, quint32 b) { return collator_.compare(name(a), name(b)) < 0; };
        stableSort(order_.data(), order_.data() + folders, byName);
        stableSort(order_.data() + folders, order_.data() + block.count, byName);
        sorted_.clear();
        for (const quint32 i : order_)
            sorted_.push_back(first[i]);
        std::copy(sorted_.begin(), sorted_.end(), first);
    }

private:
    QCollator collator_;
    std::vector<quint32> order_;  // display order of the block's records
    QString utf16_;               // their names, for the collator
    std::vector<quint32> bounds_; // where each name starts in `utf16_`, and where the last ends
    std::vector<Record> sorted_;
};

void sortBlocks(Record* records, const QByteArray& names, const std::vector<Block>& blocks)
{
    qsizetype total = 0;
    for (const Block& block : blocks)
        total += block.count;
    // Threads pay off from tens of thousands of entries; a few suffice beside the kernel's work.
    constexpr qsizetype entriesPerThread = 50'000;
    const auto threads = std::clamp<qsizetype>(std::min<qsizetype>(total / entriesPerThread, std::thread::hardware_concurrency()), 1, 4);
    const auto sortRange = [&](size_t begin, size_t end) {
        BlockSorter sorter;
        for (size_t i = begin; i < end; ++i)
            sorter.sort(records, names, blocks[i]);
    };
    std::vector<std::thread> helpers;
    size_t begin = 0;
    qsizetype share = 0;
    for (size_t i = 0; i < blocks.size() && qsizetype(helpers.size()) + 1 < threads; ++i) {
        share += blocks[i].count;
        if (share < total / threads)
            continue;
        try {
            helpers.emplace_back(sortRange, begin, i + 1);
        } catch (const std::system_error&) {
            break; // no thread to be had: this one sorts the rest
        }
        begin = i + 1;
        share = 0;
    }
    sortRange(begin, blocks.size());
    for (std::thread& helper : helpers)
        helper.join();
}

// One folder's nodes as a block of the snapshot.
struct Listed {
    Index first = 0;
    Index count = 0;
    bool allReadable = true;
};

struct Scan {
    Scan(bool showsHiddenFiles, VisitedDirectories& visited, QByteArray rootPath, QByteArray listedPath,
         FileTreeSnapshotBuilder builder, qsizetype maxEntries)
        : showsHiddenFiles(showsHiddenFiles)
        , visited(visited)
        , resolvedRoot(resolvedPath(rootPath))
        , path(std::move(listedPath))
        , maxEntries(maxEntries)
        , builder(std::move(builder))
    {
    }

    bool showsHiddenFiles;
    VisitedDirectories& visited;
    QByteArray resolvedRoot; // the project folder with every link resolved
    QByteArray path;         // the folder being listed, as listed
    std::stop_token stop;
    std::atomic<int>* foldersListed = nullptr;
    qsizetype maxEntries;
    qsizetype entries = 0;
    bool stopped = false;           // the walk was cut short; every level returns at once
    bool reachedEntryLimit = false; // no further entry is taken; every level keeps what it has
    FileTreeSnapshotBuilder builder;
    std::vector<Block> unsorted; // blocks of two nodes or more
    std::vector<LevelBuffers> levels = std::vector<LevelBuffers>(FileTreeScannerService::maxDepth + 1);
    std::vector<std::pair<dev_t, bool>> pseudoDevices; // each device met, and whether it is a pseudo file system

    // Lists the open directory `fd` (taken over) on `device`, `depth` folders below the listed one.
    Listed level(int fd, dev_t device, int depth);
    void take(int dirFd, dev_t device, int depth, const char* name, unsigned char type, Listed& listed);
    Index append(const std::vector<Record>& children);
    // Whether the entry `name` of `dirFd` is a link to a folder of the tree this scan shows.
    bool isLinkIntoShownTree(int dirFd, const char* name) const;
    bool isPseudoFileSystem(int fd, dev_t device);
};

Listed Scan::level(int fd, dev_t device, int depth)
{
    Listed result;
    if (stop.stop_requested()) {
        stopped = true;
        ::close(fd);
        return result;
    }
    if (foldersListed)
        foldersListed->fetch_add(1, std::memory_order_relaxed);
    LevelBuffers& here = levels[depth];
    if (!here.listing)
        here.listing = std::make_unique<char[]>(listingBufferSize);
    here.children.clear();
    // Entries are taken batch by batch straight from the kernel: a directory stream would
    // allocate a large buffer per folder, which dominates a scan of many small folders.
    bool listed = true;
    while (!reachedEntryLimit) {
        const ssize_t length = ::getdents64(fd, here.listing.get(), listingBufferSize);
        if (length < 0 && errno == EINTR)
            continue;
        if (length < 0) {
            listed = false;
            result.allReadable = errno != EACCES;
        }
        if (length <= 0)
            break;
        for (ssize_t position = 0; position < length && !reachedEntryLimit;) {
            const auto* entry = reinterpret_cast<const dirent64*>(here.listing.get() + position);
            position += entry->d_reclen;
            take(fd, device, depth, entry->d_name, entry->d_type, result);
            if (stopped) {
                ::close(fd);
                return {};
            }
        }
    }
    ::close(fd);
    if (!listed)
        here.children.clear();
    result.count = Index(here.children.size());
    result.first = append(here.children);
    return result;
}

void Scan::take(int dirFd, dev_t device, int depth, const char* name, unsigned char type, Listed& listed)
{
    if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
        return;
    if (name[0] == '.' && !showsHiddenFiles)
        return;
    const size_t length = strlen(name);
    if (length > 0xffff || !isValidUtf8(name, length))
        return; // no path of ours could name it

    bool isDirectory = type == DT_DIR;
    bool isFile = type == DT_REG;
    const bool descends = depth < FileTreeScannerService::maxDepth;
    int childFd = -1;
    int openError = 0;
    struct stat info {};
    if (isDirectory && descends) {
        // The identity of a folder comes from the opened folder: one lookup of its name, not two.
        childFd = openFolder(dirFd, name);
        openError = childFd < 0 ? errno : 0;
    }
    if (childFd >= 0) {
        if (::fstat(childFd, &info) != 0) {
            ::close(childFd);
            return;
        }
    } else if (isDirectory || type == DT_LNK || type == DT_UNKNOWN) {
        if (::fstatat(dirFd, name, &info, 0) != 0)
            return; // dangling link or vanished entry
        isDirectory = S_ISDIR(info.st_mode);
        isFile = S_ISREG(info.st_mode);
    }
    if (!isDirectory && !isFile)
        return;
    // A folder inside the project is listed at its own place, never through a link to it,
    // whichever of the two the listing meets first; and a folder met before (a link or mount
    // back into the walk) is left out.
    if (isDirectory
        && ((type != DT_DIR && isLinkIntoShownTree(dirFd, name)) || !visited.insert(info.st_dev, info.st_ino))) {
        closeIfOpen(childFd);
        return;
    }
    if (entries >= maxEntries) {
        reachedEntryLimit = true;
        closeIfOpen(childFd);
        return;
    }
    ++entries;

    Record record;
    record.directory = isDirectory;
    if (isDirectory && descends) {
        if (childFd < 0 && openError == 0) {
            childFd = openFolder(dirFd, name);
            openError = childFd < 0 ? errno : 0;
        }
        if (childFd < 0) {
            listed.allReadable = listed.allReadable && openError != EACCES;
        } else if (info.st_dev != device && isPseudoFileSystem(childFd, info.st_dev)) {
            ::close(childFd); // shown, never entered
        } else {
            const qsizetype pathLength = path.size();
            path.append('/').append(name, qsizetype(length));
            const Listed children = level(childFd, info.st_dev, depth + 1);
            path.truncate(pathLength);
            if (stopped)
                return;
            record.firstChild = children.first;
            record.childCount = children.count;
            listed.allReadable = listed.allReadable && children.allReadable;
        }
    }
    record.nameOffset = builder.addName(name, quint16(length));
    record.nameLength = quint16(length);
    levels[depth].children.push_back(record);
}

Index Scan::append(const std::vector<Record>& children)
{
    const Index first = builder.recordCount();
    for (const Record& child : children)
        builder.append(child);
    if (children.size() > 1)
        unsorted.push_back({first, Index(children.size())});
    return first;
}

bool Scan::isLinkIntoShownTree(int dirFd, const char* name) const
{
    struct stat linkInfo {};
    if (resolvedRoot.isEmpty() || ::fstatat(dirFd, name, &linkInfo, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(linkInfo.st_mode))
        return false;
    const QByteArray resolved = resolvedPath(path + '/' + name);
    if (resolved.isEmpty())
        return false;
    if (resolved == resolvedRoot)
        return true;
    const QByteArray prefix = resolvedRoot == "/" ? resolvedRoot : resolvedRoot + '/';
    if (!resolved.startsWith(prefix))
        return false;
    // A target under a hidden folder is not walked when hidden entries are left out.
    return showsHiddenFiles || !('/' + resolved.mid(prefix.size())).contains("/.");
}

bool Scan::isPseudoFileSystem(int fd, dev_t device)
{
    for (const auto& [known, pseudo] : pseudoDevices) {
        if (known == device)
            return pseudo;
    }
    const bool pseudo = platform::isOnPseudoFileSystem(fd);
    pseudoDevices.emplace_back(device, pseudo);
    return pseudo;
}

QString withoutTrailingSlash(QString path)
{
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}

struct ScanRequest {
    QString directoryPath;
    QString rootPath;
    QString idPrefix;
    bool showsHiddenFiles = false;
    bool addToVisited = false;
    qsizetype maxEntries = 0;
    std::stop_token stop;
    std::atomic<int>* foldersListed = nullptr;
};

FileTreeScannerService::Result scanOpened(const ScanRequest& request, VisitedDirectories& visited)
{
    const QByteArray directory = QFile::encodeName(request.directoryPath);
    const int fd = ::open(directory.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return {{}, errno != EACCES};
    struct stat info {};
    if (::fstat(fd, &info) != 0 || platform::isOnPseudoFileSystem(fd)) {
        ::close(fd);
        return {};
    }
    if (request.addToVisited)
        visited.insert(info.st_dev, info.st_ino);
    Scan scan(request.showsHiddenFiles, visited, QFile::encodeName(request.rootPath), directory,
              FileTreeSnapshotBuilder(request.directoryPath, request.idPrefix), request.maxEntries);
    scan.stop = request.stop;
    scan.foldersListed = request.foldersListed;
    const Listed top = scan.level(fd, info.st_dev, 0);
    if (scan.stopped)
        return {{}, true, true};
    if (scan.reachedEntryLimit) {
        logger().warning(QStringLiteral("Scan of %1 stopped at the bound of %2 entries; the tree shows the first %2 only.")
                             .arg(request.directoryPath)
                             .arg(request.maxEntries));
    }
    sortBlocks(scan.builder.records(), scan.builder.names(), scan.unsorted);
    return {scan.builder.finish(top.first, top.count).children(FileTreeSnapshot::listedFolder), top.allReadable, false,
            scan.reachedEntryLimit};
}

} // namespace

FileTreeScannerService::Result FileTreeScannerService::scan(const QUrl& rootURL, bool showsHiddenFiles,
                                                            std::stop_token stop, std::atomic<int>* foldersListed) const
{
    if (!rootURL.isLocalFile())
        return {};
    VisitedDirectories visited;
    const QString root = withoutTrailingSlash(rootURL.toLocalFile());
    return scanOpened({root, root, QString(), showsHiddenFiles, true, maxEntries_, std::move(stop), foldersListed},
                      visited);
}

FileTreeScannerService::Result FileTreeScannerService::scanDirectory(const QUrl& directoryURL, const QUrl& rootURL,
                                                                     bool showsHiddenFiles,
                                                                     VisitedDirectories& visited) const
{
    if (!directoryURL.isLocalFile())
        return {};
    const QString directory = withoutTrailingSlash(directoryURL.toLocalFile());
    const QString cleanDirectory = QDir::cleanPath(directory);
    const QString cleanRoot = QDir::cleanPath(rootURL.toLocalFile());
    // Ids are relative to the root; a folder outside it gives its entries their full paths.
    QString idPrefix = cleanDirectory;
    if (cleanDirectory == cleanRoot)
        idPrefix.clear();
    else if (cleanDirectory.startsWith(cleanRoot + u'/'))
        idPrefix = cleanDirectory.mid(cleanRoot.size() + 1);
    else if (cleanRoot == QStringLiteral("/"))
        idPrefix = cleanDirectory.mid(1);
    return scanOpened({directory, rootURL.toLocalFile(), idPrefix, showsHiddenFiles, false, maxEntries_}, visited);
}

} // namespace quillora
