#include "core/AppViewModel.h"

#include "core/AppLogger.h"
#include "core/DefaultsKeys.h"

#include <platform/FileKind.h>
#include <platform/FreedMemory.h>
#include <platform/SecurityScopedResources.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QThreadPool>


namespace quillora {
namespace {

const AppLogger& logger()
{
    static const AppLogger shared(QStringLiteral("AppViewModel"));
    return shared;
}

QString lastComponent(const QString& path)
{
    return QFileInfo(path).fileName();
}

// "/p/docs/" and "/p/./docs" name the folder "/p/docs"; names and path comparisons need that form.
QUrl cleaned(const QUrl& url)
{
    return QUrl::fromLocalFile(QDir::cleanPath(url.toLocalFile()));
}

QUrl containingFolder(const QUrl& url)
{
    return QUrl::fromLocalFile(QFileInfo(url.toLocalFile()).path());
}

bool startAccessing(const QUrl& url)
{
    return platform::SecurityScopedResources::shared()->startAccessing(url.toLocalFile());
}

void stopAccessing(QUrl& scopedURL)
{
    if (!scopedURL.isEmpty())
        platform::SecurityScopedResources::shared()->stopAccessing(scopedURL.toLocalFile());
    scopedURL.clear();
}

} // namespace

AppViewModel::AppViewModel(AppViewModelServices services, QObject* parent)
    : QObject(parent)
    , services_(std::move(services))
    , directoryStore_(services_.defaults)
    , fileStore_(services_.defaults)
    , settingsStore_(services_.defaults)
    , expansionStore_({}, QString::fromLatin1(defaults_keys::expandedPaths), services_.defaults)
{
    expansionStore_.load();
    showsTerminal_ = settingsStore_.showTerminal();
    showsHiddenFilesInTree_ = settingsStore_.showHiddenFilesInTree();

    debounceTimer_.setSingleShot(true);
    debounceTimer_.setTimerType(Qt::PreciseTimer); // a coarse timer may fire 5% early
    debounceTimer_.setInterval(scanDebounceMilliseconds);
    connect(&debounceTimer_, &QTimer::timeout, this, &AppViewModel::startScanTask);

    restoreLastSelection();
}

AppViewModel::~AppViewModel()
{
    debounceTimer_.stop();
    ++scanGeneration_;
    scanStop_.request_stop();
    stopAccessing(securityScopedFileURL_);
    stopAccessing(securityScopedFolderURL_);
}

std::optional<QString> AppViewModel::selectedFolderName() const
{
    if (selectedFolderURL_.isEmpty())
        return std::nullopt;
    return lastComponent(selectedFolderURL_.toLocalFile());
}

std::optional<QString> AppViewModel::selectedNodeID() const
{
    if (selectedFile_)
        return selectedFile_->id;
    if (!selectedDirectoryURL_.isEmpty())
        return selectedDirectoryURL_.toLocalFile();
    return std::nullopt;
}

// --- Restore -------------------------------------------------------------------------------

void AppViewModel::restoreLastSelection()
{
    const auto folder = directoryStore_.load();
    if (!folder) {
        if (const auto file = fileStore_.load())
            openFile(*file);
        return;
    }
    activateFolderScope(*folder);
    setSelectedFolderURL(*folder);
    expandFolder(folder->toLocalFile());
    restoreLastFile(*folder);
    scheduleRescan(false);
    startWatching(*folder);
}

void AppViewModel::restoreLastFile(const QUrl& folder)
{
    const auto file = fileStore_.load();
    if (!file
        || QDir::cleanPath(containingFolder(*file).toLocalFile()) != QDir::cleanPath(folder.toLocalFile())) {
        setSelectedDirectoryURL(folder);
        setSelectedFile(std::nullopt);
        refreshFileAvailability(std::nullopt);
        return;
    }
    activateFileScope(*file);
    setSelectedDirectoryURL(QUrl());
    const auto document = FileDocumentModel::fromURL(*file);
    setSelectedFile(document);
    refreshFileAvailability(document);
}

// --- Security scopes -----------------------------------------------------------------------

void AppViewModel::activateFolderScope(const QUrl& url)
{
    stopAccessing(securityScopedFolderURL_);
    if (startAccessing(url)) {
        securityScopedFolderURL_ = url;
        setSecurityScopeErrorMessage(std::nullopt);
        return;
    }
    setSecurityScopeErrorMessage(QStringLiteral("Failed to activate folder access scope: ") + url.toLocalFile());
    logger().error(QStringLiteral("Failed to activate folder security scope: ") + url.toLocalFile());
}

void AppViewModel::activateFileScope(const QUrl& url)
{
    stopAccessing(securityScopedFileURL_);
    if (startAccessing(url)) {
        securityScopedFileURL_ = url;
        setSecurityScopeErrorMessage(std::nullopt);
        return;
    }
    setSecurityScopeErrorMessage(QStringLiteral("Failed to activate file access scope: ") + url.toLocalFile());
    logger().error(QStringLiteral("Failed to activate file security scope: ") + url.toLocalFile());
}

void AppViewModel::refreshFileAvailability(const std::optional<FileDocumentModel>& file)
{
    if (file && platform::fileKind(file->url.toLocalFile()) == platform::FileKind::Missing) {
        setFileAvailability(FileAvailability::missing);
        setMissingSelectedFile(file);
        return;
    }
    setFileAvailability(FileAvailability::available);
    setMissingSelectedFile(std::nullopt);
}

void AppViewModel::clearSelection()
{
    setSelectedDirectoryURL(QUrl());
    setSelectedFile(std::nullopt);
    refreshFileAvailability(std::nullopt);
}

void AppViewModel::setShowsTerminal(bool value)
{
    if (value == showsTerminal_)
        return;
    showsTerminal_ = value;
    emit showsTerminalChanged();
}

void AppViewModel::clearDeleteError()
{
    if (!deleteError_)
        return;
    deleteError_.reset();
    emit deleteErrorChanged();
}

// --- Scanning and watching -----------------------------------------------------------------

void AppViewModel::startScanTask()
{
    const auto generation = ++scanGeneration_;
    scanStop_.request_stop();
    if (selectedFolderURL_.isEmpty()) {
        setFileTreeNodes({});
        setScanError(std::nullopt);
        clearSelection();
        return;
    }
    const QUrl folder = selectedFolderURL_;
    const bool showsHidden = showsHiddenFilesInTree_;
    auto listFolder = services_.listFolder;
    scanStop_ = std::stop_source();

    ++runningScans_;
    // The result hops to the main thread through the application object, which outlives every
    // scan (it waits for the thread pool before it goes). A hop aimed at the model itself could
    // be queued after the model is destroyed and then be delivered to freed memory.
    QThreadPool::globalInstance()->start([listFolder, folder, showsHidden, stop = scanStop_.get_token(),
                                          self = QPointer<AppViewModel>(this), generation] {
        FileTreeScannerService::Result listing = listFolder(folder, showsHidden, stop);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, generation, folder, listing = std::move(listing)]() mutable {
                if (self)
                    self->finishScan(generation, folder, std::move(listing));
            },
            Qt::QueuedConnection);
    });
}

