#include "WindowFixture.h"

#include "window/AppDetailView.h"
#include "window/AppSidebarView.h"
#include "window/FileTreeModel.h"
#include "window/FileTreeView.h"
#include "window/FileViewerView.h"
#include "window/MarkdownFileViewerBody.h"

#include <mddoc/Markdown.h>
#include "window/PersistentHSplitView.h"
#include "window/ViewParts.h"
#include "window/TextFileViewerBody.h"

#include <markdown/BlockNode.h>
#include <testsupport/EventLoop.h>
#include <testsupport/HttpServer.h>
#include <testsupport/QtPrinting.h>

#include <QBuffer>
#include <QImage>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSplitterHandle>
#include <QStandardPaths>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QThread>
#include <QTreeView>

#include <algorithm>
#include <atomic>
#include <set>

using namespace quillora;
using Phase = FileViewerLoadState::Phase;
using testsupport::waitUntil;

namespace {

QByteArray pngImage()
{
    QImage image(24, 16, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

class EndToEnd : public WindowFixture {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.listen());
        server.setResponse("/logo.png", {200, pngImage(), {{"Content-Type", "image/png"}}});
        write(QStringLiteral("README.md"),
              "# Fixture\n\n"
              "| Name | Kind |\n|------|:----:|\n| notes.txt | text |\n| main.swift | source |\n\n"
              "- [x] scanned\n- [ ] rendered\n\n"
              "```swift\nlet greeting = \"Hello\"\n```\n\n"
              "```\nplain fence\n```\n\n"
              "![logo](" + server.url(QStringLiteral("/logo.png")).toEncoded() + ")\n");
        write(QStringLiteral("notes.txt"), "Notes\nline two\n");
        write(QStringLiteral("latin1.txt"), "caf\xe9 cr\xe8me\n");
        write(QStringLiteral("main.swift"), "import Foundation\n\nstruct Greeter {\n    let name: String // who\n}\nlet count = 42\n");
        write(QStringLiteral(".hidden"), "secret\n");
        write(QStringLiteral("docs/guides/guide.md"), "# Guide\n");
        write(QStringLiteral("docs/intro.md"), "intro\n");
    }

    // The reader of the application, slowed down while `slowReads` is set.
    WindowServices services()
    {
        WindowServices services;
        services.fileViewer.readFile = [this](const QString& file, const std::function<bool()>& shouldStop) {
            for (int waited = 0; slowReads && waited < 300; waited += 10) {
                if (shouldStop())
                    return platform::RegularFileRead{platform::RegularFileRead::Status::stopped, {}, 0};
                QThread::msleep(10);
            }
            return platform::readRegularFile(file, FileViewerModel::maxFileBytes, shouldStop);
        };
        return services;
    }

    FileTreeView* tree() const { return window->sidebar()->fileTree(); }
    FileViewerView* viewer() const { return window->detail()->fileViewer(); }
    QModelIndex row(const QString& relative) const { return tree()->model()->indexForPath(relative.isEmpty() ? project : path(relative)); }

    // Selects a row as the user does, and waits for the viewer to settle on it.
    void select(const QString& relative)
    {
        ASSERT_TRUE(waitUntil([&] { return row(relative).isValid(); })) << relative.toStdString();
        tree()->treeView()->selectionModel()->setCurrentIndex(row(relative), QItemSelectionModel::ClearAndSelect);
        ASSERT_EQ(viewModel->selectedFile()->id, path(relative));
    }
    void waitForViewer(const QString& relative)
    {
        ASSERT_TRUE(waitUntil([&] {
            const auto& state = viewer()->model().loadState();
            return state.fileID == path(relative) && state.phase != Phase::loading && !viewer()->model().isReading()
                && !viewer()->textBody()->isFilling();
        })) << relative.toStdString();
    }
    QString shownText() const { return viewer()->textBody()->textView()->toPlainText(); }
    void sh(const QString& script) const
    {
        ASSERT_EQ(QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("cd '") + project + QStringLiteral("' && ") + script}), 0)
            << script.toStdString();
    }

    testsupport::HttpServer server;
    std::atomic<bool> slowReads{false};
};

