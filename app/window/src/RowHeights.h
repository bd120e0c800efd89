#pragma once

#include <cstdint>
#include <vector>

namespace quillora {

// The heights of a list's rows with their running sums (a Fenwick tree), so that a row's offset
// and the row at an offset take O(log n), and appending a row or changing one height too.
class RowHeights {
public:
    int size() const { return int(m_heights.size()); }
    int height(int row) const { return m_heights[std::size_t(row)]; }
    std::int64_t total() const { return m_total; }

    void append(int height)
    {
        const int node = size() + 1; // 1-based
        m_heights.push_back(height);
        // The new node covers the rows (node - lowbit(node), node].
        const int first = node - (node & -node);
        m_tree.push_back(height + prefix(node - 1) - prefix(first));
        m_total += height;
    }

    void set(int row, int height)
    {
        const int delta = height - m_heights[std::size_t(row)];
        if (delta == 0)
            return;
        m_heights[std::size_t(row)] = height;
        m_total += delta;
        for (int node = row + 1; node <= size(); node += node & -node)
            m_tree[std::size_t(node - 1)] += delta;
    }

    // Every row `height` again.
    void reset(int rows, int height)
    {
        m_heights.assign(std::size_t(rows), height);
        m_tree.resize(std::size_t(rows));
        for (int node = 1; node <= rows; ++node)
            m_tree[std::size_t(node - 1)] = std::int64_t(height) * (node & -node);
        m_total = std::int64_t(height) * rows;
    }

    // The summed height of the rows before `row`.
    std::int64_t offset(int row) const { return prefix(row); }

    // The row whose span holds `y` (clamped to the first and last row); -1 without rows.
    int rowAt(std::int64_t y) const
    {
        if (m_heights.empty())
            return -1;
        if (y < 0)
            return 0;
        // The largest count of leading rows whose summed height is at most y.
        int node = 0;
        std::int64_t remaining = y;
        for (int step = highestBit(size()); step > 0; step >>= 1) {
            const int next = node + step;
            if (next <= size() && m_tree[std::size_t(next - 1)] <= remaining) {
                node = next;
                remaining -= m_tree[std::size_t(next - 1)];
            }
        }
        return node < size() ? node : size() - 1;
    }

private:
    std::int64_t prefix(int count) const
    {
        std::int64_t sum = 0;
        for (int node = count; node > 0; node -= node & -node)
            sum += m_tree[std::size_t(node - 1)];
        return sum;
    }

    static int highestBit(int value)
    {
        int bit = 1;
        while (bit <= value / 2)
            bit <<= 1;
        return bit;
    }

    std::vector<int> m_heights;
    std::vector<std::int64_t> m_tree;
    std::int64_t m_total = 0;
};

} // namespace quillora