void AppViewModel::finishScan(std::uint64_t generation, const QUrl& folder, FileTreeScannerService::Result listing)
{
    --runningScans_;
    // One snapshot of the tree is let go of in this turn, the new one or the one it replaces:
    // made on a thread of the pool, a large one leaves much free memory in that thread's heap.
    platform::giveFreedMemoryBackSoon();
    const QString folderPath = folder.toLocalFile();
    // A cancelled scan, or one of a folder that is no longer the project, publishes nothing.
    if (generation != scanGeneration_ || selectedFolderURL_.toLocalFile() != folderPath)
        return;
    if (listing.cancelled)
        return; // cut short: its empty list is not the folder's contents
    if (listing.allReadable || !listing.nodes.isEmpty()) {
        FileTreeNodeModel root;
        root.id = folderPath;
        root.url = folder;
        root.name = lastComponent(folderPath);
        root.type = FileTreeNodeType::directory;
        root.children = std::move(listing.nodes);
        setFileTreeNodes({std::move(root)});
        expandFolder(folderPath);
    } else {
        setFileTreeNodes({});
    }
    setScanError(listing.allReadable ? std::nullopt : std::optional(ScanError::accessDenied));
    if (!scanError_)
        revalidateSelection();
    emit scanFinished();
}

void AppViewModel::scheduleRescan(bool debounced)
{
    if (debounced) {
        debounceTimer_.start();
        return;
    }
    debounceTimer_.stop();
    startScanTask();
}

