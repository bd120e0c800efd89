#include "mdview/Host.h"

#include "mdview/TextNode.h"

#include "HostAccessibility.h"
#include "Nodes.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QTextBoundaryFinder>

#include <cmath>
#include <limits>

namespace mdview {

RenderNodePtr layoutView(const View& view, const Environment& environment, double width)
{
    RenderNodePtr root = view.build(environment);
    root->place(QRectF(QPointF(0, 0), root->measure({width, std::nullopt})));
    return root;
}

QImage renderToImage(const View& view, const Environment& environment, double width, const QColor& background,
                     double devicePixelRatio)
{
    RenderNodePtr root = layoutView(view, environment, width);
    // In range for an int: an image too large to allocate comes out null rather than wrong.
    auto pixels1D = [devicePixelRatio](double length) {
        return int(std::clamp(std::ceil(length * devicePixelRatio), 1.0, double(std::numeric_limits<int>::max())));
    };
    const QSize pixels(pixels1D(std::max(width, root->frame().width())), pixels1D(root->frame().height()));
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(background);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    root->paint(painter, root->frame());
    return image;
}

QString dumpLayout(const View& view, const Environment& environment, double width)
{
    return dumpLayout(*layoutView(view, environment, width));
}

bool isOpenableLink(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https")
                             || scheme == QLatin1String("mailto"));
}

ColorScheme colorSchemeOf(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightnessF() < palette.color(QPalette::WindowText).lightnessF()
        ? ColorScheme::dark : ColorScheme::light;
}

namespace {

// The longest a slice of background layout may take: the event loop comes round at least
// twice a frame.
constexpr double sliceMilliseconds = 8;

detail::LazyStackNode* findLazyStack(RenderNode& node)
{
    if (auto* lazy = dynamic_cast<detail::LazyStackNode*>(&node))
        return lazy;
    for (const auto& child : node.children()) {
        if (auto* found = findLazyStack(*child))
            return found;
    }
    return nullptr;
}

bool isInside(const RenderNode* node, const RenderNode* root)
{
    for (; node; node = node->parent()) {
        if (node == root)
            return true;
    }
    return false;
}

} // namespace

ViewHost::ViewHost(QObject* parent) : QObject(parent)
{
    m_slices.setSingleShot(true);
    m_slices.setInterval(0);
    connect(&m_slices, &QTimer::timeout, this, &ViewHost::layOutInBackground);
    rebuild(); // a host shown before it is given a view draws the empty view
}

ViewHost::~ViewHost() = default;

void ViewHost::setView(const View& view)
{
    m_view = view;
    rebuild();
}

void ViewHost::setEnvironment(const Environment& environment)
{
    m_environment = environment;
    rebuild();
}

void ViewHost::rebuild()
{
    // The same document built again shows what it showed (another theme, another scheme).
    std::optional<detail::LazyStackNode::Anchor> anchor;
    if (m_lazy)
        anchor = m_lazy->anchor();
    m_lazy = nullptr;
    m_root = m_view.build(m_environment);
    m_root->setChangeHandler([this](RenderNode::Change change) {
        if (change == RenderNode::Change::layout)
            contentChanged();
        else
            emit repaintNeeded();
    });
    m_lazy = findLazyStack(*m_root);
    if (m_lazy) {
        m_lazy->setViewportHeight(m_viewportHeight);
        if (anchor)
            m_lazy->setAnchor(*anchor);
        m_lazy->setObserver(
            [this](std::size_t index, bool built) {
                if (built)
                    markSelection(index);
                else if (isInside(m_thumbDrag, m_lazy->segmentNode(index)))
                    m_thumbDrag = nullptr;
            },
            [this] { m_layoutDirty = true; });
    }
    contentChanged();
}

