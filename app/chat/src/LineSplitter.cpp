#include "chat/LineSplitter.h"

#include <cstdint>
#include <cstring>

namespace quillora::chat {

namespace {

// Length of the well-formed sequence at `p` (at most `n` bytes available), or 0 when the bytes
// there are ill-formed; `*subpart` then holds the length of the maximal subpart to replace.
std::size_t sequenceLength(const unsigned char* p, std::size_t n, std::size_t* subpart)
{
    const unsigned char lead = p[0];
    std::size_t need;
    unsigned char low = 0x80, high = 0xBF; // bounds of the second byte
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        need = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 3;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        *subpart = 1;
        return 0;
    }
    std::size_t i = 1;
    for (; i < need && i < n; ++i) {
        const unsigned char c = p[i];
        const bool ok = i == 1 ? (c >= low && c <= high) : (c >= 0x80 && c <= 0xBF);
        if (!ok)
            break;
    }
    if (i == need)
        return need;
    *subpart = i;
    return 0;
}

bool allAscii(const unsigned char* p, std::size_t n)
{
    std::uint64_t bits = 0;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, p + i, 8);
        bits |= word;
    }
    for (; i < n; ++i)
        bits |= p[i];
    return (bits & 0x8080808080808080ULL) == 0;
}

// White space and line breaks: the ASCII ones, U+0085, and the Unicode space separators.
std::size_t spaceAt(const unsigned char* p, std::size_t n)
{
    const unsigned char c = p[0];
    if (c == ' ' || (c >= '\t' && c <= '\r'))
        return 1;
    if (c == 0xC2 && n >= 2 && (p[1] == 0x85 || p[1] == 0xA0))
        return 2;
    if (n >= 3) {
        if (c == 0xE1 && p[1] == 0x9A && p[2] == 0x80) // U+1680
            return 3;
        if (c == 0xE2 && p[1] == 0x80 && (p[2] <= 0x8A || p[2] == 0xA8 || p[2] == 0xA9 || p[2] == 0xAF))
            return 3; // U+2000..U+200A, U+2028, U+2029, U+202F
        if (c == 0xE2 && p[1] == 0x81 && p[2] == 0x9F) // U+205F
            return 3;
        if (c == 0xE3 && p[1] == 0x80 && p[2] == 0x80) // U+3000
            return 3;
    }
    return 0;
}

} // namespace

bool isValidUtf8(std::string_view bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        // Runs of ASCII are the common case: skip them a word at a time.
        if (p[i] < 0x80) {
            if (i + 8 <= n && allAscii(p + i, 8)) {
                i += 8;
                continue;
            }
            ++i;
            continue;
        }
        std::size_t subpart = 0;
        const std::size_t length = sequenceLength(p + i, n - i, &subpart);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

std::string sanitizedUtf8(std::string_view bytes)
{
    static constexpr char replacement[] = "\xEF\xBF\xBD";
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::string out;
    out.reserve(n + 8);
    std::size_t i = 0;
    while (i < n) {
        std::size_t subpart = 0;
        const std::size_t length = sequenceLength(p + i, n - i, &subpart);
        if (length == 0) {
            out.append(replacement, 3);
            i += subpart;
        } else {
            out.append(bytes.data() + i, length);
            i += length;
        }
    }
    return out;
}

std::string_view trimmedUtf8(std::string_view text)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end) {
        const std::size_t space = spaceAt(p + begin, end - begin);
        if (space == 0)
            break;
        begin += space;
    }
    while (end > begin) {
        // Step back to the start of the last character, then test it.
        std::size_t start = end - 1;
        while (start > begin && (p[start] & 0xC0) == 0x80 && end - start < 4)
            --start;
        if (spaceAt(p + start, end - start) != end - start)
            break;
        end = start;
    }
    return text.substr(begin, end - begin);
}

std::string_view utf8Prefix(std::string_view text, std::size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return text;
    std::size_t end = maxBytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

LineSplitter::LineSplitter(std::size_t maxLineBytes)
    : m_maxLineBytes(maxLineBytes)
{
}

void LineSplitter::deliver(std::string_view raw, const LineSink& onLine)
{
    if (isValidUtf8(raw)) {
        const std::string_view line = trimmedUtf8(raw);
        if (!line.empty())
            onLine(line);
        return;
    }
    const std::string valid = sanitizedUtf8(raw);
    const std::string_view line = trimmedUtf8(valid);
    if (!line.empty())
        onLine(line);
}

void LineSplitter::feed(std::string_view bytes, const LineSink& onLine, const OverflowSink& onOverflow)
{
    while (!bytes.empty()) {
        const void* found = std::memchr(bytes.data(), '\n', bytes.size());
        if (!found) {
            if (m_discarding)
                return;
            if (m_pending.size() + bytes.size() > m_maxLineBytes) {
                m_pending.clear();
                m_pending.shrink_to_fit();
                m_discarding = true;
                onOverflow();
                return;
            }
            m_pending.append(bytes);
            return;
        }
        const std::size_t length = static_cast<const char*>(found) - bytes.data();
        const std::string_view head = bytes.substr(0, length);
        bytes.remove_prefix(length + 1);
        if (m_discarding) {
            m_discarding = false;
            continue;
        }
        if (m_pending.size() + head.size() > m_maxLineBytes) {
            m_pending.clear();
            m_pending.shrink_to_fit();
            onOverflow();
            continue;
        }
        if (m_pending.empty()) {
            deliver(head, onLine);
        } else {
            // Take the line out first, so the splitter is consistent while the sink runs.
            std::string line = std::move(m_pending);
            m_pending.clear();
            line.append(head);
            deliver(line, onLine);
        }
    }
}

std::string LineSplitter::finish()
{
    std::string rest = std::move(m_pending);
    m_pending = std::string();
    m_discarding = false;
    if (!isValidUtf8(rest))
        rest = sanitizedUtf8(rest);
    return std::string(trimmedUtf8(rest));
}

} // namespace quillora::chat
