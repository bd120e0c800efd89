#pragma once

#include <QSplitter>

#include <functional>

namespace quillora {

// A stored share that is not a number between 0 and 1 (NaN, infinite, out of range) stands
// for the even split, 0.5.
double sanitizedFraction(double stored);

// The share of `usableWidth` that leaves both panes their minimum widths, as close to `fraction`
// as that allows; when both minima do not fit, the leading pane gets its minimum. A usable width
// that is not positive leaves the fraction as it is.
double clampedFraction(double fraction, double usableWidth, double minLeadingWidth, double minTrailingWidth);

// Two panes side by side whose divider follows a fraction held by the caller: the caller reads
// and writes it (and persists it), the split places the divider there, stores the user's drags
// back, and corrects a fraction that the width cannot honour, storing the correction too.
class PersistentHSplitView : public QSplitter {
    Q_OBJECT
public:
    struct Binding {
        std::function<double()> read;
        std::function<void(double)> write;
    };

    PersistentHSplitView(Binding leadingFraction, double minLeadingWidth, double minTrailingWidth, QWidget* leading,
                         QWidget* trailing, QWidget* parent = nullptr);

    // Places the divider at the bound fraction (clamped); writes the clamped value back when it
    // differs from the stored one. Nothing happens before the split has a width, or when the
    // divider already sits within half a pixel of its place.
    void applyFraction();
    double usableWidth() const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void recordDrag();

    Binding m_fraction;
    double m_minLeading;
    double m_minTrailing;
};

} // namespace quillora
