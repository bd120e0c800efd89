#pragma once

// What the tests and the benchmark share: bare cmark-gfm, without the model in between, and
// the GFM reference text Debian's cmark-gfm package ships, to hold the model against; long
// repeated texts for hostile inputs.

#include <cmark-gfm.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace markdown::test {

inline constexpr const char* gfmReferencePath = "/usr/share/doc/cmark-gfm/spec.txt.gz";

struct CmarkNodeFree {
    void operator()(cmark_node* node) const { cmark_node_free(node); }
};
using CmarkDocument = std::unique_ptr<cmark_node, CmarkNodeFree>;

// cmark-gfm's own tree of `markdown`, with the extensions the parser attaches.
CmarkDocument parseWithCmark(std::string_view markdown);

// cmark-gfm's HTML straight from its own parse, with link and image titles removed: the model
// does not carry them.
std::string cmarkHTML(std::string_view markdown);

// The decompressed content of a gzip file; empty when it cannot be read.
std::string readGzip(const char* path);

// One example of the reference text: its Markdown (tabs as tabs), its number counted from 1 and
// the line its fence starts on.
struct GfmExample {
    int number = 0;
    int line = 0;
    std::string markdown;
    bool disabled = false; // marked "disabled": an extension the reference does not enable
};
std::vector<GfmExample> gfmExamples(const std::string& spec);

// Ordinary Markdown documents to hold the parser against: every .md file under the folder that
// QUILLORA_MARKDOWN_DOCUMENTS names (fetch-documents.sh beside the tests fetches them; .ci/run
// does and sets it). documentsFolder() is empty when the variable is not set.
inline constexpr const char* documentsVariable = "QUILLORA_MARKDOWN_DOCUMENTS";
inline constexpr const char* fetchDocumentsHint =
    "set it to the folder of documents that markdown/core/tests/fetch-documents.sh fetches (.ci/run does)";
std::string documentsFolder();
// Paths and contents, sorted by path; empty when the folder holds none.
std::vector<std::pair<std::string, std::string>> loadMarkdownDocuments(const std::string& folder);

// `piece` written `count` times.
std::string repeat(std::string_view piece, std::size_t count);

} // namespace markdown::test
