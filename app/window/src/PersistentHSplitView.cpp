#include "window/PersistentHSplitView.h"

#include <algorithm>
#include <cmath>

namespace quillora {

double sanitizedFraction(double stored)
{
    return std::isfinite(stored) && stored >= 0 && stored <= 1 ? stored : 0.5;
}

double clampedFraction(double fraction, double usableWidth, double minLeadingWidth, double minTrailingWidth)
{
    if (!(usableWidth > 0))
        return fraction;
    const double minShare = std::clamp(minLeadingWidth / usableWidth, 0.0, 1.0);
    const double maxShare = std::clamp(1 - minTrailingWidth / usableWidth, 0.0, 1.0);
    if (minShare > maxShare)
        return minShare;
    return std::clamp(sanitizedFraction(fraction), minShare, maxShare);
}

namespace {

// Whether a stored value must be rewritten to hold `value`; a stored NaN always must.
bool differs(double stored, double value)
{
    return !(std::abs(stored - value) <= 0.0001);
}

} // namespace

PersistentHSplitView::PersistentHSplitView(Binding leadingFraction, double minLeadingWidth, double minTrailingWidth,
                                           QWidget* leading, QWidget* trailing, QWidget* parent)
    : QSplitter(Qt::Horizontal, parent)
    , m_fraction(std::move(leadingFraction))
    , m_minLeading(minLeadingWidth)
    , m_minTrailing(minTrailingWidth)
{
    setChildrenCollapsible(false);
    leading->setMinimumWidth(int(minLeadingWidth));
    trailing->setMinimumWidth(int(minTrailingWidth));
    addWidget(leading);
    addWidget(trailing);
    setStretchFactor(0, 1);
    setStretchFactor(1, 1);
    connect(this, &QSplitter::splitterMoved, this, &PersistentHSplitView::recordDrag);
}

double PersistentHSplitView::usableWidth() const
{
    return width() - handleWidth();
}

void PersistentHSplitView::applyFraction()
{
    // Before the split is on screen its width is a default, not the window's.
    const double usable = usableWidth();
    if (!isVisible() || usable <= 0 || count() < 2)
        return;
    const double stored = m_fraction.read();
    const double clamped = clampedFraction(stored, usable, m_minLeading, m_minTrailing);
    const double target = usable * clamped;
    const double current = sizes().value(0, int(std::lround(target)));
    if (std::abs(current - target) <= 0.5)
        return;
    const int leading = int(std::lround(target));
    setSizes({leading, int(usable) - leading});
    if (differs(stored, clamped))
        m_fraction.write(clamped);
}

void PersistentHSplitView::recordDrag()
{
    const double usable = usableWidth();
    if (usable <= 0)
        return;
    const double clamped = clampedFraction(sizes().value(0) / usable, usable, m_minLeading, m_minTrailing);
    if (differs(m_fraction.read(), clamped))
        m_fraction.write(clamped);
}

void PersistentHSplitView::resizeEvent(QResizeEvent* event)
{
    QSplitter::resizeEvent(event);
    applyFraction();
}

void PersistentHSplitView::showEvent(QShowEvent* event)
{
    QSplitter::showEvent(event);
    applyFraction();
}

} // namespace quillora
