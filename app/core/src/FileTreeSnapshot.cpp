#include "core/FileTreeNodeModel.h"

#include "FileTreeSnapshotData.h"

#include <QVarLengthArray>

#include <algorithm>
#include <cstring>

namespace quillora {

using Index = FileTreeSnapshot::Index;
using Data = FileTreeSnapshot::Data;

namespace {

// QUrl::fromLocalFile without its cost for the common case: decoded mode only escapes '%',
// which costs a search through every path.
QUrl fileURL(const QString& path)
{
    QUrl url;
    url.setScheme(QStringLiteral("file"));
    url.setPath(path, path.contains(u'%') ? QUrl::DecodedMode : QUrl::TolerantMode);
    return url;
}

using Bytes = QVarLengthArray<char, 512>;

// Appends the names from the top level down to `node`, joined with "/".
void appendChain(const Data& d, Index node, Bytes& out)
{
    QVarLengthArray<Index, 32> chain;
    for (Index i = node; i != FileTreeSnapshot::listedFolder; i = d.records[i].parent)
        chain.append(i);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (it != chain.rbegin())
            out.append('/');
        const QByteArrayView name = d.name(d.records[*it]);
        out.append(name.data(), name.size());
    }
}

// `prefix` followed by the names down to `node`.
Bytes joined(const Data& d, const QByteArray& prefix, Index node)
{
    Bytes bytes;
    bytes.append(prefix.constData(), prefix.size());
    appendChain(d, node, bytes);
    return bytes;
}

QString toString(const Bytes& bytes)
{
    return QString::fromUtf8(bytes.constData(), bytes.size());
}

// What the ids and the paths of a folder's nodes begin with: the same for two folders exactly
// when their nodes with the same names have the same ids and paths.
std::pair<Bytes, Bytes> contexts(const Data& d, Index folder)
{
    if (folder == FileTreeSnapshot::listedFolder) {
        Bytes id;
        id.append(d.idPrefix.constData(), d.idPrefix.size());
        Bytes path;
        path.append(d.listedBase.constData(), d.listedBase.size());
        return {id, path};
    }
    Bytes id = joined(d, d.idPrefix, folder);
    id.append('/');
    Bytes path = joined(d, d.listedBase, folder);
    path.append('/');
    return {id, path};
}

bool sameBlocks(const Data& a, Index firstA, const Data& b, Index firstB, Index count)
{
    if (&a == &b && firstA == firstB)
        return true;
    for (Index k = 0; k < count; ++k) {
        const Data::Record& ra = a.records[firstA + k];
        const Data::Record& rb = b.records[firstB + k];
        if (ra.directory != rb.directory || ra.childCount != rb.childCount || a.name(ra) != b.name(rb))
            return false;
        if (ra.childCount > 0 && !sameBlocks(a, ra.firstChild, b, rb.firstChild, ra.childCount))
            return false;
    }
    return true;
}

} // namespace

// --- Builder ---------------------------------------------------------------------------------

FileTreeSnapshotBuilder::FileTreeSnapshotBuilder(QString listedBase, QString idPrefix)
    : d(std::make_shared<Data>())
{
    if (!listedBase.endsWith(u'/'))
        listedBase += u'/';
    d->listedBase = listedBase.toUtf8();
    if (!idPrefix.isEmpty())
        d->idPrefix = idPrefix.toUtf8() + '/';
}

quint32 FileTreeSnapshotBuilder::addName(const char* name, quint16 length)
{
    const auto offset = quint32(d->names.size());
    d->names.append(name, length);
    return offset;
}

FileTreeSnapshot FileTreeSnapshotBuilder::finish(Index first, Index count)
{
    d->top.firstChild = first;
    d->top.childCount = count;
    Data::Record* records = d->records.data();
    for (Index i = 0, end = recordCount(); i < end; ++i) {
        for (Index c = records[i].firstChild, last = c + records[i].childCount; c < last; ++c)
            records[c].parent = i;
    }
    d->records.squeeze();
    d->names.squeeze();
    return FileTreeSnapshot(std::move(d));
}

// --- Snapshot --------------------------------------------------------------------------------

FileTreeSnapshot::FileTreeSnapshot() = default;

