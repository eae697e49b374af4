#include "estimator/diagnostics/DiagnosticsLabels.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "estimator/files/AttributeModel.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using Labels = std::vector<std::string>;

Labels FromLayout(const std::string& text) {
    MemoryTextSource source(text);
    return LayoutLabels(source);
}

AttributeModel Model(const std::string& text) {
    MemoryTextSource source(text);
    AttributeModel model;
    ReadAttributeLabels(source, model);
    return model;
}

// Brand (3 levels) and colour (2 levels) with their interaction, and None.
const std::string kWithInteraction = "2 1 3 2\n1 1\n0 1\n1 1 A1\n1 2 A2\n1 3 A3\n2 1 B1\n2 2 B2\n";

TEST(LayoutLabels, LevelLinesLoseTheirNumbersInteractionsAndNoneStayWhole) {
    EXPECT_EQ(FromLayout("1 1 Brand A\n1 2 Brand B\n3 1 Price\n1 1 Brand A x 3 1 Price\nNONE\n"),
              (Labels{"Brand A", "Brand B", "Price", "1 1 Brand A x 3 1 Price", "NONE"}));
    // Labels that start with numbers: the level numbering tells a level line from an interaction.
    EXPECT_EQ(FromLayout("1 1 6 8 oz\n1 2 12 16 oz\n6 8 oz x 2 3\n"),
              (Labels{"6 8 oz", "12 16 oz", "6 8 oz x 2 3"}));
    EXPECT_EQ(FromLayout("1 1  padded \n1 2 \n"), (Labels{" padded ", ""}));
    EXPECT_EQ(FromLayout(""), Labels{});
}

TEST(ParameterLevels, EachParameterNamesTheLevelItCodes) {
    // Parameters A1 A2 B1 A1xB1 A2xB1 None; levels A1 A2 A3 B1 B2, the six cells row by row, None.
    for (bool effects : {true, false}) {
        const LevelExpansion expansion(Model(kWithInteraction), effects);
        EXPECT_EQ(ParameterLevels(expansion), (std::vector<int>{0, 1, 3, 5, 7, 11})) << effects;
    }
    const LevelExpansion linear(Model("2 0 3 1\n1 0\n0 -1\n1 1 A1\n1 2 A2\n1 3 A3\n2 1 Price\n"), true);
    EXPECT_EQ(ParameterLevels(linear), (std::vector<int>{0, 1, 3}));
}

TEST(QuantityLabels, TheLayoutFileComesFirstThenTheModelsLayout) {
    test::TempDir dir;
    test::WriteFileText(dir.File("qebatt.tmp"), kWithInteraction);
    LabelSources sources{.layoutFile = dir.File("x.lay"), .labelFile = dir.File("qebatt.tmp")};
    QuantityLabels labels = ReadQuantityLabels(sources, 12, 6);
    EXPECT_EQ(labels.levels, (Labels{"A1", "A2", "A3", "B1", "B2", "A1 x B1", "A1 x B2", "A2 x B1", "A2 x B2",
                                     "A3 x B1", "A3 x B2", "NONE"}));
    EXPECT_EQ(labels.parameters, (Labels{"A1", "A2", "B1", "A1 x B1", "A2 x B1", "NONE"}));
    EXPECT_EQ(test::FailureMessage([&] { ReadQuantityLabels(sources, 11, 6); }),
              dir.File("qebatt.tmp") + " gives 12 level labels where the histories hold 11 values a line.");
    // A model of other counts than the histories names no parameter's level.
    test::WriteFileText(dir.File("x.lay"), "1 1 a\n1 2 b\n1 3 c\n2 1 d\n2 2 e\nNONE\n");
    labels = ReadQuantityLabels(sources, 6, 4);
    EXPECT_EQ(labels.levels, (Labels{"a", "b", "c", "d", "e", "NONE"}));
    EXPECT_EQ(labels.parameters, (Labels{"parameter 1", "parameter 2", "parameter 3", "parameter 4"}));
    test::WriteFileText(dir.File("qebatt.tmp"), "2000 0\n");
    EXPECT_NE(test::FailureMessage([&] { ReadQuantityLabels(sources, 6, 4); }).find("qebatt.tmp"),
              std::string::npos);
}

}  // namespace
}  // namespace ombrel
