#include "estimator/diagnostics/SortedDraws.h"

#include <bit>
#include <cstddef>

namespace ombrel {
namespace {

constexpr std::uint64_t kSign = std::uint64_t{1} << 63;

// Unsigned order of the keys is the numeric order of the doubles: a positive value gets its sign
// bit set, a negative one has all bits flipped.
std::uint64_t KeyOf(double x) {
    const auto bits = std::bit_cast<std::uint64_t>(x);
    return (bits & kSign) != 0 ? ~bits : bits | kSign;
}

double ValueOf(std::uint64_t key) { return std::bit_cast<double>((key & kSign) != 0 ? key & ~kSign : ~key); }

}  // namespace

void SortedDraws::Sort(std::span<const double> values) {
    const std::size_t n = values.size();
    keys_.resize(n);
    keysSpare_.resize(n);
    positions_.resize(n);
    positionsSpare_.resize(n);
    values_.resize(n);
    if (n == 0) return;
    counts_.fill({});
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint64_t key = KeyOf(values[i]);
        keys_[i] = key;
        positions_[i] = static_cast<std::uint32_t>(i);
        for (int digit = 0; digit < kDigits; ++digit)
            ++counts_[digit][(key >> (kDigitBits * digit)) & kDigitMask];
    }
    for (int digit = 0; digit < kDigits; ++digit) {
        std::array<std::uint32_t, kBuckets>& count = counts_[digit];
        const int shift = kDigitBits * digit;
        // A digit all keys share leaves the order as it is.
        if (count[(keys_[0] >> shift) & kDigitMask] == n) continue;
        std::uint32_t start = 0;
        for (std::uint32_t& c : count) {
            const std::uint32_t bucket = c;
            c = start;
            start += bucket;
        }
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint32_t to = count[(keys_[i] >> shift) & kDigitMask]++;
            keysSpare_[to] = keys_[i];
            positionsSpare_[to] = positions_[i];
        }
        keys_.swap(keysSpare_);
        positions_.swap(positionsSpare_);
    }
    for (std::size_t i = 0; i < n; ++i) values_[i] = ValueOf(keys_[i]);
}

}  // namespace ombrel
