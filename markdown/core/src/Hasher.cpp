#include "markdown/Hasher.h"

#include <functional>

namespace markdown {

namespace {
constexpr std::uint64_t prime = 0x100000001b3ULL;
}

void Hasher::feedWord(std::uint64_t value)
{
    for (int shift = 0; shift < 64; shift += 8) {
        state_ ^= (value >> shift) & 0xff;
        state_ *= prime;
    }
}

void Hasher::feedByte(std::uint8_t value)
{
    state_ ^= value;
    state_ *= prime;
}

void Hasher::feedString(std::string_view value) { feedWord(std::hash<std::string_view>{}(value)); }

std::size_t Hasher::finalize() const
{
    // A final avalanche so that nearby states spread over the whole word.
    std::uint64_t x = state_;
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    return static_cast<std::size_t>(x);
}

} // namespace markdown
