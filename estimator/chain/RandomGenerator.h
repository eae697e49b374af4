#pragma once

#include <cmath>
#include <cstdint>

namespace ombrel {

// A normal deviate of the polar method before its transform: the deviate is v * sqrt(-2 ln s / s).
// The serial part of a draw (the generator's words and the rejection of points outside the circle)
// and its costly part (the logarithm, root and division) can so be taken apart: one thread draws the
// parts in the generator's order, others turn them into deviates, with the same bits.
struct NormalParts {
    double v = 0.0;
    double s = 0.0;
};

inline double PolarScale(double s) { return std::sqrt(-2.0 * std::log(s) / s); }
inline double PolarNormal(const NormalParts& parts) { return parts.v * PolarScale(parts.s); }

// Turns count parts into deviates. Consecutive parts of one accepted pair share s, and so their scale.
void TransformNormals(const NormalParts* parts, int count, double* normals);

// Everything a generator carries from one draw to the next, so that a run stopped between two
// iterations can go on with the very draws it would have made.
struct GeneratorState {
    static constexpr int kWords = 624;
    uint32_t words[kWords] = {};
    int32_t index = kWords + 1;
    NormalParts cachedParts;
    double cachedNormal = 0.0;
    bool cachedNormalValid = false;
    bool cachedNormalComputed = false;
};

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
    // The parts of the deviate DrawNormal would return, with the same state afterwards: the two calls
    // mix freely.
    NormalParts DrawNormalParts();
    // count of them at once (the same as count calls), without a mispredicted branch per rejection.
    void DrawNormalParts(NormalParts* parts, int64_t count);

    GeneratorState SaveState() const;
    // Takes state over as it is; an index beyond 625 reads as a generator never seeded.
    void RestoreState(const GeneratorState& state);

private:
    void Regenerate();
    // The next accepted point of the polar method: v1, v2 and s = v1^2 + v2^2 in (0, 1).
    void DrawPolarPoint(double& v1, double& v2, double& s);

    static constexpr int kStateSize = GeneratorState::kWords;
    uint32_t state_[kStateSize] = {};
    int32_t index_ = kStateSize + 1;  // 625: never seeded
    // The partner of the last pair's first deviate: its parts, and the deviate once it is computed.
    NormalParts cachedParts_;
    double cachedNormal_ = 0.0;
    bool cachedNormalValid_ = false;
    bool cachedNormalComputed_ = false;
};

}  // namespace ombrel
