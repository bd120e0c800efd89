#include "mdview/Host.h"
#include "mdview/InlineRendering.h"
#include "mdview/TextNode.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace mdview;
using markdown::InlineNode;

namespace {

// A paragraph with every inline kind, rendered the way the inline text view renders it.
View paragraph()
{
    return EnvironmentReader([](const Environment& environment) {
        const std::vector<InlineNode> inlines = {
            InlineNode::text("Plain "),
            InlineNode::emphasis({InlineNode::text("emphasis")}),
            InlineNode::text(", "),
            InlineNode::strong({InlineNode::text("strong")}),
            InlineNode::text(", "),
            InlineNode::code("code()"),
            InlineNode::text(", "),
            InlineNode::strikethrough({InlineNode::text("struck")}),
            InlineNode::text(" and "),
            InlineNode::link("https://example.org/page", {InlineNode::text("a link")}),
            InlineNode::text(" at the end."),
        };
        InlineTextStyles styles = InlineTextStyles::of(environment.theme());
        styles.link = ForegroundColor(Color::rgba(0x0066ccff));
        TextInlineRenderer renderer(environment.baseURL, styles, {}, environment.softBreakMode,
                                    environment.textStyle.attributes());
        renderer.renderInlines(inlines);
        return Text(renderer.result());
    });
}

View document()
{
    return VStack({paragraph(), Text(QStringLiteral("Second block of text."))}, HorizontalAlignment::leading, 12)
        .padding(10)
        .markdownTextStyle([] { return textStyle(FontSize(16.0), ForegroundColor(Color::rgba(0x202020ff))); });
}

void click(QWidget* target, QEvent::Type type, const QPointF& position, Qt::MouseButtons buttons = Qt::LeftButton)
{
    QMouseEvent event(type, position, target->mapToGlobal(position), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

// Counts warnings while alive.
struct WarningCounter {
    WarningCounter() { previous = qInstallMessageHandler(handler); count() = 0; }
    ~WarningCounter() { qInstallMessageHandler(previous); }
    static int& count()
    {
        static int n = 0;
        return n;
    }
    static void handler(QtMsgType type, const QMessageLogContext&, const QString&)
    {
        if (type != QtDebugMsg && type != QtInfoMsg)
            ++count();
    }
    QtMessageHandler previous;
};

// A text per line of its state, which starts at `initial`; `handle` changes the state.
View statefulLines(const QStringList& initial, std::optional<StateHandle<QStringList>>& handle)
{
    return StatefulView<QStringList>(initial, [&handle](const Environment&, const QStringList& lines,
                                                        const StateHandle<QStringList>& h) {
        handle = h;
        std::vector<View> rows;
        for (const QString& line : lines)
            rows.push_back(Text(line));
        return VStack(rows, HorizontalAlignment::leading, 0);
    });
}

} // namespace

TEST(Host, RendersAStyledParagraphOffscreen)
{
    const QImage image = renderToImage(document(), Environment{}, 360);
    ASSERT_FALSE(image.isNull());
    EXPECT_GT(image.height(), 40);
    int dark = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            dark += qGray(image.pixel(x, y)) < 128;
    }
    EXPECT_GT(dark, 200); // text was drawn
    QTemporaryDir dir;
    const QString out = qEnvironmentVariable("QUILLORA_RENDER_DIR", dir.path());
    EXPECT_TRUE(image.save(QDir(out).filePath(QStringLiteral("paragraph.png"))));
}

TEST(Host, ClickOnALinkEmitsItsURLAndDragSelectsText)
{
    DocumentView view;
    view.setOpenLinksExternally(false);
    view.resize(360, 300);
    view.setView(document());
    view.show();
    std::vector<QUrl> activated;
    QObject::connect(&view, &DocumentView::linkActivated, [&](const QUrl& url) { activated.push_back(url); });

    auto texts = collectTextNodes(*view.host().root());
    ASSERT_EQ(texts.size(), 2u);
    TextNode& text = *texts[0];
    const int linkStart = int(text.text().indexOf(QStringLiteral("a link")));
    ASSERT_GE(linkStart, 0);
    const QRectF linkRect = text.rangeRect(linkStart, linkStart + 6);
    ASSERT_FALSE(linkRect.isEmpty());

    QWidget* viewport = view.viewport();
    click(viewport, QEvent::MouseButtonPress, linkRect.center());
    click(viewport, QEvent::MouseButtonRelease, linkRect.center(), Qt::NoButton);
    ASSERT_EQ(activated.size(), 1u);
    EXPECT_EQ(activated.at(0), QUrl(QStringLiteral("https://example.org/page")));

    // Plain text is no link.
    const QRectF plainRect = text.rangeRect(0, 5);
    click(viewport, QEvent::MouseButtonPress, plainRect.center());
    click(viewport, QEvent::MouseButtonRelease, plainRect.center(), Qt::NoButton);
    EXPECT_EQ(activated.size(), 1u);

    // Drag from the start of "strong" into the second block.
    const int strongStart = int(text.text().indexOf(QStringLiteral("strong")));
    const QRectF from = text.rangeRect(strongStart, strongStart + 1);
    const QRectF to = texts[1]->rangeRect(6, 7); // "Second|"
    click(viewport, QEvent::MouseButtonPress, QPointF(from.left() + 0.5, from.center().y()));
    click(viewport, QEvent::MouseMove, to.center(), Qt::LeftButton);
    click(viewport, QEvent::MouseMove, QPointF(to.left() + 0.5, to.center().y()), Qt::LeftButton);
    click(viewport, QEvent::MouseButtonRelease, QPointF(to.left() + 0.5, to.center().y()), Qt::NoButton);
    EXPECT_EQ(view.host().selectedText(),
              QStringLiteral("strong, code(), struck and a link at the end.\nSecond"));
    EXPECT_EQ(activated.size(), 1u);

    QKeyEvent copy(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier);
    QApplication::sendEvent(&view, &copy);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), view.host().selectedText());

    QKeyEvent selectAll(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier);
    QApplication::sendEvent(&view, &selectAll);
    EXPECT_EQ(view.host().selectedText(), texts[0]->text() + QLatin1Char('\n') + texts[1]->text());

    // Double-click selects a word.
    const QRectF word = text.rangeRect(1, 2); // inside "Plain"
    click(viewport, QEvent::MouseButtonDblClick, word.center());
    EXPECT_EQ(view.host().selectedText(), "Plain");
}

