#include "window/FileTreeModel.h"

#include <QColor>

#include <algorithm>

namespace quillora {

QString fileIconName(const std::optional<QString>& fileExtension)
{
    if (!fileExtension)
        return QStringLiteral("doc");
    static const QHash<QString, QString> symbols = [] {
        // Extensions, then their symbol.
        const std::pair<const char*, const char*> table[] = {
            {"md markdown pdf", "doc.richtext"},
            {"swift", "swift"},
            {"json", "curlybraces"},
            {"txt", "doc.text"},
            {"png jpg jpeg gif svg webp", "photo"},
            {"yml yaml toml", "gearshape"},
            {"html htm", "globe"},
            {"css scss less", "paintbrush"},
            {"js ts jsx tsx", "curlybraces.square"},
            {"py rb go rs c cpp h m", "chevron.left.forwardslash.chevron.right"},
            {"sh zsh bash", "terminal"},
            {"zip tar gz", "doc.zipper"},
        };
        QHash<QString, QString> map;
        for (const auto& [extensions, symbol] : table)
            for (const QString& extension : QString::fromLatin1(extensions).split(u' '))
                map.insert(extension, QString::fromLatin1(symbol));
        return map;
    }();
    return symbols.value(*fileExtension, QStringLiteral("doc"));
}

namespace {

QString parentPath(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

} // namespace

FileTreeModel::FileTreeModel(QObject* parent)
    : QAbstractItemModel(parent)
{
    // The order the scanner gives folders, for the missing file's row.
    m_collator.setCaseSensitivity(Qt::CaseInsensitive);
}

FileTreeModel::~FileTreeModel() = default;

bool FileTreeModel::Item::isDirectory() const
{
    return own ? own->type == FileTreeNodeType::directory : snapshot->isDirectory(index);
}

QString FileTreeModel::Item::name() const
{
    return own ? own->name : snapshot->name(index);
}

bool FileTreeModel::Item::hasName(QStringView name, QByteArrayView utf8) const
{
    return own ? own->name == name : snapshot->utf8Name(index) == utf8;
}

QString FileTreeModel::Item::path() const
{
    return own ? own->url.toLocalFile() : snapshot->localPath(index);
}

qsizetype FileTreeModel::Item::childCount() const
{
    return own ? own->children.size() : snapshot->childCount(index);
}

FileTreeModel::Item FileTreeModel::ownItem(FileTreeNodeModel node, const Item* parent, int row)
{
    return Item{nullptr, 0, std::make_unique<const FileTreeNodeModel>(std::move(node)), parent, row, nullptr};
}

void FileTreeModel::setSnapshot(const FileTreeNodeList& roots, const std::optional<FileDocumentModel>& missingFile)
{
    beginResetModel();
    m_roots = roots;
    m_missingFile = missingFile;
    m_missingNode.reset();
    if (missingFile) {
        FileTreeNodeModel node;
        node.id = missingFile->id;
        node.url = missingFile->url;
        node.name = missingFile->name;
        node.type = FileTreeNodeType::file;
        node.fileExtension = lowerCasedPathExtension(missingFile->url.fileName());
        m_missingNode = std::move(node);
    }
    m_rootItems.clear();
    m_rootItems.reserve(std::size_t(m_roots.size()));
    int row = 0;
    for (FileTreeNodeModel root : m_roots)
        m_rootItems.push_back(ownItem(std::move(root), nullptr, row++));
    endResetModel();
}

const std::vector<FileTreeModel::Item>& FileTreeModel::childrenOf(const Item* item) const
{
    if (!item)
        return m_rootItems;
    if (item->children)
        return *item->children;
    auto children = std::make_unique<std::vector<Item>>();
    if (item->isDirectory()) {
        // The nodes of a scanned folder stay in their snapshot; nodes made by hand are copied.
        const FileTreeSnapshot* snapshot = item->own ? &item->own->children.snapshot() : item->snapshot;
        const auto folder = item->own ? item->own->children.snapshotFolder() : item->index;
        children->reserve(std::size_t(item->childCount()) + 1);
        int row = 0;
        if (!snapshot->isNull()) {
            const auto first = snapshot->firstChild(folder);
            for (auto node = first; node < first + snapshot->childCount(folder); ++node)
                children->push_back(Item{snapshot, node, nullptr, item, row++, nullptr});
        } else {
            for (FileTreeNodeModel child : item->own->children)
                children->push_back(ownItem(std::move(child), item, row++));
        }
        // The vanished selected file goes back into its folder unless the folder still lists it:
        // among the files, after those whose names do not sort after its own.
        if (m_missingNode && parentPath(m_missingNode->id) == item->path()
            && std::none_of(children->begin(), children->end(), [&, utf8 = m_missingNode->name.toUtf8()](const Item& child) {
                   return child.hasName(m_missingNode->name, utf8);
               })) {
            const auto files = std::find_if(children->begin(), children->end(), [](const Item& child) { return !child.isDirectory(); });
            const auto position = std::upper_bound(files, children->end(), m_missingNode->name,
                                                   [this](const QString& name, const Item& child) {
                                                       return m_collator.compare(name, child.name()) < 0;
                                                   });
            children->insert(position, ownItem(*m_missingNode, item, 0));
            row = 0;
            for (Item& child : *children)
                child.row = row++;
        }
    }
    item->children = std::move(children);
    return *item->children;
}

const FileTreeModel::Item* FileTreeModel::item(const QModelIndex& index) const
{
    return index.isValid() ? static_cast<const Item*>(index.internalPointer()) : nullptr;
}

std::optional<FileTreeNodeModel> FileTreeModel::node(const QModelIndex& index) const
{
    const Item* found = item(index);
    if (!found)
        return std::nullopt;
    return found->own ? *found->own : found->snapshot->node(found->index);
}

QString FileTreeModel::path(const QModelIndex& index) const
{
    const Item* found = item(index);
    return found ? found->path() : QString();
}

QModelIndex FileTreeModel::indexForPath(const QString& path) const
{
    for (const Item& root : m_rootItems) {
        const QString rootPath = root.path();
        if (path == rootPath)
            return createIndex(root.row, 0, &root);
        const QString prefix = rootPath.endsWith(u'/') ? rootPath : rootPath + u'/';
        if (!path.startsWith(prefix))
            continue;
        const Item* current = &root;
        for (const QStringView component : QStringView(path).sliced(prefix.size()).split(u'/')) {
            const auto& children = childrenOf(current);
            const QByteArray utf8 = component.toUtf8();
            const auto found = std::find_if(children.begin(), children.end(),
                                            [&](const Item& child) { return child.hasName(component, utf8); });
            if (found == children.end()) {
                current = nullptr;
                break;
            }
            current = &*found;
        }
        if (current)
            return createIndex(current->row, 0, current);
    }
    return {};
}

std::vector<QModelIndex> FileTreeModel::childFolders(const QModelIndex& parent) const
{
    std::vector<QModelIndex> folders;
    const Item* parentItem = item(parent);
    if (parentItem && !parentItem->isDirectory())
        return folders;
    for (const Item& child : childrenOf(parentItem))
        if (child.isDirectory())
            folders.push_back(createIndex(child.row, 0, &child));
    return folders;
}

QModelIndex FileTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column != 0 || row < 0)
        return {};
    const Item* parentItem = item(parent);
    if (parentItem && !parentItem->isDirectory())
        return {};
    const auto& children = childrenOf(parentItem);
    if (std::size_t(row) >= children.size())
        return {};
    return createIndex(row, 0, &children[std::size_t(row)]);
}

