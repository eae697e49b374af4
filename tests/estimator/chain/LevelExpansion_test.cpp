#include "estimator/chain/LevelExpansion.h"

#include <gtest/gtest.h>

#include "common/OmbrelError.h"
#include "tests/estimator/OutputModels.h"

namespace ombrel {
namespace {

// Adds 100 to the first parameter, so a test sees whether (and how often) ties ran.
class MarkingTies : public ConstraintTies {
public:
    void ApplyConstraints(double* betas) const override {
        betas[0] += 100.0;
        ++calls;
    }
    mutable int calls = 0;
};

std::vector<double> Expand(const AttributeModel& model, bool effects, std::vector<double> params) {
    LevelExpansion expansion(model, effects);
    std::vector<double> out(static_cast<size_t>(expansion.LevelCount()), 99.0);
    EXPECT_EQ(expansion.LevelCount(), ExpandToLevels(expansion, out.data(), false, params.data(), nullptr));
    return out;
}

AttributeModel TwoAttributes(int levels1, int code1, int levels2, int code2, bool interaction) {
    AttributeModel model;
    model.attributeCount = 2;
    model.levelsPerAttribute = {levels1, levels2};
    model.attributeCodes = {{code1, interaction ? 1 : 0}, {interaction ? 1 : 0, code2}};
    model.attributeLabels = {std::vector<std::string>(static_cast<size_t>(levels1)),
                             std::vector<std::string>(static_cast<size_t>(levels2))};
    model.levelCount = levels1 + levels2 + (interaction ? levels1 * levels2 : 0);
    return model;
}

TEST(LevelExpansion, ThreeLevelAttributeRestoresItsLastLevel) {
    EXPECT_EQ((std::vector<double>{0.5, -0.2, -(0.5 + -0.2)}),
              Expand(test::SingleAttribute(3), true, {0.5, -0.2}));
    EXPECT_EQ((std::vector<double>{0.5, -0.2, 0.0}), Expand(test::SingleAttribute(3), false, {0.5, -0.2}));
}

TEST(LevelExpansion, InteractionOfTwoPartWorthAttributesSumsToZeroByRowAndColumn) {
    const auto out = Expand(TwoAttributes(3, 1, 3, 1, true), true, {0, 0, 0, 0, 1, 2, 3, 4});
    const std::vector<double> table(out.begin() + 6, out.end());
    EXPECT_EQ((std::vector<double>{1, 2, -3, 3, 4, -7, -4, -6, 10}), table);

    const auto dummy = Expand(TwoAttributes(3, 1, 3, 1, true), false, {0, 0, 0, 0, 1, 2, 3, 4});
    EXPECT_EQ((std::vector<double>{1, 2, 0, 3, 4, 0, 0, 0, 0}),
              std::vector<double>(dummy.begin() + 6, dummy.end()));
}

TEST(LevelExpansion, LinearTimesPartWorthIsOneRowWithDerivedLastCell) {
    // Linear attribute first: one free row; the part-worth columns 1 and 2 are free, column 3 derived.
    const auto out = Expand(TwoAttributes(1, -1, 3, 1, true), true, {0.7, 0.1, 0.2, 1.5, -0.5});
    EXPECT_EQ((std::vector<double>{0.7, 0.1, 0.2, -(0.1 + 0.2), 1.5, -0.5, -(1.5 + -0.5)}), out);
}

TEST(LevelExpansion, TinyModelWithInteractionAndNone) {
    LevelExpansion expansion(test::TinyModel(), true);
    EXPECT_EQ(7, expansion.ParameterCount());
    EXPECT_EQ(13, expansion.LevelCount());
    auto params = test::TinyParameters();
    std::vector<double> out(13);
    EXPECT_EQ(13, ExpandToLevels(expansion, out.data(), true, params.data(), nullptr));
    const auto expected = test::TinyExpanded();
    for (size_t k = 0; k < out.size(); ++k) EXPECT_DOUBLE_EQ(expected[k], out[k]) << "level " << k;
}

TEST(LevelExpansion, TiesRunInPlaceOnlyWhenAsked) {
    LevelExpansion expansion(test::SingleAttribute(3), true);
    MarkingTies ties;
    std::vector<double> params = {0.5, -0.2};
    std::vector<double> out(3);
    ExpandToLevels(expansion, out.data(), false, params.data(), &ties);
    EXPECT_EQ(0, ties.calls);
    ExpandToLevels(expansion, out.data(), true, params.data(), &ties);
    EXPECT_EQ(1, ties.calls);
    EXPECT_DOUBLE_EQ(100.5, params[0]);  // the caller's vector changes
    EXPECT_DOUBLE_EQ(100.5, out[0]);
}

TEST(LevelExpansion, RejectsModelsItCannotExpand) {
    auto expectRejected = [](const AttributeModel& model) {
        try {
            LevelExpansion expansion(model, true);
            ADD_FAILURE() << "accepted";
        } catch (const OmbrelError& error) {
            EXPECT_NE(std::string::npos, std::string(error.what()).find("qebatt.tmp")) << error.what();
        }
    };
    expectRejected(TwoAttributes(3, -1, 2, 1, false));  // a linear attribute with three levels
    expectRejected(TwoAttributes(3, 0, 2, 1, true));    // interaction of an attribute not estimated
    auto negative = TwoAttributes(3, 1, 2, 1, false);
    negative.attributeCodes[0][1] = -1;
    expectRejected(negative);
    auto miscounted = test::TinyModel();
    miscounted.levelCount = 12;
    expectRejected(miscounted);
    auto noLevels = test::SingleAttribute(1);
    noLevels.levelsPerAttribute = {0};
    noLevels.levelCount = 0;
    expectRejected(noLevels);
}

TEST(LevelExpansion, ParameterCountMustMatchTheRun) {
    LevelExpansion expansion(test::TinyModel(), true);
    EXPECT_NO_THROW(CheckParameterCount(expansion, 7));
    EXPECT_THROW(CheckParameterCount(expansion, 8), OmbrelError);
}

}  // namespace
}  // namespace ombrel