TEST(Host, OnlyWebAndMailLinksOpen)
{
    const std::pair<const char*, bool> cases[] = {
        {"https://example.org", true}, {"http://example.org", true}, {"mailto:a@example.org", true},
        {"file:///etc/passwd", false}, {"javascript:alert(1)", false}, {"guide.md", false},
    };
    for (const auto& [url, openable] : cases)
        EXPECT_EQ(isOpenableLink(QUrl(QString::fromUtf8(url))), openable) << url;
}

TEST(Host, HeightForWidthFollowsTheContent)
{
    HeightForWidthView view;
    view.setView(document());
    EXPECT_TRUE(view.hasHeightForWidth());
    const int wide = view.heightForWidth(800);
    const int narrow = view.heightForWidth(150);
    EXPECT_GT(wide, 0);
    EXPECT_GT(narrow, wide);
    EXPECT_GT(view.sizeHint().width(), 300);
}

TEST(Host, LinksOverABackgroundAndUnderAnOverlayAreHitAsDrawn)
{
    const QUrl url(QStringLiteral("https://example.com/a"));
    const View linked = Rectangle(Color::black()).frame(20.0, 20.0).link(url);
    ViewHost host;
    host.setView(VStack({linked.padding(10).background(Color::white()),
                         linked.padding(10).overlay(Rectangle(Color::white()))}));
    host.layout(40);
    EXPECT_EQ(host.linkAt({20, 20}), url.toString());  // the content lies over its background
    EXPECT_EQ(host.linkAt({20, 60}), QString());       // the overlay lies over the content
}

