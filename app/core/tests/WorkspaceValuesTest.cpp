#include "core/FileDocumentModel.h"
#include "core/FileTreeNodeModel.h"

#include <gtest/gtest.h>

using namespace quillora;

namespace {

FileTreeNodeModel file(const QString& id, std::optional<QString> extension)
{
    const QUrl url = QUrl::fromLocalFile(QStringLiteral("/p/") + id);
    return {id, url, url.fileName(), FileTreeNodeType::file, {}, std::move(extension)};
}

TEST(FileTreeNodeModel, EqualityAndHashCoverEveryField)
{
    const FileTreeNodeModel a = file(QStringLiteral("a"), std::nullopt);
    FileTreeNodeModel withEmptyExtension = a;
    withEmptyExtension.fileExtension = QString();
    EXPECT_NE(a, withEmptyExtension);
    EXPECT_NE(qHash(a), qHash(withEmptyExtension));

    const FileTreeNodeModel b = file(QStringLiteral("b"), QStringLiteral("md"));
    const FileTreeNodeModel dir{QStringLiteral("d"), QUrl::fromLocalFile(QStringLiteral("/p/d")), QStringLiteral("d"),
                                FileTreeNodeType::directory, {a, b}, std::nullopt};
    FileTreeNodeModel reordered = dir;
    reordered.children = {b, a};
    EXPECT_NE(dir, reordered);
    EXPECT_NE(qHash(dir), qHash(reordered));

    FileTreeNodeModel copy = dir;
    EXPECT_EQ(dir, copy);
    EXPECT_EQ(qHash(dir), qHash(copy));
    FileTreeNodeModel otherExtension = b;
    otherExtension.fileExtension = QStringLiteral("txt");
    copy.children = {a, otherExtension};
    EXPECT_NE(dir, copy);
}

TEST(FileTreeNodeModel, PathExtensionIsLowerCasedAndEmptyWhenAbsent)
{
    const struct {
        const char* name;
        const char* extension;
    } cases[] = {
        {"README", ""}, {"Makefile", ""}, {"Notes.MD", "md"}, {"Guide.MD", "md"}, {"archive.tar.GZ", "gz"},
        {".env", ""}, {"name.", ""}, {".config.json", "json"}, {"ÄRGER.Ü", "ü"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(lowerCasedPathExtension(QString::fromUtf8(c.name)), QString::fromUtf8(c.extension)) << c.name;
}

TEST(FileDocumentModel, DerivesItsFieldsFromTheURL)
{
    const auto document = FileDocumentModel::fromURL(QUrl::fromLocalFile(QStringLiteral("/p/docs/a.md")));
    EXPECT_EQ(document.id, QStringLiteral("/p/docs/a.md"));
    EXPECT_EQ(document.url, QUrl::fromLocalFile(QStringLiteral("/p/docs/a.md")));
    EXPECT_EQ(document.name, QStringLiteral("a.md"));
    EXPECT_EQ(document.folderName, QStringLiteral("docs"));

    const auto atRoot = FileDocumentModel::fromURL(QUrl::fromLocalFile(QStringLiteral("/a.md")));
    EXPECT_EQ(atRoot.folderName, QStringLiteral("/"));
    EXPECT_NE(qHash(document), qHash(atRoot));
    EXPECT_EQ(document, FileDocumentModel::fromURL(document.url));
}

} // namespace
