#include "entry/QuilloraApp.h"

#include "core/AppViewModel.h"
#include "core/DefaultsKeys.h"
#include "window/LogsView.h"
#include "window/SettingsView.h"
#include "window/AppSidebarView.h"
#include "window/ContentView.h"
#include "window/FileTreeModel.h"
#include "window/FileTreeView.h"
#include "feedback/Api.h"
#include "feedback/Plendra.h"
#include "feedback/WishModel.h"
#include "feedback/board/FeedbackListView.h"
#include "feedback/board/WishlistContainer.h"
#include "terminal/view/LocalProcessTerminalView.h"
#include "terminal/view/TerminalPane.h"
#include "window/AppDetailView.h"
#include "window/DetailViews.h"
#include "window/FileViewerModel.h"

#include <platform/SecurityScopedResources.h>
#include <platform/UserDefaults.h>
#include <testsupport/EventLoop.h>
#include <testsupport/Files.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QAction>
#include <QCheckBox>
#include <QPushButton>
#include <QFileDialog>
#include <QLabel>
#include <QMenuBar>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTimer>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <iterator>
#include <latch>
#include <set>

#include <sys/stat.h>

inline void PrintTo(const QUrl& url, std::ostream* out) { *out << url.toString().toStdString(); }

using namespace quillora;
using testsupport::waitUntil;
using testsupport::writeFile;

namespace {

// Every node of the window's tree, indented by depth, folders with a slash.
void appendRows(const FileTreeModel& model, const QModelIndex& parent, int depth, QStringList& lines)
{
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex index = model.index(row, 0, parent);
        const bool folder = model.data(index, FileTreeModel::IsDirectoryRole).toBool();
        lines << QString(depth * 2, u' ') + model.data(index).toString() + (folder ? QStringLiteral("/") : QString());
        appendRows(model, index, depth + 1, lines);
    }
}

QString treeText(ContentView* window)
{
    QStringList lines;
    appendRows(*window->sidebar()->fileTree()->model(), {}, 0, lines);
    return lines.join(u'\n');
}

// The test main gives each test process a temporary HOME; the project lives beside it.
class QuilloraAppTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        project = QDir(dir.path()).filePath(QStringLiteral("project"));
        writeFile(project + QStringLiteral("/README.md"), "# Project\n");
        writeFile(project + QStringLiteral("/docs/guide.md"), "guide\n");
        // Defaults of this test only: nothing remembered by an earlier test of the process.
        previousDefaults = platform::UserDefaults::standard();
        platform::UserDefaults::setStandard(
            std::make_shared<platform::UserDefaults>(QDir(dir.path()).filePath(QStringLiteral("defaults.json"))));
    }

    void TearDown() override { platform::UserDefaults::setStandard(previousDefaults); }

    static ContentView* firstWindow(QuilloraApp& app)
    {
        const auto windows = app.mainWindows();
        return windows.empty() ? nullptr : windows.front();
    }

    QTemporaryDir dir;
    QString project;
    std::shared_ptr<platform::UserDefaults> previousDefaults;
};

TEST_F(QuilloraAppTest, ConfiguresTheFeedbackClientFirst)
{
    QuilloraApp app;
    EXPECT_EQ(plendra::Plendra::apiKey(), QStringLiteral("5C21E8A7-0B93-4F6D-8E42-A917D3C06B5E"));
    EXPECT_EQ(plendra::Plendra::config().buttons.addButton.location,
              plendra::Configuration::AddButton::Location::navigationBar);
    EXPECT_EQ(plendra::Plendra::theme().primaryColor, QColor(0, 122, 255));
}

