// The Markdown widget: streaming text, content parsed elsewhere, links, scrolling code.

#include "mddoc/Markdown.h"
#include "mddoc/MarkdownView.h"

#include "mdview/Host.h"
#include "mdview/Providers.h"
#include "mdview/TextNode.h"

#include <QAbstractScrollArea>
#include <QAccessible>
#include <QApplication>
#include <QScrollBar>
#include <QWheelEvent>

#include <gtest/gtest.h>

using namespace mddoc;
using mdview::TextNode;

namespace {

std::vector<TextNode*> texts(Markdown& markdown)
{
    return mdview::collectTextNodes(*markdown.host().root());
}

QString paragraphs(int count)
{
    QString text;
    for (int i = 0; i < count; ++i)
        text += QStringLiteral("Paragraph number %1 with some words in it.\n\n").arg(i);
    return text;
}

QPointF centreOf(TextNode& text, const QString& word)
{
    const int start = int(text.text().indexOf(word));
    return text.rangeRect(start, start + int(word.size())).center();
}

class Boxes final : public mdview::ImageProvider {
public:
    View makeImage(const std::optional<QUrl>&) const override
    {
        return mdview::ColorView(mdview::Color::black()).frame(40, 30);
    }
};

struct AccessibleElement {
    QString name;
    QRect rect;
};

// The images assistive technology finds anywhere below a widget.
std::vector<AccessibleElement> accessibleImages(QWidget& widget)
{
    std::vector<AccessibleElement> found;
    std::vector<QAccessibleInterface*> pending{QAccessible::queryAccessibleInterface(&widget)};
    while (!pending.empty()) {
        QAccessibleInterface* element = pending.back();
        pending.pop_back();
        if (!element || !element->isValid())
            continue;
        if (element->role() == QAccessible::Graphic)
            found.push_back({element->text(QAccessible::Name), element->rect()});
        for (int i = element->childCount() - 1; i >= 0; --i)
            pending.push_back(element->child(i));
    }
    return found;
}

void click(mdview::ViewHost& host, const QPointF& point)
{
    host.mousePress(point, Qt::LeftButton, Qt::NoModifier);
    host.mouseRelease(point, Qt::LeftButton);
}

} // namespace

TEST(MarkdownWidget, AppendedTextKeepsTheNodesAndSelectionOfTheUnchangedBlocks)
{
    Markdown markdown(paragraphs(20));
    markdown.resize(500, 1000); // all of it on the screen: built and laid out
    markdown.show();
    QCoreApplication::processEvents();
    const auto before = texts(markdown);
    ASSERT_EQ(before.size(), 20u);
    markdown.host().selectAll();
    const QString selected = markdown.host().selectedText();

    // Text streams in: the last paragraph grows, then a new one starts.
    markdown.setText(paragraphs(20).trimmed() + QStringLiteral(" More words"));
    auto after = texts(markdown);
    ASSERT_EQ(after.size(), 20u);
    for (std::size_t i = 0; i < 19; ++i)
        EXPECT_EQ(after[i], before[i]) << i; // the same nodes
    // A new node for the last (a node's text never changes; its address may be the old one's).
    EXPECT_TRUE(after[19]->text().endsWith(QStringLiteral("More words")));
    // The selection in the unchanged blocks is still there.
    EXPECT_TRUE(markdown.host().hasSelection());
    EXPECT_TRUE(markdown.host().selectedText().startsWith(selected.left(selected.lastIndexOf(QLatin1Char('\n')))));

    markdown.setText(paragraphs(21));
    after = texts(markdown);
    ASSERT_EQ(after.size(), 21u);
    EXPECT_EQ(after[0], before[0]);
    // The same text again changes nothing.
    markdown.setText(paragraphs(21));
    EXPECT_EQ(texts(markdown), after);
}

