#pragma once

// Strict decodings of the text programs send in OSC and DCS strings.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace terminal {

// Standard Base64 with optional padding; nothing when the text is not valid Base64.
std::optional<std::vector<std::uint8_t>> decodeBase64(std::string_view text);
bool isValidUtf8(std::string_view text);
bool isAscii(std::string_view text);
// A title as it may be shown: UTF-8 (empty when the text is not), without control characters
// and without the characters that reorder text around them (bidirectional controls).
std::string sanitizedTitle(std::string_view text);

} // namespace terminal
