#pragma once

#include "core/FileDocumentModel.h"
#include "core/FileTreeNodeModel.h"
#include "core/FileTreeScanResult.h"

#include <QPointer>
#include <QWidget>

#include <optional>

#include <QMessageBox>
class QStackedLayout;
class QTreeView;

class QLabel;

namespace quillora {

class ContentUnavailableView;
class ElidedLabel;
class FileTreeExpansionStore;
class FileTreeModel;

// The project as a selectable tree, or what stands in its place: "Project access denied" with
// an "Open Project" button when the scan found nothing it could read, "No project files found"
// when it found nothing. Above the tree: a warning when some folders could not be read, and
// the selected file that has vanished from disk. Folders open and close through the expansion
// store, which remembers them by path; only the user's toggles are written to it. A new
// snapshot keeps the selection, the open folders and the scroll position. File rows offer
// "Delete", which asks before anything goes to the Trash.
class FileTreeView : public QWidget {
    Q_OBJECT
public:
    explicit FileTreeView(FileTreeExpansionStore& expansionStore, QWidget* parent = nullptr);
    ~FileTreeView() override;

    void setContent(const FileTreeNodeList& rootNodes, const std::optional<FileDocumentModel>& missingSelectedFile,
                    std::optional<ScanError> scanError);
    // Selects the row of the path (none: no row) without reporting it back.
    void setSelectedNodeID(const std::optional<QString>& identifier);
    std::optional<QString> selectedNodeID() const { return m_selectedNodeID; }

    QTreeView* treeView() const { return m_tree; }
    FileTreeModel* model() const { return m_model; }
    // What is shown: "access denied", "empty" or "tree".
    QString state() const;
    bool showsWarning() const;
    // The "Missing File" row's text, when shown.
    std::optional<QString> missingFileRow() const;
    // Asks to confirm moving the file to the Trash (what the row's "Delete" does).
    void requestDeletion(const FileDocumentModel& file);
    const std::optional<FileDocumentModel>& pendingDeletion() const { return m_pendingDeletion; }
    QMessageBox* deletionAlert() const { return m_deletionAlert; }

signals:
    // The user selected a row (or cleared the selection).
    void selectedNodeIDChanged(const std::optional<QString>& identifier);
    void deleteRequested(const FileDocumentModel& file);
    void openProjectRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void restoreExpansion(const QModelIndex& parent);
    void showContextMenu(const QPoint& position);
    void userSelected();
    void tint();

    FileTreeExpansionStore& m_store;
    FileTreeModel* m_model;
    QStackedLayout* m_pages;
    ContentUnavailableView* m_accessDenied;
    ContentUnavailableView* m_empty;
    QWidget* m_treePage;
    QWidget* m_warning;
    QWidget* m_missing;
    ElidedLabel* m_missingName;
    QLabel* m_missingIcon;
    QLabel* m_warningIcon;
    QTreeView* m_tree;
    std::optional<QString> m_selectedNodeID;
    std::optional<FileDocumentModel> m_pendingDeletion;
    QPointer<QMessageBox> m_deletionAlert;
    // Set while the view opens folders or selects rows itself, so that nothing is written back.
    bool m_restoring = false;
};

} // namespace quillora
