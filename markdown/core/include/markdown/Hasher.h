#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace markdown {

// Accumulates the fields of a node into one hash value. Each field kind is fed in a
// fixed shape (a word, a byte, a string's hash) so that different cases with similar
// payloads do not collide trivially.
class Hasher {
public:
    void feedWord(std::uint64_t value);
    void feedByte(std::uint8_t value);
    void feedBool(bool value) { feedByte(value ? 1 : 0); }
    void feedString(std::string_view value);

    std::size_t finalize() const;

private:
    std::uint64_t state_ = 0xcbf29ce484222325ULL;
};

// Feeds a list's length, then each element through its hashInto overload.
template <typename T> void hashList(Hasher& hasher, const std::vector<T>& list)
{
    hasher.feedWord(list.size());
    for (const T& element : list)
        hashInto(hasher, element);
}

template <typename T>
concept HashableNode = requires(Hasher& hasher, const T& value) { hashInto(hasher, value); };

// One hash value of a model value, fed through its hashInto overload.
template <HashableNode T> std::size_t hashValue(const T& value)
{
    Hasher hasher;
    hashInto(hasher, value);
    return hasher.finalize();
}

} // namespace markdown
