#pragma once

// Process-wide glue around cmark-gfm. The library keeps global state: extension
// registration is unguarded, and a parser with extensions toggles a global table of
// special characters while it finishes. Every parser's life (creation to free) therefore
// runs under cmarkMutex(); trees are independent of it and are walked outside the lock.

#include <cmark-gfm.h>
#include <cmark-gfm-core-extensions.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string_view>

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

// Owns a finished tree; the free needs no lock (the tree is independent of any parser).
struct CmarkTreeDeleter {
    void operator()(cmark_node* root) const { cmark_node_free(root); }
};
using CmarkTree = std::unique_ptr<cmark_node, CmarkTreeDeleter>;

// Flags of the extensions a parse attaches.
struct CmarkExtension {
    static constexpr unsigned autolink = 1;
    static constexpr unsigned strikethrough = 2;
    static constexpr unsigned tagfilter = 4;
    static constexpr unsigned tasklist = 8;
    static constexpr unsigned table = 16;
};

// The tree of a text with the given extensions (CmarkExtension flags); null when cmark-gfm
// yields none.
// `fed`, when given, runs once cmark-gfm holds the text itself: the caller may let go of it then,
// before the costly inline parse.
CmarkTree parseCmark(std::string_view text, unsigned extensions, const std::function<void()>& fed = {});

} // namespace markdown::detail
