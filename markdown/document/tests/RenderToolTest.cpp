// quillora-render as developers call it: the dump, the timings line, a PNG, and one-line errors.

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct ToolRun {
    int exitCode = -1;
    QString out;
    QString err;
};

ToolRun render(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(QUILLORA_RENDER_PATH), arguments);
    process.waitForFinished(60000);
    ToolRun run{process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
    // Qt's own start-up notes are not the tool's output.
    QStringList lines = run.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    lines.removeIf([](const QString& line) { return line.startsWith(QLatin1String("QStandardPaths:")); });
    run.err = lines.join(QLatin1Char('\n'));
    return run;
}

} // namespace

TEST(RenderTool, DumpTimingsAndImage)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("doc.md"));
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write("# Title\n\nSome *text*.\n\n- a\n- b\n");
    out.close();
    const QString png = dir.filePath(QStringLiteral("doc.png"));
    const ToolRun run = render({"--theme", "gitHub", "--scheme", "dark", "--width", "500", "--dump", "--timings", "--png",
                            png, file});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_GT(lines.size(), 5);
    EXPECT_TRUE(lines.front().startsWith(QLatin1String("Background 0,0 500x"))) << lines.front().toStdString();
    EXPECT_TRUE(run.out.contains(QLatin1String("\"Title\"")));
    EXPECT_TRUE(lines.back().contains(QRegularExpression(
        "^parse_ms=[\\d.]+ build_ms=[\\d.]+ first_layout_ms=[\\d.]+ full_layout_ms=[\\d.]+ paint_ms=[\\d.]+$")))
        << lines.back().toStdString();
    const QImage image(png);
    EXPECT_EQ(image.width(), 500);
    EXPECT_EQ(image.pixelColor(2, 2), QColor(0x18, 0x19, 0x1d)); // the dark page of the theme
}

TEST(RenderTool, BadInputExitsWithOneLine)
{
    QTemporaryDir dir;
    const QString binary = dir.filePath(QStringLiteral("bad.md"));
    QFile bad(binary);
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("\xff\xfe not UTF-8 \xc3\x28");
    bad.close();
    const QStringList cases[] = {
        {dir.filePath(QStringLiteral("missing.md"))},
        {binary},
        {dir.path()},
        {"--theme", "fancy", binary},
        {"--width", "wide", binary},
        {"--scheme"},
        {"--bogus", binary},
        {},
    };
    for (const QStringList& arguments : cases) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const ToolRun run = render(arguments);
        EXPECT_NE(run.exitCode, 0);
        EXPECT_EQ(run.err.count(QLatin1Char('\n')), 0) << run.err.toStdString();
        EXPECT_TRUE(run.err.startsWith(QLatin1String("quillora-render: "))) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
    }
    const ToolRun help = render({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.startsWith(QLatin1String("usage: quillora-render")));
}