TEST_F(EndToEnd, TheFixtureProjectReadsFollowsTheDiskAndComesBackAfterARestart)
{
    openWindow(services());
    viewModel->openFolder(QUrl::fromLocalFile(project), true);

    // The root opens expanded, folders first, hidden files left out.
    ASSERT_TRUE(waitUntil([&] { return tree()->model()->rowCount(row({})) > 0; }));
    EXPECT_TRUE(tree()->treeView()->isExpanded(row({})));
    QStringList names;
    for (int r = 0; r < tree()->model()->rowCount(row({})); ++r)
        names << tree()->model()->index(r, 0, row({})).data().toString();
    EXPECT_EQ(names.value(0), QStringLiteral("docs"));
    EXPECT_EQ(QSet<QString>(names.begin(), names.end()),
              (QSet<QString>{"docs", "README.md", "notes.txt", "latin1.txt", "main.swift"}));

    // The README renders: its table, task list and both code fences are in the document.
    select(QStringLiteral("README.md"));
    waitForViewer(QStringLiteral("README.md"));
    EXPECT_EQ(viewer()->currentPage(), viewer()->markdownBody());
    const auto readme = viewer()->model().loadState().content;
    ASSERT_TRUE(readme && readme->markdown);
    const auto count = [&](auto isKind) { return std::ranges::count_if(readme->markdown->blocks(), isKind); };
    EXPECT_EQ(count([](const markdown::BlockNode& b) { return b.is<markdown::BlockNode::Table>(); }), 1);
    EXPECT_EQ(count([](const markdown::BlockNode& b) { return b.is<markdown::BlockNode::TaskList>(); }), 1);
    EXPECT_EQ(count([](const markdown::BlockNode& b) { return b.is<markdown::BlockNode::CodeBlock>(); }), 2);
    // The image comes from the local server and takes its place in the document.
    ASSERT_TRUE(waitUntil([&] { return server.requestCount("/logo.png") > 0; }));
    ASSERT_TRUE(waitUntil([&] { return viewer()->markdownBody()->markdown()->dump().contains(QStringLiteral("Image")); }))
        << viewer()->markdownBody()->markdown()->dump().toStdString();
    const QString layout = viewer()->markdownBody()->markdown()->dump();
    EXPECT_TRUE(layout.contains(QStringLiteral("Grid"))) << layout.toStdString();
    EXPECT_TRUE(layout.contains(QStringLiteral("SWIFT"))) << layout.toStdString();

    // main.swift shows several colours.
    select(QStringLiteral("main.swift"));
    waitForViewer(QStringLiteral("main.swift"));
    std::set<QRgb> colours;
    for (QTextBlock block = viewer()->textBody()->textView()->document()->begin(); block.isValid(); block = block.next())
        for (const QTextLayout::FormatRange& range : block.layout()->formats())
            colours.insert(range.format.foreground().color().rgba());
    EXPECT_GE(colours.size(), 3u);

    // The Latin-1 file says why it is not shown.
    select(QStringLiteral("latin1.txt"));
    waitForViewer(QStringLiteral("latin1.txt"));
    EXPECT_EQ(viewer()->textBody()->errorMessage(), QStringLiteral("Could not display file format 'txt'."));

    // notes.txt follows every way of editing it, and a touch redraws nothing.
    select(QStringLiteral("notes.txt"));
    waitForViewer(QStringLiteral("notes.txt"));
    EXPECT_EQ(shownText(), QStringLiteral("Notes\nline two\n"));
    const struct {
        const char* script;
        const char* text;
    } edits[] = {
        {"sed -i s/two/2/ notes.txt", "Notes\nline 2\n"},
        {"echo three >> notes.txt", "Notes\nline 2\nthree\n"},
        {"printf 'copied\\n' > ../copy.txt && cp ../copy.txt notes.txt", "copied\n"},
    };
    for (const auto& edit : edits) {
        sh(QString::fromLatin1(edit.script));
        EXPECT_TRUE(waitUntil([&] { return shownText() == QString::fromLatin1(edit.text); })) << edit.script;
    }
    const int updates = viewer()->contentUpdates();
    sh(QStringLiteral("touch notes.txt"));
    testsupport::spin(900);
    EXPECT_EQ(viewer()->contentUpdates(), updates);

    // A, B, A in quick succession with slow reads: only A is ever shown.
    std::vector<QString> loaded;
    QObject::connect(&viewer()->model(), &FileViewerModel::loadStateChanged, window.get(), [&] {
        if (viewer()->model().loadState().phase == Phase::loaded)
            loaded.push_back(viewer()->model().loadState().fileID);
    });
    slowReads = true;
    select(QStringLiteral("README.md"));
    select(QStringLiteral("main.swift"));
    testsupport::spin(50);
    select(QStringLiteral("README.md"));
    waitForViewer(QStringLiteral("README.md"));
    slowReads = false;
    EXPECT_EQ(loaded, std::vector<QString>{path(QStringLiteral("README.md"))});

    // The open file is deleted: its row turns red and the Missing File section names it.
    select(QStringLiteral("notes.txt"));
    waitForViewer(QStringLiteral("notes.txt"));
    QFile::remove(path(QStringLiteral("notes.txt")));
    ASSERT_TRUE(waitUntil([&] { return window->detail()->viewerArea() == window->detail()->missingFileView(); }));
    ASSERT_TRUE(waitUntil([&] { return tree()->missingFileRow() == QStringLiteral("notes.txt"); }));
    ASSERT_TRUE(waitUntil([&] { return row(QStringLiteral("notes.txt")).data(FileTreeModel::IsMissingRole).toBool(); }));

    // Moving a file to the Trash puts it in the home's Trash.
    tree()->requestDeletion(FileDocumentModel::fromURL(QUrl::fromLocalFile(path(QStringLiteral("main.swift")))));
    for (QAbstractButton* button : tree()->deletionAlert()->buttons())
        if (button->text() == QStringLiteral("Delete"))
            button->click();
    const QString trash = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Trash/files/main.swift");
    EXPECT_TRUE(QDir::home().relativeFilePath(trash).startsWith(u'.')) << "inside the temporary home: " << trash.toStdString();
    EXPECT_TRUE(QFile::exists(trash));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("main.swift"))));
    ASSERT_TRUE(waitUntil([&] { return !row(QStringLiteral("main.swift")).isValid(); }));

    // The terminal toggle, the split, the open folders and the last file come back after a restart.
    select(QStringLiteral("README.md"));
    window->toggleTerminal();
    QCoreApplication::processEvents();
    PersistentHSplitView* split = window->detail()->split();
    QSplitterHandle* handle = split->handle(1);
    const QPoint grip = handle->rect().center();
    QTest::mousePress(handle, Qt::LeftButton, {}, grip);
    QTest::mouseMove(handle, grip - QPoint(150, 0));
    QTest::mouseRelease(handle, Qt::LeftButton, {}, grip - QPoint(150, 0));
    const double fraction = viewModel->settingsStore().detailSplitFraction();
    ASSERT_NE(fraction, 0.5);
    tree()->treeView()->expand(row(QStringLiteral("docs")));
    tree()->treeView()->expand(row(QStringLiteral("docs/guides")));

    closeWindow();
    openWindow(services());
    EXPECT_FALSE(viewModel->showsTerminal());
    EXPECT_TRUE(window->detail()->terminalContainer()->isHidden());
    QCoreApplication::processEvents();
    EXPECT_NEAR(window->detail()->split()->sizes().value(0) / window->detail()->split()->usableWidth(), fraction, 0.01);
    ASSERT_TRUE(waitUntil([&] { return row(QStringLiteral("docs/guides")).isValid(); }));
    EXPECT_TRUE(tree()->treeView()->isExpanded(row(QStringLiteral("docs"))));
    EXPECT_TRUE(tree()->treeView()->isExpanded(row(QStringLiteral("docs/guides"))));
    ASSERT_TRUE(viewModel->selectedFile());
    EXPECT_EQ(viewModel->selectedFile()->id, path(QStringLiteral("README.md")));
    waitForViewer(QStringLiteral("README.md"));
    EXPECT_EQ(viewer()->currentPage(), viewer()->markdownBody());

    // The hidden-files setting reveals the hidden file.
    EXPECT_FALSE(row(QStringLiteral(".hidden")).isValid());
    viewModel->setShowsHiddenFilesInTree(true);
    EXPECT_TRUE(waitUntil([&] { return row(QStringLiteral(".hidden")).isValid(); }));
}

} // namespace
