#include "estimator/files/PointEstimates.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "common/OmbrelError.h"
#include "tests/estimator/OutputModels.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using test::ReadFileText;
using test::TempDir;
using test::WriteFileText;

using test::FailureMessage;

constexpr const char* kTinyLayout =
    "1 1 Red\n1 2 Green\n1 3 Blue, dark\n2 1 Price\n3 1 Small\n3 2 Large\n"
    "Red x Small\nRed x Large\nGreen x Small\nGreen x Large\nBlue, dark x Small\nBlue, dark x Large\n"
    "NONE\n";

// The tiny model's studies: two respondents, two draws each, accumulated in betas.upd.
class PointEstimatesTest : public ::testing::Test {
protected:
    PointEstimatesTest() {
        inputs.files = &files;
        inputs.layout = {2, 7, 2, true};
        inputs.saveDraws = false;
        inputs.accumulators = &accumulators;
        inputs.progress = [this](OutputPhase phase, int step, int total) {
            EXPECT_EQ(OutputPhase::ComputingPointEstimates, phase);
            steps.push_back({step, total});
        };
    }

    // Respondent 1 (number 7) draws the tiny parameters twice; respondent 2 (number 8) draws them and
    // their negation (mean 0).
    void Accumulate() {
        CreateDrawScratchFile(dir.Folder(), false, accumulators);
        DrawAccumulator accumulator(accumulators, expansion, nullptr);
        const auto params = test::TinyParameters();
        std::vector<double> negated(params.size());
        for (size_t k = 0; k < params.size(); ++k) negated[k] = -params[k];
        accumulator.RecordDraw(0, 7, 0.625, params.data(), params.data());
        accumulator.RecordDraw(1, 8, 0.5, params.data(), params.data());
        accumulator.RecordDraw(0, 7, 0.625, params.data(), params.data());
        accumulator.RecordDraw(1, 8, 0.25, negated.data(), negated.data());
        accumulator.Flush();
    }

    TempDir dir;
    AttributeModel model = test::TinyModel();
    LevelExpansion expansion{model, true};
    DrawScratchFile accumulators;
    StudyFiles files = *StudyFiles::ForDataFile(dir.File("study.cho"));
    EstimateInputs inputs;
    std::vector<std::pair<int, int>> steps;  // (step, total) of ComputingPointEstimates
};

constexpr const char* kTinyEstimates =
    "      7     625  0 13 -1\n"
    "  0.500  -0.200  -0.300   1.250   0.300  -0.300   1.000  -1.000   2.000  -2.000 \n"
    " -3.000   3.000  -0.750 \n"
    "      8     375  0 13 -1\n"
    "  0.000   0.000   0.000   0.000   0.000   0.000   0.000   0.000   0.000   0.000 \n"
    "  0.000   0.000   0.000 \n";

TEST_F(PointEstimatesTest, LayoutListsLevelsInteractionCellsAndNone) {
    EXPECT_EQ(kTinyLayout, LayoutText(model));
}

TEST_F(PointEstimatesTest, PartWorthFileFromAccumulators) {
    Accumulate();
    WritePointEstimates(model, inputs);
    EXPECT_EQ(kTinyLayout, ReadFileText(dir.File("study.lay")));
    EXPECT_EQ(std::string("3 1 13 1 1\n3 1 2 \n1 0 1 \n0 -1 0 \n1 0 1 \n") + kTinyLayout + kTinyEstimates,
              ReadFileText(dir.File("study.hbu")));
}

TEST_F(PointEstimatesTest, CsvHasLabelsWithoutCommasAndNoNoneLabel) {
    Accumulate();
    WriteCsv(model, inputs);
    EXPECT_EQ(
        "Respondent,RLH,Merged Variables,Parameters,None,Red,Green,Blue  dark,Price,Small,Large,"
        "Red x Small,Red x Large,Green x Small,Green x Large,Blue  dark x Small,Blue  dark x Large\n"
        "      7,    625,0,13,-1,  0.500, -0.200, -0.300,  1.250,  0.300, -0.300,  1.000, -1.000,  2.000,"
        " -2.000, -3.000,  3.000, -0.750\n"
        "      8,    375,0,13,-1,  0.000,  0.000,  0.000,  0.000,  0.000,  0.000,  0.000,  0.000,  0.000,"
        "  0.000,  0.000,  0.000,  0.000\n",
        ReadFileText(dir.File("study.csv")));
}

