#include "core/FileTreeScannerService.h"
#include "core/LogStore.h"

#include <testsupport/ChildProcess.h>
#include <testsupport/EventLoop.h>
#include <testsupport/Files.h>
#include <testsupport/SocketFile.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <atomic>
#include <stop_token>
#include <thread>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillora;
using testsupport::writeFile;

namespace {

void mkdir(const QString& path)
{
    ASSERT_TRUE(QDir().mkpath(path)) << path.toStdString();
}

void flatten(const FileTreeNodeList& nodes, QStringList& ids)
{
    for (const FileTreeNodeModel& node : nodes) {
        ids.append(node.id);
        flatten(node.children, ids);
    }
}

QStringList sortedIds(const FileTreeNodeList& nodes)
{
    QStringList ids;
    flatten(nodes, ids);
    ids.sort();
    return ids;
}

QStringList names(const FileTreeNodeList& nodes)
{
    QStringList result;
    for (const FileTreeNodeModel& node : nodes)
        result.append(node.name);
    return result;
}

std::optional<FileTreeNodeModel> child(const FileTreeNodeList& nodes, const QString& name)
{
    for (const FileTreeNodeModel& node : nodes) {
        if (node.name == name)
            return node;
    }
    return std::nullopt;
}

// What `find` lists with the scanner's filters: links followed, folders and regular files only,
// hidden names pruned unless shown.
QStringList findIds(const QString& root, bool showsHidden)
{
    QStringList arguments{QStringLiteral("-L"), root, QStringLiteral("-mindepth"), QStringLiteral("1")};
    if (!showsHidden)
        arguments << QStringLiteral("-name") << QStringLiteral(".*") << QStringLiteral("-prune") << QStringLiteral("-o");
    arguments << QStringLiteral("(") << QStringLiteral("-type") << QStringLiteral("d") << QStringLiteral("-o")
              << QStringLiteral("-type") << QStringLiteral("f") << QStringLiteral(")") << QStringLiteral("-print0");
    QProcess find;
    find.start(QStringLiteral("find"), arguments);
    EXPECT_TRUE(find.waitForFinished(60000));
    QStringList ids;
    for (const QByteArray& line : find.readAllStandardOutput().split('\0')) {
        if (!line.isEmpty())
            ids.append(QString::fromUtf8(line).mid(root.size() + 1));
    }
    ids.sort();
    return ids;
}

TEST(FileTreeScanner, IdsMatchFindOnAGeneratedTree)
{
    QTemporaryDir dir;
    QTemporaryDir outside;
    const QString root = dir.filePath(QStringLiteral("project"));
    mkdir(root);
    // Thousands of files over nested folders, with hidden entries at every level.
    for (int a = 0; a < 8; ++a) {
        for (int b = 0; b < 6; ++b) {
            const QString folder = root + QStringLiteral("/dir %1/sub-%2").arg(a).arg(b);
            mkdir(folder + QStringLiteral("/.hidden-folder"));
            writeFile(folder + QStringLiteral("/.hidden-folder/inside.md"), "");
            writeFile(folder + QStringLiteral("/.env"), "");
            for (int f = 0; f < 60; ++f)
                writeFile(folder + QStringLiteral("/file-%1.%2").arg(f).arg(f % 3 ? QStringLiteral("md") : QStringLiteral("TXT")), "");
        }
    }
    mkdir(root + QStringLiteral("/.git/objects"));
    writeFile(root + QStringLiteral("/.git/objects/abc"), "");
    writeFile(root + QStringLiteral("/with\nnewline.md"), "");
    writeFile(root + QStringLiteral("/ünïcödé name.md"), "");
    // Links: to a file, to a folder outside, dangling, and back up to the root (a cycle).
    writeFile(outside.filePath(QStringLiteral("linked.md")), "");
    ASSERT_TRUE(QFile::link(root + QStringLiteral("/dir 0/sub-0/file-1.md"), root + QStringLiteral("/link-to-file.md")));
    ASSERT_TRUE(QFile::link(outside.path(), root + QStringLiteral("/dir 1/outside")));
    ASSERT_TRUE(QFile::link(root + QStringLiteral("/nowhere"), root + QStringLiteral("/dangling")));
    ASSERT_TRUE(QFile::link(root, root + QStringLiteral("/dir 2/sub-1/back-to-root")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(root + QStringLiteral("/fifo")).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), root + QStringLiteral("/device")));
    const testsupport::SocketFile sock(root + QStringLiteral("/sock"));
    ASSERT_TRUE(sock.isBound());

