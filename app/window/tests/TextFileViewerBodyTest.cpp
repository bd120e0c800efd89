#include "window/TextFileViewerBody.h"

#include "window/FileTextDecoding.h"
#include "window/GrammarCodeHighlighter.h"

#include "richtext/gui/QtConversions.h"

#include <testsupport/AddedFont.h>
#include <testsupport/EventLoop.h>
#include <testsupport/GlyphRuns.h>
#include <testsupport/QtPrinting.h>

#include <gtest/gtest.h>

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

#include <optional>
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

// The colour drawn on the character in `column` of `block`; nothing when it keeps the text's own.
std::optional<QRgb> colourAt(const QTextBlock& block, qsizetype column)
{
    for (const QTextLayout::FormatRange& range : block.layout()->formats())
        if (column >= range.start && column < range.start + range.length && range.format.hasProperty(QTextFormat::ForegroundBrush))
            return range.format.foreground().color().rgba();
    return std::nullopt;
}

// Walks the decoded text beside the document: each LF, CR LF and lone CR is one line break there,
// and every other character sits in its line with the colour of its run.
void expectColoursOnTheirCharacters(const QTextDocument& document, const richtext::AttributedText& highlighted)
{
    const QString& text = highlighted.text();
    QTextBlock block = document.begin();
    qsizetype column = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\n' || c == u'\r') {
            ASSERT_EQ(column, block.text().size()) << "a line break at offset " << i;
            if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
                ++i;
            block = block.next();
            column = 0;
            continue;
        }
        ASSERT_TRUE(block.isValid()) << "offset " << i;
        ASSERT_LT(column, block.text().size()) << "offset " << i;
        ASSERT_EQ(block.text().at(column), c) << "offset " << i;
        const auto& color = highlighted.attributesAt(i)->foregroundColor;
        const std::optional<QRgb> expected = color ? std::optional(richtext::toQColor(*color).rgba()) : std::nullopt;
        ASSERT_EQ(colourAt(block, column), expected) << "offset " << i << " '" << QString(c).toStdString() << "'";
        ++column;
    }
    EXPECT_FALSE(block.next().isValid());
}

TEST(TextFileViewerBody, SwiftColoursStayOnTheirCharactersWhateverTheLineEndings)
{
    // LF, CR LF, lone CR and CR CR LF, which decodes to CR LF.
    const QByteArray mixed = "import Foundation\n"
                             "let a = 1\r\n"
                             "var b = \"two\"\r"
                             "// three\r\r\n"
                             "func four() -> Int { 4 }\r\r\n"
                             "\r\r\n"
                             "struct Five { let x: Int }\r"
                             "\n"
                             "let six = \"\"\"\r\r\nsix\r\n\"\"\"\n";
    // The body fills its document in pieces of 32 KiB, each ending after a line feed where it
    // holds one. Lines that end in a lone CR hold none, so here the first piece ends between the
    // two halves of a pair.
    QByteArray crLines;
    while (crLines.size() < 32 * 1024 - 1)
        crLines += "let x = 1 // seven\r";
    crLines.truncate(32 * 1024 - 1);
    crLines += "\r\r\nlet y = \"eight\"\r";

    for (const QByteArray& bytes : {mixed, crLines}) {
        const auto decoded = decodeFileText(bytes, QUrl::fromLocalFile(QStringLiteral("/p/main.swift")));
        ASSERT_TRUE(std::holds_alternative<QString>(decoded));
        const auto shown = content(std::get<QString>(decoded), true);
        TextFileViewerBody body;
        body.resize(500, 300);
        body.show();
        body.showText(QStringLiteral("/p/main.swift"), shown, true);
        ASSERT_TRUE(waitUntil([&] { return !body.isFilling(); }));
        QCoreApplication::processEvents();
        expectColoursOnTheirCharacters(*body.textView()->document(), *shown->highlightedSwiftText);
    }
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

// Each emoji is one picture of the colour emoji font, in plain text and in highlighted Swift
// (whose colours go on the text around it), whatever text fonts with outlines for pictographs
// stand before it among the system's fallbacks; the rest keeps the text's monospaced font. And
// a line too long for one piece of the filling keeps its emoji whole where the pieces meet.
TEST(TextFileViewerBody, EmojiAreOneGlyphOfTheColourEmojiFont)
{
    const testsupport::AddedFont emoji(testsupport::colourEmojiFontFile);
    if (!emoji.isAdded())
        GTEST_SKIP() << "fonts-noto-color-emoji is not installed";
    const QString& line = testsupport::emojiLine;
    const QString& heart = testsupport::emojiPieces[1];
    const QString longLine = QString(32 * 1024 - 1, QLatin1Char('x')) + heart; // a piece ends inside it
    const QString source = QStringLiteral("// ") + line + QStringLiteral("\nlet s = 1\n") + longLine + QLatin1Char('\n');
    for (const bool withSymbols : {false, true}) {
        std::optional<testsupport::AddedFont> symbols;
        if (withSymbols) {
            symbols.emplace(testsupport::symbolsFontFile);
            if (!symbols->isAdded())
                GTEST_SKIP() << "fonts-noto-core is not installed";
        }
        for (const bool swift : {false, true}) {
            SCOPED_TRACE(std::string(swift ? "Swift" : "plain") + (withSymbols ? ", with Noto Sans Symbols2" : ""));
            TextFileViewerBody body;
            body.resize(800, 300);
            body.show();
            body.showText(QStringLiteral("/p/emoji.swift"), content(source, swift), swift);
            ASSERT_TRUE(waitUntil([&] { return !body.isFilling(); }));
            EXPECT_EQ(body.textView()->toPlainText(), source);
            const QTextDocument& document = *body.textView()->document();
            const auto glyphRuns = [&](const QTextBlock& block, int start, int end) {
                document.documentLayout()->blockBoundingRect(block); // laid out
                const QTextLine textLine = block.layout()->lineForTextPosition(start);
                return textLine.isValid() ? textLine.glyphRuns(start, end - start) : QList<QGlyphRun>();
            };
            const QTextBlock first = document.firstBlock();
            EXPECT_EQ(testsupport::glyphFamiliesByPiece(line, [&](int start, int end) { return glyphRuns(first, start + 3, end + 3); }),
                      testsupport::emojiLineInFamilies(QStringLiteral("Noto Color Emoji"), QStringLiteral("DejaVu Sans Mono")));
            const QTextBlock last = document.findBlockByNumber(2);
            const int at = int(longLine.size() - heart.size());
            ASSERT_EQ(last.text(), longLine);
            EXPECT_EQ(testsupport::glyphFamiliesByPiece(heart, [&](int start, int end) { return glyphRuns(last, at + start, at + end); }),
                      QStringList{heart + QStringLiteral(": Noto Color Emoji")});
        }
    }
}

} // namespace

