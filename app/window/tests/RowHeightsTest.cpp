#include "../src/RowHeights.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <random>
#include <vector>

using quillora::RowHeights;

namespace {

// Checks every offset and the row found at each row's first, last and middle pixel against
// plain running sums.
void expectAgrees(const RowHeights& heights, const std::vector<int>& expected)
{
    ASSERT_EQ(heights.size(), int(expected.size()));
    std::int64_t sum = 0;
    for (int row = 0; row < int(expected.size()); ++row) {
        ASSERT_EQ(heights.offset(row), sum) << "row " << row;
        for (const std::int64_t y : {sum, sum + expected[std::size_t(row)] / 2, sum + expected[std::size_t(row)] - 1})
            ASSERT_EQ(heights.rowAt(y), row) << "y " << y;
        sum += expected[std::size_t(row)];
    }
    EXPECT_EQ(heights.total(), sum);
    if (!expected.empty()) {
        EXPECT_EQ(heights.rowAt(-5), 0);
        EXPECT_EQ(heights.rowAt(sum + 100), int(expected.size()) - 1);
    }
}

TEST(RowHeights, AppendsSetsAndResetsLikeRunningSums)
{
    std::mt19937 random(7);
    RowHeights heights;
    std::vector<int> expected;
    EXPECT_EQ(heights.rowAt(0), -1);
    for (int round = 0; round < 40; ++round) {
        // Appends across several powers of two, then changes to rows anywhere.
        for (int i = int(random() % 50); i > 0; --i) {
            const int height = 1 + int(random() % 40);
            heights.append(height);
            expected.push_back(height);
        }
        for (int i = 0; i < 10 && !expected.empty(); ++i) {
            const int row = int(random() % expected.size());
            const int height = 1 + int(random() % 300);
            heights.set(row, height);
            expected[std::size_t(row)] = height;
        }
        expectAgrees(heights, expected);
        if (round == 20) {
            heights.reset(int(expected.size()) + 3, 17);
            expected.assign(expected.size() + 3, 17);
            expectAgrees(heights, expected);
        }
    }
}

} // namespace