FileTreeSnapshot::FileTreeSnapshot(std::shared_ptr<const Data> data)
    : d(std::move(data))
{
}

Index FileTreeSnapshot::firstChild(Index folder) const
{
    return d ? d->folder(folder).firstChild : 0;
}

Index FileTreeSnapshot::childCount(Index folder) const
{
    return d ? d->folder(folder).childCount : 0;
}

FileTreeNodeList FileTreeSnapshot::children(Index folder) const
{
    return {*this, folder};
}

Index FileTreeSnapshot::parent(Index node) const
{
    return d->records[node].parent;
}

FileTreeNodeType FileTreeSnapshot::type(Index node) const
{
    return d->records[node].directory ? FileTreeNodeType::directory : FileTreeNodeType::file;
}

QByteArrayView FileTreeSnapshot::utf8Name(Index node) const
{
    return d->name(d->records[node]);
}

QString FileTreeSnapshot::name(Index node) const
{
    return QString::fromUtf8(utf8Name(node));
}

QString FileTreeSnapshot::id(Index node) const
{
    return toString(joined(*d, d->idPrefix, node));
}

QString FileTreeSnapshot::localPath(Index node) const
{
    return toString(joined(*d, d->listedBase, node));
}

QUrl FileTreeSnapshot::url(Index node) const
{
    return fileURL(localPath(node));
}

std::optional<QString> FileTreeSnapshot::fileExtension(Index node) const
{
    if (isDirectory(node))
        return std::nullopt;
    return lowerCasedPathExtension(name(node));
}

FileTreeNodeModel FileTreeSnapshot::node(Index node) const
{
    FileTreeNodeModel model;
    model.id = id(node);
    model.url = url(node);
    model.name = name(node);
    model.type = type(node);
    if (model.type == FileTreeNodeType::directory)
        model.children = children(node);
    else
        model.fileExtension = lowerCasedPathExtension(model.name);
    return model;
}

std::optional<Index> FileTreeSnapshot::find(QStringView localPath, Index folder) const
{
    if (!d)
        return std::nullopt;
    const QByteArray path = localPath.toUtf8();
    const Bytes context = contexts(*d, folder).second;
    if (!path.startsWith(QByteArrayView(context.constData(), context.size())))
        return std::nullopt;
    QByteArrayView rest = QByteArrayView(path).sliced(context.size());
    for (Index current = folder;;) {
        const qsizetype slash = rest.indexOf('/');
        const QByteArrayView component = slash < 0 ? rest : rest.first(slash);
        if (component.isEmpty())
            return std::nullopt;
        const Data::Record& here = d->folder(current);
        const auto* first = d->records.constData() + here.firstChild;
        const auto* found = std::find_if(first, first + here.childCount,
                                         [&](const Data::Record& record) { return d->name(record) == component; });
        if (found == first + here.childCount)
            return std::nullopt;
        current = Index(found - d->records.constData());
        if (slash < 0)
            return current;
        rest = rest.sliced(slash + 1);
    }
}

FileTreeSnapshot FileTreeSnapshot::without(Index node) const
{
    auto copy = std::make_shared<Data>(*d);
    const Index folder = copy->records[node].parent;
    const Data::Record siblings = copy->folder(folder);
    const auto firstMoved = Index(copy->records.size());
    // The remaining siblings move to a new block at the end; the old one is no longer reachable.
    for (Index k = siblings.firstChild; k < siblings.firstChild + siblings.childCount; ++k) {
        if (k != node)
            copy->records.append(Data::Record(copy->records[k]));
    }
    Data::Record& folderRecord = folder == listedFolder ? copy->top : copy->records[folder];
    folderRecord.firstChild = firstMoved;
    folderRecord.childCount = siblings.childCount - 1;
    for (Index moved = firstMoved; moved < firstMoved + folderRecord.childCount; ++moved) {
        const Data::Record& record = copy->records[moved];
        for (Index c = record.firstChild; c < record.firstChild + record.childCount; ++c)
            copy->records[c].parent = moved;
    }
    return FileTreeSnapshot(std::move(copy));
}

