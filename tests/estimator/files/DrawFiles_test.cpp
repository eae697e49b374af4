#include "estimator/files/DrawFiles.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "common/OmbrelError.h"
#include "tests/estimator/OutputModels.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using test::Bytes;
using test::BytesEqual;
using test::ReadFileBytes;
using test::ReadFileText;
using test::TempDir;

class AddingTies : public ConstraintTies {
public:
    void ApplyConstraints(double* betas) const override {
        betas[0] += 1.0;
        ++calls;
    }
    mutable int calls = 0;
};

using test::FailureMessage;

TEST(DrawRecordText, HeaderRightAlignsNumberAndRlhThenMergedLevelsAndNone) {
    std::string text;
    std::vector<double> values(12, 0.0);
    FormatDrawRecord(text, 17, 0.6544, values.data(), 12, true);
    EXPECT_EQ(0u, text.find("     17     654  0 12 -1\n"));
}

TEST(DrawRecordText, TinyModelBreaksTheLineBeforeTheEleventhValue) {
    std::string text;
    const auto expanded = test::TinyExpanded();
    FormatDrawRecord(text, 101, 0.5, expanded.data(), 13, true);
    EXPECT_EQ(
        "    101     500  0 13 -1\n"
        "  0.500  -0.200  -0.300   1.250   0.300  -0.300   1.000  -1.000   2.000  -2.000 \n"
        " -3.000   3.000  -0.750 \n",
        text);
    text.clear();
    FormatDrawRecord(text, 5, 0.0, expanded.data(), 2, false);
    EXPECT_EQ("      5       0  0 2 0\n  0.500  -0.200 \n", text);
}

TEST(SavedDrawWriter, AppendsNumberRlhAndBetasLittleEndian) {
    TempDir dir;
    DrawScratchFile file;
    CreateDrawScratchFile(dir.Folder(), true, file);
    SavedDrawWriter writer(file, 2);
    const double betas1[] = {0.25, -1.5};
    const double betas2[] = {3.0, 4.0};
    writer.RecordDraw(0, 7, 0.5, betas1, betas1);
    writer.RecordDraw(1, 9, 0.75, betas2, betas2);
    ASSERT_TRUE(file.Close());
    EXPECT_TRUE(BytesEqual(Bytes().I32(7).F64(0.5).F64(0.25).F64(-1.5).I32(9).F64(0.75).F64(3.0).F64(4.0),
                           ReadFileBytes(dir.File("betas.tmp"))));
    EXPECT_EQ(28u, DrawRecordSize(2));
}

TEST(DrawScratchFiles, UnopenableFileGivesTheRunsMessage) {
    DrawScratchFile file;
    EXPECT_EQ(
        "The betas.upd file could not be opened.  Please check the file for read-only attributes and access "
        "restrictions.",
        FailureMessage([&] { CreateDrawScratchFile("/nonexistent-folder/", false, file); }));
    EXPECT_EQ(
        "The betas.tmp file could not be opened.  Please check the file for read-only attributes and access "
        "restrictions.",
        FailureMessage([&] { CreateDrawScratchFile("/nonexistent-folder/", true, file); }));
}

TEST(DrawAccumulator, FirstPassStartsFromZeroLaterPassesAddInPlace) {
    TempDir dir;
    DrawScratchFile file;
    CreateDrawScratchFile(dir.Folder(), false, file);
    LevelExpansion expansion(test::SingleAttribute(3), true);
    AddingTies ties;
    DrawAccumulator accumulator(file, expansion, &ties);
    EXPECT_TRUE(accumulator.AccumulatorsEmpty());

    // constrained betas (0.5, -0.25) are tied again: (1.5, -0.25) -> levels (1.5, -0.25, -1.25).
    const double first[] = {0.5, -0.25};
    const double second[] = {1.0, 0.0};  // tied (2.0, 0.0) -> (2.0, 0.0, -2.0)
    accumulator.RecordDraw(0, 11, 0.5, first, first);
    accumulator.RecordDraw(1, 12, 0.25, second, second);
    EXPECT_FALSE(accumulator.AccumulatorsEmpty());
    accumulator.RecordDraw(0, 11, 0.25, second, second);
    accumulator.RecordDraw(1, 12, 0.5, first, first);
    accumulator.Flush();
    EXPECT_EQ(4, ties.calls);
    ASSERT_TRUE(file.Close());

    Bytes expected;
    expected.I32(11).F64(0.75).F64(3.5).F64(-0.25).F64(-3.25).F64(2.25 + 4.0).F64(0.0625).F64(1.5625 + 4.0);
    expected.I32(12).F64(0.75).F64(3.5).F64(-0.25).F64(-3.25).F64(4.0 + 2.25).F64(0.0625).F64(4.0 + 1.5625);
    EXPECT_TRUE(BytesEqual(expected, ReadFileBytes(dir.File("betas.upd"))));
}

