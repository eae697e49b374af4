#include "estimator/chain/RandomGenerator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace ombrel {
namespace {

// Published MT19937 reference outputs for the default seed 5489: the first output, and the 10000th
// (the value the C++ standard requires of std::mt19937).
TEST(RandomGenerator, MatchesPublishedReferenceOutputs) {
    RandomGenerator random;
    random.SeedGenerator(5489u);
    EXPECT_EQ(random.NextRandom32(), 3499211612u);
    for (int i = 2; i < 10000; ++i) random.NextRandom32();
    EXPECT_EQ(random.NextRandom32(), 4123659995u);
}

TEST(RandomGenerator, UnseededGeneratorBehavesAsSeededWith5489) {
    RandomGenerator unseeded;
    RandomGenerator seeded;
    seeded.SeedGenerator(5489u);
    for (int i = 0; i < 2000; ++i)
        ASSERT_EQ(unseeded.NextRandom32(), seeded.NextRandom32()) << "output " << i;
}

// The standard library's mt19937 is an independent implementation of the same generator; several
// regenerations of the state are crossed for seeds at both ends of the range.
TEST(RandomGenerator, AgreesWithStandardMt19937AcrossRegenerations) {
    for (uint32_t seed : {0u, 1u, 32000u, 1700000000u, 0xFFFFFFFFu}) {
        RandomGenerator random;
        random.SeedGenerator(seed);
        std::mt19937 reference(seed);
        for (int i = 0; i < 624 * 4 + 7; ++i) {
            ASSERT_EQ(random.NextRandom32(), reference()) << "seed " << seed << ", output " << i;
        }
    }
}

TEST(RandomGenerator, UniformIsTheOutputTimesTheReciprocalOf2To32Minus1) {
    RandomGenerator random;
    RandomGenerator twin;
    random.SeedGenerator(123u);
    twin.SeedGenerator(123u);
    const double scale = 1.0 / 4294967295.0;
    for (int i = 0; i < 1000; ++i) {
        const double u = random.DrawUniform();
        ASSERT_EQ(u, static_cast<double>(twin.NextRandom32()) * scale);
        ASSERT_GE(u, 0.0);
        ASSERT_LE(u, 1.0);
    }
}

// Seeds found by a search over the first 624 outputs of every seed from 1 up: seed 7603642 gives the
// output 0 as its output number 141 (counted from 0), seed 5751081 gives 0xFFFFFFFF as number 281.
// They map onto exactly 0 and exactly 1.
constexpr uint32_t kZeroSeed = 7603642u;
constexpr int kZeroIndex = 141;
constexpr uint32_t kMaxSeed = 5751081u;
constexpr int kMaxIndex = 281;

TEST(RandomGenerator, UniformReachesBothEnds) {
    EXPECT_EQ(static_cast<double>(0xFFFFFFFFu) * (1.0 / 4294967295.0), 1.0);
    struct Case {
        uint32_t seed;
        int index;
        double expected;
    };
    for (const Case& c : {Case{kZeroSeed, kZeroIndex, 0.0}, Case{kMaxSeed, kMaxIndex, 1.0}}) {
        RandomGenerator random;
        random.SeedGenerator(c.seed);
        for (int i = 0; i < c.index; ++i) random.DrawUniform();
        EXPECT_EQ(random.DrawUniform(), c.expected) << "seed " << c.seed;
    }
}

// The polar method by hand from a twin generator's uniforms: returns (second deviate, cached first).
struct PolarPair {
    double returned;
    double cached;
    int uniformsUsed;
};

PolarPair PolarByHand(RandomGenerator& twin) {
    int used = 0;
    for (;;) {
        const double v1 = 2.0 * twin.DrawUniform() - 1.0;
        const double v2 = 2.0 * twin.DrawUniform() - 1.0;
        used += 2;
        const double s = v1 * v1 + v2 * v2;
        if (s < 1.0 && s != 0.0) {
            const double t = std::sqrt(-2.0 * std::log(s) / s);
            return {v2 * t, v1 * t, used};
        }
    }
}

TEST(RandomGenerator, NormalTakesTwoUniformsThenServesItsCache) {
    // Seed 5489 accepts its first pair: 2 * 0.8147 - 1 and 2 * 0.1355 - 1 lie inside the unit circle.
    RandomGenerator random;
    RandomGenerator twin;
    random.SeedGenerator(5489u);
    twin.SeedGenerator(5489u);
    const PolarPair pair = PolarByHand(twin);
    ASSERT_EQ(pair.uniformsUsed, 2);
    EXPECT_EQ(random.DrawNormal(), pair.returned);
    EXPECT_EQ(random.DrawNormal(), pair.cached);
    // The second call consumed nothing: both generators are at the same output.
    EXPECT_EQ(random.NextRandom32(), twin.NextRandom32());
}

TEST(RandomGenerator, NormalDrawsAgainWhenThePairFallsOutsideTheCircle) {
    // Find a seed whose first pair is rejected, then check that the deviate comes from the next pair.
    for (uint32_t seed = 1;; ++seed) {
        RandomGenerator probe;
        probe.SeedGenerator(seed);
        const double v1 = 2.0 * probe.DrawUniform() - 1.0;
        const double v2 = 2.0 * probe.DrawUniform() - 1.0;
        if (v1 * v1 + v2 * v2 < 1.0) continue;
        RandomGenerator random;
        RandomGenerator twin;
        random.SeedGenerator(seed);
        twin.SeedGenerator(seed);
        const PolarPair pair = PolarByHand(twin);
        EXPECT_GE(pair.uniformsUsed, 4);
        EXPECT_EQ(random.DrawNormal(), pair.returned);
        EXPECT_EQ(random.DrawNormal(), pair.cached);
        EXPECT_EQ(random.NextRandom32(), twin.NextRandom32());
        break;
    }
}

TEST(RandomGenerator, CachedNormalSurvivesUniformDrawsInBetween) {
    RandomGenerator random;
    RandomGenerator twin;
    random.SeedGenerator(99u);
    twin.SeedGenerator(99u);
    const PolarPair pair = PolarByHand(twin);
    EXPECT_EQ(random.DrawNormal(), pair.returned);
    // The acceptance test's uniform comes straight from the generator and leaves the cache alone.
    EXPECT_EQ(random.DrawUniform(), twin.DrawUniform());
    EXPECT_EQ(random.DrawNormal(), pair.cached);
    const PolarPair next = PolarByHand(twin);
    EXPECT_EQ(random.DrawNormal(), next.returned);
}

// Parts drawn one at a time, in runs and between whole deviates and uniforms give the deviates
// DrawNormal gives, bit for bit, and leave the generator where DrawNormal leaves it; the runs cover
// odd and even lengths, a cached partner at the start and rejected points (about one in five).
TEST(RandomGenerator, NormalPartsGiveDrawNormalsDeviatesInAnyMixture) {
    RandomGenerator random;
    RandomGenerator twin;
    random.SeedGenerator(2024u);
    twin.SeedGenerator(2024u);
    std::vector<NormalParts> parts(64);
    std::vector<double> normals(64);
    int checked = 0;
    for (int step = 0; step < 400; ++step) {
        switch (step % 5) {
            case 0:
                ASSERT_EQ(random.DrawNormal(), twin.DrawNormal()) << "step " << step;
                break;
            case 1:
                ASSERT_EQ(PolarNormal(random.DrawNormalParts()), twin.DrawNormal()) << "step " << step;
                break;
            case 2:
                ASSERT_EQ(random.DrawUniform(), twin.DrawUniform()) << "step " << step;
                break;
            default: {
                const int count = (step * 7) % 29;
                random.DrawNormalParts(parts.data(), count);
                TransformNormals(parts.data(), count, normals.data());
                for (int i = 0; i < count; ++i) {
                    ASSERT_EQ(normals[static_cast<size_t>(i)], twin.DrawNormal()) << "step " << step;
                    ASSERT_EQ(PolarNormal(parts[static_cast<size_t>(i)]), normals[static_cast<size_t>(i)]);
                }
                checked += count;
            }
        }
    }
    EXPECT_GT(checked, 1000);
    EXPECT_EQ(random.NextRandom32(), twin.NextRandom32());
}

}  // namespace
}  // namespace ombrel