void ViewHost::contentChanged()
{
    m_thumbDrag = nullptr; // the node may be gone
    if (!m_lazy) {
        // Text nodes may have been replaced: the selection is carried over to the new ones.
        m_texts = collectTextNodes(*m_root);
        auto contents = std::make_shared<std::vector<QString>>();
        contents->reserve(m_texts.size());
        for (const TextNode* text : m_texts)
            contents->push_back(text->text());
        m_textContents = std::move(contents);
    }
    m_layoutDirty = true;
    // A document laid out lazily is laid out by the view that scrolls it, at the width it shows
    // it at: the new content may bring the scroll bar.
    if (m_width && !(m_lazy && m_lazy->isLazy()))
        layout(*m_width);
    const bool hadSelection = hasSelection();
    bool moved = false;
    if (m_anchor && m_focus) {
        carryOver(m_anchor, moved);
        carryOver(m_focus, moved);
    }
    if (!m_anchor || !m_focus) {
        m_anchor.reset();
        m_focus.reset();
    }
    markSelection();
    if (hadSelection && (moved || !hasSelection()))
        emit selectionChanged();
    emit layoutChanged();
    emit repaintNeeded();
}

double ViewHost::layout(double width)
{
    if (m_width == width && !m_layoutDirty)
        return m_height;
    m_width = width;
    m_layoutDirty = false;
    m_height = m_root->measure({width, std::nullopt}).height();
    // The document spans the host's width, whatever its content measures.
    m_root->place(QRectF(0, 0, width, m_height));
    if (m_lazy && m_lazy->isLazy() && !m_lazy->isSettled())
        m_slices.start();
    return m_height;
}

double ViewHost::heightForWidth(double width)
{
    return m_root->measure({width, std::nullopt}).height();
}

void ViewHost::setViewportHeight(std::optional<double> height)
{
    if (m_viewportHeight == height)
        return;
    m_viewportHeight = height;
    if (m_lazy) {
        m_lazy->setViewportHeight(height);
        m_layoutDirty = true;
    }
}

bool ViewHost::scrollTo(double top, bool toEnd)
{
    m_viewTop = top;
    if (!m_lazy || !m_lazy->isLazy())
        return false;
    m_lazy->scrollTo(top, toEnd);
    // What is kept built follows the viewport.
    if (!m_lazy->isSettled() || !m_layoutDirty)
        m_slices.start();
    if (!m_layoutDirty || !m_width)
        return false;
    layout(*m_width);
    return true;
}

double ViewHost::viewportTop() const
{
    return m_lazy && m_lazy->isLazy() ? m_lazy->viewportTop() : m_viewTop;
}

bool ViewHost::isSettled() const
{
    return !m_lazy || !m_lazy->isLazy() || m_lazy->isSettled();
}

void ViewHost::layOutInBackground()
{
    if (!m_lazy || !m_lazy->isLazy() || !m_width)
        return;
    const detail::LazyStackNode::Progress progress = m_lazy->measureMore(sliceMilliseconds);
    if (m_layoutDirty) {
        layout(*m_width);
        emit extentChanged();
    }
    if (progress.visibleChanged)
        emit repaintNeeded();
    if (progress.more)
        m_slices.start();
}

void ViewHost::paint(QPainter& painter, const QRectF& exposed)
{
    painter.setRenderHint(QPainter::TextAntialiasing);
    m_root->paint(painter, exposed);
}

// --- Texts and positions ------------------------------------------------------------------------

std::size_t ViewHost::segmentCount() const
{
    return m_lazy ? m_lazy->segmentCount() : 1;
}

const std::vector<TextNode*>& ViewHost::segmentTexts(std::size_t segment) const
{
    return m_lazy ? m_lazy->segmentTexts(segment) : m_texts;
}

std::vector<detail::TextPiece> ViewHost::segmentPieces(std::size_t segment) const
{
    return m_lazy ? m_lazy->segmentPieces(segment) : detail::textPieces(m_texts);
}