TEST(DrawAccumulator, RecordOfAnotherRespondentStopsTheRun) {
    TempDir dir;
    DrawScratchFile file;
    CreateDrawScratchFile(dir.Folder(), false, file);
    LevelExpansion expansion(test::SingleAttribute(2), true);
    DrawAccumulator accumulator(file, expansion, nullptr);
    const double betas[] = {1.0};
    accumulator.RecordDraw(0, 5, 0.5, betas, betas);
    EXPECT_EQ("The respondent read (5) doesn't match the expected respondent (6).",
              FailureMessage([&] { accumulator.RecordDraw(0, 6, 0.5, betas, betas); }));
}

// D = 3 draws of N = 2 respondents with p = 1 (one two-level attribute): betas.tmp holds them
// iteration-major, the draws file respondent-major.
class SortDrawsTest : public ::testing::Test {
protected:
    void WriteDraws(int draws) {
        ASSERT_NO_THROW(CreateDrawScratchFile(dir.Folder(), true, tmp));
        SavedDrawWriter writer(tmp, 1);
        for (int m = 0; m < draws; ++m) {
            for (int n = 0; n < 2; ++n) {
                const double beta = (n + 1) + 0.1 * (m + 1);  // respondent n + 1, draw m + 1
                writer.RecordDraw(n, 100 + n, 0.5 + 0.1 * m, &beta, &beta);
            }
        }
    }
    void Sort() {
        SortDraws(tmp, *StudyFiles::ForDataFile(dir.File("study.cho")), layout, expansion, nullptr,
                  [this](OutputPhase phase, int step, int total) {
                      steps.push_back({phase, step, total});
                  });
    }

    TempDir dir;
    DrawScratchFile tmp;
    LevelExpansion expansion{test::SingleAttribute(2), true};
    DrawLayout layout{2, 1, 3, false};
    struct Step {
        OutputPhase phase;
        int step;
        int total;
        bool operator==(const Step&) const = default;
    };
    std::vector<Step> steps;
};

TEST_F(SortDrawsTest, WritesEachRespondentsDrawsTogetherAndRemovesScratchFiles) {
    WriteDraws(3);
    ASSERT_NO_THROW(Sort());
    EXPECT_EQ(
        "    100     500  0 2 0\n  1.100  -1.100 \n"
        "    100     600  0 2 0\n  1.200  -1.200 \n"
        "    100     700  0 2 0\n  1.300  -1.300 \n"
        "    101     500  0 2 0\n  2.100  -2.100 \n"
        "    101     600  0 2 0\n  2.200  -2.200 \n"
        "    101     700  0 2 0\n  2.300  -2.300 \n",
        ReadFileText(dir.File("study.dra")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("betas.tmp")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("betas.srt")));
    // Sorting is reported before each draw, expanding after it.
    const OutputPhase sorting = OutputPhase::SortingDraws;
    const OutputPhase expanding = OutputPhase::ExpandingDraws;
    EXPECT_EQ((std::vector<Step>{{sorting, 1, 3},
                                 {sorting, 2, 3},
                                 {sorting, 3, 3},
                                 {expanding, 1, 3},
                                 {expanding, 2, 3},
                                 {expanding, 3, 3}}),
              steps);
}

TEST_F(SortDrawsTest, ShortScratchFileFailsAndKeepsThePreviousDrawsFile) {
    test::WriteFileText(dir.File("study.dra"), "old draws\n");
    WriteDraws(2);
    EXPECT_EQ("\nIn sortbetas, can't read betatmp file.", FailureMessage([this] { Sort(); }));
    EXPECT_EQ("old draws\n", ReadFileText(dir.File("study.dra")));
    EXPECT_TRUE(std::filesystem::exists(dir.File("betas.tmp")));
}

}  // namespace
}  // namespace ombrel
