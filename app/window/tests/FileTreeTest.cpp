#include "window/FileTreeModel.h"
#include "window/FileTreeView.h"

#include "core/FileTreeExpansionStore.h"
#include "core/FileTreeScannerService.h"

#include <testsupport/EventLoop.h>
#include <testsupport/Files.h>
#include <testsupport/QtPrinting.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

using namespace quillora;

namespace {

FileTreeNodeModel file(const QString& path)
{
    const QString name = path.mid(path.lastIndexOf(u'/') + 1);
    return {path.mid(3), QUrl::fromLocalFile(path), name, FileTreeNodeType::file, {}, lowerCasedPathExtension(name)};
}

FileTreeNodeModel folder(const QString& path, QList<FileTreeNodeModel> children)
{
    return {path.mid(3), QUrl::fromLocalFile(path), path.mid(path.lastIndexOf(u'/') + 1), FileTreeNodeType::directory,
            std::move(children), std::nullopt};
}

FileTreeNodeModel root(QList<FileTreeNodeModel> children)
{
    FileTreeNodeModel node = folder(QStringLiteral("/p"), std::move(children));
    node.id = QStringLiteral("/p");
    return node;
}

// The rows under `parent`, names only, one level.
QStringList rows(const FileTreeModel& model, const QModelIndex& parent)
{
    QStringList names;
    for (int row = 0; row < model.rowCount(parent); ++row)
        names << model.data(model.index(row, 0, parent)).toString();
    return names;
}

TEST(FileTreeModel, FileIconsFollowTheLowerCasedExtension)
{
    const std::pair<std::optional<QString>, const char*> cases[] = {
        {QStringLiteral("md"), "doc.richtext"},  {QStringLiteral("pdf"), "doc.richtext"}, {QStringLiteral("swift"), "swift"},
        {QStringLiteral("json"), "curlybraces"}, {QStringLiteral("webp"), "photo"},        {QStringLiteral("toml"), "gearshape"},
        {QStringLiteral("htm"), "globe"},        {QStringLiteral("less"), "paintbrush"},   {QStringLiteral("tsx"), "curlybraces.square"},
        {QStringLiteral("m"), "chevron.left.forwardslash.chevron.right"},                  {QStringLiteral("zsh"), "terminal"},
        {QStringLiteral("gz"), "doc.zipper"},    {QStringLiteral("txt"), "doc.text"},      {QStringLiteral("MD"), "doc"},
        {QStringLiteral(""), "doc"},             {std::nullopt, "doc"},                    {QStringLiteral("xyz"), "doc"},
    };
    for (const auto& [extension, symbol] : cases)
        EXPECT_EQ(fileIconName(extension), QString::fromLatin1(symbol)) << extension.value_or(QStringLiteral("(none)")).toStdString();
}

TEST(FileTreeModel, AVanishedSelectedFileComesBackIntoItsFolderInOrder)
{
    const QList<FileTreeNodeModel> roots{root({folder(QStringLiteral("/p/X"), {folder(QStringLiteral("/p/X/sub"), {}),
                                                                              file(QStringLiteral("/p/X/a.md")),
                                                                              file(QStringLiteral("/p/X/c.md"))}),
                                               file(QStringLiteral("/p/top.md"))})};
    FileTreeModel model;
    QStringList icons;
    model.setIconProvider([&](const QString& symbol, bool missing) {
        icons << symbol + (missing ? QStringLiteral("!") : QString());
        return QIcon();
    });
    const struct {
        const char* missing;
        QString folder;
        QStringList expected;
    } cases[] = {
        {"/p/X/b.md", QStringLiteral("/p/X"), {"sub", "a.md", "b.md", "c.md"}},
        {"/p/X/a.md", QStringLiteral("/p/X"), {"sub", "a.md", "c.md"}},            // still listed: once
        {"/p/X/bnotes", QStringLiteral("/p/X"), {"sub", "a.md", "bnotes", "c.md"}},
        {"/p/gone/b.md", QStringLiteral("/p"), {"X", "top.md"}},                   // its folder is not in the tree
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.missing);
        model.setSnapshot(roots, FileDocumentModel::fromURL(QUrl::fromLocalFile(QString::fromLatin1(c.missing))));
        const QModelIndex parent = model.indexForPath(c.folder);
        ASSERT_TRUE(parent.isValid());
        EXPECT_EQ(rows(model, parent), c.expected);
        const QModelIndex missing = model.indexForPath(QString::fromLatin1(c.missing));
        EXPECT_EQ(missing.isValid(), c.folder == u"/p/X");
        if (missing.isValid()) {
            EXPECT_TRUE(model.data(missing, FileTreeModel::IsMissingRole).toBool());
            EXPECT_EQ(model.parent(missing), parent);
            icons.clear();
            model.data(missing, Qt::DecorationRole);
            EXPECT_EQ(icons, QStringList{fileIconName(lowerCasedPathExtension(missing.data().toString())) + u'!'});
        }
    }
    // The snapshot's own nodes are never changed.
    EXPECT_EQ(model.roots(), FileTreeNodeList(roots));
    EXPECT_EQ(model.roots().first().children.first().children.size(), 3);
}

