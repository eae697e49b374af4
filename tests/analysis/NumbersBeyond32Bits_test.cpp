// Integers beyond 32 bits in the files the analyses read: the part-worth file, the saved draws, a
// scenario and the data file of the holdout tasks. In every position that holds one, 2^31, 2^32 + 1
// and a number of twenty digits are refused naming the file and the number, never read as "not a
// whole number" or as a label.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "analysis/AnalysisStudy.h"
#include "analysis/Holdout.h"
#include "analysis/PartWorthDraws.h"
#include "analysis/Simulation.h"
#include "tests/analysis/TwoRespondentStudy.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using test::FailureMessage;

const std::vector<std::string> kBeyond = {"2147483648", "4294967297", "+98765432109876543210"};

std::string TooLarge(const std::string& number, const std::string& file) {
    return "The number " + number + " in " + file +
           " does not fit a 32-bit integer (-2147483648 to 2147483647).";
}

// text with its token at index (white-space separated) replaced by number.
std::string WithToken(const std::string& text, size_t index, const std::string& number) {
    size_t at = 0;
    for (size_t i = 0;; ++i) {
        at = text.find_first_not_of(" \n", at);
        EXPECT_NE(at, std::string::npos) << index;
        const size_t end = std::min(text.find_first_of(" \n", at), text.size());
        if (i == index) return std::string(text).replace(at, end - at, number);
        at = end;
    }
}

class NumbersBeyond32BitsInResults : public ::testing::Test {
protected:
    void SetUp() override { study_ = *StudyFiles::ForDataFile(test::WriteShopStudy(root_.Folder())); }

    test::TempDir root_;
    StudyFiles study_ = *StudyFiles::ForDataFile("x.cho");
};

TEST_F(NumbersBeyond32BitsInResults, EveryIntegerOfThePartWorthFile) {
    // The header's counts, code row and effects matrix, the attribute and level numbers of the label
    // lines, and each record's respondent, merged-variables count, value count and None flag.
    std::vector<size_t> integers;
    for (size_t i = 0; i <= 18; ++i) integers.push_back(i);
    for (size_t i : {20, 21, 23, 24, 26, 27, 31, 32, 34, 35, 38, 40, 41, 42, 50, 52, 53, 54})
        integers.push_back(i);
    for (size_t index : integers) {
        for (const std::string& number : kBeyond) {
            test::WriteFileText(study_.PartWorths(), WithToken(test::kShopHbu, index, number));
            EXPECT_EQ(FailureMessage([&] { LoadAnalysisStudy(study_); }),
                      TooLarge(number, study_.PartWorths()))
                << index;
        }
    }
    // The ends of the range are respondent numbers like any other.
    test::WriteFileText(study_.PartWorths(),
                        WithToken(WithToken(test::kShopHbu, 38, "2147483647"), 50, "-2147483648"));
    const AnalysisStudy edges = LoadAnalysisStudy(study_);
    ASSERT_EQ(edges.partWorths.respondents.size(), 2u);
    EXPECT_EQ(edges.partWorths.respondents[0].respondent, 2147483647);
    EXPECT_EQ(edges.partWorths.respondents[1].respondent, -2147483648);
}

TEST_F(NumbersBeyond32BitsInResults, TheRecordNumbersOfTheSavedDraws) {
    const AnalysisStudy loaded = LoadAnalysisStudy(study_);
    const std::string draw = "    101     650  0 7 -1\n  1.000 0.000 -1.000 -0.400 0.250 -0.250 0.200\n";
    for (size_t index : {0, 2, 3, 4}) {
        for (const std::string& number : kBeyond) {
            MemoryTextSource source(WithToken(draw, index, number));
            EXPECT_EQ(FailureMessage([&] {
                          ForEachDraw(source, "s.dra", loaded.partWorths, "s.hbu",
                                      [](size_t, int, const std::vector<double>&) {});
                      }),
                      TooLarge(number, "s.dra"))
                << index;
        }
    }
}

TEST_F(NumbersBeyond32BitsInResults, TheLevelsOfAScenario) {
    const AnalysisStudy loaded = LoadAnalysisStudy(study_);
    for (const std::string& number : kBeyond) {
        for (const std::string& line : {"A " + number + " 2 1\n", "A 1 2 " + number + "\n"}) {
            MemoryTextSource source(line);
            EXPECT_EQ(FailureMessage([&] { ReadScenario(source, "scen.txt", loaded); }),
                      TooLarge(number, "scen.txt"))
                << line;
        }
    }
}

TEST_F(NumbersBeyond32BitsInResults, EveryIntegerOfTheHoldoutDataFile) {
    // Per respondent: the header, then per task its two counts, six design numbers, the choice and its
    // time.
    std::vector<size_t> integers;
    for (size_t r = 0; r < 3; ++r) {
        for (size_t i = 0; i < 5; ++i) integers.push_back(35 * r + i);
        for (size_t t = 0; t < 3; ++t) {
            for (size_t i : {5, 6, 13, 14}) integers.push_back(35 * r + 10 * t + i);
        }
    }
    for (size_t index : integers) {
        for (const std::string& number : kBeyond) {
            test::WriteFileText(study_.DataFile(), WithToken(test::kShopChoices, index, number));
            EXPECT_EQ(FailureMessage([&] { ComputeHoldout(study_); }), TooLarge(number, study_.DataFile()))
                << index;
        }
    }
}

}  // namespace
}  // namespace ombrel
