#include "core/FileTreeScannerService.h"

#include <QCollator>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace quillora {

namespace {

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

struct Scan {
    bool showsHiddenFiles = false;
    VisitedDirectories& visited;
    QCollator collator;
    QByteArray resolvedRoot; // the project folder with every link resolved
    std::vector<char> buffer = std::vector<char>(32 * 1024); // one listing at a time
    std::stop_token stop;
    std::atomic<int>* foldersListed = nullptr;
    bool stopped = false; // the walk was cut short; every level returns at once

    // Whether the entry `name` of `dirFd`, listed as `path`, is a link to a folder of the tree
    // this scan shows.
    bool isLinkIntoShownTree(int dirFd, const char* name, const QString& path) const;

    // Lists the open directory `fd` (taken over) whose listed path is `path`; node ids are
    // `idPrefix` + "/" + name, or the bare name when the prefix is empty.
    FileTreeScannerService::Result level(int fd, const QString& path, const QString& idPrefix, int depth);
};

// QUrl::fromLocalFile without its cost for the common case: decoded mode only escapes '%',
// which costs a search through every path.
QUrl fileURL(const QString& path)
{
    QUrl url;
    url.setScheme(QStringLiteral("file"));
    url.setPath(path, path.contains(u'%') ? QUrl::DecodedMode : QUrl::TolerantMode);
    return url;
}

// Reads every entry name and type of the open directory into `names` (each followed by a NUL)
// and `entries`, straight from the kernel: a directory stream would allocate a large buffer
// per folder, which dominates a scan of many small folders.
bool readEntries(int fd, std::vector<char>& buffer, QByteArray& names, std::vector<std::pair<qsizetype, unsigned char>>& entries)
{
    for (;;) {
        const ssize_t length = ::getdents64(fd, buffer.data(), buffer.size());
        if (length < 0 && errno == EINTR)
            continue;
        if (length <= 0)
            return length == 0;
        for (ssize_t position = 0; position < length;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer.data() + position);
            position += entry->d_reclen;
            entries.emplace_back(names.size(), entry->d_type);
            names.append(entry->d_name, qsizetype(strlen(entry->d_name)) + 1);
        }
    }
}

FileTreeScannerService::Result Scan::level(int fd, const QString& path, const QString& idPrefix, int depth)
{
    FileTreeScannerService::Result result;
    if (stop.stop_requested()) {
        stopped = true;
        ::close(fd);
        return result;
    }
    if (foldersListed)
        foldersListed->fetch_add(1, std::memory_order_relaxed);
    QByteArray names;
    std::vector<std::pair<qsizetype, unsigned char>> entries;
    const bool listed = readEntries(fd, buffer, names, entries);
    if (!listed) {
        ::close(fd);
        return result;
    }
    const QString base = path.endsWith(u'/') ? path : path + u'/';
    QList<FileTreeNodeModel> directories;
    QList<FileTreeNodeModel> files;
    for (const auto& [offset, type] : entries) {
        const char* name = names.constData() + offset;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        if (name[0] == '.' && !showsHiddenFiles)
            continue;
        const size_t nameLength = strlen(name);
        if (!isValidUtf8(name, nameLength))
            continue; // no path of ours could name it

        bool isDirectory = type == DT_DIR;
        bool isFile = type == DT_REG;
        struct stat info {};
        if (isDirectory || type == DT_LNK || type == DT_UNKNOWN) {
            if (::fstatat(fd, name, &info, 0) != 0)
                continue; // dangling link or vanished entry
            isDirectory = S_ISDIR(info.st_mode);
            isFile = S_ISREG(info.st_mode);
        }
        if (!isDirectory && !isFile)
            continue;

        const QString nodeName = QString::fromUtf8(name, qsizetype(nameLength));
        const QString nodePath = base + nodeName;
        QString id = idPrefix.isEmpty() ? nodeName : idPrefix + u'/' + nodeName;
        if (isFile) {
            files.append({std::move(id), fileURL(nodePath), nodeName, FileTreeNodeType::file, {},
                          lowerCasedPathExtension(nodeName)});
            continue;
        }
        // A folder inside the project is listed at its own place, never through a link to it,
        // whichever of the two the listing meets first.
        if (type != DT_DIR && isLinkIntoShownTree(fd, name, nodePath))
            continue;
        if (!visited.identities.insert({info.st_dev, info.st_ino}).second)
            continue; // met before: a link or mount back into the walk
        FileTreeScannerService::Result children;
        if (depth < FileTreeScannerService::maxDepth) {
            const int childFd = ::openat(fd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (childFd >= 0)
                children = level(childFd, nodePath, id, depth + 1);
            else
                children.allReadable = errno != EACCES;
            if (stopped) {
                ::close(fd);
                return {};
            }
        }
        result.allReadable = result.allReadable && children.allReadable;
        directories.append({std::move(id), fileURL(nodePath), nodeName, FileTreeNodeType::directory,
                            std::move(children.nodes), std::nullopt});
    }
    ::close(fd);

    const auto byName = [this](const FileTreeNodeModel& a, const FileTreeNodeModel& b) {
        return collator.compare(a.name, b.name) < 0;
    };
    std::stable_sort(directories.begin(), directories.end(), byName);
    std::stable_sort(files.begin(), files.end(), byName);
    result.nodes = std::move(directories);
    result.nodes.append(std::move(files));
    return result;
}

QByteArray resolvedPath(const QString& path)
{
    char resolved[PATH_MAX];
    return ::realpath(QFile::encodeName(path).constData(), resolved) ? QByteArray(resolved) : QByteArray();
}

bool Scan::isLinkIntoShownTree(int dirFd, const char* name, const QString& path) const
{
    struct stat linkInfo {};
    if (resolvedRoot.isEmpty() || ::fstatat(dirFd, name, &linkInfo, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(linkInfo.st_mode))
        return false;
    const QByteArray resolved = resolvedPath(path);
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

QString withoutTrailingSlash(QString path)
{
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}

FileTreeScannerService::Result scanOpened(const QString& directoryPath, const QString& rootPath, const QString& idPrefix,
                                          bool showsHiddenFiles, VisitedDirectories& visited, bool addToVisited,
                                          std::stop_token stop = {}, std::atomic<int>* foldersListed = nullptr)
{
    const int fd = ::open(QFile::encodeName(directoryPath).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return {{}, errno != EACCES};
    if (addToVisited) {
        struct stat info {};
        if (::fstat(fd, &info) == 0)
            visited.identities.insert({info.st_dev, info.st_ino});
    }
    Scan scan{showsHiddenFiles, visited, QCollator(), resolvedPath(rootPath)};
    scan.collator.setCaseSensitivity(Qt::CaseInsensitive);
    scan.stop = std::move(stop);
    scan.foldersListed = foldersListed;
    auto result = scan.level(fd, directoryPath, idPrefix, 0);
    if (scan.stopped)
        return {{}, true, true};
    return result;
}

} // namespace

FileTreeScannerService::Result FileTreeScannerService::scan(const QUrl& rootURL, bool showsHiddenFiles,
                                                            std::stop_token stop, std::atomic<int>* foldersListed) const
{
    if (!rootURL.isLocalFile())
        return {};
    VisitedDirectories visited;
    const QString root = withoutTrailingSlash(rootURL.toLocalFile());
    return scanOpened(root, root, QString(), showsHiddenFiles, visited, true, std::move(stop), foldersListed);
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
    return scanOpened(directory, rootURL.toLocalFile(), idPrefix, showsHiddenFiles, visited, false);
}

} // namespace quillora