ViewHost::Contents ViewHost::segmentContents(std::size_t segment) const
{
    if (!m_lazy)
        return m_textContents;
    auto contents = std::make_shared<std::vector<QString>>();
    for (const detail::TextPiece& piece : m_lazy->segmentPieces(segment))
        contents->push_back(piece.text);
    return contents;
}

std::optional<ViewHost::Position> ViewHost::firstPosition() const
{
    for (std::size_t segment = 0; segment < segmentCount(); ++segment) {
        if (!segmentContents(segment)->empty())
            return Position{segment, 0, 0};
    }
    return std::nullopt;
}

std::optional<ViewHost::Position> ViewHost::lastPosition() const
{
    for (std::size_t segment = segmentCount(); segment > 0; --segment) {
        const Contents contents = segmentContents(segment - 1);
        if (!contents->empty())
            return Position{segment - 1, contents->size() - 1, int(contents->back().size())};
    }
    return std::nullopt;
}

std::optional<ViewHost::Position> ViewHost::positionIn(std::size_t segment, const QPointF& point) const
{
    // A text on the point's line (the nearest one sideways), else the next text below.
    const std::vector<TextNode*>& texts = segmentTexts(segment);
    std::optional<std::size_t> best;
    double bestDistance = 0;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const QRectF& f = texts[i]->frame();
        if (point.y() < f.top() || point.y() > f.bottom())
            continue;
        const double distance = point.x() < f.left() ? f.left() - point.x()
            : point.x() > f.right() ? point.x() - f.right() : 0;
        if (!best || distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    if (best)
        return Position{segment, *best, texts[*best]->offsetAt(point)};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (texts[i]->frame().top() > point.y())
            return Position{segment, i, 0};
    }
    return std::nullopt;
}

std::optional<ViewHost::Position> ViewHost::positionAt(const QPointF& point) const
{
    if (!m_lazy) {
        if (const auto position = positionIn(0, point))
            return position;
        return lastPosition();
    }
    for (std::size_t segment = m_lazy->segmentAt(point.y()); segment < m_lazy->segmentCount(); ++segment) {
        if (m_lazy->segmentNode(segment)) {
            if (const auto position = positionIn(segment, point))
                return position;
        } else if (!m_lazy->segmentPieces(segment).empty()) {
            return Position{segment, 0, 0};
        }
    }
    return lastPosition();
}

void ViewHost::setEnd(std::optional<End>& end, std::optional<Position> position)
{
    if (!position) {
        end.reset();
        return;
    }
    Contents contents = end && end->position.segment == position->segment && end->contents
        ? end->contents : segmentContents(position->segment);
    end = End{*position, std::move(contents)};
}

QString ViewHost::linkAt(const QPointF& position) const
{
    for (RenderNode* node = m_root ? m_root->hitTest(position) : nullptr; node; node = node->parent()) {
        if (auto* text = dynamic_cast<TextNode*>(node)) {
            const QString link = text->linkAt(position);
            if (!link.isEmpty())
                return link;
        } else if (auto* link = dynamic_cast<detail::LinkNode*>(node)) {
            return link->url().toString(QUrl::FullyEncoded);
        }
    }
    return {};
}

detail::HorizontalScrollNode* ViewHost::scrollIndicatorAt(const QPointF& position) const
{
    for (RenderNode* node = m_root ? m_root->hitTest(position) : nullptr; node; node = node->parent()) {
        if (auto* scroll = dynamic_cast<detail::HorizontalScrollNode*>(node))
            return scroll->indicatorTrack().contains(position) ? scroll : nullptr;
    }
    return nullptr;
}