    FileTreeScannerService scanner;
    for (bool showsHidden : {false, true}) {
        SCOPED_TRACE(showsHidden);
        const auto result = scanner.scan(QUrl::fromLocalFile(root), showsHidden);
        EXPECT_TRUE(result.allReadable);
        const QStringList ids = sortedIds(result.nodes);
        EXPECT_GT(ids.size(), 2800);
        EXPECT_EQ(ids, findIds(root, showsHidden));
        EXPECT_FALSE(ids.contains(QStringLiteral("dir 2/sub-1/back-to-root")));
        EXPECT_FALSE(ids.contains(QStringLiteral("fifo")));
        EXPECT_FALSE(ids.contains(QStringLiteral("device")));
        EXPECT_FALSE(ids.contains(QStringLiteral("sock")));
        EXPECT_TRUE(ids.contains(QStringLiteral("with\nnewline.md")));
        EXPECT_EQ(ids.contains(QStringLiteral(".git/objects/abc")), showsHidden);
    }
}

TEST(FileTreeScanner, OrdersFoldersThenFilesCaseInsensitively)
{
    QTemporaryDir dir;
    for (const char* folder : {"b", "A", "a"})
        mkdir(dir.filePath(QString::fromLatin1(folder)));
    for (const char* file : {"Z.md", "y.txt", "Makefile", "Guide.MD"})
        writeFile(dir.filePath(QString::fromLatin1(file)), "");
    const auto result = FileTreeScannerService().scan(QUrl::fromLocalFile(dir.path() + u'/'), false);
    const QStringList order = names(result.nodes);
    ASSERT_EQ(order.size(), 7);
    EXPECT_EQ(QSet<QString>(order.begin(), order.begin() + 2), (QSet<QString>{QStringLiteral("A"), QStringLiteral("a")}));
    EXPECT_EQ(order.mid(2), (QStringList{QStringLiteral("b"), QStringLiteral("Guide.MD"), QStringLiteral("Makefile"),
                                         QStringLiteral("y.txt"), QStringLiteral("Z.md")}));

    const auto guide = child(result.nodes, QStringLiteral("Guide.MD"));
    ASSERT_TRUE(guide);
    EXPECT_EQ(guide->fileExtension, QStringLiteral("md"));
    EXPECT_EQ(guide->id, QStringLiteral("Guide.MD"));
    EXPECT_EQ(guide->url, QUrl::fromLocalFile(dir.filePath(QStringLiteral("Guide.MD"))));
    EXPECT_EQ(child(result.nodes, QStringLiteral("Makefile"))->fileExtension, QString());
    const auto folder = child(result.nodes, QStringLiteral("b"));
    EXPECT_EQ(folder->type, FileTreeNodeType::directory);
    EXPECT_FALSE(folder->fileExtension);
}

TEST(FileTreeScanner, URLsAreThoseOfTheLocalPaths)
{
    QTemporaryDir dir;
    const QStringList odd{QStringLiteral("100% done.md"), QStringLiteral("a#b?c.md"), QStringLiteral("sp ace [1].md"),
                          QStringLiteral("ünï.md"), QStringLiteral("%41.md"), QStringLiteral("line\nbreak.md")};
    for (const QString& name : odd)
        writeFile(dir.filePath(name), "");
    const auto result = FileTreeScannerService().scan(QUrl::fromLocalFile(dir.path()), false);
    ASSERT_EQ(result.nodes.size(), odd.size());
    for (const FileTreeNodeModel& node : result.nodes) {
        EXPECT_EQ(node.url, QUrl::fromLocalFile(dir.filePath(node.name))) << node.name.toStdString();
        EXPECT_EQ(node.url.toLocalFile(), dir.filePath(node.name));
    }
}