TEST(FileTreeModel, PathsFindTheirRowsAndRowsTheirPaths)
{
    FileTreeModel model;
    model.setSnapshot({root({folder(QStringLiteral("/p/a"), {folder(QStringLiteral("/p/a/b"), {file(QStringLiteral("/p/a/b/c.txt"))})}),
                             file(QStringLiteral("/p/a.txt"))})},
                      std::nullopt);
    for (const char* path : {"/p", "/p/a", "/p/a/b", "/p/a/b/c.txt", "/p/a.txt"}) {
        const QModelIndex index = model.indexForPath(QString::fromLatin1(path));
        ASSERT_TRUE(index.isValid()) << path;
        EXPECT_EQ(model.path(index), QString::fromLatin1(path));
        EXPECT_EQ(index.data(FileTreeModel::PathRole).toString(), QString::fromLatin1(path));
    }
    for (const char* path : {"/p/a/b/missing", "/q/a", "/pa", "/p/a.txt/x", ""})
        EXPECT_FALSE(model.indexForPath(QString::fromLatin1(path)).isValid()) << path;
    EXPECT_FALSE(model.hasChildren(model.indexForPath(QStringLiteral("/p/a.txt"))));
    EXPECT_TRUE(model.hasChildren(model.indexForPath(QStringLiteral("/p/a"))));
}

// A scan's tree as nodes held one by one.
FileTreeNodeModel heldByHand(FileTreeNodeModel node)
{
    QList<FileTreeNodeModel> children;
    for (const FileTreeNodeModel& child : node.children)
        children << heldByHand(child);
    node.children = children;
    return node;
}

// Every row below `parent`, depth first, as "name|path|kind|icon", each found again by its path.
void dump(const FileTreeModel& model, const QModelIndex& parent, const QString& icon, QStringList& rows)
{
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex index = model.index(row, 0, parent);
        const QString path = index.data(FileTreeModel::PathRole).toString();
        model.data(index, Qt::DecorationRole);
        rows << QStringList{index.data().toString(), path,
                            index.data(FileTreeModel::IsDirectoryRole).toBool() ? QStringLiteral("folder") : QStringLiteral("file"), icon}
                    .join(u'|');
        EXPECT_EQ(model.parent(index), parent) << path.toStdString();
        EXPECT_EQ(model.indexForPath(path), index) << path.toStdString();
        EXPECT_EQ(model.node(index)->url.toLocalFile(), path);
        dump(model, index, icon, rows);
    }
}

