#pragma once

#include "mdview/Color.h"
#include "mdview/Providers.h"

#include "richtext/AttributedText.h"

#include <QString>

#include <memory>
#include <optional>

namespace mddoc {

// The highlighter's text for a code block, served from a cache keyed by the code, the language,
// the colour scheme and the highlighter: rebuilding a document highlights only code that changed.
richtext::AttributedText highlightedCode(const std::shared_ptr<const mdview::CodeSyntaxHighlighter>& highlighter,
                                         const QString& code, const std::optional<QString>& language,
                                         mdview::ColorScheme scheme);

// How often the cache was missed since the process started (for tests and benchmarks).
std::size_t codeHighlightingMisses();

} // namespace mddoc
