#include "HostAccessibility.h"

#include "mdview/Host.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPointer>

#include <cmath>
#include <vector>

namespace mdview::detail {

namespace {

// The host behind a surface and the document y at the surface's top.
struct Surface {
    ViewHost* host = nullptr;
    double top = 0;
};

Surface surfaceOf(QWidget* widget)
{
    if (!widget)
        return {};
    if (auto* view = qobject_cast<HeightForWidthView*>(widget))
        return {&view->host(), 0};
    if (auto* document = qobject_cast<DocumentView*>(widget->parentWidget()); document && document->viewport() == widget)
        return {&document->host(), document->scrollOffset()};
    return {};
}

std::vector<const RenderNode*> labelledNodes(const Surface& surface)
{
    if (!surface.host || !surface.host->root())
        return {};
    return collectLabelledNodes(*surface.host->root());
}

// One labelled node, found by its place among the surface's labelled nodes each time it is
// asked, so that it never holds a node that was rebuilt or released.
class LabelledNodeInterface final : public QAccessibleInterface {
public:
    LabelledNodeInterface(QWidget* surface, int index) : m_surface(surface), m_index(index) {}

    int index() const { return m_index; }
    bool isValid() const override { return node() != nullptr; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_surface ? m_surface->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(m_surface.data()); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text kind) const override
    {
        const RenderNode* labelled = node();
        return labelled && kind == QAccessible::Name ? labelled->accessibilityLabel() : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QAccessible::Role role() const override { return QAccessible::Graphic; }
    QAccessible::State state() const override
    {
        QAccessible::State state;
        if (!m_surface)
            return state;
        const QRect shown = rect();
        state.invisible = shown.isEmpty();
        state.offscreen = !shown.intersects(QRect(m_surface->mapToGlobal(QPoint(0, 0)), m_surface->size()));
        return state;
    }
    QRect rect() const override
    {
        const Surface surface = surfaceOf(m_surface);
        const RenderNode* labelled = node();
        if (!labelled)
            return {};
        const QRectF frame = labelled->frame().translated(0, -surface.top);
        const QPoint origin = m_surface->mapToGlobal(QPoint(0, 0));
        return QRect(origin + QPoint(int(std::floor(frame.left())), int(std::floor(frame.top()))),
                     QSize(int(std::ceil(frame.width())), int(std::ceil(frame.height()))));
    }

private:
    const RenderNode* node() const
    {
        if (!m_surface)
            return nullptr;
        const std::vector<const RenderNode*> nodes = labelledNodes(surfaceOf(m_surface));
        return m_index < int(nodes.size()) ? nodes[std::size_t(m_index)] : nullptr;
    }

    QPointer<QWidget> m_surface;
    int m_index;
};

// The surface, with the labelled nodes of its tree as its children.
class SurfaceInterface final : public QAccessibleWidget {
public:
    explicit SurfaceInterface(QWidget* surface) : QAccessibleWidget(surface, QAccessible::Document) {}
    ~SurfaceInterface() override
    {
        for (const QAccessible::Id id : m_children)
            QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return int(labelledNodes(surfaceOf(widget())).size()); }
    QAccessibleInterface* child(int index) const override
    {
        if (index < 0 || index >= childCount())
            return nullptr;
        // Made once per place and kept by Qt's registry until this interface goes.
        while (int(m_children.size()) <= index) {
            m_children.push_back(
                QAccessible::registerAccessibleInterface(new LabelledNodeInterface(widget(), int(m_children.size()))));
        }
        return QAccessible::accessibleInterface(m_children[std::size_t(index)]);
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        const auto* labelled = dynamic_cast<const LabelledNodeInterface*>(child);
        return labelled && labelled->index() < childCount() ? labelled->index() : -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override
    {
        for (int i = childCount() - 1; i >= 0; --i) {
            QAccessibleInterface* element = child(i);
            if (element && element->rect().contains(x, y))
                return element;
        }
        return nullptr;
    }

private:
    mutable std::vector<QAccessible::Id> m_children;
};

QAccessibleInterface* makeInterface(const QString&, QObject* object)
{
    auto* widget = qobject_cast<QWidget*>(object);
    return surfaceOf(widget).host ? new SurfaceInterface(widget) : nullptr;
}

} // namespace

void installHostAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(makeInterface);
        return true;
    }();
    (void)installed;
}

} // namespace mdview::detail
