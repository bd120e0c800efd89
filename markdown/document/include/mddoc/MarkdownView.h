#pragma once

#include "mdview/Color.h"
#include "mdview/View.h"

#include "markdown/MarkdownContent.h"

#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

namespace mddoc {

using mdview::View;

// What a built document keeps to change its blocks in place (streamed text).
struct DocumentState;

// One Markdown document under the theme in the environment: images meant for the other colour
// scheme left out, the top-level blocks one under the other with collapsed margins, over the
// theme's text colour and background. Links resolve against `baseURL`, images against
// `imageBaseURL`, or `baseURL` when that is absent. Each top-level block is built as a unit of
// its own. With a state, the built document can later take new blocks (updateDocument).
View MarkdownView(markdown::MarkdownContent content, std::optional<QUrl> baseURL = {},
                  std::optional<QUrl> imageBaseURL = {}, std::shared_ptr<DocumentState> state = {});
// Parses the text first.
View MarkdownView(const QString& text, std::optional<QUrl> baseURL = {}, std::optional<QUrl> imageBaseURL = {});

std::shared_ptr<DocumentState> makeDocumentState();
// Gives a built document new content: the leading top-level blocks that did not change keep
// their render nodes (and so what is selected in them); the rest are built anew. False when the
// document was not built yet (or is gone), and nothing changed.
bool updateDocument(const std::shared_ptr<DocumentState>& state, const markdown::MarkdownContent& content);
// How many top-level blocks the last update kept.
std::size_t keptBlocks(const DocumentState& state);

// The document without the images marked for the other scheme ("#gh-dark-mode-only" in light
// mode, "#gh-light-mode-only" in dark mode) and without images that make no URL.
markdown::MarkdownContent filterImagesByColorScheme(const markdown::MarkdownContent& content,
                                                    mdview::ColorScheme scheme);

} // namespace mddoc
