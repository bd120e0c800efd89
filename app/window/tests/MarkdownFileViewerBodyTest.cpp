#include "window/MarkdownFileViewerBody.h"

#include <mddoc/Markdown.h>
#include <mdview/Host.h>
#include <testsupport/EventLoop.h>
#include <testsupport/QtPrinting.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QAbstractScrollArea>
#include <QScrollBar>

using namespace quillora;
using testsupport::waitUntil;

namespace {

std::shared_ptr<const FileViewerContent> document(const QString& text)
{
    auto content = std::make_shared<FileViewerContent>();
    content->text = text;
    const QByteArray utf8 = text.toUtf8();
    content->markdown = markdown::MarkdownContent(std::string_view(utf8.constData(), std::size_t(utf8.size())));
    return content;
}

TEST(MarkdownFileViewerBody, ALongDocumentShowsItsBeginningFirstAndGrowsToTheEnd)
{
    QString text;
    for (int i = 0; i < 3000; ++i)
        text += QStringLiteral("Paragraph number %1 with *emphasis*.\n\n").arg(i);
    MarkdownFileViewerBody body;
    body.resize(600, 400);
    body.show();
    body.showDocument(QStringLiteral("/p/long.md"), document(text));
    EXPECT_TRUE(body.isGrowing());
    EXPECT_EQ(body.markdown()->content().blocks().size(), MarkdownFileViewerBody::firstBlocks);
    ASSERT_TRUE(waitUntil([&] { return !body.isGrowing(); }, 30000));
    EXPECT_EQ(body.markdown()->content().blocks().size(), 3000u);

    // A new version of the same file is shown whole at once, where the reader was.
    auto* scroll = body.markdown()->findChild<QAbstractScrollArea*>();
    ASSERT_TRUE(scroll);
    QCoreApplication::processEvents();
    scroll->verticalScrollBar()->setValue(5000);
    body.showDocument(QStringLiteral("/p/long.md"), document(text + QStringLiteral("One more.\n")));
    EXPECT_FALSE(body.isGrowing());
    EXPECT_EQ(body.markdown()->content().blocks().size(), 3001u);
    QCoreApplication::processEvents();
    EXPECT_EQ(scroll->verticalScrollBar()->value(), 5000);
}

TEST(MarkdownFileViewerBody, TheCopyButtonPutsExactlyTheBlocksCodeOnTheClipboard)
{
    MarkdownFileViewerBody body;
    body.resize(600, 400);
    body.show();
    const QString code = QStringLiteral("let x = \"<b>\"\nprint(x)");
    body.showDocument(QStringLiteral("/p/code.md"), document(QStringLiteral("Intro `inline`\n\n```swift\n") + code
                                                                  + QStringLiteral("\n```\n")));
    QCoreApplication::processEvents();
    QApplication::clipboard()->setText(QStringLiteral("something else"));
    // Press and release on the copy button, found by its link in the laid-out tree.
    mdview::ViewHost& host = body.markdown()->host();
    std::optional<QPointF> button;
    for (double y = 0; y < 300 && !button; y += 2)
        for (double x = 0; x < 600 && !button; x += 2)
            if (host.linkAt({x, y}).startsWith(QLatin1String(MarkdownFileViewerBody::copyScheme)))
                button = QPointF(x + 2, y + 2);
    ASSERT_TRUE(button) << body.markdown()->dump().toStdString();
    host.mousePress(*button, Qt::LeftButton, {});
    host.mouseRelease(*button, Qt::LeftButton);
    EXPECT_EQ(QApplication::clipboard()->text(), code);
    EXPECT_TRUE(body.markdown()->dump().contains(QStringLiteral("SWIFT")));
    EXPECT_FALSE(body.copyCode(QUrl(QStringLiteral("https://example.com"))));
}

} // namespace
