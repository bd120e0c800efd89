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

void FileTreeModel::setSnapshot(const QList<FileTreeNodeModel>& roots, const std::optional<FileDocumentModel>& missingFile)
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
    for (const FileTreeNodeModel& root : std::as_const(m_roots))
        m_rootItems.push_back(Item{&root, nullptr, row++, nullptr});
    endResetModel();
}

const std::vector<FileTreeModel::Item>& FileTreeModel::childrenOf(const Item* item) const
{
    if (!item)
        return m_rootItems;
    if (item->children)
        return *item->children;
    const FileTreeNodeModel& node = *item->node;
    std::vector<const FileTreeNodeModel*> nodes;
    nodes.reserve(std::size_t(node.children.size()) + 1);
    for (const FileTreeNodeModel& child : std::as_const(node.children))
        nodes.push_back(&child);
    // The vanished selected file goes back into its folder unless the folder still lists it.
    if (m_missingNode && node.type == FileTreeNodeType::directory
        && parentPath(m_missingNode->url.toLocalFile()) == node.url.toLocalFile()
        && std::none_of(nodes.begin(), nodes.end(),
                        [&](const FileTreeNodeModel* child) { return child->url.toLocalFile() == m_missingNode->id; })) {
        nodes.push_back(&*m_missingNode);
        std::stable_sort(nodes.begin(), nodes.end(), [this](const FileTreeNodeModel* a, const FileTreeNodeModel* b) {
            if (a->type != b->type)
                return a->type == FileTreeNodeType::directory;
            return m_collator.compare(a->name, b->name) < 0;
        });
    }
    auto children = std::make_unique<std::vector<Item>>();
    children->reserve(nodes.size());
    int row = 0;
    for (const FileTreeNodeModel* child : nodes)
        children->push_back(Item{child, item, row++, nullptr});
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
    return found ? found->node : nullptr;
}

QString FileTreeModel::path(const QModelIndex& index) const
{
    const FileTreeNodeModel* found = node(index);
    return found ? found->url.toLocalFile() : QString();
}

QModelIndex FileTreeModel::indexForPath(const QString& path) const
{
    for (const Item& root : m_rootItems) {
        const QString rootPath = root.node->url.toLocalFile();
        if (path == rootPath)
            return createIndex(root.row, 0, &root);
        const QString prefix = rootPath.endsWith(u'/') ? rootPath : rootPath + u'/';
        if (!path.startsWith(prefix))
            continue;
        const Item* current = &root;
        for (const QStringView component : QStringView(path).sliced(prefix.size()).split(u'/')) {
            const auto& children = childrenOf(current);
            const auto found = std::find_if(children.begin(), children.end(),
                                            [&](const Item& child) { return child.node->name == component; });
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
    if (parentItem && parentItem->node->type != FileTreeNodeType::directory)
        return folders;
    for (const Item& child : childrenOf(parentItem))
        if (child.node->type == FileTreeNodeType::directory)
            folders.push_back(createIndex(child.row, 0, &child));
    return folders;
}

QModelIndex FileTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column != 0 || row < 0)
        return {};
    const Item* parentItem = item(parent);
    if (parentItem && parentItem->node->type != FileTreeNodeType::directory)
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
    if (parentItem && parentItem->node->type != FileTreeNodeType::directory)
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
    return parentItem->node->type == FileTreeNodeType::directory
        && (!parentItem->node->children.isEmpty() || !childrenOf(parentItem).empty());
}

bool FileTreeModel::isMissing(const FileTreeNodeModel& node) const
{
    return m_missingFile && m_missingFile->id == node.url.toLocalFile();
}

QVariant FileTreeModel::data(const QModelIndex& index, int role) const
{
    const FileTreeNodeModel* found = node(index);
    if (!found)
        return {};
    const bool isDirectory = found->type == FileTreeNodeType::directory;
    switch (role) {
    case Qt::DisplayRole:
        return found->name;
    case Qt::DecorationRole:
        if (!m_iconProvider)
            return {};
        return m_iconProvider(isDirectory ? QStringLiteral("folder.fill") : fileIconName(found->fileExtension),
                              !isDirectory && isMissing(*found));
    case Qt::ForegroundRole:
        if (!isDirectory && isMissing(*found))
            return m_missingColor;
        return {};
    case PathRole:
        return found->url.toLocalFile();
    case IsDirectoryRole:
        return isDirectory;
    case IsMissingRole:
        return !isDirectory && isMissing(*found);
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
