#include "window/TextFileViewerBody.h"

#include "window/GrammarCodeHighlighter.h"

#include <testsupport/EventLoop.h>
#include <testsupport/QtPrinting.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

#include <set>

using namespace quillora;
using testsupport::waitUntil;

namespace {

std::shared_ptr<const FileViewerContent> content(const QString& text, bool swift = false)
{
    auto made = std::make_shared<FileViewerContent>();
    made->text = text;
    if (swift)
        made->highlightedSwiftText = GrammarCodeHighlighter(mdview::ColorScheme::light).highlight(text);
    return made;
}

QString numberedLines(int count, const QString& tail = {})
{
    QString text;
    for (int i = 0; i < count; ++i)
        text += QStringLiteral("line %1 of a long text that wraps in narrow windows\n").arg(i);
    return text + tail;
}

TEST(TextFileViewerBody, ALargeTextGoesInSliceBySliceAndShowsFromTheFirstSlice)
{
    TextFileViewerBody body;
    body.resize(500, 400);
    body.show();
    const QString text = numberedLines(100'000); // 5 MB
    body.showText(QStringLiteral("/p/big.txt"), content(text), false);
    EXPECT_TRUE(body.isFilling());
    EXPECT_GT(body.textView()->document()->characterCount(), 1) << "the first slice is on screen at once";
    EXPECT_LT(body.textView()->document()->characterCount(), text.size());
    ASSERT_TRUE(waitUntil([&] { return !body.isFilling(); }, 30000));
    EXPECT_TRUE(body.textView()->toPlainText() == text);
    EXPECT_TRUE(body.textView()->isReadOnly());
    EXPECT_EQ(body.textView()->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    EXPECT_EQ(body.textView()->document()->documentMargin(), 24);
}

TEST(TextFileViewerBody, ANewVersionOfTheShownFileKeepsTheScrollPositionAndTheSelection)
{
    TextFileViewerBody body;
    body.resize(500, 300);
    body.show();
    const QString first = numberedLines(3000);
    body.showText(QStringLiteral("/p/log.txt"), content(first), false);
    ASSERT_TRUE(waitUntil([&] { return !body.isFilling(); }));
    QCoreApplication::processEvents();
    QTextCursor cursor = body.textView()->textCursor();
    cursor.setPosition(1000);
    cursor.setPosition(1010, QTextCursor::KeepAnchor);
    body.textView()->setTextCursor(cursor);
    body.textView()->verticalScrollBar()->setValue(1200);
    const int scroll = body.textView()->verticalScrollBar()->value();
    ASSERT_GT(scroll, 0);

    body.showText(QStringLiteral("/p/log.txt"), content(first + QStringLiteral("one more line\n")), false);
    ASSERT_TRUE(waitUntil([&] { return !body.isFilling(); }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(body.textView()->toPlainText().endsWith(QStringLiteral("one more line\n")));
    EXPECT_EQ(body.textView()->verticalScrollBar()->value(), scroll);
    EXPECT_EQ(body.textView()->textCursor().anchor(), 1000);
    EXPECT_EQ(body.textView()->textCursor().position(), 1010);

    // Another file starts at its top.
    body.showText(QStringLiteral("/p/other.txt"), content(first), false);
    ASSERT_TRUE(waitUntil([&] { return !body.isFilling(); }));
    EXPECT_EQ(body.textView()->verticalScrollBar()->value(), 0);
}

TEST(TextFileViewerBody, SwiftRunsColourTheTextAndErrorsReplaceIt)
{
    TextFileViewerBody body;
    body.resize(500, 300);
    body.show();
    const QString source = QStringLiteral("import Foundation\nlet answer = 42 // the answer\nprint(\"hi\")\n");
    body.showText(QStringLiteral("/p/main.swift"), content(source, true), true);
    ASSERT_TRUE(waitUntil([&] {
        std::set<QRgb> colors;
        for (QTextBlock block = body.textView()->document()->begin(); block.isValid(); block = block.next())
            for (const QTextLayout::FormatRange& range : block.layout()->formats())
                colors.insert(range.format.foreground().color().rgba());
        return colors.size() >= 3;
    }));

    body.showError(QStringLiteral("/p/main.swift"), QStringLiteral("Could not display file format 'swift'."));
    EXPECT_TRUE(body.isShowingError());
    EXPECT_EQ(body.errorMessage(), QStringLiteral("Could not display file format 'swift'."));
}

TEST(TextFileViewerBody, CtrlFFindsAndRoundsTheEnd)
{
    TextFileViewerBody body;
    body.resize(500, 300);
    body.show();
    body.showText(QStringLiteral("/p/a.txt"), content(QStringLiteral("alpha beta\ngamma beta\n")), false);
    QApplication::setActiveWindow(&body); // shortcuts work in the active window only
    body.textView()->setFocus();
    QTest::keyClick(body.textView(), Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(body.findBar()->isVisible());
    QTest::keyClicks(body.findBar()->field(), QStringLiteral("beta"));
    EXPECT_EQ(body.textView()->textCursor().selectionStart(), 6);
    QTest::keyClick(body.findBar()->field(), Qt::Key_Return);
    EXPECT_EQ(body.textView()->textCursor().selectionStart(), 17);
    QTest::keyClick(body.findBar()->field(), Qt::Key_Return);
    EXPECT_EQ(body.textView()->textCursor().selectionStart(), 6);
    QTest::keyClick(body.findBar()->field(), Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(body.textView()->textCursor().selectionStart(), 17);
    body.findBar()->field()->setText(QStringLiteral("delta"));
    EXPECT_FALSE(body.findBar()->findNext());
    QTest::keyClick(body.findBar()->field(), Qt::Key_Escape);
    EXPECT_FALSE(body.findBar()->isVisible());
}

} // namespace
