#pragma once

#include <cstddef>
#include <new>

namespace terminal {

// Storage for the cells of rows. A terminal holds thousands of rows of one width; taken from the
// C library one by one, each new row costs page faults on first use, and once the scroll-back
// outgrows the caches every row reused by scrolling costs a TLB miss too. Rows of one size are
// carved instead from 2 MiB chunks that the system may back with huge pages, and a chunk goes
// back to the system once its last row is freed (one empty chunk per size is kept for the
// next). Very small and very large rows come from the C library as usual. Thread-safe.
namespace rowstorage {
void* allocate(std::size_t bytes);
void deallocate(void* block, std::size_t bytes) noexcept;
// The chunks currently held, for tests.
std::size_t chunkCount();
} // namespace rowstorage

template <typename T>
struct RowAllocator {
    using value_type = T;

    RowAllocator() = default;
    template <typename U>
    RowAllocator(const RowAllocator<U>&) noexcept
    {
    }

    T* allocate(std::size_t n)
    {
        if (n > static_cast<std::size_t>(-1) / sizeof(T))
            throw std::bad_array_new_length();
        return static_cast<T*>(rowstorage::allocate(n * sizeof(T)));
    }
    void deallocate(T* block, std::size_t n) noexcept { rowstorage::deallocate(block, n * sizeof(T)); }

    template <typename U>
    friend bool operator==(const RowAllocator&, const RowAllocator<U>&) noexcept
    {
        return true;
    }
};

} // namespace terminal