bool FileTreeSnapshot::sameNodes(const FileTreeSnapshot& a, Index folderA, const FileTreeSnapshot& b, Index folderB)
{
    const Index count = a.childCount(folderA);
    if (count != b.childCount(folderB))
        return false;
    if (count == 0 || (a.d == b.d && folderA == folderB))
        return true;
    if (contexts(*a.d, folderA) != contexts(*b.d, folderB))
        return false;
    // Two scans of an unchanged folder are stored alike, byte for byte: comparing the buffers
    // is several times faster than walking the records.
    const Data& da = *a.d;
    const Data& db = *b.d;
    if (folderA == listedFolder && folderB == listedFolder && da.names == db.names && da.records.size() == db.records.size()
        && std::memcmp(&da.top, &db.top, sizeof da.top) == 0
        && std::memcmp(da.records.constData(), db.records.constData(), size_t(da.records.size()) * sizeof(Data::Record)) == 0)
        return true;
    return sameBlocks(*a.d, a.firstChild(folderA), *b.d, b.firstChild(folderB), count);
}

// --- Node lists ------------------------------------------------------------------------------

FileTreeNodeModel FileTreeNodeList::const_iterator::operator*() const
{
    return list_->at(index_);
}

FileTreeNodeModel FileTreeNodeList::const_iterator::operator[](difference_type n) const
{
    return list_->at(index_ + n);
}

FileTreeNodeList::FileTreeNodeList(QList<FileTreeNodeModel> nodes)
    : nodes_(std::move(nodes))
{
}

FileTreeNodeList::FileTreeNodeList(std::initializer_list<FileTreeNodeModel> nodes)
    : nodes_(nodes)
{
}

FileTreeNodeList::FileTreeNodeList(FileTreeSnapshot snapshot, FileTreeSnapshot::Index folder)
    : snapshot_(std::move(snapshot))
    , folder_(folder)
{
}

qsizetype FileTreeNodeList::size() const
{
    return snapshot_.isNull() ? nodes_.size() : snapshot_.childCount(folder_);
}

FileTreeNodeModel FileTreeNodeList::at(qsizetype i) const
{
    Q_ASSERT(i >= 0 && i < size());
    return snapshot_.isNull() ? nodes_.at(i) : snapshot_.node(snapshot_.firstChild(folder_) + Index(i));
}

FileTreeNodeModel FileTreeNodeList::operator[](qsizetype i) const
{
    return at(i);
}

FileTreeNodeModel FileTreeNodeList::first() const
{
    return at(0);
}

FileTreeNodeModel FileTreeNodeList::last() const
{
    return at(size() - 1);
}

std::optional<FileTreeNodeModel> FileTreeNodeList::find(QStringView localPath) const
{
    if (!snapshot_.isNull()) {
        if (const auto index = snapshot_.find(localPath, folder_))
            return snapshot_.node(*index);
        return std::nullopt;
    }
    for (const FileTreeNodeModel& node : nodes_) {
        if (node.url.toLocalFile() == localPath)
            return node;
        if (auto found = node.children.find(localPath))
            return found;
    }
    return std::nullopt;
}

std::optional<FileTreeNodeList> FileTreeNodeList::removingAll(QStringView localPath) const
{
    if (!snapshot_.isNull()) {
        // A path names at most one node of a scan.
        if (const auto index = snapshot_.find(localPath, folder_))
            return FileTreeNodeList(snapshot_.without(*index), folder_);
        return std::nullopt;
    }
    QList<FileTreeNodeModel> nodes = nodes_;
    bool removed = nodes.removeIf([&](const FileTreeNodeModel& node) { return node.url.toLocalFile() == localPath; }) > 0;
    for (FileTreeNodeModel& node : nodes) {
        if (auto children = node.children.removingAll(localPath)) {
            node.children = std::move(*children);
            removed = true;
        }
    }
    if (!removed)
        return std::nullopt;
    return FileTreeNodeList(std::move(nodes));
}

bool operator==(const FileTreeNodeList& a, const FileTreeNodeList& b)
{
    if (!a.snapshot_.isNull() && !b.snapshot_.isNull())
        return FileTreeSnapshot::sameNodes(a.snapshot_, a.folder_, b.snapshot_, b.folder_);
    if (a.snapshot_.isNull() && b.snapshot_.isNull())
        return a.nodes_ == b.nodes_;
    return std::ranges::equal(a, b);
}

} // namespace quillora
