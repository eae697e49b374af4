#include "estimator/diagnostics/SortedDraws.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace ombrel {
namespace {

// Against a comparison sort: signs, zeros of both signs, ties, subnormal and huge magnitudes, and a
// second, shorter sort in the same object.
TEST(SortedDraws, OrdersLikeAComparisonSortAndKeepsPositions) {
    std::mt19937_64 generator(3);
    std::vector<double> values;
    for (int i = 0; i < 2000; ++i) {
        const double u = static_cast<double>(generator() >> 11) / 9007199254740992.0;
        values.push_back(std::ldexp(u - 0.5, static_cast<int>(generator() % 200) - 100));
    }
    for (double special : {0.0, -0.0, 1.5, 1.5, -1.5, std::numeric_limits<double>::denorm_min(),
                           -std::numeric_limits<double>::max(), std::numeric_limits<double>::max(), 0.0}) {
        values.push_back(special);
    }
    SortedDraws sorted;
    for (std::size_t count : {values.size(), std::size_t{37}, std::size_t{1}}) {
        const std::vector<double> input(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(count));
        sorted.Sort(input);
        std::vector<double> expected = input;
        std::sort(expected.begin(), expected.end());
        ASSERT_EQ(sorted.Values().size(), count);
        for (std::size_t k = 0; k < count; ++k) {
            EXPECT_EQ(sorted.Values()[k], expected[k]) << k;
            EXPECT_EQ(std::bit_cast<std::uint64_t>(input[sorted.Positions()[k]]),
                      std::bit_cast<std::uint64_t>(sorted.Values()[k]));
        }
    }
    sorted.Sort(std::vector<double>{});
    EXPECT_TRUE(sorted.Values().empty());
}

}  // namespace
}  // namespace ombrel