namespace {

// The blocks of the document hold the text in order, a line end between two of them or none (a
// long line cut), a zero width space where a joiner of an overlong cluster stands; Swift colours
// on their characters.
void expectTheTextInOrder(const QTextDocument& document, const richtext::AttributedText& highlighted, bool coloured)
{
    const QString& text = highlighted.text();
    qsizetype i = 0;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QString shown = block.text();
        // The colour of each column (as colourAt finds it, at once for the block).
        std::vector<std::optional<QRgb>> colours(std::size_t(shown.size()));
        for (const QTextLayout::FormatRange& range : block.layout()->formats()) {
            for (int column = range.start; coloured && column < range.start + range.length && column < shown.size(); ++column) {
                if (!colours[std::size_t(column)] && range.format.hasProperty(QTextFormat::ForegroundBrush))
                    colours[std::size_t(column)] = range.format.foreground().color().rgba();
            }
        }
        for (qsizetype column = 0; column < shown.size(); ++column, ++i) {
            ASSERT_LT(i, text.size());
            ASSERT_TRUE(shown[column] == text[i] || (shown[column] == QChar(0x200B) && text[i] == QChar(0x200D))) << "offset " << i;
            if (!coloured)
                continue;
            const auto& color = highlighted.attributesAt(i)->foregroundColor;
            const std::optional<QRgb> expected = color ? std::optional(richtext::toQColor(*color).rgba()) : std::nullopt;
            ASSERT_EQ(colours[std::size_t(column)], expected) << "offset " << i;
        }
        if (i < text.size() && (text[i] == u'\n' || text[i] == u'\r'))
            i += text.mid(i, 2) == QStringLiteral("\r\n") ? 2 : 1;
    }
    EXPECT_EQ(i, text.size());
}

// What the text view copies of all its text.
QString copiedWhole(TextFileViewerBody& body)
{
    body.textView()->selectAll();
    body.textView()->copy();
    return QApplication::clipboard()->text();
}

} // namespace

// A line too long to lay out at once goes in as blocks of a bounded size, and a chain of
// pictographs too long to be one picture as its pieces, in lines that wrap; Swift colours stay
// on their characters, and what the view copies is the text's own.
TEST(TextFileViewerBody, LongLinesAndOverlongClustersAreLaidOutInBoundedPiecesAndCopiedAsTheText)
{
    const QString man = QString::fromUtf8("👨");
    const QString chain = QStringList(10'000, man).join(QChar(0x200D));
    const QString emojiLine = QString(man).repeated(10'000);
    const QString letters = QStringLiteral("let x = 1 ").repeated(20'000);
    for (const QString& source : {chain + QLatin1Char('\n'), QStringLiteral("a\r\n") + emojiLine + QStringLiteral("\r\nb"),
                                  letters + QLatin1Char('\n') + letters}) {
        SCOPED_TRACE(source.left(12).toStdString());
        for (const bool swift : {false, true}) {
            const auto shown = content(source, swift);
            TextFileViewerBody body;
            body.resize(500, 300);
            body.show();
            body.showText(QStringLiteral("/p/long.swift"), shown, swift);
            ASSERT_TRUE(waitUntil([&] { return !body.isFilling(); }, 60000));
            QString expected = source;
            expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
            EXPECT_TRUE(copiedWhole(body) == expected);
            const QTextDocument& document = *body.textView()->document();
            EXPECT_GT(document.blockCount(), 3);
            for (QTextBlock block = document.firstBlock(); block.isValid(); block = block.next())
                EXPECT_LE(block.length(), 64 * 1024 + 1); // with its separator
            // The chain wraps: its first block has lines as wide as the view at most.
            const QTextBlock first = document.firstBlock();
            document.documentLayout()->blockBoundingRect(first);
            EXPECT_LE(first.layout()->boundingRect().width(), 500);
            expectTheTextInOrder(document, swift ? *shown->highlightedSwiftText : richtext::AttributedText(source), swift);
        }
    }
}
