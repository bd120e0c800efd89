#pragma once

#include "mdview/Environment.h"
#include "mdview/View.h"

#include <QAbstractScrollArea>
#include <QColor>
#include <QImage>
#include <QObject>
#include <QTimer>
#include <QUrl>
#include <QWidget>

namespace mdview {

class TextNode;
namespace detail {
class HorizontalScrollNode;
class LazyStackNode;
struct TextPiece;
} // namespace detail

// Builds a view and lays it out for a width, at the size it takes, placed at the origin.
RenderNodePtr layoutView(const View& view, const Environment& environment, double width);
// Renders a view laid out at a width onto an image of its height, over a background colour.
QImage renderToImage(const View& view, const Environment& environment, double width,
                     const QColor& background = Qt::white, double devicePixelRatio = 1);
// The dump of the laid-out tree (see dumpLayout(const RenderNode&)).
QString dumpLayout(const View& view, const Environment& environment, double width);

// Whether a link may be handed to the desktop: only http, https and mailto.
bool isOpenableLink(const QUrl& url);

// The retained tree behind a host widget: layout at a width, painting, text selection across
// texts and link activation. Positions are in document coordinates.
//
// Given a viewport height, a host that shows a lazily built stack (LazyVStack) builds and lays
// out only what its viewport needs, and the rest of the stack in slices of a few milliseconds
// while the event loop is idle. Its texts are then what can be selected, including those of
// children not built yet; texts outside the stack are not.
class ViewHost : public QObject {
    Q_OBJECT
public:
    explicit ViewHost(QObject* parent = nullptr);
    ~ViewHost() override;

    void setView(const View& view);
    void setEnvironment(const Environment& environment);
    const Environment& environment() const { return m_environment; }

    // Lays out at the width when it changed (or the tree was rebuilt); returns the height.
    double layout(double width);
    double height() const { return m_height; }
    double heightForWidth(double width);

    // The height of the viewport the document is seen through; absent (the default) lays out
    // everything at once.
    void setViewportHeight(std::optional<double> height);
    // The viewport moved to a document y (its bottom to the end of the document with `toEnd`):
    // what it shows now is built and measured. True when that changed the layout (the height).
    bool scrollTo(double top, bool toEnd = false);
    // Where the viewport's top stands now: the first child it shows stays where it was while
    // the heights above it change.
    double viewportTop() const;
    // Nothing is left to lay out in the background.
    bool isSettled() const;
    void paint(QPainter& painter, const QRectF& exposed);
    RenderNode* root() const { return m_root.get(); }

    // Mouse input; true when the event was used.
    bool mousePress(const QPointF& position, Qt::MouseButton button, Qt::KeyboardModifiers modifiers);
    bool mouseMove(const QPointF& position, Qt::MouseButtons buttons);
    bool mouseRelease(const QPointF& position, Qt::MouseButton button);
    bool mouseDoubleClick(const QPointF& position, Qt::MouseButton button);
    // Scrolls the horizontally scrolling content under the point; true when something moved.
    bool scrollHorizontally(const QPointF& position, double delta);
    QString linkAt(const QPointF& position) const;

