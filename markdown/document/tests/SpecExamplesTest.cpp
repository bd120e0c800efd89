// Every example of cmark-gfm's conformance text (spec.txt) renders without a warning, and as the blocks
// cmark-gfm's own XML output names at the top level.

#include "mddoc/OffscreenDocument.h"
#include "mddoc/Themes.h"

#include "mdview/Environment.h"

#include "markdown/MarkdownContent.h"

#include "ManualLoader.h"
#include "TestSupport.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <gtest/gtest.h>

using markdown::BlockNode;

namespace {

QString cmarkName(const BlockNode& block)
{
    static const char* names[] = {"block_quote", "list", "list",      "list",  "code_block",
                                  "html_block",  "paragraph", "heading", "table", "thematic_break"};
    return QString::fromLatin1(names[block.value.index()]);
}

QStringList cmarkTopLevel(const QString& cmark, const QString& markdown)
{
    QProcess process;
    process.start(cmark, {"-e", "table", "-e", "tasklist", "-e", "strikethrough", "-e", "autolink", "-e",
                          "tagfilter", "-t", "xml"});
    process.write(markdown.toUtf8());
    process.closeWriteChannel();
    process.waitForFinished(10000);
    QStringList names;
    static const QRegularExpression child(QStringLiteral("^  <([a-z_]+)"));
    for (const QString& line : QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        const auto match = child.match(line);
        if (match.hasMatch())
            names << match.captured(1);
    }
    return names;
}

QStringList warnings;
void collectWarnings(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    // The pinned test fonts hold no face for some scripts of the examples (Malayalam, Kannada):
    // Qt's font fallback says so, which is about the machine's fonts, not the document.
    if (message.contains(QLatin1String("OpenType support missing for")))
        return;
    if (type != QtDebugMsg && type != QtInfoMsg)
        warnings << QStringLiteral("[%1] %2").arg(QString::fromLatin1(context.category), message);
}

} // namespace

TEST(SpecExamples, RenderWithoutWarningsAsTheBlocksCmarkNames)
{
    const QString cmark = QStandardPaths::findExecutable(QStringLiteral("cmark-gfm"));
    if (!QFile::exists(QString::fromLatin1(markdown::test::gfmReferencePath)) || cmark.isEmpty())
        GTEST_SKIP() << "needs cmark-gfm and " << markdown::test::gfmReferencePath << " (Debian package cmark-gfm)";
    const auto all = markdown::test::gfmExamples(markdown::test::readGzip(markdown::test::gfmReferencePath));
    ASSERT_GT(all.size(), 600u);

    // Images load through a loader that never answers: nothing leaves the machine.
    const auto loader = std::make_shared<ManualLoader>();
    const auto modifiers = [loader](const mdview::View& view) { return view.remoteImageLoader(loader); };
    const auto previous = qInstallMessageHandler(collectWarnings);
    for (const auto& example : all) {
        SCOPED_TRACE(QStringLiteral("example %1 (line %2)").arg(example.number).arg(example.line).toStdString());
        warnings.clear();
        const QString text = QString::fromStdString(example.markdown);
        const markdown::MarkdownContent content(example.markdown);
        QStringList kinds;
        for (const BlockNode& block : content.blocks())
            kinds << cmarkName(block);
        EXPECT_EQ(kinds, cmarkTopLevel(cmark, text));

        for (const auto& theme : {mddoc::themes::basic(), mddoc::themes::gitHub()}) {
            mddoc::OffscreenDocument document(text, theme, mdview::ColorScheme::light, 600, modifiers);
            document.paint();
            // One laid-out unit per top-level block.
            const auto* root = document.host().root();
            ASSERT_TRUE(root);
            const mdview::RenderNode* stack = root;
            while (stack->typeName() != QLatin1String("VStack") && !stack->children().empty())
                stack = stack->children().front().get();
            EXPECT_EQ(stack->children().size(), content.blocks().size());
        }
        EXPECT_TRUE(warnings.isEmpty()) << warnings.join(QLatin1Char('\n')).toStdString();
    }
    qInstallMessageHandler(previous);
}