TEST_F(QuilloraAppTest, TheFeedbackSheetHoldsTheBoard)
{
    // Nothing listens on port 1: the board asks and fails at once, without the network.
    plendra::Api::setShared(plendra::Api(QStringLiteral("http://127.0.0.1:1/api")));
    QuilloraApp app;
    ContentView* window = app.newMainWindow();
    window->setShowsFeedback(true);
    ASSERT_TRUE(window->feedbackSheet());
    auto* board = window->feedbackSheet()->findChild<plendra::FeedbackListView*>();
    ASSERT_TRUE(board);
    EXPECT_TRUE(board->container()->createButton()) << "the host puts the create button in the header";
    EXPECT_TRUE(waitUntil([&] { return board->container()->model().hasFetched(); }));
    window->setShowsFeedback(false);
    EXPECT_TRUE(waitUntil([&] { return !window->showsFeedback(); }));
    plendra::Api::setShared(plendra::Api(plendra::Api::baseURL()));
}

TEST_F(QuilloraAppTest, ANewProjectFolderReplacesTheTerminalPaneAndReapsTheOldShell)
{
    const QString other = QDir(dir.path()).filePath(QStringLiteral("other folder"));
    ASSERT_TRUE(QDir().mkpath(other));
    QuilloraApp app;
    app.launch({project});
    ContentView* window = firstWindow(app);
    ASSERT_NE(window, nullptr);
    auto pane = [&] { return qobject_cast<terminal::TerminalContainerView*>(window->detail()->terminalPane()); };
    auto shellIn = [](pid_t pid) { return QFileInfo(QStringLiteral("/proc/%1/cwd").arg(pid)).symLinkTarget(); };
    ASSERT_TRUE(waitUntil([&] { return pane() && pane()->terminalView()->process().running(); }, 10000));
    const pid_t first = pane()->terminalView()->process().shellPid();
    // The child enters the folder between its fork and its exec.
    EXPECT_TRUE(waitUntil([&] { return shellIn(first) == QFileInfo(project).canonicalFilePath(); }, 5000));

    QPointer<QWidget> old = pane();
    app.openURL(QUrl::fromLocalFile(other));
    ASSERT_TRUE(waitUntil([&] { return pane() && pane() != old && pane()->terminalView()->process().running(); }, 10000));
    EXPECT_TRUE(old.isNull());
    const pid_t second = pane()->terminalView()->process().shellPid();
    EXPECT_TRUE(waitUntil([&] { return shellIn(second) == QFileInfo(other).canonicalFilePath(); }, 5000));
    EXPECT_TRUE(waitUntil([&] { return !QFileInfo::exists(QStringLiteral("/proc/%1").arg(first)); }, 5000));
}

TEST_F(QuilloraAppTest, CommandLineArgumentsBecomeURLs)
{
    const QString odd = project + QStringLiteral("/notes:v2.md");
    writeFile(odd, "x");
    QDir::setCurrent(project);
    const std::vector<std::pair<QString, QUrl>> cases = {
        {project, QUrl::fromLocalFile(project)},
        {QStringLiteral("docs/../docs"), QUrl::fromLocalFile(project + QStringLiteral("/docs"))},
        {QStringLiteral("notes:v2.md"), QUrl::fromLocalFile(odd)},
        {QStringLiteral("missing.md"), QUrl::fromLocalFile(project + QStringLiteral("/missing.md"))},
        {QStringLiteral("file:///tmp"), QUrl(QStringLiteral("file:///tmp"))},
        {QStringLiteral("http://localhost/page"), QUrl(QStringLiteral("http://localhost/page"))},
    };
    for (const auto& [argument, expected] : cases)
        EXPECT_EQ(QuilloraApp::urlFromArgument(argument), expected) << argument.toStdString();
}