bool ViewHost::mousePress(const QPointF& position, Qt::MouseButton button, Qt::KeyboardModifiers modifiers)
{
    if (button != Qt::LeftButton)
        return false;
    m_pressPoint = position;
    // The scroll indicator of code: drag its thumb, or jump to where the track was pressed.
    if (detail::HorizontalScrollNode* scroll = scrollIndicatorAt(position)) {
        m_thumbDrag = scroll;
        const QRectF thumb = scroll->indicatorThumb();
        if (!thumb.contains(position) && scroll->dragThumbBy(position.x() - thumb.center().x()))
            emit repaintNeeded();
        return true;
    }
    m_pressedLink = linkAt(position);
    m_dragging = false;
    const auto at = positionAt(position);
    if (modifiers & Qt::ShiftModifier && m_anchor) {
        setEnd(m_focus, at);
    } else {
        setEnd(m_anchor, at);
        setEnd(m_focus, at);
    }
    applySelection();
    return true;
}

bool ViewHost::mouseMove(const QPointF& position, Qt::MouseButtons buttons)
{
    if (!(buttons & Qt::LeftButton)) {
        const QString link = linkAt(position);
        if (link != m_hoveredLink) {
            m_hoveredLink = link;
            emit linkHovered(link);
        }
        return false;
    }
    if (m_thumbDrag) {
        if (m_thumbDrag->dragThumbBy(position.x() - m_pressPoint.x()))
            emit repaintNeeded();
        m_pressPoint = position;
        return true;
    }
    if (!m_dragging && (position - m_pressPoint).manhattanLength() < 4)
        return true;
    m_dragging = true;
    setEnd(m_focus, positionAt(position));
    applySelection();
    return true;
}

bool ViewHost::mouseRelease(const QPointF& position, Qt::MouseButton button)
{
    if (button != Qt::LeftButton)
        return false;
    if (m_thumbDrag) {
        m_thumbDrag = nullptr;
        return true;
    }
    if (!m_dragging && !m_pressedLink.isEmpty() && linkAt(position) == m_pressedLink)
        emit linkActivated(QUrl(m_pressedLink, QUrl::StrictMode));
    m_pressedLink.clear();
    m_dragging = false;
    return true;
}

bool ViewHost::mouseDoubleClick(const QPointF& position, Qt::MouseButton button)
{
    if (button != Qt::LeftButton)
        return false;
    const auto at = positionAt(position);
    if (!at)
        return false;
    const QString text = segmentContents(at->segment)->at(at->text);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Word, text);
    finder.setPosition(std::clamp(at->offset, 0, int(text.size())));
    int start = at->offset, end = at->offset;
    if (!finder.isAtBoundary() || (finder.boundaryReasons() & QTextBoundaryFinder::StartOfItem)) {
        end = int(finder.toNextBoundary());
        finder.setPosition(at->offset);
        start = finder.isAtBoundary() ? at->offset : int(finder.toPreviousBoundary());
    } else {
        start = int(finder.toPreviousBoundary());
    }
    if (start < 0)
        start = 0;
    if (end < 0)
        end = int(text.size());
    setEnd(m_anchor, Position{at->segment, at->text, start});
    setEnd(m_focus, Position{at->segment, at->text, end});
    applySelection();
    return true;
}

bool ViewHost::scrollHorizontally(const QPointF& position, double delta)
{
    for (RenderNode* node = m_root ? m_root->hitTest(position) : nullptr; node; node = node->parent()) {
        if (auto* scroll = dynamic_cast<detail::HorizontalScrollNode*>(node)) {
            if (scroll->scrollBy(delta)) {
                emit repaintNeeded();
                return true;
            }
            return false;
        }
    }
    return false;
}

void ViewHost::selectAll()
{
    const auto first = firstPosition();
    const auto last = lastPosition();
    if (!first || !last)
        return;
    setEnd(m_anchor, first);
    setEnd(m_focus, last);
    applySelection();
}

void ViewHost::clearSelection()
{
    m_anchor.reset();
    m_focus.reset();
    applySelection();
}

