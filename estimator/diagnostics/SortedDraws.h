#pragma once

// Finite doubles in ascending order with their original positions, by a least-significant-digit
// radix sort of order-preserving integer keys: several times faster than a comparison sort for
// the few thousand draws of one quantity, and allocation-free once grown.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace ombrel {

class SortedDraws {
public:
    // values must be finite and fewer than 2^32. -0 sorts just before +0, which compare equal.
    void Sort(std::span<const double> values);

    std::span<const double> Values() const { return values_; }
    std::span<const std::uint32_t> Positions() const { return positions_; }

private:
    // Six passes of 11 bits cover the 64-bit keys.
    static constexpr int kDigitBits = 11;
    static constexpr int kDigits = (64 + kDigitBits - 1) / kDigitBits;
    static constexpr int kBuckets = 1 << kDigitBits;
    static constexpr std::uint64_t kDigitMask = kBuckets - 1;

    std::array<std::array<std::uint32_t, kBuckets>, kDigits> counts_;
    std::vector<std::uint64_t> keys_, keysSpare_;
    std::vector<std::uint32_t> positions_, positionsSpare_;
    std::vector<double> values_;
};

}  // namespace ombrel
