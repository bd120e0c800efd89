#pragma once

// Assistive technology's view of the host widgets: the surface a document is drawn on (the
// document view's viewport, a height-for-width view) lists the labelled nodes of its built
// tree (block images with their alt text) as elements of its own.

namespace mdview::detail {

// Installs the factory of the surfaces' accessible interfaces, once per process.
void installHostAccessibility();

} // namespace mdview::detail