TEST(FileTreeScanner, NestedIdsAndFolderReachedTwiceListedOnce)
{
    QTemporaryDir dir;
    mkdir(dir.filePath(QStringLiteral("docs/guide")));
    writeFile(dir.filePath(QStringLiteral("docs/guide/intro.md")), "");
    mkdir(dir.filePath(QStringLiteral("zz")));
    mkdir(dir.filePath(QStringLiteral(".versions/v3")));
    writeFile(dir.filePath(QStringLiteral(".versions/v3/notes.md")), "");
    // Links to folders of the tree, met before or after the folders themselves; and a link to a
    // folder the tree does not show.
    for (const char* link : {"zz/docs-again", "aa-docs", "docs/guide/up"})
        ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("docs")), dir.filePath(QString::fromLatin1(link))));
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral(".versions/v3")), dir.filePath(QStringLiteral("current"))));
    auto result = FileTreeScannerService().scan(QUrl::fromLocalFile(dir.path()), false);
    EXPECT_EQ(sortedIds(result.nodes),
              (QStringList{QStringLiteral("current"), QStringLiteral("current/notes.md"), QStringLiteral("docs"),
                           QStringLiteral("docs/guide"), QStringLiteral("docs/guide/intro.md"), QStringLiteral("zz")}));
    result = FileTreeScannerService().scan(QUrl::fromLocalFile(dir.path()), true);
    EXPECT_EQ(sortedIds(result.nodes),
              (QStringList{QStringLiteral(".versions"), QStringLiteral(".versions/v3"), QStringLiteral(".versions/v3/notes.md"),
                           QStringLiteral("docs"), QStringLiteral("docs/guide"), QStringLiteral("docs/guide/intro.md"),
                           QStringLiteral("zz")}));

    VisitedDirectories visited;
    const auto sub = FileTreeScannerService().scanDirectory(QUrl::fromLocalFile(dir.filePath(QStringLiteral("docs"))),
                                                            QUrl::fromLocalFile(dir.path()), false, visited);
    EXPECT_EQ(sortedIds(sub.nodes), (QStringList{QStringLiteral("docs/guide"), QStringLiteral("docs/guide/intro.md")}));
}

TEST(FileTreeScanner, EmptyMissingAndBadlyNamedEntries)
{
    QTemporaryDir dir;
    FileTreeScannerService scanner;
    auto result = scanner.scan(QUrl::fromLocalFile(dir.path()), true);
    EXPECT_TRUE(result.nodes.isEmpty());
    EXPECT_TRUE(result.allReadable);

    result = scanner.scan(QUrl::fromLocalFile(dir.filePath(QStringLiteral("missing"))), true);
    EXPECT_TRUE(result.nodes.isEmpty());
    EXPECT_TRUE(result.allReadable);

    // A name that is not UTF-8 cannot be named by any path of ours: it is left out, its
    // siblings are not.
    const QByteArray bad = QFile::encodeName(dir.path()) + "/bad-\xff\xfe.md";
    const int fd = ::open(bad.constData(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
    writeFile(dir.filePath(QStringLiteral("good.md")), "");
    result = scanner.scan(QUrl::fromLocalFile(dir.path()), true);
    EXPECT_EQ(names(result.nodes), QStringList{QStringLiteral("good.md")});
    ::unlink(bad.constData()); // QTemporaryDir cannot name it either
}

TEST(FileTreeScanner, DeepNestingIsCapped)
{
    QTemporaryDir dir;
    QString path = dir.path();
    for (int i = 0; i < FileTreeScannerService::maxDepth + 10; ++i)
        path += QStringLiteral("/d");
    mkdir(path);
    const auto result = FileTreeScannerService().scan(QUrl::fromLocalFile(dir.path()), false);
    int depth = 0;
    for (FileTreeNodeList level = result.nodes; !level.isEmpty(); level = level.first().children)
        ++depth;
    EXPECT_EQ(depth, FileTreeScannerService::maxDepth + 1);
    EXPECT_TRUE(result.allReadable);
}

TEST(FileTreeScanner, UnreadableFolderClearsTheFlagAndKeepsItsSiblings)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to switch to an unprivileged user";
    QTemporaryDir dir;
    ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
    mkdir(dir.filePath(QStringLiteral("open/inner")));
    writeFile(dir.filePath(QStringLiteral("open/inner/a.md")), "");
    mkdir(dir.filePath(QStringLiteral("locked/inner")));
    writeFile(dir.filePath(QStringLiteral("top.md")), "");
    ::chmod(QFile::encodeName(dir.filePath(QStringLiteral("locked"))).constData(), 0700);

    const QString root = dir.path();
    auto scanAsUser = [&](const QString& scanned) {
        return testsupport::runInChild(
            [&] {
                if (::geteuid() == 0)
                    return 99;
                const auto result = FileTreeScannerService().scan(QUrl::fromLocalFile(scanned), false);
                if (scanned != root)
                    return (result.nodes.isEmpty() && !result.allReadable) ? 0 : 2;
                const auto locked = child(result.nodes, QStringLiteral("locked"));
                const bool ok = !result.allReadable && locked && locked->children.isEmpty()
                    && sortedIds(result.nodes)
                        == QStringList({QStringLiteral("locked"), QStringLiteral("open"), QStringLiteral("open/inner"),
                                        QStringLiteral("open/inner/a.md"), QStringLiteral("top.md")});
                return ok ? 0 : 1;
            },
            testsupport::ChildUser::nobody);
    };
    EXPECT_EQ(scanAsUser(root), 0);
    EXPECT_EQ(scanAsUser(dir.filePath(QStringLiteral("locked"))), 0);
}

} // namespace

