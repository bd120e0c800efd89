#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <QUrl>
#include <QtGlobal>

#include <memory>
#include <optional>

namespace quillora {

enum class FileTreeNodeType { file, directory };

struct FileTreeNodeModel;
class FileTreeNodeList;

// A scanned tree stored compactly: one small record per node and the UTF-8 bytes of its name,
// in buffers that every copy shares. A node is a record index; the nodes of one folder are
// consecutive records in display order. Identifiers, paths and URLs are derived from the names
// on the way up, so a node stores no string but its name. Immutable, so any thread may read it.
// Indices handed in must be those of nodes of this snapshot.
class FileTreeSnapshot {
public:
    using Index = quint32;
    // Stands for the listed folder itself: the parent of the top-level nodes.
    static constexpr Index listedFolder = 0xffffffffu;

    FileTreeSnapshot(); // holds no node

    // The nodes of a folder (`listedFolder` for the top level): the first one's index and how many.
    Index firstChild(Index folder) const;
    Index childCount(Index folder) const;
    FileTreeNodeList children(Index folder) const;
    // `listedFolder` for a top-level node.
    Index parent(Index node) const;
    // The position of the node among the nodes of its folder.
    Index row(Index node) const { return node - firstChild(parent(node)); }

    FileTreeNodeType type(Index node) const;
    bool isDirectory(Index node) const { return type(node) == FileTreeNodeType::directory; }
    QByteArrayView utf8Name(Index node) const;
    QString name(Index node) const;
    QString id(Index node) const;
    QString localPath(Index node) const; // the path of url(node)
    QUrl url(Index node) const;
    std::optional<QString> fileExtension(Index node) const;
    // The node as a value, its children still in this snapshot.
    FileTreeNodeModel node(Index node) const;

    // The node at or below `folder` whose URL has this local path; nullopt when there is none.
    // Walks down the path's components, so it costs no more than the path is deep.
    std::optional<Index> find(QStringView localPath, Index folder = listedFolder) const;

    // A copy without `node` and everything below it, in which every other node keeps its index.
    FileTreeSnapshot without(Index node) const;

    bool isNull() const { return !d; }
    bool sharesStorageWith(const FileTreeSnapshot& other) const { return d == other.d; }

    // Whether the nodes of `folderA` in `a` equal, value for value, the nodes of `folderB` in `b`.
    static bool sameNodes(const FileTreeSnapshot& a, Index folderA, const FileTreeSnapshot& b, Index folderB);

    struct Data;

private:
    friend class FileTreeSnapshotBuilder;
    explicit FileTreeSnapshot(std::shared_ptr<const Data> data);

    std::shared_ptr<const Data> d;
};

} // namespace quillora