TEST_F(PointEstimatesTest, StandardDeviationsOfEqualDrawsAreZero) {
    Accumulate();
    WriteStandardDeviations(files.StandardDeviations(), accumulators, inputs.layout, 13);
    // Respondent 8's draws are x and -x: the deviation is |x|.
    EXPECT_EQ(
        "      7\n"
        "  0.000   0.000   0.000   0.000   0.000   0.000   0.000   0.000   0.000   0.000 \n"
        "  0.000   0.000   0.000 \n"
        "      8\n"
        "  0.500   0.200   0.300   1.250   0.300   0.300   1.000   1.000   2.000   2.000 \n"
        "  3.000   3.000   0.750 \n",
        ReadFileText(dir.File("study.std")));
}

TEST_F(PointEstimatesTest, RoundingResidueBelowZeroIsWrittenAsItIs) {
    // Three equal draws of 0.1: squares / 3 - mean^2 is a tiny negative number, not hidden as 0.
    CreateDrawScratchFile(dir.Folder(), false, accumulators);
    LevelExpansion single(test::SingleAttribute(2), true);
    DrawAccumulator accumulator(accumulators, single, nullptr);
    const double beta = 0.1;
    for (int m = 0; m < 3; ++m) accumulator.RecordDraw(0, 1, 0.5, &beta, &beta);
    accumulator.Flush();
    const double mean = (0.1 + 0.1 + 0.1) / 3;
    const double v = (0.1 * 0.1 + 0.1 * 0.1 + 0.1 * 0.1) / 3 - mean * mean;
    WriteStandardDeviations(files.StandardDeviations(), accumulators, {1, 1, 3, false}, 2);
    const std::string shown = v > 0 ? "  0.000" : (v < 0 ? " -0.000" : "  0.000");
    EXPECT_EQ("      1\n" + shown + " " + shown + " \n", ReadFileText(dir.File("study.std")));
}

TEST_F(PointEstimatesTest, DrawsFileAveragesThePrintedValues) {
    // Two draws per respondent as the draws file prints them; RLH 0.6544 and 0.6556 print as 654, 656.
    std::string dra;
    const auto expanded = test::TinyExpanded();
    std::vector<double> zeros(13, 0.0);
    FormatDrawRecord(dra, 7, 0.6544, expanded.data(), 13, true);
    FormatDrawRecord(dra, 7, 0.6556, expanded.data(), 13, true);
    FormatDrawRecord(dra, 8, 0.3, expanded.data(), 13, true);
    FormatDrawRecord(dra, 8, 0.45, zeros.data(), 13, true);
    WriteFileText(dir.File("study.dra"), dra);
    inputs.saveDraws = true;
    inputs.accumulators = nullptr;
    WritePointEstimates(model, inputs);
    const std::string hbu = ReadFileText(dir.File("study.hbu"));
    EXPECT_NE(std::string::npos, hbu.find(std::string(kTinyLayout) +
                                          "      7     655  0 13 -1\n"
                                          "  0.500  -0.200  -0.300   1.250   0.300  -0.300   1.000  -1.000   "
                                          "2.000  -2.000 \n -3.000   3.000  -0.750 \n"
                                          "      8     375  0 13 -1\n"
                                          "  0.250  -0.100  -0.150   0.625   0.150  -0.150   0.500  -0.500   "
                                          "1.000  -1.000 \n -1.500   1.500  -0.375 \n"))
        << hbu;
    EXPECT_EQ((std::vector<std::pair<int, int>>{{1, 2}, {2, 2}}), steps);
}