TEST(Host, AHostWithoutAViewLaysOutAndPaintsNothing)
{
    DocumentView document;
    document.resize(200, 100);
    document.show();
    QCoreApplication::processEvents();
    document.viewport()->grab();
    EXPECT_EQ(document.verticalScrollBar()->maximum(), 0);
    HeightForWidthView bubble;
    EXPECT_EQ(bubble.heightForWidth(200), 0);
}

TEST(Host, HostileTextAndEmptyImagesRenderQuietly)
{
    WarningCounter warnings;
    QString hostile = QStringLiteral("nul\x01 bell\x07 esc\x1b[31m tab\t");
    hostile += QChar(0xD800); // lone high surrogate
    hostile += QStringLiteral(" mid ");
    hostile += QChar(0xDC00); // lone low surrogate
    hostile += QStringLiteral("\n\r end");
    const View view = VStack({Text(hostile), Text(QString()), Text(richtext::AttributedText()),
                              Image(QImage()), Image(QImage(), true), Image(QImage(0, 10, QImage::Format_ARGB32), true),
                              ResizeToFit(Image(QImage(), true)),
                              Text(richtext::AttributedText(QStringLiteral("a\uFFFCb")), {{1, QImage()}}),
                              Text(richtext::AttributedText(QStringLiteral("x")), {{5, QImage(4, 4, QImage::Format_ARGB32)}})},
                             HorizontalAlignment::leading, 4);
    for (double width : {0.0, 1.0, 300.0}) {
        const QImage image = renderToImage(view, Environment{}, width);
        EXPECT_FALSE(image.isNull());
    }
    RenderNodePtr root = layoutView(view, Environment{}, 200);
    const auto texts = collectTextNodes(*root);
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.front()->text(), hostile); // the text itself is kept for copying
    EXPECT_EQ(WarningCounter::count(), 0);
}

TEST(Host, StatefulViewsRebuildWhenTheirStateChanges)
{
    std::optional<StateHandle<QStringList>> handle;
    const View view = VStack({Text(QStringLiteral("above")), statefulLines({}, handle)}, HorizontalAlignment::leading, 0);
    ViewHost host;
    int layouts = 0;
    QObject::connect(&host, &ViewHost::layoutChanged, [&] { ++layouts; });
    host.setView(view);
    const double before = host.layout(300);
    ASSERT_TRUE(handle);
    layouts = 0;
    handle->update([](QStringList& lines) { lines << QStringLiteral("one"); });
    handle->update([](QStringList& lines) { lines << QStringLiteral("two"); });
    EXPECT_EQ(collectTextNodes(*host.root()).size(), 1u); // nothing changes synchronously
    QCoreApplication::processEvents();
    EXPECT_EQ(layouts, 1); // both changes in one rebuild
    const auto texts = collectTextNodes(*host.root());
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[2]->text(), "two");
    EXPECT_GT(host.layout(300), before);
    host.selectAll();
    EXPECT_EQ(host.selectedText(), "above\none\ntwo");

    // An update for a view that is gone does nothing.
    const auto stale = *handle;
    host.setView(EmptyView());
    stale.update([](QStringList& lines) { lines << QStringLiteral("lost"); });
    QCoreApplication::processEvents();
    EXPECT_TRUE(collectTextNodes(*host.root()).empty());
}

TEST(Host, StrokesLieInsideTheShapeFrame)
{
    ShapeStyle style;
    style.stroke = Color::black();
    style.strokeStyle.lineWidth = 2;
    const View view = Shape(ShapeKind::rectangle, style).frame(20, 20).padding(5);
    const QImage image = renderToImage(view, Environment{}, 30);
    ASSERT_EQ(image.size(), QSize(30, 30));
    EXPECT_EQ(qGray(image.pixel(4, 10)), 255);  // outside the frame
    EXPECT_LT(qGray(image.pixel(5, 10)), 64);   // the line's first pixel
    EXPECT_LT(qGray(image.pixel(6, 10)), 64);   // and its second
    EXPECT_EQ(qGray(image.pixel(7, 10)), 255);  // inside
    EXPECT_LT(qGray(image.pixel(24, 10)), 64);  // the right edge, inside the frame
    EXPECT_EQ(qGray(image.pixel(25, 10)), 255);
}