void AppViewModel::directoryDidChange()
{
    scheduleRescan(true);
}

void AppViewModel::startWatching(const QUrl& folder)
{
    QPointer<AppViewModel> self(this);
    services_.watchFolder(folder, [self] {
        if (self)
            self->directoryDidChange();
    });
}

void AppViewModel::setShowsHiddenFilesInTree(bool value)
{
    if (value == showsHiddenFilesInTree_)
        return;
    showsHiddenFilesInTree_ = value;
    settingsStore_.setShowHiddenFilesInTree(value);
    emit showsHiddenFilesInTreeChanged();
    scheduleRescan(false);
}

void AppViewModel::revalidateSelection()
{
    if (selectedFile_) {
        refreshFileAvailability(selectedFile_);
        return;
    }
    if (selectedDirectoryURL_.isEmpty())
        return;
    const QString path = selectedDirectoryURL_.toLocalFile();
    if (const auto node = fileTreeNodes_.find(path); node && node->type == FileTreeNodeType::directory)
        return;
    if (!selectedFolderURL_.isEmpty() && selectedFolderURL_.toLocalFile() == path)
        return;
    setSelectedDirectoryURL(QUrl());
}

void AppViewModel::expandFolder(const QString& path)
{
    // Every finished scan lands here on the main thread, where a write of the defaults file
    // (synced to the disk) would stall the window; an open folder needs none.
    if (expansionStore_.expandedPaths().contains(path))
        return;
    expansionStore_.setExpandedPaths(expansionStore_.expandedPaths() + QSet<QString>{path});
    expansionStore_.save();
}

// --- Opening, selecting, dropping, deleting ------------------------------------------------

void AppViewModel::openFolder(const QUrl& url, bool resetsFileSelection)
{
    activateFolderScope(url);
    setSelectedFolderURL(url);
    directoryStore_.save(url);
    expandFolder(url.toLocalFile());
    if (resetsFileSelection) {
        stopAccessing(securityScopedFileURL_);
        setSelectedFile(std::nullopt);
        refreshFileAvailability(std::nullopt);
        setSelectedDirectoryURL(url);
    }
    scheduleRescan(false);
    startWatching(url);
}

void AppViewModel::openFile(const QUrl& url)
{
    activateFileScope(url);
    const auto document = FileDocumentModel::fromURL(url);
    openFolder(containingFolder(url), false);
    setSelectedDirectoryURL(QUrl());
    setSelectedFile(document);
    refreshFileAvailability(document);
    fileStore_.save(url);
}

void AppViewModel::presentDirectoryPicker()
{
    QPointer<AppViewModel> self(this);
    services_.pickDirectory([self](std::optional<QUrl> url) {
        if (self)
            self->openFolderCompletion(url);
    });
}

void AppViewModel::openFolderCompletion(const std::optional<QUrl>& url)
{
    if (!url)
        return;
    // Opened from the event loop, so that the dialog has closed before the folder opens.
    QMetaObject::invokeMethod(
        this,
        [this, url = *url] {
            if (url.isLocalFile())
                openFolder(cleaned(url), true);
        },
        Qt::QueuedConnection);
}

void AppViewModel::handleDroppedURL(const QUrl& url)
{
    if (!url.isLocalFile())
        return;
    // Links are followed; a FIFO, socket or device is ignored like a missing path, since
    // reading one could block.
    switch (platform::fileKind(url.toLocalFile())) {
    case platform::FileKind::Directory:
        openFolder(cleaned(url), true);
        return;
    case platform::FileKind::RegularFile:
        openFile(cleaned(url));
        return;
    case platform::FileKind::Missing:
    case platform::FileKind::Other:
        return;
    }
}