std::optional<ViewHost::Position> ViewHost::carriedOver(const Position& position, const std::vector<QString>& before,
                                                       const std::vector<QString>& after, bool& moved) const
{
    // What changed is usually one run of texts (a subtree rebuilt, an image that arrived): the
    // texts before and after it are the same, and positions in them still hold.
    const std::size_t shorter = std::min(before.size(), after.size());
    std::size_t head = 0;
    while (head < shorter && head <= position.text && before[head] == after[head])
        ++head;
    if (position.text < head)
        return position;
    std::size_t tail = 0;
    while (tail < shorter - head && before[before.size() - 1 - tail] == after[after.size() - 1 - tail])
        ++tail;
    if (position.text >= before.size() - tail && position.text < before.size())
        return Position{position.segment, position.text - before.size() + after.size(), position.offset};
    // In a text that changed (text streaming in): the end of the unchanged texts before it, so
    // what was selected there stays selected.
    moved = true;
    if (head > 0)
        return Position{position.segment, head - 1, int(after[head - 1].size())};
    for (std::size_t segment = position.segment; segment > 0; --segment) {
        const Contents contents = segmentContents(segment - 1);
        if (!contents->empty())
            return Position{segment - 1, contents->size() - 1, int(contents->back().size())};
    }
    return std::nullopt;
}

void ViewHost::carryOver(std::optional<End>& end, bool& moved)
{
    if (end->position.segment >= segmentCount()) {
        end.reset();
        moved = true;
        return;
    }
    const Contents after = segmentContents(end->position.segment);
    if (end->contents == after || (end->contents && *end->contents == *after)) {
        end->contents = after;
        return;
    }
    const auto carried = carriedOver(end->position, end->contents ? *end->contents : std::vector<QString>{}, *after, moved);
    if (!carried) {
        end.reset();
        return;
    }
    end = End{*carried, carried->segment == end->position.segment ? after : segmentContents(carried->segment)};
}

bool ViewHost::hasSelection() const
{
    return m_anchor && m_focus && m_anchor->position != m_focus->position;
}

void ViewHost::applySelection()
{
    markSelection();
    emit selectionChanged();
    emit repaintNeeded();
}

std::pair<int, int> ViewHost::selectedRange(std::size_t segment, std::size_t text, int length) const
{
    if (!hasSelection())
        return {0, 0};
    const Position& from = std::min(m_anchor->position, m_focus->position);
    const Position& to = std::max(m_anchor->position, m_focus->position);
    const auto at = std::pair(segment, text);
    if (at < std::pair(from.segment, from.text) || at > std::pair(to.segment, to.text))
        return {0, 0};
    const int start = at == std::pair(from.segment, from.text) ? std::clamp(from.offset, 0, length) : 0;
    const int end = at == std::pair(to.segment, to.text) ? std::clamp(to.offset, 0, length) : length;
    return {start, end};
}

void ViewHost::markSelection(std::size_t segment)
{
    const std::vector<TextNode*>& texts = segmentTexts(segment);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const auto [start, end] = selectedRange(segment, i, int(texts[i]->text().size()));
        texts[i]->setSelection(start, end);
    }
}

void ViewHost::markSelection()
{
    if (!m_lazy) {
        markSelection(0);
        return;
    }
    for (std::size_t segment : m_lazy->builtSegments())
        markSelection(segment);
}

QString ViewHost::selectedText() const
{
    if (!hasSelection())
        return {};
    // Texts side by side (table cells, a list marker and its item) are set apart by tabs, texts
    // one below the other by line feeds.
    const Position& from = std::min(m_anchor->position, m_focus->position);
    const Position& to = std::max(m_anchor->position, m_focus->position);
    QString result;
    std::optional<std::size_t> previousSegment;
    for (std::size_t segment = from.segment; segment <= to.segment && segment < segmentCount(); ++segment) {
        const std::vector<detail::TextPiece> pieces = segmentPieces(segment);
        const std::size_t first = segment == from.segment ? from.text : 0;
        const std::size_t last = segment == to.segment ? std::min(to.text + 1, pieces.size()) : pieces.size();
        for (std::size_t i = first; i < last; ++i) {
            const detail::TextPiece& piece = pieces[i];
            const auto [start, end] = selectedRange(segment, i, int(piece.text.size()));
            if (end <= start)
                continue;
            if (previousSegment && !piece.continuesPrevious)
                result += *previousSegment == segment && piece.besidePrevious ? QLatin1Char('\t') : QLatin1Char('\n');
            result += QStringView(piece.text).mid(start, end - start);
            previousSegment = segment;
        }
    }
    return result;
}

