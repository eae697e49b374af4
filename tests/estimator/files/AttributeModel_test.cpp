#include "estimator/files/AttributeModel.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/OmbrelError.h"
#include "platform/ScriptedMessenger.h"
#include "tests/estimator/files/FailingTextSource.h"
#include "tests/prepare/AttributeLabelGolden.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using test::TempDir;
using test::WriteFileText;

using Labels = std::vector<std::vector<std::string>>;
using Codes = std::vector<std::vector<int>>;

class AttributeLabelsTest : public ::testing::Test {
protected:
    AttributeModel Load(const std::string& text) {
        WriteFileText(dir_.File("qebatt.tmp"), text);
        AttributeModel model;
        LoadAttributeLabels(dir_.Folder(), messenger_, model);
        EXPECT_TRUE(messenger_.Entries().empty());
        return model;
    }

    std::string ErrorOf(const std::string& text) {
        try {
            Load(text);
        } catch (const OmbrelError& error) {
            return error.what();
        }
        return "";
    }

    TempDir dir_;
    ScriptedMessenger messenger_;
};

// Three part-worth attributes of 3, 4 and 2 levels; the matrix rows and None flag vary.
std::string ThreeAttributes(int none, const std::string& rows) {
    return "3 " + std::to_string(none) + " 3 4 2\n" + rows +
           "1 1 a1\n1 2 a2\n1 3 a3\n2 1 b1\n2 2 b2\n2 3 b3\n2 4 b4\n3 1 c1\n3 2 c2\n";
}

TEST_F(AttributeLabelsTest, ReadsTheFileThePreparationWrites) {
    AttributeModel model = Load(test::kGoldenLabelFile);
    EXPECT_EQ(model.attributeCount, 3);
    EXPECT_TRUE(model.hasNone);
    EXPECT_EQ(model.levelsPerAttribute, (std::vector<int>{3, 1, 2}));
    EXPECT_EQ(model.attributeCodes, (Codes{{1, 0, 1}, {0, -1, 1}, {1, 1, 1}}));
    EXPECT_EQ(model.attributeLabels,
              (Labels{{"Brand A", "Brand B", "Brand C"}, {"Price per unit"}, {"Red", "Blue"}}));
    EXPECT_EQ(model.levelCount, test::kGoldenLevelCount);

    // The same file with CR LF line ends.
    std::string crlf;
    for (char c : std::string(test::kGoldenLabelFile))
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    AttributeModel fromCrlf = Load(crlf);
    EXPECT_EQ(fromCrlf.attributeLabels, model.attributeLabels);
    EXPECT_EQ(fromCrlf.levelCount, model.levelCount);
}

TEST_F(AttributeLabelsTest, CountsLevelsOfEstimatedAttributesInteractionCellsAndNone) {
    EXPECT_EQ(Load(ThreeAttributes(0, "1 0 0 \n0 1 0 \n0 0 1 \n")).levelCount, 9);
    // Only [i][j] with i < j counts, so the symmetric entry adds nothing.
    EXPECT_EQ(Load(ThreeAttributes(0, "1 1 0 \n1 1 0 \n0 0 1 \n")).levelCount, 21);
    EXPECT_EQ(Load(ThreeAttributes(1, "1 1 0 \n1 1 0 \n0 0 1 \n")).levelCount, 22);
}

TEST_F(AttributeLabelsTest, ReadsNoLabelsForAnAttributeNotEstimated) {
    AttributeModel model = Load("3 0 2 1 2\n0 0 0 \n0 -1 0 \n0 0 1 \n2 1 Price\n3 1 X\n3 2 Y\nX x Y\n");
    EXPECT_EQ(model.attributeLabels, (Labels{{}, {"Price"}, {"X", "Y"}}));
    EXPECT_EQ(model.levelCount, 3);
}

TEST_F(AttributeLabelsTest, TakesTheRestOfTheLineAfterTwoNumbersAsTheLabel) {
    AttributeModel model = Load("1 0 3\n1 \n1 1 \t  Brand A  \n  1\n2\nBrand B\n1 3 x y\n");
    // White space after the numbers is skipped, line breaks included; the rest of the line is kept.
    EXPECT_EQ(model.attributeLabels, (Labels{{"Brand A  ", "Brand B", "x y"}}));

    // A label line with no text takes the next line as its text; the file's end leaves the rest empty.
    model = Load("1 0 2\n1 \n1 1 \n1 2 Second\n");
    EXPECT_EQ(model.attributeLabels, (Labels{{"1 2 Second", ""}}));
    model = Load("1 0 2\n1 \n1 1\n");
    EXPECT_EQ(model.attributeLabels, (Labels{{"", ""}}));
}