TEST(DrawsFileEstimates, AveragesDrawsTextFromMemoryAndNamesACutFile) {
    // Two levels, two draws per respondent: "%d %lf %*d %*d %*d" (number, RLH x 1000, three counts)
    // then the level values.
    const DrawLayout layout{2, 2, 2, false};
    DrawsFileEstimates draws(std::make_unique<MemoryTextSource>("5 500 0 2 -1 1.0 -1.0\n"
                                                                "5 700 0 2 -1 3.0 -3.0\n"
                                                                "9 200 0 2 -1 0.5 0.25\n"
                                                                "9 400 0 2 -1 0.5 0.75\n"),
                             layout, 2, nullptr);
    PointEstimate estimate;
    ASSERT_TRUE(draws.Next(estimate));
    EXPECT_EQ(estimate.respondentNumber, 5);
    EXPECT_DOUBLE_EQ(estimate.rlhTimes1000, 600.0);  // (500 + 700) / 2
    EXPECT_EQ(estimate.values, (std::vector<double>{2.0, -2.0}));
    ASSERT_TRUE(draws.Next(estimate));
    EXPECT_EQ(estimate.respondentNumber, 9);
    EXPECT_EQ(estimate.values, (std::vector<double>{0.5, 0.5}));
    EXPECT_FALSE(draws.Next(estimate));

    DrawsFileEstimates cut(std::make_unique<MemoryTextSource>("5 0.5 0 2 -1 1.0 -1.0\n5 0.7 0 2 -1 3.0"),
                           layout, 2, nullptr);
    try {
        cut.Next(estimate);
        FAIL() << "no failure";
    } catch (const OmbrelError& failure) {
        EXPECT_EQ(std::string(failure.what()), "\nIncomplete studyname.dra file");
    }
}

TEST_F(PointEstimatesTest, OneDrawPerRespondentGivesThatDraw) {
    std::string dra;
    const auto expanded = test::TinyExpanded();
    FormatDrawRecord(dra, 3, 0.5, expanded.data(), 13, true);
    WriteFileText(dir.File("study.dra"), dra);
    inputs.saveDraws = true;
    inputs.layout = {1, 7, 1, true};
    WriteCsv(model, inputs);
    const std::string csv = ReadFileText(dir.File("study.csv"));
    EXPECT_NE(
        std::string::npos,
        csv.find("\n      3,    500,0,13,-1,  0.500, -0.200, -0.300,  1.250,  0.300, -0.300,  1.000, -1.000,"
                 "  2.000, -2.000, -3.000,  3.000, -0.750\n"));
}

TEST_F(PointEstimatesTest, DamagedInputsFailAndKeepThePreviousFiles) {
    WriteFileText(dir.File("study.hbu"), "previous\n");
    WriteFileText(dir.File("study.dra"), "      7     655  0 13 -1\n  0.500  -0.200\n");
    inputs.saveDraws = true;
    EXPECT_EQ("\nIncomplete studyname.dra file",
              FailureMessage([this] { WritePointEstimates(model, inputs); }));
    EXPECT_EQ("previous\n", ReadFileText(dir.File("study.hbu")));
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        EXPECT_EQ(std::string::npos, entry.path().filename().string().find(".tmp")) << entry.path();
    }

    std::filesystem::remove(dir.File("study.dra"));
    EXPECT_EQ("\nUnable to open " + dir.File("study.dra") + " file",
              FailureMessage([this] { WriteCsv(model, inputs); }));

    inputs.saveDraws = false;
    CreateDrawScratchFile(dir.Folder(), false, accumulators);  // empty: no records
    EXPECT_EQ("\nCan't read cumbetafile file (4).", FailureMessage([this] { WriteCsv(model, inputs); }));
    EXPECT_EQ("\nCan't read cumbetafile file (4).", FailureMessage([this] {
                  WriteStandardDeviations(files.StandardDeviations(), accumulators, inputs.layout, 13);
              }));
}

TEST_F(PointEstimatesTest, UncreatableLayoutFileHasItsOwnMessage) {
    const StudyFiles missing = *StudyFiles::ForDataFile(dir.File("missing-folder/study.cho"));
    inputs.files = &missing;
    EXPECT_EQ("Cannot create <studyname>.lay file.",
              FailureMessage([this] { WritePointEstimates(model, inputs); }));
}

}  // namespace
}  // namespace ombrel
