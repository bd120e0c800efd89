#pragma once

#include "mddoc/Themes.h"

#include "mdview/Color.h"
#include "mdview/Host.h"

#include <QImage>
#include <QString>

#include <functional>
#include <optional>

namespace mddoc {

using mdview::View;

// One document parsed, built and laid out at a width without a window, with the time each step
// took: what the render tool prints and what tests and benchmarks measure. Seen through a
// viewport of a given height, it lays out lazily as a scrolling window does: what the viewport
// shows first, the rest while the event loop runs (settle).
class OffscreenDocument {
public:
    struct Timings {
        double parseMs = 0;
        double buildMs = 0;
        double firstLayoutMs = 0; // until the first screen can be drawn
        double fullLayoutMs = 0;  // until the whole document is laid out
        double paintMs = 0;       // the last paint
    };

    OffscreenDocument(const QString& text, const Theme& theme, mdview::ColorScheme scheme, double width,
                      std::function<View(const View&)> modifiers = {}, std::optional<double> viewportHeight = {});

    mdview::ViewHost& host() { return m_host; }
    double height() const { return m_height; }
    const Timings& timings() const { return m_timings; }
    // Runs the event loop until the document stops changing (images arriving, lazy layout) for
    // a quarter of a second, or `timeoutMs` pass.
    void settle(int timeoutMs);
    // Moves the viewport to a document y, or to the end; where its top is now.
    double scrollTo(double top, bool toEnd = false);
    // Lays the document out at another width, as a window resized.
    void setWidth(double width);
    // The laid-out tree, one node per line.
    QString dump() const;
    // Paints `height` points of the document from `top` (all of it when absent) over the
    // theme's page colour.
    QImage paint(double top = 0, std::optional<double> height = {});

private:
    mdview::ViewHost m_host;
    mdview::ColorScheme m_scheme;
    double m_width;
    double m_height = 0;
    std::optional<double> m_viewportHeight;
    Timings m_timings;
};

// Reads a file as UTF-8 text; false, with a one-line reason, when it is not a regular file, cannot
// be read or is not UTF-8.
bool readMarkdownFile(const QString& path, QString& text, QString& error);

} // namespace mddoc
