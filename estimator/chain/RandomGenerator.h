#pragma once

#include <cstdint>

namespace ombrel {

// The estimator's one source of randomness: a 32-bit Mersenne Twister (MT19937) with a uniform deviate
// on [0, 1] and a polar-method normal deviate that caches its second value. Every draw of a run comes
// from one instance in a fixed order, so a seed reproduces the run.
class RandomGenerator {
public:
    virtual ~RandomGenerator() = default;

    // Standard MT19937 seeding.
    void SeedGenerator(uint32_t seed);
    // Next tempered 32-bit output; an unseeded generator seeds itself with 5489 first.
    uint32_t NextRandom32();
    // NextRandom32() * (1 / 4294967295): both 0 and 1 can come out.
    double DrawUniform();
    // Standard normal deviate (polar method); every second call returns the cached deviate.
    double DrawNormal();

private:
    void Regenerate();

    static constexpr int kStateSize = 624;
    uint32_t state_[kStateSize] = {};
    int32_t index_ = kStateSize + 1;  // 625: never seeded
    double cachedNormal_ = 0.0;
    bool cachedNormalValid_ = false;
};

}  // namespace ombrel