void ViewHost::copySelection() const
{
    const QString text = selectedText();
    if (!text.isEmpty())
        QGuiApplication::clipboard()->setText(text);
}

namespace {

// Ctrl+A, and Ctrl+C over a selection, belong to the host even where the window has shortcuts
// on the same keys (an Edit menu): claim them before the shortcut does.
bool claimSelectionShortcut(const ViewHost& host, QKeyEvent* event)
{
    if (event->matches(QKeySequence::SelectAll) || (event->matches(QKeySequence::Copy) && host.hasSelection())) {
        event->accept();
        return true;
    }
    return false;
}

bool handleSelectionKeys(ViewHost& host, QKeyEvent* event)
{
    if (event->matches(QKeySequence::SelectAll)) {
        host.selectAll();
        return true;
    }
    if (event->matches(QKeySequence::Copy)) {
        host.copySelection();
        return true;
    }
    return false;
}

// The scheme follows the widget's palette, whatever the caller's environment says.
Environment inSchemeOf(Environment environment, const QPalette& palette)
{
    environment.colorScheme = colorSchemeOf(palette);
    return environment;
}

// Rebuilds for the other colour scheme when the palette turns light or dark.
void followPalette(ViewHost& host, const QPalette& palette)
{
    if (host.environment().colorScheme != colorSchemeOf(palette))
        host.setEnvironment(inSchemeOf(host.environment(), palette));
}

// What both host widgets do with their own events: the selection keys, and the colour scheme
// following the palette. True when the event is used up.
bool handleWidgetEvent(ViewHost& host, const QWidget& widget, QEvent* event)
{
    switch (event->type()) {
    case QEvent::ShortcutOverride: return claimSelectionShortcut(host, static_cast<QKeyEvent*>(event));
    case QEvent::KeyPress: return handleSelectionKeys(host, static_cast<QKeyEvent*>(event));
    case QEvent::PaletteChange: followPalette(host, widget.palette()); return false;
    default: return false;
    }
}

// Mouse input on the surface showing the document, `scroll` being the document point at the
// surface's origin. True when the host used it.
bool forwardMouse(ViewHost& host, QEvent* event, const QPointF& scroll)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove && type != QEvent::MouseButtonRelease
        && type != QEvent::MouseButtonDblClick)
        return false;
    const auto* mouse = static_cast<const QMouseEvent*>(event);
    const QPointF position = mouse->position() + scroll;
    switch (type) {
    case QEvent::MouseButtonPress: return host.mousePress(position, mouse->button(), mouse->modifiers());
    case QEvent::MouseMove: return host.mouseMove(position, mouse->buttons());
    case QEvent::MouseButtonRelease: return host.mouseRelease(position, mouse->button());
    default: return host.mouseDoubleClick(position, mouse->button());
    }
}

// A sideways wheel, or Shift with the wheel, scrolls the wide content (code) under the pointer;
// true when it did.
bool scrollSideways(ViewHost& host, QWheelEvent* event, const QPointF& position)
{
    QPoint delta = event->pixelDelta().isNull() ? event->angleDelta() / 8 * 20 / 15 : event->pixelDelta();
    if (event->modifiers() & Qt::ShiftModifier && delta.x() == 0)
        delta = QPoint(delta.y(), 0);
    if (delta.x() != 0 && host.scrollHorizontally(position, -delta.x())) {
        event->accept();
        return true;
    }
    return false;
}