namespace {

// Selects by dragging in the host from a character of one text to a character of another.
void dragSelect(ViewHost& host, std::size_t fromText, int fromOffset, std::size_t toText, int toOffset)
{
    const auto texts = collectTextNodes(*host.root());
    const QRectF from = texts.at(fromText)->rangeRect(fromOffset, fromOffset + 1);
    const QRectF to = texts.at(toText)->rangeRect(toOffset, toOffset + 1);
    host.mousePress(QPointF(from.left() + 0.5, from.center().y()), Qt::LeftButton, Qt::NoModifier);
    host.mouseMove(QPointF(to.left() + 0.5, to.center().y()), Qt::LeftButton);
    host.mouseRelease(QPointF(to.left() + 0.5, to.center().y()), Qt::LeftButton);
}

std::string selected(const ViewHost& host)
{
    return host.selectedText().toStdString();
}

} // namespace

TEST(Host, SelectionOutlivesRelayoutsOfTheSameTexts)
{
    std::optional<StateHandle<QStringList>> handle;
    const View view = VStack({Text(QStringLiteral("above")), statefulLines({QStringLiteral("middle")}, handle),
                              Text(QStringLiteral("below"))},
                             HorizontalAlignment::leading, 4);
    ViewHost host;
    int selectionChanges = 0;
    QObject::connect(&host, &ViewHost::selectionChanged, [&] { ++selectionChanges; });
    host.setView(view);
    host.layout(300);
    dragSelect(host, 0, 2, 2, 3);
    ASSERT_EQ(selected(host), "ove\nmiddle\nbel");

    // Content arriving between the ends joins the selection; the ends stay on their characters.
    selectionChanges = 0;
    handle->update([](QStringList& lines) { lines << QStringLiteral("arrived"); });
    QCoreApplication::processEvents();
    ASSERT_EQ(collectTextNodes(*host.root()).size(), 4u);
    EXPECT_EQ(selected(host), "ove\nmiddle\narrived\nbel");
    EXPECT_EQ(selectionChanges, 0);

    // The same texts built again: for another colour scheme, or from the same view.
    Environment dark;
    dark.colorScheme = ColorScheme::dark;
    host.setEnvironment(dark); // the state starts again: one line in the middle
    EXPECT_EQ(selected(host), "ove\nmiddle\nbel");
    host.setView(view);
    host.layout(300);
    EXPECT_EQ(selected(host), "ove\nmiddle\nbel");
    EXPECT_EQ(selectionChanges, 0);

    // An end whose text changes moves to the end of the unchanged texts before it (text that
    // streams in keeps what was selected above it).
    dragSelect(host, 0, 2, 1, 3);
    ASSERT_EQ(selected(host), "ove\nmid");
    selectionChanges = 0;
    handle->update([](QStringList& lines) { lines = QStringList{QStringLiteral("replaced")}; });
    QCoreApplication::processEvents();
    EXPECT_EQ(selected(host), "ove");
    EXPECT_EQ(selectionChanges, 1);
    // Both ends in the text that changed: nothing stays selected.
    dragSelect(host, 1, 1, 1, 4);
    ASSERT_EQ(selected(host), "epl");
    selectionChanges = 0;
    handle->update([](QStringList& lines) { lines = QStringList{QStringLiteral("again")}; });
    QCoreApplication::processEvents();
    EXPECT_EQ(selected(host), "");
    EXPECT_EQ(selectionChanges, 1);

    // Another document keeps nothing.
    host.selectAll();
    host.setView(VStack({Text(QStringLiteral("other")), Text(QStringLiteral("texts"))}));
    EXPECT_EQ(selected(host), "");
}

