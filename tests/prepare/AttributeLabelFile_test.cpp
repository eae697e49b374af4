#include "prepare/AttributeLabelFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/OmbrelError.h"
#include "tests/prepare/AttributeLabelGolden.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using test::BytesEqual;
using test::ReadFileBytes;
using test::TempDir;

std::vector<unsigned char> AsBytes(const std::string& text) { return {text.begin(), text.end()}; }

// The model of the shared golden file.
struct GoldenModel {
    LevelTexts levelTexts = {{"Brand A", "Brand B", "Brand C"}, {"$1", "$2", "$3", "$4"}, {"Red", "Blue"}};
    std::vector<std::string> valueTexts = {"brand values", "  Price per unit \t", "colour values"};
    EffectsMatrix effects = EffectsMatrix(3);

    GoldenModel() {
        effects.Set(0, 0, kPartWorth);
        effects.Set(1, 1, kLinearWithDataValues);
        effects.Set(2, 2, kPartWorth);
        effects.SetInteraction(0, 2);
        effects.SetInteraction(1, 2);
    }
};

TEST(AttributeLabelFile, WritesTheGoldenFileWithLinearInteractionAndNone) {
    GoldenModel model;
    TempDir dir;
    WriteAttributeLabelFile(dir.Folder(), model.levelTexts, model.valueTexts, model.effects, true);
    EXPECT_TRUE(BytesEqual(AsBytes(test::kGoldenLabelFile), ReadFileBytes(dir.File("qebatt.tmp"))));
}

TEST(AttributeLabelFile, WritesUnestimatedAttributesWithoutLabelsAndEmptyLabelsAsColons) {
    // A one-level part-worth attribute, an attribute not estimated, labels to trim or empty, a linear
    // attribute with values whose text is missing; no interactions, no None.
    LevelTexts levelTexts = {{"Only"}, {"x", "y", "z"}, {"", " b "}, {"1", "2"}};
    EffectsMatrix effects(4);
    effects.Set(0, 0, kPartWorth);
    effects.Set(2, 2, kPartWorth);
    effects.Set(3, 3, kLinearWithValues);
    EXPECT_EQ(FormatAttributeLabels(levelTexts, {}, effects, false),
              "4 0 1 3 2 1\n"
              "1 0 0 0 \n"
              "0 0 0 0 \n"
              "0 0 1 0 \n"
              "0 0 0 -1 \n"
              "1 1 Only\n"
              "3 1 :\n"
              "3 2 b\n"
              "4 1 :\n");

    LevelTexts none;
    EXPECT_EQ(FormatAttributeLabels(none, {}, EffectsMatrix(0), true), "0 1\nNONE\n");
}

TEST(AttributeLabelFile, InteractionLabelsFollowPairOrderWithFirstAttributeOuter) {
    LevelTexts levelTexts = {{"a1", "a2"}, {"b1"}, {"c1", "c2"}};
    std::vector<std::string> valueTexts = {"", "", ""};
    EffectsMatrix effects = EffectsMatrix::Identity(3);
    effects.SetInteraction(1, 2);
    effects.SetInteraction(0, 2);
    std::string text = FormatAttributeLabels(levelTexts, valueTexts, effects, false);
    EXPECT_NE(text.find("3 2 c2\na1 x c1\na1 x c2\na2 x c1\na2 x c2\nb1 x c1\nb1 x c2\n"), std::string::npos)
        << text;
    EXPECT_EQ(text.substr(text.size() - 8), "b1 x c2\n");
}

TEST(AttributeLabelFile, ReportsAFileThatCannotBeCreatedOrWritten) {
    GoldenModel model;
    TempDir dir;
    std::string missingFolder = dir.File("missing") + "/";
    try {
        WriteAttributeLabelFile(missingFolder, model.levelTexts, model.valueTexts, model.effects, true);
        FAIL() << "no error";
    } catch (const OmbrelError& error) {
        EXPECT_EQ(
            std::string(error.what()),
            "The attribute label file " + missingFolder +
                "qebatt.tmp could not be created.  Please check the folder for read-only attributes and "
                "access restrictions.");
    }

    // A device that is full fails when the buffered text is flushed on closing.
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    std::filesystem::create_symlink("/dev/full", dir.File("qebatt.tmp"));
    try {
        WriteAttributeLabelFile(dir.Folder(), model.levelTexts, model.valueTexts, model.effects, true);
        FAIL() << "no error";
    } catch (const OmbrelError& error) {
        EXPECT_EQ(std::string(error.what()), "The attribute label file " + dir.File("qebatt.tmp") +
                                                 " could not be written.  Please check the free space on the "
                                                 "device.");
    }
}

TEST(AttributeLabelFile, RejectsAMatrixOfTheWrongSize) {
    LevelTexts levelTexts = {{"a"}, {"b"}};
    EXPECT_THROW(FormatAttributeLabels(levelTexts, {}, EffectsMatrix::Identity(3), false), OmbrelError);
}

}  // namespace
}  // namespace ombrel
