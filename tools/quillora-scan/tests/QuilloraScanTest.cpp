#include <testsupport/Files.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

namespace {

struct ToolRun {
    int exitCode = -1;
    QString out;
    QString err;
};

ToolRun scan(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(QUILLORA_SCAN_PATH), arguments);
    EXPECT_TRUE(process.waitForFinished(30000));
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

TEST(QuilloraScan, PrintsIdsInTreeOrderThenTheCounts)
{
    QTemporaryDir dir;
    for (const char* file : {"Z.txt", "a.md", "b/inner/deep.md", "A/x.md", ".hidden/h.md", ".env"})
        testsupport::writeFile(dir.filePath(QString::fromLatin1(file)), "");

    const ToolRun plain = scan({dir.path()});
    EXPECT_EQ(plain.exitCode, 0);
    EXPECT_EQ(plain.out, QStringLiteral("A\nA/x.md\nb\nb/inner\nb/inner/deep.md\na.md\nZ.txt\n"
                                        "folders=3 files=4 denied=no\n"));

    const ToolRun hidden = scan({QStringLiteral("--hidden"), dir.path()});
    EXPECT_EQ(hidden.exitCode, 0);
    EXPECT_EQ(hidden.out, QStringLiteral(".hidden\n.hidden/h.md\nA\nA/x.md\nb\nb/inner\nb/inner/deep.md\n.env\na.md\nZ.txt\n"
                                         "folders=4 files=6 denied=no\n"));
}

TEST(QuilloraScan, BadCommandLinesFailWithOneLine)
{
    QTemporaryDir dir;
    testsupport::writeFile(dir.filePath(QStringLiteral("file.md")), "");
    const QStringList cases[] = {
        {},
        {QStringLiteral("--deep"), dir.path()},
        {dir.path(), dir.path()},
        {dir.filePath(QStringLiteral("missing"))},
        {dir.filePath(QStringLiteral("file.md"))},
    };
    for (const QStringList& arguments : cases) {
        const ToolRun run = scan(arguments);
        EXPECT_NE(run.exitCode, 0) << arguments.join(u' ').toStdString();
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_EQ(run.err.count(u'\n'), 1) << run.err.toStdString();
        EXPECT_TRUE(run.err.startsWith(QStringLiteral("quillora-scan: "))) << run.err.toStdString();
    }
    const ToolRun help = scan({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.startsWith(QStringLiteral("usage: quillora-scan [--hidden] FOLDER\n")));
}

} // namespace