namespace {

// A node as tall as a fixed area at the width it is offered; records every width it measures.
class WidthRecorder final : public RenderNode {
public:
    explicit WidthRecorder(std::vector<double>& widths) : m_widths(widths) {}
    const char* typeName() const override { return "WidthRecorder"; }

protected:
    QSizeF sizeThatFits(const ProposedSize& proposal) override
    {
        const double width = proposal.width.value_or(100);
        m_widths.push_back(width);
        return {width, 100'000 / std::max(1.0, width)};
    }

private:
    std::vector<double>& m_widths;
};

View widthRecorder(std::vector<double>& widths)
{
    struct Impl final : View::Impl {
        explicit Impl(std::vector<double>& w) : widths(w) {}
        RenderNodePtr build(const Environment&) const override { return std::make_unique<WidthRecorder>(widths); }
        std::vector<double>& widths;
    };
    return View(std::make_shared<const Impl>(widths));
}

} // namespace

TEST(Host, ABurstOfResizesLaysOutOnceForTheLast)
{
    std::vector<double> widths;
    DocumentView view;
    view.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn); // the viewport follows the window alone
    view.setView(widthRecorder(widths));
    view.resize(300, 200);
    view.show();
    QCoreApplication::processEvents();
    ASSERT_FALSE(widths.empty());

    widths.clear();
    for (int width : {310, 320, 330, 340})
        view.resize(width, 200);
    QCoreApplication::processEvents();
    const double last = view.viewport()->width();
    EXPECT_EQ(widths, std::vector<double>{last});
    EXPECT_EQ(view.verticalScrollBar()->maximum(), int(std::ceil(100'000 / last)) - view.viewport()->height());

    // Painting before the event loop comes round lays out first.
    widths.clear();
    view.resize(400, 200);
    view.viewport()->grab();
    EXPECT_EQ(widths, std::vector<double>{double(view.viewport()->width())});
    QCoreApplication::processEvents();
    EXPECT_EQ(widths.size(), 1u);
}

TEST(Host, SelectionKeysComeBeforeTheWindowsShortcuts)
{
    DocumentView page;
    HeightForWidthView bubble;
    const std::pair<QWidget*, ViewHost*> hosts[] = {{&page, &page.host()}, {&bubble, &bubble.host()}};
    // Whether the host claims a key that a window shortcut also has.
    auto claims = [](QWidget* widget, Qt::Key key) {
        QKeyEvent event(QEvent::ShortcutOverride, key, Qt::ControlModifier);
        event.ignore();
        QApplication::sendEvent(widget, &event);
        return event.isAccepted();
    };
    for (const auto& [widget, host] : hosts) {
        host->setView(document());
        host->layout(300);
        EXPECT_TRUE(claims(widget, Qt::Key_A));
        EXPECT_FALSE(claims(widget, Qt::Key_C)); // nothing to copy: the window may have it
        EXPECT_FALSE(claims(widget, Qt::Key_V));
        host->selectAll();
        EXPECT_TRUE(claims(widget, Qt::Key_C));
        QKeyEvent copy(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier);
        QApplication::sendEvent(widget, &copy);
        EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), host->selectedText().toStdString());
    }
}

TEST(Host, LengthsThatAreNoNumbersOrHugeLeaveTheLayoutFiniteAndQuiet)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double lengths[] = {nan, infinity, -infinity, -1e300, 1e300};
    std::vector<View> rows;
    for (double length : lengths) {
        ShapeStyle stroked;
        stroked.stroke = Color::black();
        stroked.strokeStyle.lineWidth = length;
        stroked.cornerRadius = length;
        stroked.strokeStyle.dash = {length, 2};
        rows.push_back(VStack({Text(QStringLiteral("spaced")), ColorView(Color::black()).frame(length, length),
                               Spacer(length), Divider(std::nullopt, length)},
                              HorizontalAlignment::leading, length));
        rows.push_back(HStack({Text(QStringLiteral("padded")).padding(length).offset(length, length),
                               Symbol(QStringLiteral("circle.fill"), length),
                               Shape(ShapeKind::roundedRectangle, stroked).frame(20, 20)},
                              VerticalAlignment::firstTextBaseline, length));
        rows.push_back(Text(QStringLiteral("framed"))
                           .frame(View::FlexibleFrame{length, length, length, length})
                           .clipRoundedRect(length)
                           .lineSpacing(length));
        rows.push_back(Flow({Text(QStringLiteral("flow")), ColorView(Color::black()).frame(length, 4)}, length, length));
        GridOptions grid;
        grid.horizontalSpacing = grid.verticalSpacing = length;
        rows.push_back(Grid({{Text(QStringLiteral("cell")), ResizeToFit(ColorView(Color::black()).frame(length, 4))}},
                            grid));
    }
    WarningCounter warnings;
    DocumentView view;
    view.resize(300, 200);
    view.setView(VStack(rows, HorizontalAlignment::leading, 2));
    view.show();
    QCoreApplication::processEvents();
    const QRectF root = view.host().root()->frame();
    EXPECT_TRUE(std::isfinite(root.width()) && std::isfinite(root.height()));
    EXPECT_GE(root.height(), 0);
    EXPECT_GE(view.verticalScrollBar()->maximum(), 0);
    for (const RenderNode* node : collectTextNodes(*view.host().root())) {
        const QRectF& f = node->frame();
        EXPECT_TRUE(std::isfinite(f.x()) && std::isfinite(f.y()) && std::isfinite(f.width()) && std::isfinite(f.height()))
            << qPrintable(static_cast<const TextNode*>(node)->text());
    }
    for (int y : {0, view.verticalScrollBar()->maximum() / 2, view.verticalScrollBar()->maximum()}) {
        view.verticalScrollBar()->setValue(y);
        view.viewport()->grab();
    }
    view.host().selectAll();
    view.host().mouseMove(QPointF(10, 10), Qt::NoButton);
    EXPECT_EQ(WarningCounter::count(), 0);
}

