#pragma once

// Process-wide glue around cmark-gfm. The library keeps global state: extension
// registration is unguarded, and a parser with extensions toggles a global table of
// special characters while it finishes. Every parser's life (creation to free) therefore
// runs under cmarkMutex(); trees are independent of it and are walked outside the lock.

#include <cmark-gfm.h>
#include <cmark-gfm-core-extensions.h>

#include <mutex>

namespace markdown::detail {

inline constexpr const char* logCategory = "MarkdownParser";

std::mutex& cmarkMutex();

// Registers the core extensions once per process.
void ensureExtensionsRegistered();

// The node kinds the extensions were given at registration.
struct ExtensionNodeTypes {
    cmark_node_type table = CMARK_NODE_NONE;
    cmark_node_type tableRow = CMARK_NODE_NONE;
    cmark_node_type tableCell = CMARK_NODE_NONE;
    cmark_node_type strikethrough = CMARK_NODE_NONE;
};

// Read once, after registration; a kind that reads as 0 is logged as an error.
const ExtensionNodeTypes& extensionNodeTypes();

} // namespace markdown::detail
