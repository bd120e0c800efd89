#pragma once

// What the tests and the benchmark share: bare cmark-gfm, without the model in between, and
// the GFM reference text Debian's cmark-gfm package ships, to hold the model against; long
// repeated texts for hostile inputs.

#include <cmark-gfm.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace markdown::test {

inline constexpr const char* gfmReferencePath = "/usr/share/doc/cmark-gfm/spec.txt.gz";

struct CmarkNodeFree {
    void operator()(cmark_node* node) const { cmark_node_free(node); }
};
using CmarkDocument = std::unique_ptr<cmark_node, CmarkNodeFree>;

// cmark-gfm's own tree of `markdown`, with the extensions the parser attaches.
CmarkDocument parseWithCmark(std::string_view markdown);

// The decompressed content of a gzip file; empty when it cannot be read.
std::string readGzip(const char* path);

// `piece` written `count` times.
std::string repeat(std::string_view piece, std::size_t count);

} // namespace markdown::test
