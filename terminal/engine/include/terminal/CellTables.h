#pragma once

#include "terminal/CharData.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace terminal {

class Buffer;

// Texts interned under small integer codes, for the codes that cells store. A code no cell
// refers to any more is given out again after a collection (CellTables::collect), and holders
// outside the cells (an open hyperlink) pin the codes they keep.
class InternTable {
public:
    InternTable(std::uint32_t firstCode, std::uint32_t capacity);

    // The code of `text`, entering it when new; nothing when every code is taken.
    std::optional<std::uint32_t> intern(std::string_view text);
    // The text of a code; empty for a code not in use.
    std::string_view lookup(std::uint32_t code) const;
    bool contains(std::uint32_t code) const;

    void pin(std::uint32_t code);
    void unpin(std::uint32_t code);

    std::size_t size() const { return used_; }
    std::uint32_t capacity() const { return capacity_; }
    std::uint32_t firstCode() const { return firstCode_; }
    bool isFull() const { return size() == capacity_; }

    // Frees every code whose slot in `live` (indexed by code - firstCode) is false, unless pinned.
    void releaseUnmarked(const std::vector<bool>& live);

private:
    struct Entry {
        std::string text;
        std::uint32_t hash = 0;
        std::uint32_t pins = 0;
        bool used = false;
    };

    // The bucket holding `text`, or the empty one where it would go.
    std::size_t findBucket(std::string_view text, std::uint32_t hash) const;
    // Rebuilds the index with `bucketCount` buckets (a power of two).
    void rebuildIndex(std::size_t bucketCount);

    std::uint32_t firstCode_;
    std::uint32_t capacity_;
    std::vector<Entry> entries_;
    std::vector<std::uint32_t> freeSlots_;
    // Open addressing with linear probing: an entry's hash in the high half and its slot + 1 in
    // the low half, 0 for an empty bucket. Kept under half full; flat, and probed without
    // touching the entries, since a full table is searched for every new cluster.
    std::vector<std::uint64_t> buckets_;
    std::size_t used_ = 0;
};

// The tables behind the codes of one terminal's cells: grapheme clusters of several scalars,
// and payloads (hyperlink targets) behind TinyAtom. Both buffers of a terminal share one; the
// buffers register themselves so that a full table can find which codes are still in use.
// A code handed out must be stored in a cell, or pinned, before the next call that enters a
// text: a full table collects then. Not thread-safe: a terminal and its buffers live on one thread.
class CellTables {
public:
    // A cluster holds at most this many scalars; a longer one is stored as U+FFFD.
    static constexpr std::size_t maxClusterScalars = 32;
    static constexpr std::uint32_t clusterCapacity = 1u << 16;
    static constexpr std::uint32_t payloadCapacity = 0xFFFE;

    CellTables();
    CellTables(std::uint32_t clusterCapacity, std::uint32_t payloadCapacity);
    CellTables(const CellTables&) = delete;
    CellTables& operator=(const CellTables&) = delete;

    // The cell code of a character made of `scalars`: the scalar itself for one (invalid ones
    // become U+FFFD), a cluster code for several. When the cluster table stays full after a
    // collection, the first scalar alone.
    std::int32_t encode(std::u32string_view scalars);
    // The scalars of a cell code (nothing for 0, U+FFFD for an invalid or unknown code).
    std::u32string scalars(std::int32_t code) const;
    // Appends the character of a code as UTF-8; code 0 appends `blank`.
    void appendUtf8(std::int32_t code, std::string& out, char blank = ' ') const;

    // The atom of a payload, entering it when new; nothing when the table stays full.
    std::optional<TinyAtom> payloadAtom(std::string_view payload);
    std::string_view payload(TinyAtom atom) const;
    void pinPayload(TinyAtom atom) { payloads_.pin(atom.code); }
    void unpinPayload(TinyAtom atom) { payloads_.unpin(atom.code); }

    const InternTable& clusters() const { return clusters_; }
    const InternTable& payloads() const { return payloads_; }

    // Frees every cluster and payload code that no cell of a registered buffer holds.
    void collect();
    // How many collections ran: a code seen before a collection may mean something else after.
    std::uint64_t collections() const { return collections_; }

private:
    friend class Buffer;
    void registerBuffer(const Buffer* buffer);
    void unregisterBuffer(const Buffer* buffer);
    // Interns `text`; a full table is collected first, unless a collection ran too recently
    // to free much.
    std::optional<std::uint32_t> internCollecting(InternTable& table, std::string_view text);

    InternTable clusters_;
    InternTable payloads_;
    std::vector<const Buffer*> buffers_;
    std::string scratch_;
    std::uint64_t internsSinceCollection_ = 0;
    // Texts entered between collections of a full table; grows while collections free little.
    std::uint64_t collectionInterval_ = 0;
    std::uint64_t collections_ = 0;
};

} // namespace terminal
