#include "terminal/RowStorage.h"

#include <sys/mman.h>

#include <cstdint>
#include <mutex>
#include <utility>

namespace terminal::rowstorage {

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool pooled = false; // the sanitizer sees every row's bounds only in blocks of its own
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool pooled = false;
#else
constexpr bool pooled = true;
#endif
#else
constexpr bool pooled = true;
#endif

constexpr std::size_t chunkBytes = std::size_t(2) << 20;
constexpr std::size_t granule = 64; // block sizes are multiples of a cache line
constexpr std::size_t smallestPooled = 256;
constexpr std::size_t largestPooled = 128u << 10;
constexpr std::size_t classCount = largestPooled / granule + 1;

// The head of a chunk, at its start; the blocks follow it, all of one size.
struct Chunk {
    std::size_t blockBytes = 0;
    std::size_t live = 0;    // blocks given out
    std::size_t bumped = 0;  // offset of the first block never given out
    void* freed = nullptr;   // blocks given back, linked through their first word
    Chunk* previous = nullptr;
    Chunk* next = nullptr;   // in its size's list of chunks with room
};
static_assert(sizeof(Chunk) <= granule);

struct Pool {
    std::mutex lock;
    Chunk* withRoom[classCount] = {}; // per size: the chunks with a free block
    Chunk* spare = nullptr;           // one empty chunk kept for whichever size needs one next
    std::size_t chunks = 0;
};

Pool& pool()
{
    static Pool instance;
    return instance;
}

std::size_t roundedUp(std::size_t bytes)
{
    return (bytes + granule - 1) / granule * granule;
}

bool isPooled(std::size_t bytes)
{
    return pooled && bytes >= smallestPooled && bytes <= largestPooled;
}

// A chunk aligned to its size, so that a block finds its chunk by masking its address.
Chunk* mapChunk()
{
    void* region = ::mmap(nullptr, 2 * chunkBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (region == MAP_FAILED)
        throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(region);
    const std::uintptr_t aligned = (start + chunkBytes - 1) & ~(chunkBytes - 1);
    if (aligned > start)
        ::munmap(region, aligned - start);
    if (const std::uintptr_t tail = start + 2 * chunkBytes - (aligned + chunkBytes))
        ::munmap(reinterpret_cast<void*>(aligned + chunkBytes), tail);
    void* chunk = reinterpret_cast<void*>(aligned);
    ::madvise(chunk, chunkBytes, MADV_HUGEPAGE); // a hint: without huge pages it is plain memory
    return new (chunk) Chunk;
}

void link(Chunk*& head, Chunk* chunk)
{
    chunk->previous = nullptr;
    chunk->next = head;
    if (head)
        head->previous = chunk;
    head = chunk;
}

void unlink(Chunk*& head, Chunk* chunk)
{
    if (chunk->previous)
        chunk->previous->next = chunk->next;
    else
        head = chunk->next;
    if (chunk->next)
        chunk->next->previous = chunk->previous;
    chunk->previous = chunk->next = nullptr;
}

bool isFull(const Chunk& chunk)
{
    return !chunk.freed && chunk.bumped + chunk.blockBytes > chunkBytes;
}

} // namespace

void* allocate(std::size_t bytes)
{
    if (!isPooled(bytes))
        return ::operator new(bytes);
    const std::size_t size = roundedUp(bytes);
    Pool& p = pool();
    const std::lock_guard guard(p.lock);
    Chunk*& withRoom = p.withRoom[size / granule];
    Chunk* chunk = withRoom;
    if (!chunk) {
        if (p.spare) {
            chunk = new (std::exchange(p.spare, nullptr)) Chunk;
        } else {
            chunk = mapChunk();
            ++p.chunks;
        }
        chunk->blockBytes = size;
        chunk->bumped = granule;
        link(withRoom, chunk);
    }
    void* block;
    if (chunk->freed) {
        block = chunk->freed;
        chunk->freed = *static_cast<void**>(block);
    } else {
        block = reinterpret_cast<char*>(chunk) + chunk->bumped;
        chunk->bumped += size;
    }
    ++chunk->live;
    if (isFull(*chunk))
        unlink(withRoom, chunk);
    return block;
}

void deallocate(void* block, std::size_t bytes) noexcept
{
    if (!block)
        return;
    if (!isPooled(bytes)) {
        ::operator delete(block);
        return;
    }
    auto* chunk = reinterpret_cast<Chunk*>(reinterpret_cast<std::uintptr_t>(block) & ~(chunkBytes - 1));
    Pool& p = pool();
    const std::lock_guard guard(p.lock);
    Chunk*& withRoom = p.withRoom[chunk->blockBytes / granule];
    const bool wasFull = isFull(*chunk);
    *static_cast<void**>(block) = chunk->freed;
    chunk->freed = block;
    if (wasFull)
        link(withRoom, chunk);
    if (--chunk->live > 0)
        return;
    unlink(withRoom, chunk);
    if (!p.spare) {
        p.spare = chunk;
        return;
    }
    ::munmap(chunk, chunkBytes);
    --p.chunks;
}

std::size_t chunkCount()
{
    Pool& p = pool();
    const std::lock_guard guard(p.lock);
    return p.chunks;
}

} // namespace terminal::rowstorage
