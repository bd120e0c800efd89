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
}

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
    double heightForWidth(double width);
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
    void selectionChanged();

private:
    struct Position {
        std::size_t text = 0;
        int offset = 0;
        friend auto operator<=>(const Position&, const Position&) = default;
    };
    std::optional<Position> positionAt(const QPointF& point) const;
    detail::HorizontalScrollNode* scrollIndicatorAt(const QPointF& position) const;
    // Where a position into the texts before a change lies in the texts after it (`contents`);
    // a position in a text that changed moves to the end of the unchanged texts before it;
    // absent when there are none. Sets `moved` when the position did not stay on its character.
    std::optional<Position> carriedOver(const Position& position, const std::vector<QString>& contents,
                                        bool& moved) const;
    void rebuild();
    void contentChanged();
    // Marks the selected ranges on the text nodes, then tells the observers.
    void applySelection();
    void markSelection();

    View m_view;
    Environment m_environment;
    RenderNodePtr m_root;
    std::vector<TextNode*> m_texts;
    std::vector<QString> m_textContents; // of m_texts, kept to follow them when nodes are replaced
    std::optional<double> m_width;
    double m_height = 0;
    std::optional<Position> m_anchor;
    std::optional<Position> m_focus;
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

signals:
    void linkActivated(const QUrl& url);

protected:
    bool event(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    QPointF toDocument(const QPointF& point) const;
    void relayout();

    ViewHost m_host;
    bool m_openLinks = true;
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