namespace {

// 20,000 files in 2,000 folders below 40 others. The scan checks its stop token before each
// folder: stopped before it starts it lists nothing; stopped while it runs it ends within a
// folder or two of the request; either way it returns a cancelled, empty result.
TEST(FileTreeScanner, StoppedScanEndsWithinAFolderAndReturnsNothing)
{
    QTemporaryDir dir;
    constexpr int areas = 40;
    constexpr int modulesEach = 50;
    constexpr int filesEach = 10;
    constexpr int allFolders = 1 + areas + areas * modulesEach; // with the project folder
    for (int area = 0; area < areas; ++area) {
        for (int module = 0; module < modulesEach; ++module) {
            const QString folder = dir.filePath(QStringLiteral("area-%1/module-%2").arg(area).arg(module));
            mkdir(folder);
            for (int file = 0; file < filesEach; ++file) {
                const int fd = ::open(QFile::encodeName(folder + QStringLiteral("/f%1.md").arg(file)).constData(),
                                      O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
                ASSERT_GE(fd, 0);
                ::close(fd);
            }
        }
    }
    const QUrl root = QUrl::fromLocalFile(dir.path());
    const FileTreeScannerService scanner;

    std::atomic<int> listed = 0;
    auto result = scanner.scan(root, false, std::stop_source().get_token(), &listed);
    EXPECT_FALSE(result.cancelled);
    EXPECT_EQ(result.nodes.size(), areas);
    EXPECT_EQ(listed, allFolders);

    std::stop_source stoppedBefore;
    stoppedBefore.request_stop();
    listed = 0;
    result = scanner.scan(root, false, stoppedBefore.get_token(), &listed);
    EXPECT_TRUE(result.cancelled);
    EXPECT_TRUE(result.nodes.isEmpty());
    EXPECT_EQ(listed, 0);

    // On a busy machine the whole scan may run between two steps of this thread; try again then.
    bool stoppedWhileRunning = false;
    for (int attempt = 0; attempt < 10 && !stoppedWhileRunning; ++attempt) {
        std::stop_source stop;
        std::atomic<int> count = 0;
        FileTreeScannerService::Result running;
        std::thread worker([&] { running = scanner.scan(root, false, stop.get_token(), &count); });
        while (count.load() == 0)
            std::this_thread::yield();
        stop.request_stop();
        const int atRequest = count.load();
        worker.join();
        if (!running.cancelled) {
            EXPECT_EQ(count.load(), allFolders);
            continue;
        }
        stoppedWhileRunning = true;
        EXPECT_TRUE(running.nodes.isEmpty());
        EXPECT_LE(count.load() - atRequest, 2) << "folders listed after the stop";
        EXPECT_LT(count.load(), allFolders);
    }
    EXPECT_TRUE(stoppedWhileRunning);
}

TEST(FileTreeScanner, BindMountOfTheProjectInsideItIsLeftOut)
{
    QTemporaryDir dir;
    mkdir(dir.filePath(QStringLiteral("docs/mirror")));
    writeFile(dir.filePath(QStringLiteral("docs/a.md")), "");
    const QString root = dir.path();
    // The mount lives in a mount namespace of the child only.
    const int status = testsupport::runInChild([&] {
        if (::unshare(CLONE_NEWNS) != 0 || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return testsupport::childSkipped;
        const QByteArray source = QFile::encodeName(root);
        const QByteArray target = QFile::encodeName(root + QStringLiteral("/docs/mirror"));
        if (::mount(source.constData(), target.constData(), nullptr, MS_BIND, nullptr) != 0)
            return testsupport::childSkipped;
        const auto result = FileTreeScannerService().scan(QUrl::fromLocalFile(root), false);
        const bool once = sortedIds(result.nodes)
            == QStringList({QStringLiteral("docs"), QStringLiteral("docs/a.md")});
        return once && result.allReadable ? 0 : 1;
    });
    if (status == testsupport::childSkipped)
        GTEST_SKIP() << "no private mount namespace here";
    EXPECT_EQ(status, 0);
}

} // namespace

namespace {

// Links into kernel state are shown as folders but never entered, however the link is reached;
// a project that itself lies on such a file system lists nothing.
TEST(FileTreeScanner, PseudoFileSystemsAreNeverEntered)
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("notes.md")), "");
    const struct {
        const char* link;
        const char* target;
    } links[] = {{"proc", "/proc"}, {"sys", "/sys"}, {"dev", "/dev"}, {"self", "/proc/self"}, {"cgroup", "/sys/fs/cgroup"}};
    QStringList linked;
    for (const auto& link : links) {
        if (!QFileInfo(QString::fromLatin1(link.target)).isDir())
            continue;
        ASSERT_TRUE(QFile::link(QString::fromLatin1(link.target), dir.filePath(QString::fromLatin1(link.link))));
        linked << QString::fromLatin1(link.link);
    }
    ASSERT_TRUE(linked.contains(QStringLiteral("proc")));
    const auto result = FileTreeScannerService().scan(QUrl::fromLocalFile(dir.path()), false);
    for (const QString& name : linked) {
        const auto node = child(result.nodes, name);
        ASSERT_TRUE(node) << name.toStdString();
        EXPECT_EQ(node->type, FileTreeNodeType::directory);
        // /sys/fs/cgroup may be a tmpfs of real folders, each a cgroup mount that is not entered.
        for (const FileTreeNodeModel& inner : node->children)
            EXPECT_TRUE(inner.children.isEmpty()) << inner.id.toStdString();
        if (name != QStringLiteral("cgroup")) {
            EXPECT_TRUE(node->children.isEmpty()) << name.toStdString();
        }
    }
    EXPECT_TRUE(child(result.nodes, QStringLiteral("notes.md")));