// The rows of a scanned tree point into its snapshot; they show exactly what rows of the same
// nodes held one by one show, the vanished selected file included.
TEST(FileTreeModel, AScannedTreeShowsAsTheSameTreeMadeByHand)
{
    QTemporaryDir dir;
    for (const char* file : {"docs/guide/intro.md", "docs/a.md", "docs/C.txt", "Zeta/x.json", "b.md", "README", "ünï.swift"})
        testsupport::writeFile(dir.filePath(QString::fromUtf8(file)), "");
    const QString project = dir.path();
    const FileTreeNodeModel root{project, QUrl::fromLocalFile(project), QFileInfo(project).fileName(), FileTreeNodeType::directory,
                                 FileTreeScannerService().scan(QUrl::fromLocalFile(project), false).nodes, std::nullopt};
    const FileTreeNodeList scanned{root};
    const FileTreeNodeList byHand{heldByHand(root)};
    ASSERT_FALSE(root.children.snapshot().isNull());
    ASSERT_EQ(scanned, byHand);

    for (const QString& missing : {QString(), project + QStringLiteral("/docs/B.md"), project + QStringLiteral("/docs/a.md"),
                                   project + QStringLiteral("/A.md")}) {
        SCOPED_TRACE(missing.toStdString());
        const auto missingFile = missing.isEmpty() ? std::nullopt : std::optional(FileDocumentModel::fromURL(QUrl::fromLocalFile(missing)));
        QStringList shown[2];
        int which = 0;
        for (const FileTreeNodeList& roots : {scanned, byHand}) {
            FileTreeModel model;
            QString icon;
            model.setIconProvider([&](const QString& symbol, bool gone) {
                icon = symbol + (gone ? QStringLiteral("!") : QString());
                return QIcon();
            });
            model.setSnapshot(roots, missingFile);
            dump(model, {}, icon, shown[which++]);
        }
        EXPECT_EQ(shown[0], shown[1]);
        EXPECT_EQ(shown[0].size(), 11 + (missing.endsWith(u"B.md") || missing.endsWith(u"A.md")));
    }
    FileTreeModel model;
    model.setSnapshot(scanned, FileDocumentModel::fromURL(QUrl::fromLocalFile(project + QStringLiteral("/docs/B.md"))));
    EXPECT_EQ(rows(model, model.indexForPath(project + QStringLiteral("/docs"))),
              (QStringList{QStringLiteral("guide"), QStringLiteral("a.md"), QStringLiteral("B.md"), QStringLiteral("C.txt")}));
}

// A tree view over its own defaults file, counting the writes of the expansion store.
class FileTreeViewTest : public ::testing::Test {
protected:
    FileTreeViewTest()
        : defaults(std::make_shared<platform::UserDefaults>(dir.filePath(QStringLiteral("defaults.json"))))
        , store({}, QStringLiteral("quillora.filetree.expandedPaths"), defaults)
    {
    }

    QStringList stored() const
    {
        QStringList paths = defaults->stringList(QStringLiteral("quillora.filetree.expandedPaths")).value_or(QStringList());
        paths.sort();
        return paths;
    }

    QTemporaryDir dir;
    std::shared_ptr<platform::UserDefaults> defaults;
    FileTreeExpansionStore store;
};

// 30 folders of 20 files each below /p.
QList<FileTreeNodeModel> bigTree(const QString& extra = {})
{
    QList<FileTreeNodeModel> folders;
    for (int f = 0; f < 30; ++f) {
        const QString path = QStringLiteral("/p/f%1").arg(f, 2, 10, QLatin1Char('0'));
        QList<FileTreeNodeModel> files;
        for (int i = 0; i < 20; ++i)
            files << file(path + QStringLiteral("/file%1.md").arg(i, 2, 10, QLatin1Char('0')));
        folders << folder(path, files);
    }
    if (!extra.isEmpty())
        folders << file(extra);
    return {root(folders)};
}

TEST_F(FileTreeViewTest, OpenFoldersComeBackWithoutWritesAndOnlyTogglesAreSaved)
{
    store.setExpandedPaths({QStringLiteral("/p"), QStringLiteral("/p/f03"), QStringLiteral("/p/f10"), QStringLiteral("/other/project")});
    store.save();
    int storeChanges = 0;
    QObject::connect(&store, &FileTreeExpansionStore::expandedPathsChanged, [&] { ++storeChanges; });
    FileTreeView view(store);
    view.setContent(bigTree(), std::nullopt, std::nullopt);
    const auto expanded = [&](const char* path) {
        return view.treeView()->isExpanded(view.model()->indexForPath(QString::fromLatin1(path)));
    };
    EXPECT_TRUE(expanded("/p"));
    EXPECT_TRUE(expanded("/p/f03"));
    EXPECT_TRUE(expanded("/p/f10"));
    EXPECT_FALSE(expanded("/p/f04"));
    EXPECT_EQ(storeChanges, 0);

    // A folder opened inside a closed one stays open for when its parent opens.
    view.treeView()->collapse(view.model()->indexForPath(QStringLiteral("/p")));
    EXPECT_EQ(stored(), (QStringList{"/other/project", "/p/f03", "/p/f10"}));
    view.treeView()->expand(view.model()->indexForPath(QStringLiteral("/p")));
    EXPECT_TRUE(expanded("/p/f03"));
    view.treeView()->expand(view.model()->indexForPath(QStringLiteral("/p/f20")));
    view.treeView()->collapse(view.model()->indexForPath(QStringLiteral("/p/f03")));
    EXPECT_EQ(stored(), (QStringList{"/other/project", "/p", "/p/f10", "/p/f20"}));
    EXPECT_EQ(storeChanges, 4);

    // A folder opened by someone else (the project folder, by the workspace) opens here too.
    view.treeView()->collapse(view.model()->indexForPath(QStringLiteral("/p")));
    store.setExpandedPaths(store.expandedPaths() + QSet<QString>{QStringLiteral("/p")});
    EXPECT_TRUE(expanded("/p"));
}

