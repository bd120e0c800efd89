#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace quillora::chat {

// Whether `bytes` is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool isValidUtf8(std::string_view bytes);
// `bytes` with every ill-formed sequence replaced by U+FFFD, one per maximal subpart.
std::string sanitizedUtf8(std::string_view bytes);
// `text` (valid UTF-8) without the white space and line breaks at both ends, Unicode ones included.
std::string_view trimmedUtf8(std::string_view text);
// The longest prefix of `text` (valid UTF-8) of at most `maxBytes` that ends on a character boundary.
std::string_view utf8Prefix(std::string_view text, std::size_t maxBytes);

// Cuts a byte stream into lines at line feeds. A line is decoded only once it is complete, so a
// character split across two reads arrives whole. Lines are delivered trimmed, non-empty and as
// valid UTF-8. A line longer than the bound is dropped: its bytes are discarded as they arrive,
// `onOverflow` is called once, and splitting picks up again after the next line feed, so memory
// stays bounded whatever the stream holds.
class LineSplitter {
public:
    static constexpr std::size_t defaultMaxLineBytes = std::size_t(32) << 20;

    using LineSink = std::function<void(std::string_view line)>;
    using OverflowSink = std::function<void()>;

    explicit LineSplitter(std::size_t maxLineBytes = defaultMaxLineBytes);

    void feed(std::string_view bytes, const LineSink& onLine, const OverflowSink& onOverflow);
    // The unterminated rest, trimmed and valid UTF-8 (empty after a dropped line); the splitter
    // starts afresh afterwards.
    std::string finish();

    std::size_t maxLineBytes() const { return m_maxLineBytes; }

private:
    void deliver(std::string_view raw, const LineSink& onLine);

    std::size_t m_maxLineBytes;
    std::string m_pending;
    bool m_discarding = false;
};

} // namespace quillora::chat
