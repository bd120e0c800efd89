#include "core/FileTreeScannerService.h"

#include <testsupport/Files.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

using namespace quillora;
using testsupport::writeFile;

namespace {

FileTreeNodeModel handMade(const QString& root, const QString& id, FileTreeNodeList children = {})
{
    const QString name = id.section(u'/', -1);
    const bool isFile = name.contains(u'.') || name == QStringLiteral("README");
    return {id,
            QUrl::fromLocalFile(root + u'/' + id),
            name,
            isFile ? FileTreeNodeType::file : FileTreeNodeType::directory,
            std::move(children),
            isFile ? std::optional(lowerCasedPathExtension(name)) : std::nullopt};
}

FileTreeNodeList scan(const QString& root)
{
    return FileTreeScannerService().scan(QUrl::fromLocalFile(root), false).nodes;
}

struct Project {
    Project()
    {
        for (const char* file : {"docs/guide/intro.md", "docs/Notes.MD", "README", "100% done.md", "x/same.md", "y/same.md"})
            writeFile(dir.filePath(QString::fromLatin1(file)), "");
    }
    QString root() const { return dir.path(); }
    QTemporaryDir dir;
};

// What the snapshot derives for each node (id, URL, name, type, extension, children) is what a
// node made field by field holds, compared either way round.
TEST(FileTreeSnapshot, ScannedNodesEqualTheSameNodesMadeByHand)
{
    const Project p;
    const QString r = p.root();
    const FileTreeNodeList expected{
        handMade(r, QStringLiteral("docs"),
                 {handMade(r, QStringLiteral("docs/guide"), {handMade(r, QStringLiteral("docs/guide/intro.md"))}),
                  handMade(r, QStringLiteral("docs/Notes.MD"))}),
        handMade(r, QStringLiteral("x"), {handMade(r, QStringLiteral("x/same.md"))}),
        handMade(r, QStringLiteral("y"), {handMade(r, QStringLiteral("y/same.md"))}),
        handMade(r, QStringLiteral("100% done.md")),
        handMade(r, QStringLiteral("README")),
    };
    const FileTreeNodeList scanned = scan(r);
    EXPECT_EQ(scanned, expected);
    EXPECT_EQ(expected, scanned);
    const FileTreeNodeModel rootA{r, QUrl::fromLocalFile(r), QStringLiteral("p"), FileTreeNodeType::directory, scanned, {}};
    const FileTreeNodeModel rootB{r, QUrl::fromLocalFile(r), QStringLiteral("p"), FileTreeNodeType::directory, expected, {}};
    EXPECT_EQ(qHash(rootA), qHash(rootB));

    const FileTreeNodeModel notes = scanned.first().children.last();
    EXPECT_EQ(notes.id, QStringLiteral("docs/Notes.MD"));
    EXPECT_EQ(notes.url.toLocalFile(), r + QStringLiteral("/docs/Notes.MD"));
    EXPECT_EQ(notes.fileExtension, QStringLiteral("md"));
    EXPECT_EQ(scanned.at(3).url, QUrl::fromLocalFile(r + QStringLiteral("/100% done.md")));
}

// Two scans compare by what they hold, not by where they are stored: the same folder twice is
// equal, a renamed file or the same names in another folder are not, at any level.
TEST(FileTreeSnapshot, ScansCompareByValue)
{
    Project p;
    const FileTreeNodeList first = scan(p.root());
    const FileTreeNodeList again = scan(p.root());
    ASSERT_FALSE(first.snapshot().sharesStorageWith(again.snapshot()));
    EXPECT_EQ(first, again);
    EXPECT_EQ(first.first().children, again.first().children);

    // x and y hold a file of the same name: same records, different ids and URLs.
    EXPECT_NE(first.at(1).children, first.at(2).children);

    QTemporaryDir elsewhere;
    const QString copy = elsewhere.filePath(QStringLiteral("p"));
    for (const char* file : {"docs/guide/intro.md", "docs/Notes.MD", "README", "100% done.md", "x/same.md", "y/same.md"})
        writeFile(copy + u'/' + QString::fromLatin1(file), "");
    EXPECT_NE(scan(copy), first);

    ASSERT_TRUE(QFile::rename(p.dir.filePath(QStringLiteral("docs/guide/intro.md")), p.dir.filePath(QStringLiteral("docs/guide/intro2.md"))));
    const FileTreeNodeList renamed = scan(p.root());
    EXPECT_NE(renamed, first);
    EXPECT_EQ(renamed.at(1), first.at(1));
}

// Lookup walks down the path's components; removing a node gives the tree a rescan would give
// once the node is gone from the disk, and every other node stays where it was.
TEST(FileTreeSnapshot, FindAndRemoveByLocalPath)
{
    Project p;
    const QString r = p.root();
    const FileTreeNodeList tree = scan(r);

    const auto guide = tree.find(QString(r + QStringLiteral("/docs/guide")));
    ASSERT_TRUE(guide);
    EXPECT_EQ(guide->id, QStringLiteral("docs/guide"));
    EXPECT_EQ(guide->children.size(), 1);
    for (const QString& absent : {r + QStringLiteral("/docs/guide/"), r + QStringLiteral("/docs//guide"), r,
                                  r + QStringLiteral("/docs/missing.md"), QStringLiteral("/elsewhere/docs"), QString()})
        EXPECT_FALSE(tree.find(absent)) << absent.toStdString();
    EXPECT_TRUE(tree.first().children.find(QString(r + QStringLiteral("/docs/guide/intro.md"))));
    EXPECT_FALSE(tree.at(1).children.find(QString(r + QStringLiteral("/docs/guide"))));

    EXPECT_FALSE(tree.removingAll(QString(r + QStringLiteral("/docs/nothing"))));
    for (const char* removed : {"docs/guide", "README", "x/same.md"}) {
        SCOPED_TRACE(removed);
        const QString path = r + u'/' + QString::fromLatin1(removed);
        const auto without = tree.removingAll(path);
        ASSERT_TRUE(without);
        ASSERT_TRUE(QFileInfo(path).isDir() ? QDir(path).removeRecursively() : QFile::remove(path));
        EXPECT_EQ(*without, scan(r));
        EXPECT_FALSE(without->find(path));
        EXPECT_TRUE(without->find(QString(r + QStringLiteral("/y/same.md"))));
        EXPECT_EQ(without->find(QString(r + QStringLiteral("/docs/Notes.MD")))->id, QStringLiteral("docs/Notes.MD"));
        writeFile(r + QStringLiteral("/docs/guide/intro.md"), "");
        writeFile(r + QStringLiteral("/README"), "");
        writeFile(r + QStringLiteral("/x/same.md"), "");
    }
}

} // namespace
