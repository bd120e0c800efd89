// Feeds arbitrary bytes, cut into reads of varying size, through the line splitter and every
// line (and the rest) through both tools' readers; checks that lines are valid UTF-8 and that
// every event prints as JSON, and that the JSON reader takes exactly the objects that
// nlohmann's parser takes, with the same values.

#include "chat/ChatEventJson.h"
#include "chat/ClaudeChatProviderAdapter.h"
#include "chat/CodexChatProviderAdapter.h"
#include "chat/LineSplitter.h"

#include "../src/JsonSupport.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace quillora::chat;

namespace {

using quillora::chat::json_support::Json;

int depthOf(const Json& value)
{
    int deepest = 0;
    if (value.is_structured())
        for (const Json& child : value)
            deepest = std::max(deepest, depthOf(child));
    return deepest + (value.is_structured() ? 1 : 0);
}

void compareReaders(std::string_view line)
{
    const auto ours = quillora::chat::json_support::parseObject(line);
    const Json theirs = Json::parse(line.begin(), line.end(), nullptr, false);
    if (ours && *ours != theirs) {
        std::fprintf(stderr, "DIFF: %.*s\nours %s\ntheirs %s\n", int(line.size()), line.data(), ours->dump().c_str(), theirs.dump().c_str());
        std::abort();
    }
    if (!ours && theirs.is_object() && depthOf(theirs) <= quillora::chat::json_support::maxDepth) {
        std::fprintf(stderr, "MISSED: %.*s\n", int(line.size()), line.data());
        std::abort();
    }
}

void parse(std::string_view line)
{
    static const ClaudeChatProviderAdapter claude;
    static const CodexChatProviderAdapter codex;
    if (!isValidUtf8(line) || line.empty())
        std::abort();
    // nlohmann's parser takes a NUL byte for the end of its input; ours reads on.
    if (line.front() == '{' && line.find('\0') == std::string_view::npos)
        compareReaders(line);
    for (const ChatProviderAdapter* adapter : {static_cast<const ChatProviderAdapter*>(&claude),
                                               static_cast<const ChatProviderAdapter*>(&codex)})
        for (const ChatProviderEvent& event : adapter->parseLine(line))
            if (eventJson(event).isEmpty())
                std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    // The first byte shapes the reads and the bound, so short inputs reach the overflow path.
    const unsigned shape = data[0];
    const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
    LineSplitter splitter(shape & 1 ? 64 : LineSplitter::defaultMaxLineBytes);
    std::size_t at = 0;
    std::size_t step = 1 + (shape >> 1) % 61;
    while (at < input.size()) {
        const std::size_t length = std::min(step, input.size() - at);
        splitter.feed(input.substr(at, length), parse, [] {});
        at += length;
        step = 1 + (step * 7 + shape) % 61;
    }
    const std::string rest = splitter.finish();
    if (!isValidUtf8(rest))
        std::abort();
    if (!rest.empty())
        parse(rest);
    return 0;
}