TEST_F(FileTreeViewTest, ARescanKeepsTheSelectionTheOpenFoldersAndTheScrollPosition)
{
    store.setExpandedPaths({QStringLiteral("/p"), QStringLiteral("/p/f05"), QStringLiteral("/p/f06"), QStringLiteral("/p/f07")});
    FileTreeView view(store);
    view.resize(240, 300);
    view.show();
    view.setContent(bigTree(), std::nullopt, std::nullopt);
    std::vector<std::optional<QString>> reported;
    QObject::connect(&view, &FileTreeView::selectedNodeIDChanged, [&](const auto& id) { reported.push_back(id); });
    const QString selected = QStringLiteral("/p/f06/file03.md");
    view.setSelectedNodeID(selected);
    view.treeView()->verticalScrollBar()->setValue(view.treeView()->verticalScrollBar()->value() + 7);
    QCoreApplication::processEvents();
    const QModelIndex top = view.treeView()->indexAt(QPoint(1, 1));
    const QString topPath = view.model()->path(top);
    const int topOffset = view.treeView()->visualRect(top).top();
    ASSERT_FALSE(topPath.isEmpty());

    view.setContent(bigTree(QStringLiteral("/p/zz-new.md")), std::nullopt, std::nullopt);
    QCoreApplication::processEvents();
    const QModelIndex topAfter = view.treeView()->indexAt(QPoint(1, 1));
    EXPECT_EQ(view.model()->path(topAfter), topPath);
    EXPECT_EQ(view.treeView()->visualRect(topAfter).top(), topOffset);
    const QModelIndexList selection = view.treeView()->selectionModel()->selectedRows();
    ASSERT_EQ(selection.size(), 1);
    EXPECT_EQ(view.model()->path(selection.front()), selected);
    EXPECT_TRUE(view.treeView()->isExpanded(view.model()->indexForPath(QStringLiteral("/p/f07"))));
    EXPECT_TRUE(reported.empty()); // the host's selection is never echoed back

    // The user picks a row: reported once.
    view.treeView()->selectionModel()->setCurrentIndex(view.model()->indexForPath(QStringLiteral("/p/f05")),
                                                        QItemSelectionModel::ClearAndSelect);
    EXPECT_EQ(reported, (std::vector<std::optional<QString>>{QStringLiteral("/p/f05")}));
}

TEST_F(FileTreeViewTest, WhatStandsInPlaceOfTheTree)
{
    FileTreeView view(store);
    const auto missing = FileDocumentModel::fromURL(QUrl::fromLocalFile(QStringLiteral("/p/gone.md")));
    const QList<FileTreeNodeModel> tree{root({file(QStringLiteral("/p/a.md"))})};
    const struct {
        QList<FileTreeNodeModel> roots;
        std::optional<FileDocumentModel> missing;
        std::optional<ScanError> error;
        const char* state;
        bool warning;
    } cases[] = {
        {{}, std::nullopt, ScanError::accessDenied, "access denied", false},
        {{}, missing, ScanError::accessDenied, "tree", false},
        {tree, std::nullopt, ScanError::accessDenied, "tree", true},
        {{}, std::nullopt, std::nullopt, "empty", false},
        {tree, std::nullopt, std::nullopt, "tree", false},
    };
    for (const auto& c : cases) {
        view.setContent(c.roots, c.missing, c.error);
        EXPECT_EQ(view.state(), QString::fromLatin1(c.state));
        EXPECT_EQ(view.showsWarning(), c.warning) << c.state;
        EXPECT_EQ(view.missingFileRow(), c.missing ? std::optional(QStringLiteral("gone.md")) : std::nullopt);
    }
}

