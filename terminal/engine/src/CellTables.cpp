#include "terminal/CellTables.h"

#include "terminal/Buffer.h"
#include "terminal/Log.h"
#include "terminal/UnicodeUtil.h"

#include <algorithm>

namespace terminal {

namespace {

std::uint32_t hashOf(std::string_view text)
{
    const std::uint64_t h = std::hash<std::string_view>{}(text);
    return static_cast<std::uint32_t>(h ^ (h >> 32));
}

} // namespace

InternTable::InternTable(std::uint32_t firstCode, std::uint32_t capacity) : firstCode_(firstCode), capacity_(capacity) {}

std::size_t InternTable::findBucket(std::string_view text, std::uint32_t hash) const
{
    const std::size_t mask = buckets_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const std::uint64_t b = buckets_[i];
        if (b == 0)
            return i;
        if (static_cast<std::uint32_t>(b >> 32) == hash && entries_[static_cast<std::uint32_t>(b) - 1].text == text)
            return i;
    }
}

void InternTable::rebuildIndex(std::size_t bucketCount)
{
    buckets_.assign(bucketCount, 0);
    for (std::uint32_t slot = 0; slot < entries_.size(); ++slot) {
        if (entries_[slot].used)
            buckets_[findBucket(entries_[slot].text, entries_[slot].hash)] = std::uint64_t{entries_[slot].hash} << 32 | (slot + 1);
    }
}

std::optional<std::uint32_t> InternTable::intern(std::string_view text)
{
    const std::uint32_t hash = hashOf(text);
    if (!buckets_.empty()) {
        if (const std::uint64_t b = buckets_[findBucket(text, hash)])
            return firstCode_ + static_cast<std::uint32_t>(b) - 1;
    }
    std::uint32_t slot;
    if (!freeSlots_.empty()) {
        slot = freeSlots_.back();
        freeSlots_.pop_back();
    } else if (entries_.size() < capacity_) {
        slot = static_cast<std::uint32_t>(entries_.size());
        entries_.emplace_back();
    } else {
        return std::nullopt;
    }
    Entry& entry = entries_[slot];
    entry.text.assign(text);
    entry.hash = hash;
    entry.used = true;
    entry.pins = 0;
    ++used_;
    if (buckets_.size() < 2 * used_)
        rebuildIndex(std::max<std::size_t>(64, buckets_.size() * 2));
    else
        buckets_[findBucket(text, hash)] = std::uint64_t{hash} << 32 | (slot + 1);
    return firstCode_ + slot;
}

bool InternTable::contains(std::uint32_t code) const
{
    return code >= firstCode_ && code - firstCode_ < entries_.size() && entries_[code - firstCode_].used;
}

std::string_view InternTable::lookup(std::uint32_t code) const
{
    return contains(code) ? std::string_view(entries_[code - firstCode_].text) : std::string_view{};
}

void InternTable::pin(std::uint32_t code)
{
    if (contains(code))
        ++entries_[code - firstCode_].pins;
}

void InternTable::unpin(std::uint32_t code)
{
    if (contains(code) && entries_[code - firstCode_].pins > 0)
        --entries_[code - firstCode_].pins;
}

void InternTable::releaseUnmarked(const std::vector<bool>& live)
{
    for (std::uint32_t slot = 0; slot < entries_.size(); ++slot) {
        Entry& entry = entries_[slot];
        if (!entry.used || entry.pins > 0 || (slot < live.size() && live[slot]))
            continue;
        entry = Entry{};
        freeSlots_.push_back(slot);
        --used_;
    }
    if (!buckets_.empty())
        rebuildIndex(buckets_.size());
}

CellTables::CellTables() : CellTables(clusterCapacity, payloadCapacity) {}

CellTables::CellTables(std::uint32_t clusters, std::uint32_t payloads)
    : clusters_(static_cast<std::uint32_t>(CharData::firstClusterCode), std::max(1u, clusters))
    , payloads_(1, std::clamp(payloads, 1u, static_cast<std::uint32_t>(payloadCapacity)))
{
}

void CellTables::registerBuffer(const Buffer* buffer)
{
    buffers_.push_back(buffer);
}