// The pointing hand over links, the text cursor elsewhere.
void followLinkHover(ViewHost& host, QWidget* surface)
{
    QObject::connect(&host, &ViewHost::linkHovered, surface, [surface](const QString& link) {
        surface->setCursor(link.isEmpty() ? Qt::IBeamCursor : Qt::PointingHandCursor);
    });
}

void connectLinks(ViewHost& host, QObject* owner, const bool& openLinks,
                  const std::function<void(const QUrl&)>& emitActivated)
{
    // Every link goes through the one check: what is not http, https or mailto is not opened,
    // nor passed on.
    QObject::connect(&host, &ViewHost::linkActivated, owner, [&openLinks, emitActivated](const QUrl& url) {
        if (!isOpenableLink(url)) {
            qWarning("Not opening the link %s: only http, https and mailto links open",
                     qUtf8Printable(url.toDisplayString().left(200)));
            return;
        }
        emitActivated(url);
        if (openLinks)
            QDesktopServices::openUrl(url);
    });
}

} // namespace

DocumentView::DocumentView(QWidget* parent) : QAbstractScrollArea(parent)
{
    detail::installHostAccessibility();
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(true);
    followPalette(m_host, palette());
    m_host.setViewportHeight(viewport()->height());
    connect(&m_host, &ViewHost::repaintNeeded, viewport(), qOverload<>(&QWidget::update));
    connect(&m_host, &ViewHost::layoutChanged, this, &DocumentView::relayout);
    connect(&m_host, &ViewHost::extentChanged, this, &DocumentView::followHost);
    m_pendingRelayout.setSingleShot(true);
    m_pendingRelayout.setInterval(0);
    connect(&m_pendingRelayout, &QTimer::timeout, this, &DocumentView::relayout);
    followLinkHover(m_host, viewport());
    connectLinks(m_host, this, m_openLinks, [this](const QUrl& url) { emit linkActivated(url); });
}

void DocumentView::setView(const View& view)
{
    m_host.setView(view);
}

void DocumentView::setEnvironment(const Environment& environment)
{
    m_host.setEnvironment(inSchemeOf(environment, palette()));
}

void DocumentView::relayout()
{
    m_pendingRelayout.stop();
    m_host.setViewportHeight(viewport()->height());
    // A document taller than the viewport brings the scroll bar, which narrows the viewport:
    // laid out at that width first, what the viewport shows is not laid out twice (a long
    // paragraph's lines change with any width).
    const QScrollBar* bar = verticalScrollBar();
    const bool barComes = !bar->isVisibleTo(this) && verticalScrollBarPolicy() == Qt::ScrollBarAsNeeded
        && !style()->styleHint(QStyle::SH_ScrollBar_Transient, nullptr, bar);
    if (!barComes || m_host.layout(viewport()->width() - bar->sizeHint().width()) <= viewport()->height())
        m_host.layout(viewport()->width());
    followHost();
    viewport()->update();
}

void DocumentView::followHost()
{
    QScrollBar* bar = verticalScrollBar();
    // Heights measured above the viewport move it in the document, not on the screen: the
    // scroll bar follows. Clamped to the new range, the viewport is anchored where it ended up.
    for (int round = 0; round < 2; ++round) {
        m_following = true;
        bar->setPageStep(viewport()->height());
        bar->setSingleStep(20);
        const double end = m_host.height() - viewport()->height();
        bar->setRange(0, std::max(0, int(std::ceil(end))));
        const double top = m_host.viewportTop();
        const int wanted = top >= end - 0.5 ? bar->maximum() : int(std::lround(top));
        bar->setValue(wanted);
        m_following = false;
        if (bar->value() == wanted || !m_host.scrollTo(bar->value(), bar->value() == bar->maximum() && bar->maximum() > 0))
            return;
    }
}