TEST_F(QuilloraAppTest, ShowsTheTreeFollowsTheDiskAndQuitsCleanly)
{
    auto app = std::make_unique<QuilloraApp>();
    app->launch({project});
    auto* window = firstWindow(*app);
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->isVisible());
    ASSERT_TRUE(waitUntil([&] { return treeText(window).contains(QStringLiteral("guide.md")); }))
        << treeText(window).toStdString();
    EXPECT_EQ(treeText(window), QStringLiteral("project/\n  docs/\n    guide.md\n  README.md"));

    // A change on disk reaches the tree through the watcher and one rescan.
    writeFile(project + QStringLiteral("/docs/new.md"), "new\n");
    ASSERT_TRUE(waitUntil([&] { return treeText(window).contains(QStringLiteral("new.md")); }, 5000))
        << treeText(window).toStdString();

    // A second main window shows the same project.
    auto* second = app->newMainWindow();
    EXPECT_EQ(treeText(second), treeText(window));

    // Settings and the session logs are single windows; the logs open from the settings, and a
    // second request, with the window open or closed, brings the same one forward.
    app->showSettings();
    SettingsView* settings = app->settingsWindow();
    app->showSettings();
    EXPECT_EQ(app->settingsWindow(), settings);
    EXPECT_FALSE(app->logsWindow());
    settings->showLogsButton()->click();
    LogsView* logs = app->logsWindow();
    ASSERT_TRUE(logs);
    EXPECT_TRUE(logs->isVisible());
    EXPECT_EQ(logs->objectName(), QStringLiteral("logs"));
    EXPECT_EQ(logs->windowTitle(), QStringLiteral("Session Logs"));
    settings->showLogsButton()->click();
    logs->close();
    settings->showLogsButton()->click();
    EXPECT_EQ(app->logsWindow(), logs);
    EXPECT_TRUE(logs->isVisible());
    int logWindows = 0;
    for (QWidget* topLevel : QApplication::topLevelWidgets())
        logWindows += qobject_cast<LogsView*>(topLevel) != nullptr;
    EXPECT_EQ(logWindows, 1);

    writeFile(project + QStringLiteral("/.hidden"), "");
    settings->hiddenFilesToggle()->click();
    ASSERT_TRUE(waitUntil([&] { return treeText(window).contains(QStringLiteral(".hidden")); }))
        << treeText(window).toStdString();

    QTimer::singleShot(0, [] { QApplication::closeAllWindows(); });
    EXPECT_EQ(QApplication::exec(), 0);
    app.reset();
}

TEST_F(QuilloraAppTest, ASecondLaunchRestoresTheProjectAndFile)
{
    {
        QuilloraApp first;
        first.launch({project + QStringLiteral("/README.md")});
        EXPECT_EQ(first.appViewModel().selectedFile()->url, QUrl::fromLocalFile(project + QStringLiteral("/README.md")));
    }
    QuilloraApp second;
    second.launch({});
    EXPECT_EQ(second.appViewModel().selectedFolderURL(), QUrl::fromLocalFile(project));
    ASSERT_TRUE(second.appViewModel().selectedFile());
    EXPECT_EQ(second.appViewModel().selectedFile()->name, QStringLiteral("README.md"));
}

// The inode numbers of the folders this process watches through inotify.
std::set<quint64> watchedInodes()
{
    std::set<quint64> inodes;
    const QDir fdinfo(QStringLiteral("/proc/self/fdinfo"));
    for (const QString& fd : fdinfo.entryList(QDir::Files)) {
        QFile info(fdinfo.filePath(fd));
        if (!info.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : info.readAll().split('\n')) {
            if (!line.startsWith("inotify wd:"))
                continue;
            const qsizetype at = line.indexOf(" ino:");
            inodes.insert(line.mid(at + 5, line.indexOf(' ', at + 5) - at - 5).toULongLong(nullptr, 16));
        }
    }
    return inodes;
}