TEST(MarkdownWidget, ContentParsedElsewhereAndHeightForWidth)
{
    Markdown bubble(Markdown::Sizing::heightForWidth);
    EXPECT_TRUE(bubble.hasHeightForWidth());
    EXPECT_LE(bubble.heightForWidth(300), 1); // empty
    bubble.setContent(markdown::MarkdownContent(std::string_view("# Title\n\nSome text that wraps over lines.")));
    const int wide = bubble.heightForWidth(600);
    const int narrow = bubble.heightForWidth(60);
    EXPECT_GT(wide, 20);
    EXPECT_GT(narrow, wide);
    EXPECT_EQ(texts(bubble).size(), 2u);
}

TEST(MarkdownWidget, OnlyOpenableLinksAreActivated)
{
    Markdown markdown(QStringLiteral("[web](https://example.org/a) [script](javascript:alert(1)) "
                                     "[mail](mailto:a@example.org) [file](file:///etc/passwd)"));
    markdown.setOpenLinksExternally(false);
    markdown.resize(600, 200);
    markdown.show();
    std::vector<QUrl> activated;
    QObject::connect(&markdown, &Markdown::linkActivated, [&](const QUrl& url) { activated.push_back(url); });
    TextNode& text = *texts(markdown).front();
    for (const char* word : {"web", "script", "mail", "file"})
        click(markdown.host(), centreOf(text, QString::fromLatin1(word)));
    EXPECT_EQ(activated, (std::vector<QUrl>{QUrl(QStringLiteral("https://example.org/a")),
                                             QUrl(QStringLiteral("mailto:a@example.org"))}));
}

TEST(MarkdownWidget, LinkedBlockImagesOpenThroughTheSameCheck)
{
    Markdown markdown;
    markdown.setImageProvider(std::make_shared<Boxes>());
    markdown.setText(QStringLiteral("[![a](a.png)](https://example.org/a)\n\n[![b](b.png)](javascript:alert(1))\n"));
    markdown.setOpenLinksExternally(false);
    markdown.resize(400, 300);
    std::vector<QUrl> activated;
    QObject::connect(&markdown, &Markdown::linkActivated, [&](const QUrl& url) { activated.push_back(url); });
    mdview::ViewHost& host = markdown.host();
    host.layout(400);
    click(host, QPointF(20, 15));      // the first image
    click(host, QPointF(20, 30 + 13 + 15)); // the second, below the paragraph margin
    EXPECT_EQ(activated, std::vector<QUrl>{QUrl(QStringLiteral("https://example.org/a"))});
}

// A block image is an element of its own named by its alt text in plain words, linked or not;
// one without alt text is not. Where it is on the screen follows the scrolling.
TEST(MarkdownWidget, BlockImagesAreNamedByTheirAltText)
{
    const QString text = QStringLiteral("![A *red* square](a.png)\n\n[![linked](b.png)](https://example.org/b)\n\n"
                                        "Words.\n\n![](c.png)\n");
    for (const auto sizing : {Markdown::Sizing::scrolling, Markdown::Sizing::heightForWidth}) {
        SCOPED_TRACE(int(sizing));
        Markdown markdown(sizing);
        markdown.setImageProvider(std::make_shared<Boxes>());
        markdown.setText(text);
        markdown.resize(400, 300);
        markdown.show();
        QApplication::processEvents();
        const std::vector<AccessibleElement> images = accessibleImages(markdown);
        ASSERT_EQ(images.size(), 2u);
        EXPECT_EQ(images[0].name, QStringLiteral("A red square"));
        EXPECT_EQ(images[1].name, QStringLiteral("linked"));
        auto* area = markdown.findChild<QAbstractScrollArea*>();
        QWidget* surface = area ? area->viewport() : markdown.findChild<mdview::HeightForWidthView*>();
        EXPECT_EQ(images[0].rect, QRect(surface->mapToGlobal(QPoint(0, 0)), QSize(40, 30)));
        EXPECT_GT(images[1].rect.top(), images[0].rect.bottom());
    }

    Markdown markdown;
    markdown.setImageProvider(std::make_shared<Boxes>());
    markdown.setText(paragraphs(40) + text);
    markdown.resize(400, 300);
    markdown.show();
    QApplication::processEvents();
    QScrollBar* bar = markdown.findChild<QAbstractScrollArea*>()->verticalScrollBar();
    bar->setValue(bar->maximum());
    QApplication::processEvents();
    const std::vector<AccessibleElement> images = accessibleImages(markdown);
    ASSERT_EQ(images.size(), 2u);
    const QPoint origin = markdown.mapToGlobal(QPoint(0, 0));
    EXPECT_TRUE(QRect(origin, markdown.size()).contains(images[1].rect));
    EXPECT_EQ(QAccessible::queryAccessibleInterface(markdown.findChild<QAbstractScrollArea*>()->viewport())
                  ->childAt(images[1].rect.center().x(), images[1].rect.center().y())
                  ->text(QAccessible::Name),
              QStringLiteral("linked"));
}

