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
}

FileTreeModel::~FileTreeModel() = default;

FileTreeModel::Item FileTreeModel::makeItem(FileTreeNodeModel node, const Item* parent, int row)
{
    QString path = node.url.toLocalFile();
    return Item{std::move(node), std::move(path), parent, row, nullptr};
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
        m_rootItems.push_back(makeItem(std::move(root), nullptr, row++));
    endResetModel();
}

const std::vector<FileTreeModel::Item>& FileTreeModel::childrenOf(const Item* item) const
{
    if (!item)
        return m_rootItems;
    if (item->children)
        return *item->children;
    auto children = std::make_unique<std::vector<Item>>();
    const FileTreeNodeModel& node = item->node;
    if (node.type == FileTreeNodeType::directory) {
        children->reserve(std::size_t(node.children.size()) + 1);
        int row = 0;
        for (FileTreeNodeModel child : node.children)
            children->push_back(makeItem(std::move(child), item, row++));
        // The vanished selected file goes back into its folder unless the folder still lists it.
        if (m_missingNode && parentPath(m_missingNode->id) == item->path
            && std::none_of(children->begin(), children->end(), [&](const Item& child) { return child.path == m_missingNode->id; })) {
            children->push_back(makeItem(*m_missingNode, item, row));
            std::stable_sort(children->begin(), children->end(), [this](const Item& a, const Item& b) {
                if (a.node.type != b.node.type)
                    return a.node.type == FileTreeNodeType::directory;
                return m_collator.compare(a.node.name, b.node.name) < 0;
            });
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

const FileTreeNodeModel* FileTreeModel::node(const QModelIndex& index) const
{
    const Item* found = item(index);
    return found ? &found->node : nullptr;
}

QString FileTreeModel::path(const QModelIndex& index) const
{
    const Item* found = item(index);
    return found ? found->path : QString();
}

QModelIndex FileTreeModel::indexForPath(const QString& path) const
{
    for (const Item& root : m_rootItems) {
        const QString& rootPath = root.path;
        if (path == rootPath)
            return createIndex(root.row, 0, &root);
        const QString prefix = rootPath.endsWith(u'/') ? rootPath : rootPath + u'/';
        if (!path.startsWith(prefix))
            continue;
        const Item* current = &root;
        for (const QStringView component : QStringView(path).sliced(prefix.size()).split(u'/')) {
            const auto& children = childrenOf(current);
            const auto found = std::find_if(children.begin(), children.end(),
                                            [&](const Item& child) { return child.node.name == component; });
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
    if (parentItem && parentItem->node.type != FileTreeNodeType::directory)
        return folders;
    for (const Item& child : childrenOf(parentItem))
        if (child.node.type == FileTreeNodeType::directory)
            folders.push_back(createIndex(child.row, 0, &child));
    return folders;
}

QModelIndex FileTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column != 0 || row < 0)
        return {};
    const Item* parentItem = item(parent);
    if (parentItem && parentItem->node.type != FileTreeNodeType::directory)
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
    if (parentItem && parentItem->node.type != FileTreeNodeType::directory)
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
    return parentItem->node.type == FileTreeNodeType::directory
        && (!parentItem->node.children.isEmpty() || !childrenOf(parentItem).empty());
}

bool FileTreeModel::isMissing(const QString& path) const
{
    return m_missingFile && m_missingFile->id == path;
}

QVariant FileTreeModel::data(const QModelIndex& index, int role) const
{
    const Item* row = item(index);
    if (!row)
        return {};
    const FileTreeNodeModel* found = &row->node;
    const bool isDirectory = found->type == FileTreeNodeType::directory;
    const bool missing = !isDirectory && isMissing(row->path);
    switch (role) {
    case Qt::DisplayRole:
        return found->name;
    case Qt::DecorationRole:
        if (!m_iconProvider)
            return {};
        return m_iconProvider(isDirectory ? QStringLiteral("folder.fill") : fileIconName(found->fileExtension),
                              missing);
    case Qt::ForegroundRole:
        if (missing)
            return m_missingColor;
        return {};
    case PathRole:
        return row->path;
    case IsDirectoryRole:
        return isDirectory;
    case IsMissingRole:
        return missing;
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