QModelIndex FileTreeModel::parent(const QModelIndex& child) const
{
    const Item* childItem = item(child);
    if (!childItem || !childItem->parent)
        return {};
    return createIndex(childItem->parent->row, 0, childItem->parent);
}

int FileTreeModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    const Item* parentItem = item(parent);
    if (parentItem && !parentItem->isDirectory())
        return 0;
    return int(childrenOf(parentItem).size());
}

int FileTreeModel::columnCount(const QModelIndex&) const
{
    return 1;
}

bool FileTreeModel::hasChildren(const QModelIndex& parent) const
{
    const Item* parentItem = item(parent);
    if (!parentItem)
        return !m_rootItems.empty();
    // Without building the rows: a folder whose only row would be the missing file still says
    // so once it is opened.
    return parentItem->isDirectory() && (parentItem->childCount() > 0 || !childrenOf(parentItem).empty());
}

bool FileTreeModel::isMissing(const Item& row) const
{
    return m_missingFile && !row.isDirectory() && m_missingFile->id == row.path();
}

QVariant FileTreeModel::data(const QModelIndex& index, int role) const
{
    const Item* row = item(index);
    if (!row)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return row->name();
    case Qt::DecorationRole:
        if (!m_iconProvider)
            return {};
        if (row->isDirectory())
            return m_iconProvider(QStringLiteral("folder.fill"), false);
        return m_iconProvider(fileIconName(row->own ? row->own->fileExtension : row->snapshot->fileExtension(row->index)),
                              isMissing(*row));
    case Qt::ForegroundRole:
        if (isMissing(*row))
            return m_missingColor;
        return {};
    case PathRole:
        return row->path();
    case IsDirectoryRole:
        return row->isDirectory();
    case IsMissingRole:
        return isMissing(*row);
    default:
        return {};
    }
}

Qt::ItemFlags FileTreeModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

} // namespace quillora
