#include "estimator/chain/RandomGenerator.h"

#include <algorithm>

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
void RandomGenerator::DrawPolarPoint(double& v1, double& v2, double& s) {
    do {
        v1 = 2.0 * DrawUniform() - 1.0;
        v2 = 2.0 * DrawUniform() - 1.0;
        s = v1 * v1 + v2 * v2;
    } while (s >= 1.0 || s == 0.0);
}

double RandomGenerator::DrawNormal() {
    if (cachedNormalValid_) {
        cachedNormalValid_ = false;
        return cachedNormalComputed_ ? cachedNormal_ : PolarNormal(cachedParts_);
    }
    double v1 = 0.0;
    double v2 = 0.0;
    double s = 0.0;
    DrawPolarPoint(v1, v2, s);
    const double t = PolarScale(s);
    cachedParts_ = {v1, s};
    cachedNormal_ = v1 * t;
    cachedNormalValid_ = true;
    cachedNormalComputed_ = true;
    return v2 * t;
}

NormalParts RandomGenerator::DrawNormalParts() {
    if (cachedNormalValid_) {
        cachedNormalValid_ = false;
        return cachedParts_;
    }
    double v1 = 0.0;
    double v2 = 0.0;
    double s = 0.0;
    DrawPolarPoint(v1, v2, s);
    cachedParts_ = {v1, s};
    cachedNormalValid_ = true;
    cachedNormalComputed_ = false;
    return {v2, s};
}

void RandomGenerator::DrawNormalParts(NormalParts* parts, int64_t count) {
    int64_t i = 0;
    if (count > 0 && cachedNormalValid_) {
        cachedNormalValid_ = false;
        parts[i++] = cachedParts_;
    }
    // Both deviates of every point are written, and the position moves on only when the point lies
    // inside the circle: the same points as the rejection loop keeps, in the same order.
    while (i + 1 < count) {
        const double v1 = 2.0 * DrawUniform() - 1.0;
        const double v2 = 2.0 * DrawUniform() - 1.0;
        const double s = v1 * v1 + v2 * v2;
        parts[i] = {v2, s};
        parts[i + 1] = {v1, s};
        i += (s < 1.0 && s != 0.0) ? 2 : 0;
    }
    if (i < count) parts[i] = DrawNormalParts();
}

void TransformNormals(const NormalParts* parts, int count, double* normals) {
    double s = 0.0;
    double scale = 0.0;
    for (int i = 0; i < count; ++i) {
        // s is never 0, so the first part always computes its scale.
        if (parts[i].s != s) {
            s = parts[i].s;
            scale = PolarScale(s);
        }
        normals[i] = parts[i].v * scale;
    }
}

GeneratorState RandomGenerator::SaveState() const {
    GeneratorState state;
    std::copy(state_, state_ + kStateSize, state.words);
    state.index = index_;
    state.cachedParts = cachedParts_;
    state.cachedNormal = cachedNormal_;
    state.cachedNormalValid = cachedNormalValid_;
    state.cachedNormalComputed = cachedNormalComputed_;
    return state;
}

void RandomGenerator::RestoreState(const GeneratorState& state) {
    std::copy(state.words, state.words + kStateSize, state_);
    index_ = state.index >= 0 && state.index <= kStateSize ? state.index : kStateSize + 1;
    cachedParts_ = state.cachedParts;
    cachedNormal_ = state.cachedNormal;
    cachedNormalValid_ = state.cachedNormalValid;
    cachedNormalComputed_ = state.cachedNormalComputed;
}

}  // namespace ombrel
