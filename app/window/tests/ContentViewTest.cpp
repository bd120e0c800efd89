#include "WindowFixture.h"

#include "window/AppDetailView.h"
#include "window/AppSidebarView.h"
#include "window/DetailViews.h"
#include "window/FileTreeModel.h"
#include "window/FileTreeView.h"
#include "window/FileViewerView.h"
#include "window/PersistentHSplitView.h"
#include "window/ViewParts.h"

#include "core/FileTreeExpansionStore.h"

#include <testsupport/EventLoop.h>
#include <testsupport/QtPrinting.h>

#include <QAction>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include <sys/stat.h>

using namespace quillora;
using testsupport::waitUntil;

namespace {

using ContentViewTest = WindowFixture;

TEST_F(ContentViewTest, TheTerminalToggleHidesThePaneAndStoresEachChoice)
{
    auto& view = openWindow();
    QWidget* terminal = view.detail()->terminalContainer();
    QWidget* button = view.findChild<QToolBar*>()->widgetForAction(view.terminalToggle());
    EXPECT_EQ(button->accessibleName(), QStringLiteral("Toggle Terminal"));
    EXPECT_TRUE(view.terminalToggle()->shortcut().isEmpty());
    ASSERT_TRUE(viewModel->showsTerminal());
    EXPECT_EQ(view.terminalToggle()->toolTip(), QStringLiteral("Hide Terminal"));
    QCoreApplication::processEvents();
    EXPECT_GE(terminal->height(), AppDetailView::terminalMinHeight);

    const int shownHeight = terminal->height();
    view.toggleTerminal();
    EXPECT_FALSE(viewModel->showsTerminal());
    // The row slides shut, taking no input meanwhile, and is then hidden, so no key can reach
    // the shell; the pane keeps its height throughout.
    EXPECT_FALSE(terminal->isEnabled());
    ASSERT_TRUE(waitUntil([&] { return terminal->isHidden(); }, 2000));
    EXPECT_TRUE(terminal->isEnabled());
    EXPECT_EQ(view.detail()->terminalPane()->height(), shownHeight);
    EXPECT_EQ(view.terminalToggle()->toolTip(), QStringLiteral("Show Terminal"));
    EXPECT_EQ(platform::UserDefaults::standard()->boolean(QStringLiteral("quillora.settings.showTerminal")), false);

    view.toggleTerminal();
    QCoreApplication::processEvents();
    EXPECT_FALSE(terminal->isHidden());
    ASSERT_TRUE(waitUntil([&] { return terminal->height() >= AppDetailView::terminalMinHeight; }, 2000));
    EXPECT_NEAR(terminal->height(), shownHeight, 1);
    EXPECT_EQ(platform::UserDefaults::standard()->boolean(QStringLiteral("quillora.settings.showTerminal")), true);
}

TEST_F(ContentViewTest, ANewProjectFolderGetsANewTerminalPaneAndTheChatFollowsIt)
{
    write(QStringLiteral("a/x.md"), "x");
    write(QStringLiteral("b/y.md"), "y");
    auto& view = openWindow();
    EXPECT_EQ(view.detail()->terminalPaneIdentity(), QStringLiteral("no-folder-selected"));
    EXPECT_FALSE(view.chatViewModel().workingDirectoryURL());
    QPointer<QWidget> first = view.detail()->terminalPane();

    viewModel->openFolder(QUrl::fromLocalFile(path(QStringLiteral("a"))), true);
    EXPECT_EQ(view.detail()->terminalPaneIdentity(), path(QStringLiteral("a")));
    EXPECT_TRUE(first.isNull());
    QPointer<QWidget> second = view.detail()->terminalPane();
    EXPECT_EQ(second->property("workingDirectory").toString(), path(QStringLiteral("a")));
    EXPECT_EQ(view.chatViewModel().workingDirectoryURL(), QUrl::fromLocalFile(path(QStringLiteral("a"))));

    viewModel->openFile(QUrl::fromLocalFile(path(QStringLiteral("a/x.md")))); // the same folder: the same pane
    EXPECT_EQ(view.detail()->terminalPane(), second.data());
    viewModel->openFolder(QUrl::fromLocalFile(path(QStringLiteral("b"))), true);
    EXPECT_TRUE(second.isNull());
    EXPECT_EQ(view.chatViewModel().workingDirectoryURL(), QUrl::fromLocalFile(path(QStringLiteral("b"))));

    // A window opened on a restored folder starts with it.
    auto& again = openWindow();
    EXPECT_EQ(again.chatViewModel().workingDirectoryURL(), QUrl::fromLocalFile(path(QStringLiteral("b"))));
    EXPECT_EQ(again.detail()->terminalPaneIdentity(), path(QStringLiteral("b")));
}

TEST_F(ContentViewTest, TheViewerAreaShowsTheEmptyStateTheFileOrThatItIsGone)
{
    write(QStringLiteral("notes.txt"), "notes");
    auto& view = openWindow();
    viewModel->openFolder(QUrl::fromLocalFile(project), true);
    EXPECT_EQ(view.detail()->viewerArea(), view.detail()->emptyState());
    EXPECT_EQ(view.windowTitle(), QStringLiteral("project"));

    viewModel->openFile(QUrl::fromLocalFile(path(QStringLiteral("notes.txt"))));
    EXPECT_EQ(view.detail()->viewerArea(), view.detail()->fileViewer());
    EXPECT_EQ(view.windowTitle(), QStringLiteral("notes.txt"));
    ASSERT_TRUE(waitUntil([&] { return view.detail()->fileViewer()->model().loadState().phase == FileViewerLoadState::Phase::loaded; }));

    QFile::remove(path(QStringLiteral("notes.txt")));
    ASSERT_TRUE(waitUntil([&] { return view.detail()->viewerArea() == view.detail()->missingFileView(); }));
    EXPECT_EQ(view.detail()->missingFileView()->title(), QStringLiteral("File was deleted or moved location"));
    EXPECT_TRUE(viewModel->selectedFile());
}

// The symbol over the title, then the hint, then the button: a stack 12 pixels apart in the
// middle of the area. The access-denied page of the tree stacks its button the same way.
TEST(EmptyStates, StackTheirPartsTwelvePixelsApartInTheMiddle)
{
    FileViewerEmptyStateView empty([] {});
    FileTreeExpansionStore store({}, QStringLiteral("quillora.filetree.expandedPaths"));
    FileTreeView tree(store);
    tree.setContent({}, std::nullopt, ScanError::accessDenied);
    ASSERT_EQ(tree.state(), QStringLiteral("access denied"));
    for (QWidget* view : {static_cast<QWidget*>(&empty), static_cast<QWidget*>(&tree)}) {
        view->resize(600, 500);
        view->show();
        QCoreApplication::processEvents();
    }
    const auto rectOf = [](const QWidget* view, const QWidget* part) {
        return QRect(part->mapTo(view, QPoint(0, 0)), part->size());
    };
    const auto labelOf = [](const QWidget* view, const QString& text) {
        for (const QLabel* label : view->findChildren<QLabel*>())
            if (label->text() == text && label->isVisible())
                return label;
        return static_cast<const QLabel*>(nullptr);
    };
    const QLabel* title = labelOf(&empty, QStringLiteral("No file selected"));
    const QLabel* hint = labelOf(&empty, QStringLiteral("Select a file."));
    ASSERT_TRUE(title && hint);
    const QRect titleRect = rectOf(&empty, title);
    const QRect hintRect = rectOf(&empty, hint);
    const QRect buttonRect = rectOf(&empty, empty.openProjectButton());
    EXPECT_EQ(hintRect.top() - titleRect.bottom() - 1, 12);
    EXPECT_EQ(buttonRect.top() - hintRect.bottom() - 1, 12);
    for (const QRect& part : {titleRect, hintRect, buttonRect})
        EXPECT_NEAR(part.center().x(), empty.width() / 2, 1);

    const QLabel* denied = labelOf(&tree, QStringLiteral("Project access denied"));
    ASSERT_TRUE(denied);
    const QPushButton* open = nullptr;
    for (const QPushButton* button : tree.findChildren<QPushButton*>())
        if (button->text() == QStringLiteral("Open Project") && button->isVisible())
            open = button;
    ASSERT_TRUE(open);
    EXPECT_EQ(rectOf(&tree, open).top() - rectOf(&tree, denied).bottom() - 1, 12);
}

TEST_F(ContentViewTest, OnlyTheFirstOfADropOpensAndOnlyExistingLocalItemsAreTaken)
{
    write(QStringLiteral("one.md"), "1");
    write(QStringLiteral("two.md"), "2");
    write(QStringLiteral("sub/three.md"), "3");
    const QString fifo = path(QStringLiteral("pipe"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QUrl one = QUrl::fromLocalFile(path(QStringLiteral("one.md")));
    const struct {
        QList<QUrl> urls;
        bool accepted;
    } cases[] = {
        {{}, false},
        {{QUrl(QStringLiteral("https://example.invalid/a.md")), one}, false},
        {{QUrl::fromLocalFile(path(QStringLiteral("missing.md")))}, false},
        {{QUrl::fromLocalFile(fifo)}, false},
        {{one}, true},
        {{QUrl::fromLocalFile(project)}, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ContentView::acceptsDrop(c.urls), c.accepted) << (c.urls.isEmpty() ? "" : c.urls.first().toString().toStdString());

    auto& view = openWindow();
    EXPECT_TRUE(view.handleDrop({one, QUrl::fromLocalFile(path(QStringLiteral("two.md"))),
                                 QUrl::fromLocalFile(path(QStringLiteral("sub/three.md")))}));
    EXPECT_EQ(viewModel->selectedFile()->url, one);
    EXPECT_EQ(view.sidebar()->fileTree()->selectedNodeID(), path(QStringLiteral("one.md")));
    EXPECT_TRUE(view.handleDrop({QUrl::fromLocalFile(path(QStringLiteral("sub")))}));
    EXPECT_FALSE(viewModel->selectedFile());
    EXPECT_EQ(viewModel->selectedFolderURL(), QUrl::fromLocalFile(path(QStringLiteral("sub"))));
    EXPECT_FALSE(view.handleDrop({}));
    EXPECT_FALSE(view.dropOverlay()->isVisible());
    EXPECT_EQ(DropOverlayView::text(), QStringLiteral("Drop Markdown Here"));
}

TEST_F(ContentViewTest, TheSidebarTitlesTheProjectAndKeepsTheSelectionInStep)
{
    write(QStringLiteral("a.md"), "a");
    write(QStringLiteral("b.md"), "b");
    auto& view = openWindow();
    AppSidebarView* sidebar = view.sidebar();
    EXPECT_EQ(sidebar->title(), QStringLiteral("Open Project"));
    viewModel->openFolder(QUrl::fromLocalFile(project), true);
    EXPECT_EQ(sidebar->title(), QStringLiteral("project"));
    FileTreeView* tree = sidebar->fileTree();
    ASSERT_TRUE(waitUntil([&] { return tree->model()->indexForPath(path(QStringLiteral("a.md"))).isValid(); }));

    int selections = 0;
    QObject::connect(viewModel.get(), &AppViewModel::selectedFileChanged, [&] { ++selections; });
    tree->treeView()->selectionModel()->setCurrentIndex(tree->model()->indexForPath(path(QStringLiteral("a.md"))),
                                                        QItemSelectionModel::ClearAndSelect);
    EXPECT_EQ(viewModel->selectedFile()->id, path(QStringLiteral("a.md")));
    EXPECT_EQ(selections, 1);
    viewModel->selectNode(path(QStringLiteral("b.md"))); // chosen elsewhere: the tree follows
    EXPECT_EQ(tree->selectedNodeID(), path(QStringLiteral("b.md")));
    EXPECT_EQ(tree->model()->path(tree->treeView()->selectionModel()->selectedRows().value(0)), path(QStringLiteral("b.md")));
    EXPECT_EQ(selections, 2);

    // The button's two forms.
    for (const auto& [width, style] : {std::pair{274, Qt::ToolButtonIconOnly}, std::pair{275, Qt::ToolButtonTextBesideIcon}}) {
        sidebar->resize(width, sidebar->height());
        EXPECT_EQ(sidebar->openProjectButton()->toolButtonStyle(), style) << width;
    }
    EXPECT_EQ(sidebar->openProjectButton()->toolTip(), QStringLiteral("Open Project"));
}

TEST_F(ContentViewTest, AFailedMoveToTheTrashIsReportedUntilAcknowledged)
{
    write(QStringLiteral("a.md"), "a");
    auto& view = openWindow();
    viewModel->openFolder(QUrl::fromLocalFile(project), true);
    viewModel->deleteFile(FileDocumentModel::fromURL(QUrl::fromLocalFile(path(QStringLiteral("gone.md")))));
    QMessageBox* alert = view.sidebar()->deleteAlert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->text(), QStringLiteral("Unable to Delete"));
    EXPECT_EQ(alert->informativeText(), QStringLiteral("The file no longer exists on disk."));
    alert->buttons().front()->click();
    EXPECT_FALSE(viewModel->deleteError());
}

TEST_F(ContentViewTest, OneOpenShortcutAnExplicitSettingsShortcutAndTheBoardSheet)
{
    int settings = 0;
    WindowServices services;
    services.showSettings = [&] { ++settings; };
    auto& view = openWindow(std::move(services));
    std::map<QString, int> bindings;
    for (const QAction* action : view.findChildren<QAction*>())
        for (const QKeySequence& key : action->shortcuts())
            ++bindings[key.toString()];
    for (const QShortcut* shortcut : view.findChildren<QShortcut*>())
        ++bindings[shortcut->key().toString()];
    EXPECT_EQ(bindings[QStringLiteral("Ctrl+O")], 1);
    EXPECT_EQ(bindings[QStringLiteral("Ctrl+,")], 1);
    for (const auto& [key, count] : bindings)
        EXPECT_EQ(count, 1) << key.toStdString();

    view.setShowsFeedback(true);
    ASSERT_TRUE(view.feedbackSheet());
    EXPECT_EQ(view.feedbackSheet()->minimumSize(), QSize(720, 640));
    view.feedbackSheet()->reject();
    ASSERT_TRUE(waitUntil([&] { return !view.showsFeedback(); }));
}

TEST_F(ContentViewTest, AStoredSplitThatIsNoFractionFallsBackToAnEvenSplit)
{
    platform::UserDefaults::standard()->setNumber(QStringLiteral("quillora.settings.detailSplitFraction"), 7.5);
    auto& view = openWindow();
    QCoreApplication::processEvents();
    PersistentHSplitView* split = view.detail()->split();
    ASSERT_GT(split->usableWidth(), 600);
    EXPECT_NEAR(split->sizes().value(0) / split->usableWidth(), 0.5, 0.01);
    EXPECT_EQ(platform::UserDefaults::standard()->number(QStringLiteral("quillora.settings.detailSplitFraction")), 0.5);
}

} // namespace
