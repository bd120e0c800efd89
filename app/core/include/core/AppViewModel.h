#pragma once

#include "core/AppViewModelServices.h"
#include "core/FileDeletionService.h"
#include "core/FileDocumentModel.h"
#include "core/FileTreeExpansionStore.h"
#include "core/FileTreeScanResult.h"
#include "core/PersistentURLStore.h"
#include "core/SettingsStore.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <cstdint>
#include <optional>
#include <stop_token>

namespace quillora {

// The one model of the window: the project folder, the selection in the file tree, the scanned
// tree, the availability of the selected file and the errors the window shows. Main thread only.
// An absent URL is an empty QUrl.
class AppViewModel : public QObject {
    Q_OBJECT

public:
    explicit AppViewModel(AppViewModelServices services, QObject* parent = nullptr);
    ~AppViewModel() override;

    static constexpr int scanDebounceMilliseconds = 150;

    QUrl selectedFolderURL() const { return selectedFolderURL_; }
    bool showsTerminal() const { return showsTerminal_; }
    bool showsHiddenFilesInTree() const { return showsHiddenFilesInTree_; }
    const std::optional<FileDocumentModel>& selectedFile() const { return selectedFile_; }
    QUrl selectedDirectoryURL() const { return selectedDirectoryURL_; }
    FileAvailability fileAvailability() const { return fileAvailability_; }
    const std::optional<FileDocumentModel>& missingSelectedFile() const { return missingSelectedFile_; }
    const FileTreeNodeList& fileTreeNodes() const { return fileTreeNodes_; }
    std::optional<ScanError> scanError() const { return scanError_; }
    const std::optional<FileDeletionError>& deleteError() const { return deleteError_; }
    std::optional<QString> securityScopeErrorMessage() const { return securityScopeErrorMessage_; }

    FileTreeExpansionStore& expansionStore() { return expansionStore_; }
    SettingsStore& settingsStore() { return settingsStore_; }

    // The window's terminal toggle sets this and stores the choice itself through settingsStore().
    void setShowsTerminal(bool value);
    // The window clears the deletion error when its alert is dismissed.
    void clearDeleteError();

    // Derived values for the sidebar.
    std::optional<QString> selectedFolderName() const;
    std::optional<QString> selectedNodeID() const;

    // Opening, selecting, dropping, deleting.
    void openFolder(const QUrl& url, bool resetsFileSelection);
    void openFile(const QUrl& url);
    void presentDirectoryPicker();
    void openFolderCompletion(const std::optional<QUrl>& url);
    void handleDroppedURL(const QUrl& url);
    void selectNode(const std::optional<QString>& identifier);
    void deleteFile(const FileDocumentModel& file);

    // Scanning and watching.
    void startScanTask();
    void scheduleRescan(bool debounced);
    void directoryDidChange();
    void setShowsHiddenFilesInTree(bool value);
    void revalidateSelection();

    // Shared operations.
    void activateFileScope(const QUrl& url);
    void activateFolderScope(const QUrl& url);
    void refreshFileAvailability(const std::optional<FileDocumentModel>& file);
    void clearSelection();

    // Whether a scan is listing right now (its result may still be dropped).
    bool isScanning() const { return runningScans_ > 0; }

signals:
    void selectedFolderURLChanged();
    void showsTerminalChanged();
    void showsHiddenFilesInTreeChanged();
    void selectedFileChanged();
    void selectedDirectoryURLChanged();
    void fileAvailabilityChanged();
    void missingSelectedFileChanged();
    void fileTreeNodesChanged();
    void scanErrorChanged();
    // Emitted for every failed deletion, also when the error equals the previous one.
    void deleteErrorChanged();
    void securityScopeErrorMessageChanged();
    // A finished scan published its tree (also when the tree came out unchanged).
    void scanFinished();

private:
    void restoreLastSelection();
    void restoreLastFile(const QUrl& folder);
    void finishScan(std::uint64_t generation, const QUrl& folder, FileTreeScannerService::Result listing);
    void startWatching(const QUrl& folder);
    void expandFolder(const QString& path);
    void pruneMissingNode(const std::optional<QString>& identifier);

    void setSelectedFolderURL(const QUrl& url);
    void setSelectedFile(const std::optional<FileDocumentModel>& file);
    void setSelectedDirectoryURL(const QUrl& url);
    void setFileAvailability(FileAvailability availability);
    void setMissingSelectedFile(const std::optional<FileDocumentModel>& file);
    void setFileTreeNodes(FileTreeNodeList nodes);
    void setScanError(std::optional<ScanError> error);
    void setSecurityScopeErrorMessage(const std::optional<QString>& message);

    AppViewModelServices services_;
    DirectoryStore directoryStore_;
    FileStore fileStore_;
    SettingsStore settingsStore_;
    FileTreeExpansionStore expansionStore_;

    QUrl selectedFolderURL_;
    bool showsTerminal_ = true;
    bool showsHiddenFilesInTree_ = false;
    std::optional<FileDocumentModel> selectedFile_;
    QUrl selectedDirectoryURL_;
    FileAvailability fileAvailability_ = FileAvailability::available;
    std::optional<FileDocumentModel> missingSelectedFile_;
    FileTreeNodeList fileTreeNodes_;
    std::optional<ScanError> scanError_;
    std::optional<FileDeletionError> deleteError_;
    std::optional<QString> securityScopeErrorMessage_;

    QUrl securityScopedFileURL_;
    QUrl securityScopedFolderURL_;

    // Every started scan takes the next generation; a result whose generation is no longer the
    // current one belongs to a cancelled scan and is dropped.
    std::uint64_t scanGeneration_ = 0;
    int runningScans_ = 0;
    // Stops the listing of the latest scan: a scan that can no longer publish frees its thread
    // after the folder it is listing, and quitting does not wait for a whole tree.
    std::stop_source scanStop_;
    // Single shot, restarted by every change event: a burst yields one scan after its last event.
    QTimer debounceTimer_;
};

} // namespace quillora
