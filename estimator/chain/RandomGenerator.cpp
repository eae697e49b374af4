#include "estimator/chain/RandomGenerator.h"

#include <cmath>

namespace ombrel {

namespace {

constexpr uint32_t kDefaultSeed = 5489u;
constexpr int kShift = 397;  // the twist reads the word this far ahead
constexpr uint32_t kUpperMask = 0x80000000u;
constexpr uint32_t kLowerMask = 0x7FFFFFFFu;
constexpr uint32_t kMagnitude[2] = {0u, 0x9908B0DFu};

// The float64 nearest to 1 / (2^32 - 1); the division is correctly rounded at compile time.
constexpr double kUniformScale = 1.0 / 4294967295.0;

inline uint32_t Twist(uint32_t current, uint32_t next, uint32_t ahead) {
    const uint32_t y = (current & kUpperMask) | (next & kLowerMask);
    return ahead ^ (y >> 1) ^ kMagnitude[y & 1u];
}

}  // namespace

void RandomGenerator::SeedGenerator(uint32_t seed) {
    state_[0] = seed;
    for (int i = 1; i < kStateSize; ++i) {
        const uint32_t previous = state_[i - 1];
        state_[i] = 1812433253u * (previous ^ (previous >> 30)) + static_cast<uint32_t>(i);
    }
    index_ = kStateSize;
}

// The standard regeneration, split at the two wrap-around points so that the loops need no modulo:
// word k reads word k + 397 (already regenerated when it lies past the end) and word k + 1.
void RandomGenerator::Regenerate() {
    int k = 0;
    for (; k < kStateSize - kShift; ++k) state_[k] = Twist(state_[k], state_[k + 1], state_[k + kShift]);
    for (; k < kStateSize - 1; ++k) {
        state_[k] = Twist(state_[k], state_[k + 1], state_[k + kShift - kStateSize]);
    }
    state_[kStateSize - 1] = Twist(state_[kStateSize - 1], state_[0], state_[kShift - 1]);
}

uint32_t RandomGenerator::NextRandom32() {
    if (index_ >= kStateSize) {
        if (index_ == kStateSize + 1) SeedGenerator(kDefaultSeed);
        Regenerate();
        index_ = 0;
    }
    uint32_t y = state_[index_++];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9D2C5680u;
    y ^= (y << 15) & 0xEFC60000u;
    y ^= y >> 18;
    return y;
}

double RandomGenerator::DrawUniform() { return static_cast<double>(NextRandom32()) * kUniformScale; }

// Polar method. The two uniforms are drawn in this order (v1 first), and the second deviate of each
// accepted pair is kept for the next call, whichever use that call serves.
double RandomGenerator::DrawNormal() {
    if (cachedNormalValid_) {
        cachedNormalValid_ = false;
        return cachedNormal_;
    }
    double v1 = 0.0;
    double v2 = 0.0;
    double s = 0.0;
    do {
        v1 = 2.0 * DrawUniform() - 1.0;
        v2 = 2.0 * DrawUniform() - 1.0;
        s = v1 * v1 + v2 * v2;
    } while (s >= 1.0 || s == 0.0);
    const double t = std::sqrt(-2.0 * std::log(s) / s);
    cachedNormal_ = v1 * t;
    cachedNormalValid_ = true;
    return v2 * t;
}

}  // namespace ombrel