void CellTables::unregisterBuffer(const Buffer* buffer)
{
    std::erase(buffers_, buffer);
}

std::int32_t CellTables::encode(std::u32string_view scalars)
{
    if (scalars.empty())
        return 0;
    if (scalars.size() == 1)
        return static_cast<std::int32_t>(isValidScalar(scalars[0]) ? scalars[0] : 0xFFFD);
    if (scalars.size() > maxClusterScalars)
        return 0xFFFD;
    scratch_.clear();
    for (char32_t c : scalars)
        terminal::appendUtf8(scratch_, c);
    const auto code = internCollecting(clusters_, scratch_);
    if (!code)
        return static_cast<std::int32_t>(isValidScalar(scalars[0]) ? scalars[0] : 0xFFFD);
    return static_cast<std::int32_t>(*code);
}

std::u32string CellTables::scalars(std::int32_t code) const
{
    if (code == 0)
        return {};
    if (code < CharData::firstClusterCode)
        return std::u32string(1, isValidScalar(static_cast<std::uint32_t>(code)) ? static_cast<char32_t>(code) : U'\uFFFD');
    const std::string_view text = clusters_.lookup(static_cast<std::uint32_t>(code));
    return text.empty() ? std::u32string(1, U'\uFFFD') : decodeUtf8(text);
}

void CellTables::appendUtf8(std::int32_t code, std::string& out, char blank) const
{
    if (code == 0) {
        out += blank;
    } else if (code < CharData::firstClusterCode) {
        terminal::appendUtf8(out, static_cast<char32_t>(code));
    } else {
        const std::string_view text = clusters_.lookup(static_cast<std::uint32_t>(code));
        if (text.empty())
            terminal::appendUtf8(out, U'\uFFFD');
        else
            out += text;
    }
}

std::optional<TinyAtom> CellTables::payloadAtom(std::string_view payload)
{
    const auto code = internCollecting(payloads_, payload);
    if (!code)
        return std::nullopt;
    return TinyAtom{static_cast<std::uint16_t>(*code)};
}

std::string_view CellTables::payload(TinyAtom atom) const
{
    return payloads_.lookup(atom.code);
}

std::optional<std::uint32_t> CellTables::internCollecting(InternTable& table, std::string_view text)
{
    ++internsSinceCollection_;
    if (auto code = table.intern(text))
        return code;
    // A collection walks every cell: after one, wait until enough new texts came to make the
    // next worth it, and twice as long after each that freed little, so that a stream of
    // distinct clusters into a table full of live ones stays linear.
    if (internsSinceCollection_ < collectionInterval_)
        return std::nullopt;
    const std::size_t before = table.size();
    collect();
    const bool freedLittle = before - table.size() < table.capacity() / 8;
    collectionInterval_ = freedLittle ? std::min<std::uint64_t>(std::max<std::uint64_t>(collectionInterval_ * 2, table.capacity() / 8),
                                                                std::uint64_t{table.capacity()} * 64)
                                      : table.capacity() / 8;
    auto code = table.intern(text);
    if (!code)
        logDiagnostic("cell table full: a character or link beyond its capacity was stored without it");
    return code;
}

void CellTables::collect()
{
    std::vector<bool> liveClusters(clusters_.capacity());
    std::vector<bool> livePayloads(payloads_.capacity());
    for (const Buffer* buffer : buffers_) {
        const CircularBufferLineList& lines = buffer->lines();
        for (int i = 0; i < lines.count(); ++i) {
            for (const CharData& cell : lines[i].getData()) {
                if (cell.code >= CharData::firstClusterCode) {
                    const auto slot = static_cast<std::uint32_t>(cell.code - CharData::firstClusterCode);
                    if (slot < liveClusters.size())
                        liveClusters[slot] = true;
                }
                if (cell.payload.code != 0 && cell.payload.code <= livePayloads.size())
                    livePayloads[cell.payload.code - 1] = true;
            }
        }
    }
    clusters_.releaseUnmarked(liveClusters);
    payloads_.releaseUnmarked(livePayloads);
    internsSinceCollection_ = 0;
    ++collections_;
}

} // namespace terminal
