#include "TextDecoding.h"

#include "terminal/UnicodeUtil.h"

#include <algorithm>

namespace terminal {

std::optional<std::vector<std::uint8_t>> decodeBase64(std::string_view text)
{
    std::vector<std::uint8_t> out;
    out.reserve(text.size() / 4 * 3);
    std::uint32_t bits = 0;
    int count = 0;
    std::size_t padding = 0;
    for (char c : text) {
        int value;
        if (c >= 'A' && c <= 'Z')
            value = c - 'A';
        else if (c >= 'a' && c <= 'z')
            value = c - 'a' + 26;
        else if (c >= '0' && c <= '9')
            value = c - '0' + 52;
        else if (c == '+')
            value = 62;
        else if (c == '/')
            value = 63;
        else if (c == '=') {
            ++padding;
            continue;
        } else
            return std::nullopt;
        if (padding > 0)
            return std::nullopt;
        bits = bits << 6 | static_cast<std::uint32_t>(value);
        if (++count == 4) {
            out.push_back(static_cast<std::uint8_t>(bits >> 16));
            out.push_back(static_cast<std::uint8_t>(bits >> 8));
            out.push_back(static_cast<std::uint8_t>(bits));
            bits = 0;
            count = 0;
        }
    }
    if (count == 1 || padding > 2 || (count == 0 && padding > 0) || (count > 0 && padding > 0 && count + padding != 4))
        return std::nullopt;
    if (count == 2)
        out.push_back(static_cast<std::uint8_t>(bits >> 4));
    if (count == 3) {
        out.push_back(static_cast<std::uint8_t>(bits >> 10));
        out.push_back(static_cast<std::uint8_t>(bits >> 2));
    }
    return out;
}

bool isValidUtf8(std::string_view text)
{
    std::string again;
    for (char32_t c : decodeUtf8(text))
        appendUtf8(again, c);
    return again == text;
}

bool isAscii(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

namespace {

bool isStrippedFromTitles(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E)
        || (c >= 0x2066 && c <= 0x2069);
}

} // namespace

std::string sanitizedTitle(std::string_view text)
{
    if (!isValidUtf8(text))
        return {};
    std::string out;
    out.reserve(text.size());
    for (char32_t c : decodeUtf8(text)) {
        if (!isStrippedFromTitles(c))
            appendUtf8(out, c);
    }
    return out;
}

} // namespace terminal