    const auto proc = FileTreeScannerService().scan(QUrl::fromLocalFile(QStringLiteral("/proc")), false);
    EXPECT_TRUE(proc.nodes.isEmpty());
    EXPECT_TRUE(proc.allReadable);
}

qsizetype countNodes(const FileTreeNodeList& nodes)
{
    qsizetype count = nodes.size();
    for (const FileTreeNodeModel& node : nodes)
        count += countNodes(node.children);
    return count;
}

// A scan keeps at most its bound of entries, says so in the log with the bound's figure, and
// still shows what it met, sorted; a tree of exactly the bound is complete.
TEST(FileTreeScanner, StopsAtTheEntryBoundWithAWarning)
{
    QTemporaryDir dir;
    for (int folder = 0; folder < 5; ++folder) {
        for (int file = 0; file < 9; ++file)
            writeFile(dir.filePath(QStringLiteral("f%1/file-%2.md").arg(folder).arg(file)), "");
    }
    const QUrl root = QUrl::fromLocalFile(dir.path());

    const auto whole = FileTreeScannerService(50).scan(root, false);
    EXPECT_EQ(countNodes(whole.nodes), 50);
    EXPECT_FALSE(whole.reachedEntryLimit);

    const qsizetype logged = LogStore::shared().entries().size();
    const auto bounded = FileTreeScannerService(23).scan(root, false);
    EXPECT_TRUE(bounded.reachedEntryLimit);
    EXPECT_FALSE(bounded.cancelled);
    EXPECT_TRUE(bounded.allReadable);
    EXPECT_EQ(countNodes(bounded.nodes), 23);
    ASSERT_GE(bounded.nodes.size(), 2);
    EXPECT_LT(bounded.nodes.first().name, bounded.nodes.at(1).name);
    ASSERT_TRUE(testsupport::waitUntil([&] { return LogStore::shared().entries().size() > logged; }));
    const LogEntryModel warning = LogStore::shared().entries().last();
    EXPECT_EQ(warning.level, LogLevel::warning);
    EXPECT_TRUE(warning.message.contains(QStringLiteral("bound of 23 entries"))) << warning.message.toStdString();

    // A link to "/" walks real folders only, and no further than the bound.
    ASSERT_TRUE(QFile::link(QStringLiteral("/"), dir.filePath(QStringLiteral("machine"))));
    const auto machine = FileTreeScannerService(20000).scan(root, false);
    EXPECT_TRUE(machine.reachedEntryLimit);
    EXPECT_EQ(countNodes(machine.nodes), 20000);
    const auto slash = child(machine.nodes, QStringLiteral("machine"));
    ASSERT_TRUE(slash);
    for (const char* pseudo : {"proc", "sys"}) {
        if (const auto node = child(slash->children, QString::fromLatin1(pseudo))) {
            EXPECT_TRUE(node->children.isEmpty()) << pseudo;
        }
    }
}

} // namespace
