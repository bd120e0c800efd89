#include "window/MarkdownFileViewerBody.h"
#include "window/TextFileViewerBody.h"

#include <mddoc/Markdown.h>
#include <mdview/Host.h>
#include <testsupport/EventLoop.h>
#include <testsupport/QtPrinting.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QAbstractScrollArea>
#include <QKeyEvent>
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

TEST(MarkdownFileViewerBody, ALongDocumentIsShownWholeAndAReloadKeepsTheScrollPosition)
{
    QString text;
    for (int i = 0; i < 3000; ++i)
        text += QStringLiteral("Paragraph number %1 with *emphasis*.\n\n").arg(i);
    MarkdownFileViewerBody body;
    body.resize(600, 400);
    body.show();
    body.showDocument(QStringLiteral("/p/long.md"), document(text));
    EXPECT_EQ(body.markdown()->content().blocks().size(), 3000u);
    // What the window shows is laid out at once, the rest in the background.
    mdview::ViewHost& host = body.markdown()->host();
    QCoreApplication::processEvents();
    EXPECT_FALSE(host.isSettled());
    ASSERT_TRUE(waitUntil([&] { return host.isSettled(); }, 30000));

    // A new version of the same file: the reader stays where they were.
    auto* scroll = body.markdown()->findChild<QAbstractScrollArea*>();
    ASSERT_TRUE(scroll);
    scroll->verticalScrollBar()->setValue(5000);
    body.showDocument(QStringLiteral("/p/long.md"), document(text + QStringLiteral("One more.\n")));
    EXPECT_EQ(body.markdown()->content().blocks().size(), 3001u);
    ASSERT_TRUE(waitUntil([&] { return host.isSettled(); }, 30000));
    EXPECT_EQ(scroll->verticalScrollBar()->value(), 5000);
}

// The word at a point near the top left of the viewport: what the reader sees there.
QString wordAtTheTop(mdview::ViewHost& host)
{
    const QPointF at(60, host.viewportTop() + 60);
    host.mouseDoubleClick(at, Qt::LeftButton);
    const QString word = host.selectedText();
    host.clearSelection();
    return word;
}

// The whole of a long document replaces its first part, shown while it was parsed: the reader
// sees the same text as before, whether they had scrolled part-way or moved to the first part's
// end. In paragraphs cut inside one, and in one line, a single paragraph laid out in parts.
TEST(MarkdownFileViewerBody, TheWholeReplacingTheFirstPartKeepsTheReadersPlace)
{
    QString paragraphs, line;
    for (int i = 0; i < 1000; ++i) {
        for (int j = 0; j < 60; ++j)
            paragraphs += QStringLiteral("p%1w%2 *a* ").arg(i).arg(j);
        paragraphs += QStringLiteral("\n\n");
    }
    for (int i = 0; i < 60000; ++i)
        line += QStringLiteral("w%1 *a* `d` ").arg(i);
    line += u'\n';
    struct Case {
        const char* name;
        QString whole;
        qsizetype cut;
        bool toEnd;
    };
    const qsizetype insideParagraph = paragraphs.indexOf(QStringLiteral("p500w1 "));
    const Case cases[] = {
        {"paragraphs, at the end", paragraphs, insideParagraph, true},
        {"paragraphs, part-way", paragraphs, insideParagraph, false},
        {"one line, at the end", line, line.size() / 4, true},
        {"one line, part-way", line, line.size() / 4, false},
    };
    for (const Case& c : cases) {
        MarkdownFileViewerBody body;
        body.resize(600, 400);
        body.show();
        body.showDocument(QStringLiteral("/p/long.md"), document(c.whole.left(c.cut)));
        mdview::ViewHost& host = body.markdown()->host();
        auto* scroll = body.markdown()->findChild<QAbstractScrollArea*>();
        ASSERT_TRUE(scroll);
        ASSERT_TRUE(waitUntil([&] { return host.isSettled(); }, 60000)) << c.name;
        if (c.toEnd) {
            QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
            QApplication::sendEvent(scroll, &end);
        } else {
            scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum() / 2);
        }
        ASSERT_TRUE(waitUntil([&] { return host.isSettled(); }, 60000)) << c.name;
        const QString before = wordAtTheTop(host);
        ASSERT_FALSE(before.isEmpty()) << c.name;

        body.showDocument(QStringLiteral("/p/long.md"), document(c.whole));
        ASSERT_TRUE(waitUntil([&] { return host.isSettled(); }, 60000)) << c.name;
        EXPECT_EQ(wordAtTheTop(host).toStdString(), before.toStdString()) << c.name;
    }
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

// Both bodies draw no page of their own: their blank parts and their edges are the window's.
TEST(MarkdownFileViewerBody, ThePageShowsTheWindowWithoutAFrameAsTheTextPageDoes)
{
    MarkdownFileViewerBody markdown;
    markdown.showDocument(QStringLiteral("/p/a.md"), document(QStringLiteral("# Title")));
    TextFileViewerBody text;
    auto content = std::make_shared<FileViewerContent>();
    content->text = QStringLiteral("text");
    text.showText(QStringLiteral("/p/a.txt"), content, false);
    for (QWidget* body : {static_cast<QWidget*>(&markdown), static_cast<QWidget*>(&text)}) {
        body->resize(400, 300);
        body->show();
        QCoreApplication::processEvents();
        const QImage shown = body->grab().toImage();
        const QColor window = body->palette().color(QPalette::Window);
        ASSERT_NE(window, body->palette().color(QPalette::Base));
        for (const QPoint at : {QPoint(200, 290), QPoint(0, 150), QPoint(200, 0)})
            EXPECT_EQ(shown.pixelColor(at * shown.devicePixelRatio()).name(), window.name())
                << body->metaObject()->className() << " at " << at.x() << "," << at.y();
    }
}

} // namespace