quint64 inode(const QString& path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

TEST_F(QuilloraAppTest, WithoutArgumentsOrMemoryNoProjectOpens)
{
    std::set<quint64> homeFolders{inode(QDir::homePath())};
    for (int i = 0; i < 20; ++i) {
        const QString folder = QDir::home().filePath(QStringLiteral("folder %1").arg(i));
        ASSERT_TRUE(QDir().mkpath(folder));
        homeFolders.insert(inode(folder));
    }
    QuilloraApp app;
    app.launch({});
    ContentView* window = firstWindow(app);
    ASSERT_TRUE(window);
    bool scanned = false;
    QObject::connect(&app.appViewModel(), &AppViewModel::scanFinished, [&] { scanned = true; });
    testsupport::spin(300); // the time a scan or a watcher's walk would take to show

    const AppViewModel& model = app.appViewModel();
    EXPECT_TRUE(model.selectedFolderURL().isEmpty());
    EXPECT_FALSE(model.selectedFile());
    EXPECT_TRUE(model.selectedDirectoryURL().isEmpty());
    EXPECT_TRUE(model.fileTreeNodes().empty());
    EXPECT_FALSE(model.isScanning() || scanned) << "no scan";
    std::set<quint64> watchedHome;
    std::ranges::set_intersection(watchedInodes(), homeFolders, std::inserter(watchedHome, watchedHome.end()));
    EXPECT_TRUE(watchedHome.empty()) << "no watch in the home folder";
    const auto defaults = platform::UserDefaults::standard();
    for (const char* key : {"quillora.directory.lastSelectedDirectory", "quillora.directory.lastSelectedDirectoryBookmark",
                            "quillora.file.lastSelectedFile", "quillora.file.lastSelectedFileBookmark"})
        EXPECT_FALSE(defaults->contains(QString::fromLatin1(key))) << key;

    FileViewerEmptyStateView* empty = window->detail()->emptyState();
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->isVisible());
    EXPECT_EQ(empty->openProjectButton()->text(), QStringLiteral("Open Project"));
    EXPECT_TRUE(empty->openProjectButton()->isVisible());
}

TEST_F(QuilloraAppTest, BadArgumentsAreIgnored)
{
    const QString fifo = QDir(dir.path()).filePath(QStringLiteral("pipe"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QuilloraApp app;
    app.launch({QStringLiteral("http://localhost/page"), QDir(dir.path()).filePath(QStringLiteral("missing")), fifo});
    EXPECT_TRUE(app.appViewModel().selectedFolderURL().isEmpty());
    EXPECT_FALSE(app.appViewModel().selectedFile());
    EXPECT_EQ(app.mainWindows().size(), 1u);

    // The same through a drop on the window; the first URL of a drop counts.
    auto* window = app.mainWindows().front();
    const auto drop = [&](const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window, &enter);
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window, &drop);
    };
    drop({QUrl::fromLocalFile(project), QUrl::fromLocalFile(dir.path())});
    EXPECT_EQ(app.appViewModel().selectedFolderURL(), QUrl::fromLocalFile(project));
    for (const auto& bad : {QUrl(QStringLiteral("http://localhost/page")), QUrl::fromLocalFile(fifo)}) {
        drop({bad});
        EXPECT_EQ(app.appViewModel().selectedFolderURL(), QUrl::fromLocalFile(project));
        EXPECT_EQ(app.appViewModel().selectedDirectoryURL(), QUrl::fromLocalFile(project));
    }
}

TEST_F(QuilloraAppTest, OpenProjectShowsThePickerAndOpensTheChoice)
{
    QuilloraApp app;
    app.launch({project + QStringLiteral("/docs")});
    auto* window = firstWindow(app);
    QAction* openProject = nullptr;
    for (auto* action : window->menuBar()->findChildren<QAction*>()) {
        if (action->text() == QStringLiteral("Open Project…"))
            openProject = action;
    }
    ASSERT_TRUE(openProject);
    openProject->trigger();
    QFileDialog* dialog = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        for (auto* widget : QApplication::topLevelWidgets()) {
            if (auto* candidate = qobject_cast<QFileDialog*>(widget); candidate && candidate->isVisible())
                dialog = candidate;
        }
        return dialog != nullptr;
    }));
    EXPECT_EQ(app.appViewModel().selectedFolderURL(), QUrl::fromLocalFile(project + QStringLiteral("/docs")));
    dialog->setDirectory(project);
    dialog->selectFile(project);
    QMetaObject::invokeMethod(dialog, "accept");
    ASSERT_TRUE(waitUntil([&] { return app.appViewModel().selectedFolderURL() == QUrl::fromLocalFile(project); }));
    ASSERT_TRUE(waitUntil([&] { return treeText(window).contains(QStringLiteral("README.md")); }));
}