namespace {

View paragraphs(std::size_t count)
{
    return LazyVStack(
        [count](const Environment& environment) {
            LazyStackContent content;
            content.count = count;
            content.build = [environment](std::size_t i) {
                return Text(QStringLiteral("Paragraph %1").arg(i)).build(environment);
            };
            content.estimate = [](std::size_t, double) { return 20.0; };
            return content;
        },
        HorizontalAlignment::leading, [](const BlockMargin&, const BlockMargin&) { return 0.0; });
}

std::size_t keepingLayouts(ViewHost& host, std::size_t from = 0, std::size_t to = SIZE_MAX)
{
    const auto texts = collectTextNodes(*host.root());
    std::size_t count = 0;
    for (std::size_t i = from; i < std::min(to, texts.size()); ++i)
        count += texts[i]->keepsLayout();
    return count;
}

} // namespace

TEST(Host, AWholeLayoutKeepsTheLayoutsOfTheTextsDrawnFirst)
{
    // A bubble of 3,000 texts, measured whole: the top, drawn first, keeps its layouts, and the
    // texts measured once a thousand or so keep theirs let go of their own.
    HeightForWidthView bubble;
    bubble.setView(paragraphs(3000));
    const auto kept = [&](std::size_t from, std::size_t to) { return keepingLayouts(bubble.host(), from, to); };
    for (const int width : {400, 250}) {
        EXPECT_GT(bubble.heightForWidth(width), 3000 * 10) << width;
        EXPECT_EQ(kept(0, 1000), 1000u) << width;
        EXPECT_EQ(kept(2000, 3000), 0u) << width;
        EXPECT_LE(kept(0, 3000), 1024u) << width;
    }

    // Outside a whole layout the text used last keeps its layout, and the one used longest ago
    // lets go of its own.
    const auto texts = collectTextNodes(*bubble.host().root());
    texts.back()->offsetAt(texts.back()->frame().center());
    EXPECT_TRUE(texts.back()->keepsLayout());
    EXPECT_FALSE(texts.front()->keepsLayout());
    EXPECT_LE(kept(0, 3000), 1024u);

    // A bubble measured whole next keeps all of its layouts, pushing out the first bubble's.
    HeightForWidthView next;
    next.setView(paragraphs(10));
    next.heightForWidth(400);
    EXPECT_EQ(keepingLayouts(next.host()), 10u);
    EXPECT_LE(kept(0, 3000), 1014u);
}
