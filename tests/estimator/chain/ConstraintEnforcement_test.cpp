#include "estimator/chain/ConstraintEnforcement.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "common/OmbrelError.h"
#include "estimator/chain/LevelExpansion.h"

namespace ombrel {
namespace {

// codes: the full matrix; levels: per attribute (1 for linear). levelCount follows from them.
AttributeModel MakeModel(std::vector<int> levels, std::vector<std::vector<int>> codes, bool hasNone = false) {
    AttributeModel model;
    model.attributeCount = static_cast<int>(levels.size());
    model.levelsPerAttribute = levels;
    model.attributeCodes = codes;
    model.hasNone = hasNone;
    int count = hasNone ? 1 : 0;
    for (size_t i = 0; i < levels.size(); ++i) {
        if (codes[i][i] != 0) count += levels[i];
        for (size_t j = i + 1; j < levels.size(); ++j) {
            if (codes[i][j] != 0) count += levels[i] * levels[j];
        }
    }
    model.levelCount = count;
    return model;
}

std::vector<double> Tied(const ConstraintModel& model, std::vector<double> betas) {
    model.ApplyConstraints(betas.data());
    return betas;
}

void ExpectNear(const std::vector<double>& expected, const std::vector<double>& actual, double tolerance) {
    ASSERT_EQ(expected.size(), actual.size());
    for (size_t k = 0; k < expected.size(); ++k)
        EXPECT_NEAR(expected[k], actual[k], tolerance) << "value " << k;
}

std::string FailureOf(const ConstraintModel& model, std::vector<double> betas) {
    try {
        model.ApplyConstraints(betas.data());
    } catch (const OmbrelError& failure) {
        return failure.what();
    }
    return "(no failure)";
}

const AttributeModel kThreeLevels = MakeModel({3}, {{1}});

TEST(TieDummyCoded, TiesAgainstTheReferenceLevelAndReExpressesTheRest) {
    // w = (0.5, -0.2, 0); 2 >= 3 is violated: m = -0.1, w2 = -0.0999, w3 = -0.1001, then shifted by -w3.
    const ConstraintModel model({{1, 2, 3}}, kThreeLevels, false);
    ExpectNear({0.6001, 0.0002}, Tied(model, {0.5, -0.2}), 1e-12);
}

TEST(TieEffectsCoded, LeavesASatisfiedOrderingAlone) {
    // Effects coding puts level 3 at -0.3, below level 2's -0.2.
    const ConstraintModel model({{1, 2, 3}}, kThreeLevels, true);
    EXPECT_EQ(Tied(model, {0.5, -0.2}), (std::vector<double>{0.5, -0.2}));
}

TEST(ConstraintTolerance, EffectsCodingIgnoresViolationsBelowOneInTenBillionDummyCodingDoesNot) {
    const std::vector<double> betas = {0.25, 0.25 + 5e-11};
    const ConstraintModel effects({{1, 1, 2}}, kThreeLevels, true);
    EXPECT_EQ(Tied(effects, betas), betas);
    const ConstraintModel dummy({{1, 1, 2}}, kThreeLevels, false);
    const std::vector<double> tied = Tied(dummy, betas);
    EXPECT_NEAR(tied[0] - tied[1], 0.0002, 1e-12);
}

TEST(SignConditions, SetAWrongSignedCoefficientToZeroInBothCodings) {
    const AttributeModel linear = MakeModel({3, 1}, {{1, 0}, {0, -1}});
    for (bool effects : {true, false}) {
        const ConstraintModel notNegative({{2, 1, 0}}, linear, effects);
        EXPECT_EQ(Tied(notNegative, {0.1, 0.2, -0.5}), (std::vector<double>{0.1, 0.2, 0.0}));
        EXPECT_EQ(Tied(notNegative, {0.1, 0.2, 0.5}), (std::vector<double>{0.1, 0.2, 0.5}));
        const ConstraintModel notPositive({{2, -1, 0}}, linear, effects);
        EXPECT_EQ(Tied(notPositive, {0.1, 0.2, 0.5}), (std::vector<double>{0.1, 0.2, 0.0}));
    }
}

TEST(ApplyConstraints, WithoutConstraintsCopiesTheSourceExactly) {
    const AttributeModel model = MakeModel({3, 2}, {{1, 1}, {0, 1}}, true);
    for (bool effects : {true, false}) {
        const ConstraintModel none({}, model, effects);
        const std::vector<double> source = {0.1, -0.2, 0.3, 1e-300, -7.0, 2.5};
        std::vector<double> destination(source.size(), 99.0);
        none.ApplyConstraints(source.data(), destination.data());
        EXPECT_EQ(destination, source);
        EXPECT_FALSE(none.TieEffectsCoded(source.data(), destination.data()));
    }
}

TEST(ApplyConstraints, LeavesTheSourceAloneWhenWritingElsewhere) {
    const ConstraintModel model({{1, 1, 2}}, kThreeLevels, true);
    const std::vector<double> source = {0.1, 0.4};
    std::vector<double> destination(2);
    model.ApplyConstraints(source.data(), destination.data());
    EXPECT_EQ(source, (std::vector<double>{0.1, 0.4}));
    ExpectNear({0.2501, 0.2499}, destination, 1e-12);
}

TEST(ApplyConstraints, ContradictingOrderingsNeverSettleAndEndWithTheirMessage) {
    EXPECT_EQ(FailureOf(ConstraintModel({{1, 1, 2}, {1, 2, 1}}, kThreeLevels, false), {0.1, 0.4}),
              "The constraints are too constrictive.");
    EXPECT_EQ(FailureOf(ConstraintModel({{1, 1, 2}, {1, 2, 1}}, kThreeLevels, true), {0.1, 0.4}),
              "Could not satisfy constraints.  Try using fewer constraints.");
    const AttributeModel interacting = MakeModel({3, 3}, {{1, 1}, {0, 1}});
    EXPECT_EQ(
        FailureOf(ConstraintModel({{2, 1, 3}, {2, 3, 1}}, interacting, true), std::vector<double>(8, 0.1)),
        "Could not satisfy constraints.  Try using fewer constraints.");
}

TEST(TieInteractingAttribute, TiesTheOrderingAtEveryLevelOfThePartnerAndReExpressesTheTable) {
    // Two two-level attributes with parameters (a, b, c) = (0, 0.1, -0.3): the table is
    // [[a+b+c, a-b-c], [-a+b-c, -a-b+c]] = [[-0.2, 0.2], [0.4, -0.4]]. "Attribute 2, level 1 >= 2" is
    // violated in row 1 only: it becomes [0.0001, -0.0001]. Row 1's mean gives a = 0, column 1's
    // mean b = (0.0001 + 0.4) / 2 = 0.20005, and c = 0.0001 - 0 - 0.20005 = -0.19995.
    const AttributeModel model = MakeModel({2, 2}, {{1, 1}, {0, 1}});
    const ConstraintModel constraints({{2, 1, 2}}, model, true);
    ExpectNear({0.0, 0.20005, -0.19995}, Tied(constraints, {0.0, 0.1, -0.3}), 1e-12);
}

TEST(TieInteractingAttribute, KeepsTheSignOfALinearSlopeAtEveryPartnerLevel) {
    // Coefficient 0.1, partner interactions (0.3, -0.6, derived 0.3): slopes (0.4, -0.5, 0.4). The
    // negative one becomes 0; the coefficient is the mean 0.8 / 3 and the interactions the rest.
    const AttributeModel model = MakeModel({1, 3}, {{-1, 1}, {0, 1}});
    const ConstraintModel constraints({{1, 1, 0}}, model, true);
    const double mean = 0.8 / 3.0;
    ExpectNear({mean, 0.0, 0.0, 0.4 - mean, -mean}, Tied(constraints, {0.1, 0.0, 0.0, 0.3, -0.6}), 1e-12);
}

TEST(ConstraintModel, RefusesConstraintsThatDoNotFitTheModel) {
    try {
        ConstraintModel({{0, 1, 2}}, kThreeLevels, true);
        FAIL() << "accepted";
    } catch (const OmbrelError& failure) {
        EXPECT_STREQ(failure.what(),
                     "The <studyname>.con file specifies an attribute (0) that is out of range.");
    }
    EXPECT_THROW(ConstraintModel({{1, 1, 4}}, kThreeLevels, true), OmbrelError);
    EXPECT_THROW(ConstraintModel({{2, 1, 2}}, kThreeLevels, true), OmbrelError);
}

// ---- Property: after tying, every ordering and sign holds, or the pass limit's message is thrown.

struct Shape {
    const char* name;
    AttributeModel model;
};

std::vector<Shape> Shapes() {
    return {
        {"part-worth",
         MakeModel({3, 4, 2, 5}, {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}, true)},
        {"linear", MakeModel({4, 1, 3, 1}, {{1, 0, 0, 0}, {0, -1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, -1}}, true)},
        {"not estimated", MakeModel({3, 4, 3}, {{1, 0, 0}, {0, 0, 0}, {0, 0, 1}})},
        {"interactions",
         MakeModel({3, 4, 1, 3, 2},
                   {{1, 1, 0, 0, 0}, {0, 1, 1, 0, 0}, {0, 0, -1, 1, 0}, {0, 0, 0, 1, 0}, {0, 0, 0, 0, 1}},
                   true)},
        {"symmetric interactions", MakeModel({3, 3, 1}, {{1, 1, 1}, {1, 1, 0}, {1, 0, -1}})},
    };
}

bool Interacts(const AttributeModel& model, int i) {
    for (int d = 0; d < model.attributeCount; ++d) {
        if (d != i && (model.attributeCodes[i][d] != 0 || model.attributeCodes[d][i] != 0)) return true;
    }
    return false;
}

// Random constraints that fit the model (and, with dummy coding, avoid interacting attributes).
// consistent: orderings follow one random ranking per attribute, so they can all hold.
std::vector<Constraint> RandomConstraints(const AttributeModel& model, bool effects, bool consistent,
                                          std::mt19937& random) {
    std::vector<Constraint> constraints;
    const int count = std::uniform_int_distribution<int>(1, 8)(random);
    std::vector<std::vector<int>> ranking(static_cast<size_t>(model.attributeCount));
    for (int i = 0; i < model.attributeCount; ++i) {
        ranking[i].resize(static_cast<size_t>(model.levelsPerAttribute[i]));
        std::iota(ranking[i].begin(), ranking[i].end(), 1);
        std::shuffle(ranking[i].begin(), ranking[i].end(), random);
    }
    for (int tries = 0; tries < 100 && static_cast<int>(constraints.size()) < count; ++tries) {
        const int i = std::uniform_int_distribution<int>(0, model.attributeCount - 1)(random);
        const int code = model.attributeCodes[i][i];
        if (code == 0 || (!effects && Interacts(model, i))) continue;
        if (code < 0) {
            constraints.push_back({i + 1, consistent && i % 2 == 0 ? 1 : (random() % 2 == 0 ? 1 : -1), 0});
            continue;
        }
        const int levels = model.levelsPerAttribute[i];
        int a = std::uniform_int_distribution<int>(0, levels - 1)(random);
        int b = std::uniform_int_distribution<int>(0, levels - 1)(random);
        if (a == b) continue;
        if (consistent) {
            if (a > b) std::swap(a, b);
            constraints.push_back({i + 1, ranking[i][a], ranking[i][b]});
        } else {
            constraints.push_back({i + 1, a + 1, b + 1});
        }
    }
    return constraints;
}

struct Layout {
    std::vector<int> levelStart;              // per attribute, in the expanded vector; -1 when not estimated
    std::vector<std::vector<int>> cellStart;  // [g][h], g < h: the interaction table, or -1
};

Layout ExpandedLayout(const AttributeModel& model) {
    Layout layout;
    const int n = model.attributeCount;
    int next = 0;
    layout.levelStart.assign(n, -1);
    for (int i = 0; i < n; ++i) {
        if (model.attributeCodes[i][i] == 0) continue;
        layout.levelStart[i] = next;
        next += model.levelsPerAttribute[i];
    }
    layout.cellStart.assign(n, std::vector<int>(n, -1));
    for (int i = 0; i < n; ++i) {
        for (int j = i + 1; j < n; ++j) {
            if (model.attributeCodes[i][j] == 0) continue;
            layout.cellStart[i][j] = next;
            next += model.levelsPerAttribute[i] * model.levelsPerAttribute[j];
        }
    }
    return layout;
}

// Checks one constraint on the expanded tied vector: with effects coding inside every interaction
// table the attribute takes part in (the total utility at every partner level), else on its levels.
void ExpectHolds(const AttributeModel& model, const Layout& layout, const std::vector<double>& levels,
                 const Constraint& c, bool effects, const std::string& where) {
    const int i = c.attribute - 1;
    const double tolerance = 1e-9;
    const double* own = levels.data() + layout.levelStart[i];
    auto holds = [&](double better, double worse) { return better >= worse - tolerance; };
    auto signHolds = [&](double value) { return c.levelA > 0 ? value >= -tolerance : value <= tolerance; };
    const bool linear = model.attributeCodes[i][i] < 0;
    bool inTable = false;
    if (effects) {
        for (int d = 0; d < model.attributeCount; ++d) {
            if (d == i) continue;
            const int g = std::min(i, d);
            const int h = std::max(i, d);
            if (layout.cellStart[g][h] < 0 || model.attributeCodes[d][d] <= 0) continue;
            if (linear && model.attributeCodes[i][d] == 0) continue;  // tied from the partner's side only
            if (!linear && model.attributeCodes[i][d] == 0 && model.attributeCodes[d][i] == 0) continue;
            inTable = true;
            const double* cells = levels.data() + layout.cellStart[g][h];
            const int columns = model.levelsPerAttribute[h];
            const double* other = levels.data() + layout.levelStart[d];
            for (int l = 0; l < model.levelsPerAttribute[d]; ++l) {
                auto total = [&](int level) {
                    const int k = i == g ? level : l;
                    const int m = i == g ? l : level;
                    return own[level] + other[l] + cells[k * columns + m];
                };
                if (linear) {
                    // The slope at partner level l: the coefficient plus that level's interaction.
                    const double slope = own[0] + cells[i == g ? l : l * columns];
                    EXPECT_TRUE(signHolds(slope)) << where << " slope at partner level " << l + 1;
                } else {
                    EXPECT_TRUE(holds(total(c.levelA - 1), total(c.levelB - 1)))
                        << where << " at partner " << d + 1 << " level " << l + 1;
                }
            }
        }
    }
    if (inTable) return;
    if (linear) {
        EXPECT_TRUE(signHolds(own[0])) << where;
    } else {
        EXPECT_TRUE(holds(own[c.levelA - 1], own[c.levelB - 1])) << where;
    }
}

TEST(ApplyConstraintsProperty, EveryOrderingAndSignHoldsOrTheMessageIsThrown) {
    std::mt19937 random(20240611);
    std::normal_distribution<double> normal(0.0, 1.0);
    for (const Shape& shape : Shapes()) {
        for (bool effects : {true, false}) {
            const LevelExpansion expansion(shape.model, effects);
            const Layout layout = ExpandedLayout(shape.model);
            int satisfied = 0;
            for (int trial = 0; trial < 300; ++trial) {
                const bool consistent = trial % 3 != 0;
                const std::vector<Constraint> constraints =
                    RandomConstraints(shape.model, effects, consistent, random);
                const ConstraintModel model(constraints, shape.model, effects);
                ASSERT_EQ(model.ParameterCount(), expansion.ParameterCount());
                std::vector<double> betas(static_cast<size_t>(model.ParameterCount()));
                for (double& beta : betas) beta = normal(random);
                std::vector<double> tied(betas.size());
                try {
                    model.ApplyConstraints(betas.data(), tied.data());
                } catch (const OmbrelError& failure) {
                    const std::string expected = effects ? kCannotSatisfyMessage : kTooConstrictiveMessage;
                    EXPECT_EQ(failure.what(), expected);
                    EXPECT_FALSE(consistent && !Interacts(shape.model, constraints[0].attribute - 1))
                        << shape.name << ": orderings that can all hold were given up";
                    continue;
                }
                ++satisfied;
                std::vector<double> levels(static_cast<size_t>(expansion.LevelCount()));
                expansion.Expand(tied.data(), levels.data());
                for (size_t c = 0; c < constraints.size(); ++c) {
                    const std::string where = std::string(shape.name) + (effects ? " effects" : " dummy") +
                                              " trial " + std::to_string(trial) + " constraint " +
                                              std::to_string(c + 1);
                    ExpectHolds(shape.model, layout, levels, constraints[c], effects, where);
                }
                if (shape.model.hasNone) {
                    EXPECT_EQ(tied.back(), betas.back()) << "the None parameter moved";
                }
                // Tying a tied vector changes nothing more than the offsets' rounding.
                std::vector<double> again = tied;
                model.ApplyConstraints(again.data());
                for (size_t k = 0; k < again.size(); ++k) EXPECT_NEAR(again[k], tied[k], 1e-9);
            }
            EXPECT_GT(satisfied, 150) << shape.name;
        }
    }
}

}  // namespace
}  // namespace ombrel