TEST_F(FileTreeViewTest, DeletionAsksFirstAndOnlyDeleteGoesAhead)
{
    FileTreeView view(store);
    std::vector<FileDocumentModel> deleted;
    QObject::connect(&view, &FileTreeView::deleteRequested, [&](const FileDocumentModel& f) { deleted.push_back(f); });
    const auto target = FileDocumentModel::fromURL(QUrl::fromLocalFile(QStringLiteral("/p/docs/<b>bold<i>.md")));
    for (const bool confirm : {false, true}) {
        view.requestDeletion(target);
        QMessageBox* alert = view.deletionAlert();
        ASSERT_TRUE(alert);
        EXPECT_EQ(alert->text(), QStringLiteral("Move to Trash?"));
        EXPECT_EQ(alert->informativeText(), QStringLiteral("This will move \"<b>bold<i>.md\" to the Trash."));
        EXPECT_EQ(alert->textFormat(), Qt::PlainText);
        ASSERT_TRUE(alert->defaultButton());
        EXPECT_EQ(alert->defaultButton()->text(), QStringLiteral("Cancel")); // Return keeps the file
        ASSERT_EQ(view.pendingDeletion(), target);
        QAbstractButton* button = nullptr;
        for (QAbstractButton* candidate : alert->buttons())
            if (candidate->text() == (confirm ? QStringLiteral("Delete") : QStringLiteral("Cancel")))
                button = candidate;
        ASSERT_TRUE(button);
        button->click();
        EXPECT_FALSE(view.pendingDeletion());
        EXPECT_EQ(deleted.size(), confirm ? 1u : 0u);
    }
    EXPECT_EQ(deleted.front(), target);
    EXPECT_EQ(deleted.front().folderName, QStringLiteral("docs"));
}

TEST_F(FileTreeViewTest, OnlyFileRowsOfferDeleteAndARightClickSelectsNothing)
{
    store.setExpandedPaths({QStringLiteral("/p"), QStringLiteral("/p/docs")});
    FileTreeView view(store);
    view.resize(240, 300);
    view.show();
    view.setContent({root({folder(QStringLiteral("/p/docs"), {file(QStringLiteral("/p/docs/guide.md"))})})}, std::nullopt,
                    std::nullopt);
    std::vector<std::optional<QString>> reported;
    QObject::connect(&view, &FileTreeView::selectedNodeIDChanged, [&](const auto& id) { reported.push_back(id); });
    QWidget* viewport = view.treeView()->viewport();
    // A right click as the window delivers it: the press and release, then the menu's event.
    const auto rightClick = [&](const QString& path) -> QMenu* {
        const QPoint at = view.treeView()->visualRect(view.model()->indexForPath(path)).center();
        QTest::mouseClick(viewport, Qt::RightButton, {}, at);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
        QApplication::sendEvent(viewport, &event);
        for (QMenu* menu : view.findChildren<QMenu*>())
            if (menu->isVisible())
                return menu;
        return nullptr;
    };

    EXPECT_FALSE(rightClick(QStringLiteral("/p/docs")));
    QMenu* menu = rightClick(QStringLiteral("/p/docs/guide.md"));
    ASSERT_TRUE(menu);
    ASSERT_EQ(menu->actions().size(), 1);
    EXPECT_EQ(menu->actions().front()->text(), QStringLiteral("Delete"));
    menu->actions().front()->trigger();
    menu->close();
    ASSERT_TRUE(view.pendingDeletion());
    EXPECT_EQ(view.pendingDeletion()->id, QStringLiteral("/p/docs/guide.md"));
    EXPECT_EQ(view.pendingDeletion()->folderName, QStringLiteral("docs"));
    view.deletionAlert()->reject();
    EXPECT_TRUE(reported.empty());
    EXPECT_TRUE(view.treeView()->selectionModel()->selectedRows().isEmpty());

    // The left button still selects.
    QTest::mouseClick(viewport, Qt::LeftButton, {},
                      view.treeView()->visualRect(view.model()->indexForPath(QStringLiteral("/p/docs/guide.md"))).center());
    EXPECT_EQ(reported, (std::vector<std::optional<QString>>{QStringLiteral("/p/docs/guide.md")}));
}

} // namespace