TEST_F(AttributeLabelsTest, CutsALabelAfter4095Characters) {
    std::string longLabel(5000, 'L');
    AttributeModel model = Load("1 0 2\n1 \n1 1 " + longLabel + "\n1 2 next\n");
    ASSERT_EQ(model.attributeLabels.size(), 1u);
    EXPECT_EQ(model.attributeLabels[0][0], std::string(4095, 'L'));
    EXPECT_EQ(model.attributeLabels[0][1], "next");

    // Exactly 4095 characters before a CR LF keep all of them and lose the CR.
    model = Load("1 0 1\r\n1 \r\n1 1 " + std::string(4095, 'M') + "\r\n");
    EXPECT_EQ(model.attributeLabels[0][0], std::string(4095, 'M'));
}

TEST_F(AttributeLabelsTest, FieldsAShortOrUnreadableFileDoesNotReachStayEmpty) {
    AttributeModel model = Load("3 1 3 4");
    EXPECT_EQ(model.levelsPerAttribute, (std::vector<int>{3, 4, 0}));
    EXPECT_EQ(model.attributeCodes, (Codes{{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}));
    EXPECT_EQ(model.attributeLabels, (Labels{{}, {}, {}}));
    EXPECT_EQ(model.levelCount, 1);

    // A number that cannot be read ends the reading there.
    model = Load("2 0 2 1\n1 x 0 \n0 -1 \n1 1 A\n1 2 B\n2 1 C\n");
    EXPECT_EQ(model.attributeCodes, (Codes{{1, 0}, {0, 0}}));
    EXPECT_EQ(model.attributeLabels, (Labels{{"", ""}, {}}));
    EXPECT_EQ(model.levelCount, 2);

    EXPECT_EQ(Load("").attributeCount, 0);
}

TEST_F(AttributeLabelsTest, MissingFileShowsItsMessageAndLeavesTheModelEmpty) {
    AttributeModel model;
    model.attributeCount = 2;
    model.levelCount = 7;
    model.levelsPerAttribute = {3, 4};
    LoadAttributeLabels(dir_.Folder(), messenger_, model);
    ASSERT_EQ(messenger_.Entries().size(), 1u);
    EXPECT_EQ(messenger_.Entries()[0].text, "Could not find qebatt.tmp file.");
    EXPECT_EQ(messenger_.Entries()[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(model.attributeCount, 0);
    EXPECT_EQ(model.levelCount, 0);
    EXPECT_FALSE(model.hasNone);
    EXPECT_TRUE(model.levelsPerAttribute.empty());
    EXPECT_TRUE(model.attributeCodes.empty());
    EXPECT_TRUE(model.attributeLabels.empty());
}

TEST_F(AttributeLabelsTest, RejectsImpossibleCounts) {
    EXPECT_EQ(
        ErrorOf("-1 0\n"),
        "The qebatt.tmp file gives -1 attributes; there can be 0 to 1000.  Please prepare the study again.");
    EXPECT_EQ(ErrorOf("1001 0\n"),
              "The qebatt.tmp file gives 1001 attributes; there can be 0 to 1000.  Please prepare the study "
              "again.");
    EXPECT_EQ(ErrorOf("2147483647 0\n"),
              "The qebatt.tmp file gives 2147483647 attributes; there can be 0 to 1000.  Please prepare the "
              "study again.");
    EXPECT_EQ(ErrorOf("-2147483648 0\n"),
              "The qebatt.tmp file gives -2147483648 attributes; there can be 0 to 1000.  Please prepare the "
              "study again.");
    EXPECT_EQ(
        ErrorOf("2 0 3 -2\n"),
        "The qebatt.tmp file gives -2 levels for attribute 2; there can be 0 to 999.  Please prepare the "
        "study again.");
    EXPECT_EQ(
        ErrorOf("1 0 1000\n"),
        "The qebatt.tmp file gives 1000 levels for attribute 1; there can be 0 to 999.  Please prepare the "
        "study again.");

    // 70 attributes of 999 levels, every pair interacting: 69,930 + 2,415 x 998,001 levels.
    std::string text = "70 0";
    for (int i = 0; i < 70; ++i) text += " 999";
    text += "\n";
    for (int i = 0; i < 70; ++i) {
        for (int j = 0; j < 70; ++j) text += "1 ";
        text += "\n";
    }
    EXPECT_EQ(
        ErrorOf(text),
        "The qebatt.tmp file describes more levels (2410242345) than can be counted.  Please prepare the "
        "study again.");
}

TEST_F(AttributeLabelsTest, AFolderOfTheLabelFilesNameCountsAsMissing) {
    std::filesystem::create_directory(dir_.File("qebatt.tmp"));
    AttributeModel model;
    LoadAttributeLabels(dir_.Folder(), messenger_, model);
    ASSERT_EQ(messenger_.Entries().size(), 1u);
    EXPECT_EQ(messenger_.Entries()[0].text, "Could not find qebatt.tmp file.");
    EXPECT_EQ(model.attributeCount, 0);
}

AttributeModel FromText(const std::string& text) {
    MemoryTextSource source(text);
    AttributeModel model;
    ReadAttributeLabels(source, model);
    return model;
}

TEST(ReadAttributeLabels, ReadsTheGoldenFileFromMemory) {
    const AttributeModel model = FromText(test::kGoldenLabelFile);
    EXPECT_EQ(model.levelsPerAttribute, (std::vector<int>{3, 1, 2}));
    EXPECT_EQ(model.attributeCodes, (Codes{{1, 0, 1}, {0, -1, 1}, {1, 1, 1}}));
    EXPECT_EQ(model.attributeLabels,
              (Labels{{"Brand A", "Brand B", "Brand C"}, {"Price per unit"}, {"Red", "Blue"}}));
    EXPECT_EQ(model.levelCount, test::kGoldenLevelCount);
}

// Counts, None flag, levels, codes and the numbers before each label: none wraps or saturates.
TEST(ReadAttributeLabels, RefusesEveryIntegerBeyond32Bits) {
    const std::string text = "2 0 2 1\r\n1 0 \r\n0 -1 \r\n1 1 A\r\n1 2 B\r\n2 1 Price\r\n";
    std::vector<std::pair<size_t, size_t>> tokens;  // start and length
    for (size_t at = 0; (at = text.find_first_not_of(" \r\n", at)) != std::string::npos;) {
        const size_t end = text.find_first_of(" \r\n", at);
        tokens.emplace_back(at, end - at);
        at = end;
    }
    for (size_t index : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 14, 15}) {
        for (const std::string number : {"2147483648", "4294967297", "-31415926535897932384"}) {
            const std::string edited =
                std::string(text).replace(tokens[index].first, tokens[index].second, number);
            EXPECT_EQ(test::FailureMessage([&] { FromText(edited); }),
                      "The number " + number +
                          " in qebatt.tmp does not fit a 32-bit integer (-2147483648 to 2147483647).")
                << edited;
        }
    }
    EXPECT_EQ(FromText(text).attributeLabels, (Labels{{"A", "B"}, {"Price"}}));
}

TEST(ReadAttributeLabels, ReadsWhatAShortTextReaches) {
    // Attribute 1: two part-worth levels; attribute 2: linear. Labels the text does not reach stay empty.
    const AttributeModel model = FromText("2 0 2 1\r\n1 0 \r\n0 -1 \r\n1 1 A\r\n");
    EXPECT_EQ(model.attributeCount, 2);
    EXPECT_EQ(model.attributeLabels, (Labels{{"A", ""}, {""}}));
    EXPECT_EQ(model.levelCount, 3);
    EXPECT_EQ(FromText("").attributeCount, 0);
}

TEST(ReadAttributeLabels, RefusesImpossibleCountsAndLeavesTheModelEmpty) {
    struct Case {
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {"1001 0\n",
         "The qebatt.tmp file gives 1001 attributes; there can be 0 to 1000.  Please prepare the study "
         "again."},
        {"-5",
         "The qebatt.tmp file gives -5 attributes; there can be 0 to 1000.  Please prepare the study again."},
        {"2 1 4 1000\n",
         "The qebatt.tmp file gives 1000 levels for attribute 2; there can be 0 to 999.  Please prepare the "
         "study again."},
        {"3 0 -1 2 2\n",
         "The qebatt.tmp file gives -1 levels for attribute 1; there can be 0 to 999.  Please prepare the "
         "study again."},
    };
    for (const Case& c : cases) {
        MemoryTextSource source(c.text);
        AttributeModel model;
        model.attributeCount = 4;
        model.levelsPerAttribute = {1, 2};
        EXPECT_EQ(test::FailureMessage([&] { ReadAttributeLabels(source, model); }), c.message) << c.text;
        EXPECT_EQ(model.attributeCount, 0) << c.text;
        EXPECT_TRUE(model.levelsPerAttribute.empty()) << c.text;
    }
}

TEST(ReadAttributeLabels, TellsAReadErrorFromTheEnd) {
    test::FailingTextSource source("2 0 2 1\n1 0 \n0 -1 \n1 1 A\n");
    AttributeModel model;
    EXPECT_EQ(test::FailureMessage([&] { ReadAttributeLabels(source, model); }),
              "The qebatt.tmp file could not be read.");
    EXPECT_EQ(model.attributeCount, 0);
    EXPECT_TRUE(model.attributeLabels.empty());
}

}  // namespace
}  // namespace ombrel
