#pragma once

#include "core/FileDocumentModel.h"
#include "core/FileTreeNodeModel.h"

#include <QAbstractItemModel>
#include <QCollator>
#include <QColor>
#include <QIcon>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace quillora {

// The symbol of a file row, by the file's (lower-cased) extension; "doc" for any other.
QString fileIconName(const std::optional<QString>& fileExtension);

// The sidebar's tree over one scan snapshot.
//
// How it holds the snapshot: the root list is the view model's own FileTreeNodeList, assigned
// (it shares the scan's storage, so nothing is copied). The model keeps one small item per node
// whose folder rows the view has asked for, made when they are first needed: a row of a scanned
// folder is the node's index in the scan's FileTreeSnapshot, read from there when it is drawn, so
// opening a folder of 100,000 files makes no string; only the roots and nodes made by hand are
// held as values. A selected file that has vanished from disk is put back into its folder's
// rows, in the scanner's order, as a node of its own. A new snapshot resets the model; the view
// restores what was open (by path).
//
// A row is told apart by the absolute path of its node's URL: that is what selection and the
// open folders are keyed by.
class FileTreeModel : public QAbstractItemModel {
    Q_OBJECT

public:
    enum Role { PathRole = Qt::UserRole + 1, IsDirectoryRole, IsMissingRole };

    // The icon of a symbol for a row; `missing` rows are drawn in red.
    using IconProvider = std::function<QIcon(const QString& symbol, bool missing)>;

    explicit FileTreeModel(QObject* parent = nullptr);
    ~FileTreeModel() override;

    void setSnapshot(const FileTreeNodeList& roots, const std::optional<FileDocumentModel>& missingFile);
    const FileTreeNodeList& roots() const { return m_roots; }
    void setIconProvider(IconProvider provider) { m_iconProvider = std::move(provider); }
    // The text colour of the missing file's row.
    void setMissingColor(const QColor& color) { m_missingColor = color; }

    // The node of a row.
    std::optional<FileTreeNodeModel> node(const QModelIndex& index) const;
    QString path(const QModelIndex& index) const;
    // The row of an absolute path, or an invalid index.
    QModelIndex indexForPath(const QString& path) const;
    // The rows of the folders below `parent` (one level).
    std::vector<QModelIndex> childFolders(const QModelIndex& parent) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    // A row: a node of a scan's snapshot, by index, or a node of its own (a root, the missing
    // file, a node made by hand).
    struct Item {
        const FileTreeSnapshot* snapshot = nullptr; // with `index`, when the row is a scanned node
        FileTreeSnapshot::Index index = 0;
        std::unique_ptr<const FileTreeNodeModel> own; // else
        const Item* parent = nullptr;
        int row = 0;
        mutable std::unique_ptr<std::vector<Item>> children; // made on first use

        bool isDirectory() const;
        QString name() const;
        bool hasName(QStringView name, QByteArrayView utf8) const;
        QString path() const;
        qsizetype childCount() const;
    };
    static Item ownItem(FileTreeNodeModel node, const Item* parent, int row);
    const std::vector<Item>& childrenOf(const Item* item) const;
    const Item* item(const QModelIndex& index) const;
    bool isMissing(const Item& row) const;

    FileTreeNodeList m_roots;
    std::optional<FileDocumentModel> m_missingFile;
    std::optional<FileTreeNodeModel> m_missingNode; // what stands for the missing file in its folder
    mutable std::vector<Item> m_rootItems;
    mutable QCollator m_collator;
    IconProvider m_iconProvider;
    QColor m_missingColor = Qt::red;
};

} // namespace quillora