void AppViewModel::selectNode(const std::optional<QString>& identifier)
{
    std::optional<QString> previousMissing;
    if (missingSelectedFile_)
        previousMissing = missingSelectedFile_->id;

    if (!identifier) {
        clearSelection();
        pruneMissingNode(previousMissing);
        return;
    }
    if (missingSelectedFile_ && missingSelectedFile_->id == *identifier) {
        const auto file = *missingSelectedFile_;
        setSelectedDirectoryURL(QUrl());
        setSelectedFile(file);
        refreshFileAvailability(file);
        return;
    }
    const auto found = fileTreeNodes_.find(*identifier);
    if (!found) {
        clearSelection();
        return;
    }
    const FileTreeNodeModel& node = *found;
    if (node.type == FileTreeNodeType::directory) {
        stopAccessing(securityScopedFileURL_);
        setSelectedDirectoryURL(node.url);
        setSelectedFile(std::nullopt);
        refreshFileAvailability(std::nullopt);
    } else {
        activateFileScope(node.url);
        setSelectedDirectoryURL(QUrl());
        auto document = FileDocumentModel::fromURL(node.url);
        document.name = node.name;
        setSelectedFile(document);
        refreshFileAvailability(document);
        fileStore_.save(node.url);
    }
    pruneMissingNode(previousMissing);
}

void AppViewModel::pruneMissingNode(const std::optional<QString>& identifier)
{
    if (!identifier || (selectedFile_ && selectedFile_->id == *identifier))
        return;
    if (auto nodes = fileTreeNodes_.removingAll(*identifier))
        setFileTreeNodes(std::move(*nodes));
}

void AppViewModel::deleteFile(const FileDocumentModel& file)
{
    // Only a regular file is trashed: a path that has become a folder (or a FIFO, ...) counts as
    // missing, so nothing but what the user confirmed can go to the Trash.
    if (platform::fileKind(file.url.toLocalFile()) != platform::FileKind::RegularFile) {
        deleteError_ = FileDeletionError::fileMissing();
        emit deleteErrorChanged();
        scheduleRescan(false);
        return;
    }
    if (const auto error = services_.moveToTrash(file.url)) {
        deleteError_ = FileDeletionError::classify(*error);
        emit deleteErrorChanged();
        return;
    }
    if (selectedFile_ == file) {
        setSelectedFile(std::nullopt);
        refreshFileAvailability(std::nullopt);
    }
    if (missingSelectedFile_ == file)
        setMissingSelectedFile(std::nullopt);
    fileStore_.clear(file);
    scheduleRescan(false);
}

// --- Observable state ----------------------------------------------------------------------

void AppViewModel::setSelectedFolderURL(const QUrl& url)
{
    if (url == selectedFolderURL_)
        return;
    selectedFolderURL_ = url;
    emit selectedFolderURLChanged();
}

void AppViewModel::setSelectedFile(const std::optional<FileDocumentModel>& file)
{
    if (file == selectedFile_)
        return;
    selectedFile_ = file;
    emit selectedFileChanged();
}

void AppViewModel::setSelectedDirectoryURL(const QUrl& url)
{
    if (url == selectedDirectoryURL_)
        return;
    selectedDirectoryURL_ = url;
    emit selectedDirectoryURLChanged();
}

void AppViewModel::setFileAvailability(FileAvailability availability)
{
    if (availability == fileAvailability_)
        return;
    fileAvailability_ = availability;
    emit fileAvailabilityChanged();
}

void AppViewModel::setMissingSelectedFile(const std::optional<FileDocumentModel>& file)
{
    if (file == missingSelectedFile_)
        return;
    missingSelectedFile_ = file;
    emit missingSelectedFileChanged();
}

void AppViewModel::setFileTreeNodes(FileTreeNodeList nodes)
{
    if (nodes == fileTreeNodes_)
        return;
    fileTreeNodes_ = std::move(nodes);
    emit fileTreeNodesChanged();
}

void AppViewModel::setScanError(std::optional<ScanError> error)
{
    if (error == scanError_)
        return;
    scanError_ = error;
    emit scanErrorChanged();
}

void AppViewModel::setSecurityScopeErrorMessage(const std::optional<QString>& message)
{
    if (message == securityScopeErrorMessage_)
        return;
    securityScopeErrorMessage_ = message;
    emit securityScopeErrorMessageChanged();
}

} // namespace quillora