double DocumentView::scrollOffset() const
{
    // Where the host keeps the viewport, to the fraction of a pixel the scroll bar rounds away:
    // what it shows stays put to the pixel while heights above it settle.
    return std::clamp(m_host.viewportTop(), 0.0, std::max(0.0, m_host.height() - viewport()->height()));
}

QPointF DocumentView::toDocument(const QPointF& point) const
{
    return point + QPointF(0, scrollOffset());
}

void DocumentView::paintEvent(QPaintEvent* event)
{
    if (m_pendingRelayout.isActive())
        relayout();
    QPainter painter(viewport());
    const double scroll = scrollOffset();
    painter.translate(0, -scroll);
    m_host.paint(painter, QRectF(event->rect()).translated(0, scroll));
}

void DocumentView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    m_pendingRelayout.start();
}

void DocumentView::scrollContentsBy(int, int)
{
    if (!m_following) {
        QScrollBar* bar = verticalScrollBar();
        // At the end, the viewport stays at the end while the heights above it settle.
        if (m_host.scrollTo(bar->value(), bar->value() == bar->maximum() && bar->maximum() > 0))
            followHost();
    }
    viewport()->update();
}

void DocumentView::wheelEvent(QWheelEvent* event)
{
    if (scrollSideways(m_host, event, toDocument(event->position())))
        return;
    QAbstractScrollArea::wheelEvent(event);
}

void DocumentView::keyPressEvent(QKeyEvent* event)
{
    QScrollBar* bar = verticalScrollBar();
    if (event->key() == Qt::Key_Home || event->key() == Qt::Key_End) {
        bar->setValue(event->key() == Qt::Key_Home ? bar->minimum() : bar->maximum());
        event->accept();
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

bool DocumentView::event(QEvent* event)
{
    return handleWidgetEvent(m_host, *this, event) || QAbstractScrollArea::event(event);
}

bool DocumentView::viewportEvent(QEvent* event)
{
    return forwardMouse(m_host, event, QPointF(0, scrollOffset()))
        || QAbstractScrollArea::viewportEvent(event);
}

HeightForWidthView::HeightForWidthView(QWidget* parent) : QWidget(parent)
{
    detail::installHostAccessibility();
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    connect(&m_host, &ViewHost::repaintNeeded, this, qOverload<>(&QWidget::update));
    connect(&m_host, &ViewHost::layoutChanged, this, [this] {
        updateGeometry();
        // Hidden, the view has no width of its own yet: it is laid out at the one it is shown
        // at, not first at the default one too.
        if (isVisible())
            m_host.layout(width());
    });
    connectLinks(m_host, this, m_openLinks, [this](const QUrl& url) { emit linkActivated(url); });
    followLinkHover(m_host, this);
    followPalette(m_host, palette());
}

void HeightForWidthView::setView(const View& view)
{
    m_host.setView(view);
}

void HeightForWidthView::setEnvironment(const Environment& environment)
{
    m_host.setEnvironment(inSchemeOf(environment, palette()));
}

int HeightForWidthView::heightForWidth(int width) const
{
    return int(std::ceil(m_host.heightForWidth(width)));
}

QSize HeightForWidthView::sizeHint() const
{
    const double ideal = m_host.root() ? m_host.root()->measure({}).width() : 0;
    const int width = int(std::ceil(ideal));
    return {width, heightForWidth(width)};
}

void HeightForWidthView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    m_host.layout(width());
    m_host.paint(painter, event->rect());
}

void HeightForWidthView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_host.layout(width());
}

void HeightForWidthView::wheelEvent(QWheelEvent* event)
{
    // Up and down belong to whatever scrolls around the bubble.
    if (!scrollSideways(m_host, event, event->position()))
        event->ignore();
}

bool HeightForWidthView::event(QEvent* event)
{
    return handleWidgetEvent(m_host, *this, event) || forwardMouse(m_host, event, QPointF()) || QWidget::event(event);
}

} // namespace mdview
