#include "window/FileTreeView.h"

#include "core/FileTreeExpansionStore.h"
#include "window/FileTreeModel.h"
#include "window/SymbolIcons.h"
#include "window/ViewParts.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QStackedLayout>
#include <QTreeView>
#include <QVBoxLayout>

namespace quillora {
namespace {

QLabel* sectionHeader(const QString& text)
{
    auto* header = plainLabel(text);
    QFont font = header->font();
    font.setBold(true);
    font.setPixelSize(11);
    header->setFont(font);
    header->setContentsMargins(8, 6, 8, 2);
    return header;
}

// A section above the tree: its header over one row of an icon and a text.
QWidget* section(const QString& header, QLabel* icon, QWidget* text)
{
    auto* box = new QWidget;
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(sectionHeader(header));
    auto* row = new QHBoxLayout;
    row->setContentsMargins(16, 2, 8, 4);
    row->setSpacing(6); // a nested layout takes its parent's spacing, which is none
    row->addWidget(icon);
    row->addWidget(text, 1);
    layout->addLayout(row);
    return box;
}

QString lastComponent(const QString& path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

} // namespace

FileTreeView::FileTreeView(FileTreeExpansionStore& expansionStore, QWidget* parent)
    : QWidget(parent)
    , m_store(expansionStore)
    , m_model(new FileTreeModel(this))
    , m_pages(new QStackedLayout)
    , m_accessDenied(new ContentUnavailableView(QStringLiteral("folder.badge.minus"), QStringLiteral("Project access denied")))
    , m_empty(new ContentUnavailableView(QStringLiteral("folder"), QStringLiteral("No project files found")))
    , m_treePage(new QWidget)
    , m_missingName(new ElidedLabel)
    , m_missingIcon(new QLabel)
    , m_warningIcon(new QLabel)
    , m_tree(new QTreeView)
{
    auto* openProject = new QPushButton(QStringLiteral("Open Project"));
    connect(openProject, &QPushButton::clicked, this, &FileTreeView::openProjectRequested);
    m_accessDenied->addWidget(openProject);

    auto* warningText = plainLabel(QStringLiteral("Some folders could not be scanned due to permissions."));
    warningText->setWordWrap(true);
    m_warning = section(QStringLiteral("Warning"), m_warningIcon, warningText);
    m_missing = section(QStringLiteral("Missing File"), m_missingIcon, m_missingName);

    m_tree->setModel(m_model);
    m_tree->setHeaderHidden(true);
    m_tree->setUniformRowHeights(true);
    m_tree->setTextElideMode(Qt::ElideMiddle);
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tree->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_tree->setFrameShape(QFrame::NoFrame);
    m_tree->setContextMenuPolicy(Qt::CustomContextMenu);
    m_tree->setAnimated(false);
    // A right click asks for a row's menu; it does not select (and so open) the row.
    m_tree->viewport()->installEventFilter(this);

    auto* treeLayout = new QVBoxLayout(m_treePage);
    treeLayout->setContentsMargins(0, 0, 0, 0);
    treeLayout->setSpacing(0);
    treeLayout->addWidget(m_warning);
    treeLayout->addWidget(m_missing);
    treeLayout->addWidget(m_tree, 1);

    m_pages->addWidget(m_accessDenied);
    m_pages->addWidget(m_empty);
    m_pages->addWidget(m_treePage);
    setLayout(m_pages);
    m_pages->setCurrentWidget(m_empty);
    m_warning->hide();
    m_missing->hide();

    m_model->setIconProvider([this](const QString& symbol, bool missing) {
        return symbolIcon(symbol, missing ? WindowColors::systemRed(palette()) : WindowColors::accent(palette()),
                          palette().color(QPalette::HighlightedText));
    });

    connect(m_tree, &QTreeView::expanded, this, [this](const QModelIndex& index) {
        if (m_restoring)
            return;
        m_restoring = true;
        m_store.setExpandedPaths(m_store.expandedPaths() + QSet<QString>{m_model->path(index)});
        m_store.save();
        restoreExpansion(index); // folders below that were open before come back open
        m_restoring = false;
    });
    connect(m_tree, &QTreeView::collapsed, this, [this](const QModelIndex& index) {
        if (m_restoring)
            return;
        m_restoring = true;
        QSet<QString> paths = m_store.expandedPaths();
        paths.remove(m_model->path(index));
        m_store.setExpandedPaths(paths);
        m_store.save();
        m_restoring = false;
    });
    // Folders opened elsewhere (the project folder, opened by the workspace) open here too.
    connect(&m_store, &FileTreeExpansionStore::expandedPathsChanged, this, [this] {
        if (m_restoring)
            return;
        m_restoring = true;
        restoreExpansion({});
        m_restoring = false;
    });
    connect(m_tree->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (!m_restoring)
            userSelected();
    });
    connect(m_tree, &QTreeView::customContextMenuRequested, this, &FileTreeView::showContextMenu);
    tint();
}

FileTreeView::~FileTreeView() = default;

QString FileTreeView::state() const
{
    if (m_pages->currentWidget() == m_accessDenied)
        return QStringLiteral("access denied");
    if (m_pages->currentWidget() == m_empty)
        return QStringLiteral("empty");
    return QStringLiteral("tree");
}

bool FileTreeView::showsWarning() const
{
    return !m_warning->isHidden();
}

std::optional<QString> FileTreeView::missingFileRow() const
{
    if (m_missing->isHidden())
        return std::nullopt;
    return m_missingName->text();
}

void FileTreeView::setContent(const FileTreeNodeList& rootNodes,
                              const std::optional<FileDocumentModel>& missingSelectedFile,
                              std::optional<ScanError> scanError)
{
    if (scanError && rootNodes.isEmpty() && !missingSelectedFile)
        m_pages->setCurrentWidget(m_accessDenied);
    else if (rootNodes.isEmpty() && !missingSelectedFile)
        m_pages->setCurrentWidget(m_empty);
    else
        m_pages->setCurrentWidget(m_treePage);
    m_warning->setVisible(scanError && !rootNodes.isEmpty());
    m_missing->setVisible(missingSelectedFile.has_value());
    m_missingName->setText(missingSelectedFile ? missingSelectedFile->name : QString());

    // The first row in sight and how far it is scrolled under the top edge.
    const QModelIndex top = m_tree->indexAt(QPoint(1, 1));
    const QString topPath = m_model->path(top);
    const int topOffset = top.isValid() ? m_tree->visualRect(top).top() : 0;

    m_restoring = true;
    m_model->setSnapshot(rootNodes, missingSelectedFile);
    restoreExpansion({});
    if (m_selectedNodeID) {
        const QModelIndex selected = m_model->indexForPath(*m_selectedNodeID);
        if (selected.isValid())
            m_tree->selectionModel()->setCurrentIndex(selected, QItemSelectionModel::ClearAndSelect);
    }
    if (const QModelIndex again = topPath.isEmpty() ? QModelIndex() : m_model->indexForPath(topPath); again.isValid()) {
        m_tree->scrollTo(again, QAbstractItemView::PositionAtTop);
        m_tree->verticalScrollBar()->setValue(m_tree->verticalScrollBar()->value() - topOffset);
    }
    m_restoring = false;
}

void FileTreeView::restoreExpansion(const QModelIndex& parent)
{
    const QSet<QString> expanded = m_store.expandedPaths();
    std::vector<QModelIndex> folders = m_model->childFolders(parent);
    while (!folders.empty()) {
        const QModelIndex folder = folders.back();
        folders.pop_back();
        if (!expanded.contains(m_model->path(folder)))
            continue;
        if (!m_tree->isExpanded(folder))
            m_tree->expand(folder);
        for (const QModelIndex& child : m_model->childFolders(folder))
            folders.push_back(child);
    }
}

void FileTreeView::setSelectedNodeID(const std::optional<QString>& identifier)
{
    m_selectedNodeID = identifier;
    const QModelIndex index = identifier ? m_model->indexForPath(*identifier) : QModelIndex();
    m_restoring = true;
    if (index.isValid()) {
        m_tree->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
        m_tree->scrollTo(index);
    } else {
        m_tree->selectionModel()->clearSelection();
    }
    m_restoring = false;
}

void FileTreeView::userSelected()
{
    const QModelIndexList rows = m_tree->selectionModel()->selectedRows();
    const std::optional<QString> identifier = rows.isEmpty() ? std::nullopt : std::optional(m_model->path(rows.first()));
    if (identifier == m_selectedNodeID)
        return;
    m_selectedNodeID = identifier;
    emit selectedNodeIDChanged(identifier);
}

void FileTreeView::showContextMenu(const QPoint& position)
{
    const QModelIndex index = m_tree->indexAt(position);
    const auto node = m_model->node(index);
    if (!node || node->type != FileTreeNodeType::file)
        return; // folders cannot be deleted from the tree
    const QString path = node->url.toLocalFile();
    const qsizetype slash = path.lastIndexOf(u'/');
    const FileDocumentModel file{path, node->url, node->name, lastComponent(slash <= 0 ? QStringLiteral("/") : path.left(slash))};
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(QStringLiteral("Delete"), this, [this, file] { requestDeletion(file); });
    menu->popup(m_tree->viewport()->mapToGlobal(position));
}

void FileTreeView::requestDeletion(const FileDocumentModel& file)
{
    if (m_deletionAlert)
        m_deletionAlert->close();
    m_pendingDeletion = file;
    QMessageBox* alert = makePlainAlert(this, QStringLiteral("Move to Trash?"),
                                        QStringLiteral("This will move \"") + file.name + QStringLiteral("\" to the Trash."));
    QPushButton* cancelButton = alert->addButton(QMessageBox::Cancel);
    QPushButton* deleteButton = alert->addButton(QStringLiteral("Delete"), QMessageBox::DestructiveRole);
    alert->setDefaultButton(cancelButton); // Return does not send a file to the Trash
    connect(alert, &QMessageBox::finished, this, [this, alert, deleteButton] {
        const auto pending = std::exchange(m_pendingDeletion, std::nullopt);
        if (alert->clickedButton() == deleteButton && pending)
            emit deleteRequested(*pending);
    });
    m_deletionAlert = alert;
    alert->open();
}

bool FileTreeView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_tree->viewport()
        && (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease
            || event->type() == QEvent::MouseButtonDblClick)
        && static_cast<QMouseEvent*>(event)->button() == Qt::RightButton)
        return true;
    return QWidget::eventFilter(watched, event);
}

void FileTreeView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        tint();
}

void FileTreeView::tint()
{
    m_warningIcon->setPixmap(symbolPixmap(QStringLiteral("exclamationmark.triangle"), WindowColors::secondaryText(palette()), 16,
                                          devicePixelRatioF()));
    m_missingIcon->setPixmap(
        symbolPixmap(QStringLiteral("exclamationmark.triangle"), WindowColors::systemRed(palette()), 16, devicePixelRatioF()));
    m_missingName->setColor(WindowColors::systemRed(palette()));
    m_model->setMissingColor(WindowColors::systemRed(palette()));
    QPalette secondary = m_warning->palette();
    secondary.setColor(QPalette::WindowText, WindowColors::secondaryText(palette()));
    m_warning->setPalette(secondary);
    m_tree->viewport()->update(); // the rows' icons follow the palette
}

} // namespace quillora