TEST_F(QuilloraAppTest, ARefusedAccessScopeIsShownInTheWindow)
{
    struct Refusing : platform::SecurityScopedResources {
        bool startAccessing(const QString&) override { return false; }
    };
    const auto previous = platform::SecurityScopedResources::shared();
    platform::SecurityScopedResources::setShared(std::make_shared<Refusing>());
    {
        QuilloraApp app;
        app.launch({project});
        QStringList texts;
        for (auto* label : firstWindow(app)->findChildren<QLabel*>()) {
            if (label->isVisibleTo(firstWindow(app)))
                texts << label->text();
        }
        EXPECT_TRUE(texts.contains(QStringLiteral("Failed to activate folder access scope: ") + project)) << texts.join(u'|').toStdString();
        EXPECT_EQ(app.appViewModel().selectedFolderURL(), QUrl::fromLocalFile(project));
    }
    platform::SecurityScopedResources::setShared(previous);
}

} // namespace

// The child of the test below: a file load held on a latch that never opens, while the
// application quits and its run ends the way main ends it.
TEST(QuitWhileLoading, HeldLoadChild)
{
    const QString scratch = qEnvironmentVariable("QUILLORA_TEST_HELD_LOAD");
    if (scratch.isEmpty())
        GTEST_SKIP() << "run by QuitWhileLoading.TheProcessEndsWhileALoadIsHeld";
    platform::UserDefaults::setStandard(std::make_shared<platform::UserDefaults>(scratch + QStringLiteral("/defaults.json")));
    writeFile(scratch + QStringLiteral("/project/README.md"), "# Project\n");
    static std::latch held(1);
    static std::atomic<bool> reading = false;
    FileViewerServices services;
    services.readFile = [](const QString&, const std::function<bool()>&) {
        reading = true;
        held.wait();
        return platform::RegularFileRead{};
    };
    int status = 0;
    {
        QuilloraApp app;
        app.launch({scratch + QStringLiteral("/project")});
        FileViewerModel model(services);
        model.setFile(FileDocumentModel::fromURL(QUrl::fromLocalFile(scratch + QStringLiteral("/project/README.md"))));
        model.setActive(true);
        ASSERT_TRUE(waitUntil([] { return reading.load(); }));
        platform::UserDefaults::standard()->setString(QStringLiteral("test.beforeQuit"), QStringLiteral("kept"));
        QTimer::singleShot(0, [] { QApplication::closeAllWindows(); });
        status = QApplication::exec() + 7;
    }
    QuilloraApp::endRun(status);
    ADD_FAILURE() << "the run went on while the load was held";
}

TEST(QuitWhileLoading, TheProcessEndsWhileALoadIsHeld)
{
    QTemporaryDir scratch;
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QUILLORA_TEST_HELD_LOAD"), scratch.path());
    child.setProcessEnvironment(environment);
    child.setWorkingDirectory(scratch.path()); // an earlier test may have left this one's removed
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=QuitWhileLoading.HeldLoadChild")});
    // Held for good, the load ends only with the process: a process that waited for it would
    // never end.
    const bool ended = child.waitForFinished(60000);
    if (!ended)
        child.kill();
    ASSERT_TRUE(ended) << "the process waited for the held load";
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 7); // the event loop's status, handed on
    platform::UserDefaults written(scratch.path() + QStringLiteral("/defaults.json"));
    EXPECT_EQ(written.string(QStringLiteral("test.beforeQuit")), QStringLiteral("kept"));
    // What the application remembers of its own, written as it always is.
    EXPECT_EQ(written.string(QString::fromLatin1(defaults_keys::lastSelectedDirectory)),
              QDir::cleanPath(scratch.path() + QStringLiteral("/project")));
}