TEST(MarkdownWidget, WideCodeScrollsWithShiftWheelAndItsIndicator)
{
    const QString line = QStringLiteral("start ") + QString(400, QLatin1Char('x')) + QStringLiteral(" end");
    Markdown markdown(QStringLiteral("```\n") + line + QStringLiteral("\n```\n"));
    markdown.resize(400, 300);
    markdown.show();
    QApplication::processEvents();
    TextNode& code = *texts(markdown).front();
    const double left = code.frame().left();

    // Shift and the wheel scroll the code sideways.
    auto* viewport = markdown.findChild<mdview::DocumentView*>()->viewport();
    const QPointF at(50, code.frame().center().y());
    QWheelEvent wheel(at, viewport->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::ShiftModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(viewport, &wheel);
    EXPECT_LT(code.frame().left(), left);

    // Dragging the indicator's thumb to the far right shows the end of the line.
    const double bottom = code.frame().bottom();
    mdview::ViewHost& host = markdown.host();
    const QPointF thumb(30, bottom + 4);
    host.mousePress(thumb, Qt::LeftButton, Qt::NoModifier);
    host.mouseMove(thumb + QPointF(1000, 0), Qt::LeftButton);
    host.mouseRelease(thumb + QPointF(1000, 0), Qt::LeftButton);
    const QRectF end = code.rangeRect(int(code.text().size()) - 3, int(code.text().size()));
    EXPECT_LE(end.right(), 400.5);
    EXPECT_GT(end.right(), 380);
    EXPECT_FALSE(host.hasSelection()); // dragging the thumb selects nothing
}

TEST(MarkdownWidget, ThemeAndSchemeRebuild)
{
    Markdown markdown(QStringLiteral("Text"));
    markdown.resize(300, 100);
    const QString basic = markdown.dump();
    markdown.setTheme(themes::gitHub());
    EXPECT_NE(markdown.dump(), basic);
    markdown.setColorScheme(mdview::ColorScheme::dark);
    EXPECT_TRUE(markdown.dump().contains("fill=#ff18191d")); // the dark page colour
}

TEST(MarkdownWidget, ABubbleScrollsItsCodeSidewaysAndPassesOtherWheelsOn)
{
    const QString line = QStringLiteral("start ") + QString(400, QLatin1Char('x')) + QStringLiteral(" end");
    Markdown bubble(QStringLiteral("```\n") + line + QStringLiteral("\n```\n"), Markdown::Sizing::heightForWidth);
    bubble.resize(300, bubble.heightForWidth(300));
    bubble.show();
    QApplication::processEvents();
    TextNode& code = *texts(bubble).front();
    const double left = code.frame().left();
    auto* surface = bubble.findChild<mdview::HeightForWidthView*>();
    const QPointF at(40, code.frame().center().y());
    QWheelEvent sideways(at, surface->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::ShiftModifier,
                         Qt::NoScrollPhase, false);
    QApplication::sendEvent(surface, &sideways);
    EXPECT_LT(code.frame().left(), left);
    QWheelEvent down(at, surface->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                     Qt::NoScrollPhase, false);
    QApplication::sendEvent(surface, &down);
    EXPECT_FALSE(down.isAccepted()); // for the transcript around the bubble
}