    void selectAll();
    void clearSelection();
    bool hasSelection() const;
    QString selectedText() const;
    void copySelection() const;

signals:
    void linkActivated(const QUrl& url);
    void linkHovered(const QString& link);
    void repaintNeeded();
    void layoutChanged();
    // The height or the viewport's top changed while laying out in the background.
    void extentChanged();
    void selectionChanged();

private:
    // Texts come in segments: the children of a lazily built stack, or all the texts of a tree
    // without one. A position is a text of a segment and an offset into it.
    struct Position {
        std::size_t segment = 0;
        std::size_t text = 0;
        int offset = 0;
        friend auto operator<=>(const Position&, const Position&) = default;
    };
    using Contents = std::shared_ptr<const std::vector<QString>>;
    // A selection end, with the contents of its segment's texts when it was set, to follow it
    // when they change.
    struct End {
        Position position;
        Contents contents;
    };
    std::size_t segmentCount() const;
    // The built texts of a segment.
    const std::vector<TextNode*>& segmentTexts(std::size_t segment) const;
    // The texts of a segment for copying (built and laid out when needed).
    std::vector<detail::TextPiece> segmentPieces(std::size_t segment) const;
    Contents segmentContents(std::size_t segment) const;
    std::optional<Position> firstPosition() const;
    std::optional<Position> lastPosition() const;
    std::optional<Position> positionAt(const QPointF& point) const;
    std::optional<Position> positionIn(std::size_t segment, const QPointF& point) const;
    void setEnd(std::optional<End>& end, std::optional<Position> position);
    detail::HorizontalScrollNode* scrollIndicatorAt(const QPointF& position) const;
    // Where a position into the texts `before` a change lies in the texts after it (`after`, of
    // the same segment); a position in a text that changed moves to the end of the unchanged
    // texts before it; absent when there are none. Sets `moved` when it did not stay on its
    // character.
    std::optional<Position> carriedOver(const Position& position, const std::vector<QString>& before,
                                        const std::vector<QString>& after, bool& moved) const;
    void carryOver(std::optional<End>& end, bool& moved);
    void rebuild();
    void contentChanged();
    void layOutInBackground();
    // Marks the selected ranges on the text nodes, then tells the observers.
    void applySelection();
    void markSelection();
    void markSelection(std::size_t segment);
    std::pair<int, int> selectedRange(std::size_t segment, std::size_t text, int length) const;

    View m_view;
    Environment m_environment;
    RenderNodePtr m_root;
    detail::LazyStackNode* m_lazy = nullptr; // in m_root
    std::vector<TextNode*> m_texts;          // without a lazy stack
    Contents m_textContents;                 // of m_texts, kept to follow them when nodes are replaced
    std::optional<double> m_width;
    double m_height = 0;
    bool m_layoutDirty = false;
    std::optional<double> m_viewportHeight;
    double m_viewTop = 0;
    QTimer m_slices;
    std::optional<End> m_anchor;
    std::optional<End> m_focus;
    QString m_pressedLink;
    QPointF m_pressPoint;
    bool m_dragging = false;
    detail::HorizontalScrollNode* m_thumbDrag = nullptr; // the scroll indicator being dragged
    QString m_hoveredLink;
};

// A scrolling document host.
class DocumentView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit DocumentView(QWidget* parent = nullptr);

    ViewHost& host() { return m_host; }
    void setView(const View& view);
    void setEnvironment(const Environment& environment);
    // Open activated http, https and mailto links on the desktop (on by default).
    void setOpenLinksExternally(bool open) { m_openLinks = open; }
    // The document y at the viewport's top.
    double scrollOffset() const;

signals:
    void linkActivated(const QUrl& url);

protected:
    bool event(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QPointF toDocument(const QPointF& point) const;
    void relayout();
    // The scroll bar's range and position from the host's height and viewport.
    void followHost();

    ViewHost m_host;
    bool m_openLinks = true;
    bool m_following = false; // the scroll bar is being set from the host
    // Resizes come in bursts while a window edge is dragged, and a long document takes a while
    // to lay out: lay out once for the last of them, when the event loop comes round or the
    // viewport paints, whichever is first.
    QTimer m_pendingRelayout;
};

// A host that takes the height its content needs for the width it is given (chat bubbles).
class HeightForWidthView : public QWidget {
    Q_OBJECT
public:
    explicit HeightForWidthView(QWidget* parent = nullptr);

    ViewHost& host() { return m_host; }
    void setView(const View& view);
    void setEnvironment(const Environment& environment);
    void setOpenLinksExternally(bool open) { m_openLinks = open; }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;

signals:
    void linkActivated(const QUrl& url);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    mutable ViewHost m_host;
    bool m_openLinks = true;
};

// The colour scheme a palette stands for: dark when its window is darker than its text.
ColorScheme colorSchemeOf(const QPalette& palette);

} // namespace mdview
