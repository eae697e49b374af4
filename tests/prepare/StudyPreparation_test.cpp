#include "prepare/StudyPreparation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/OmbrelError.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using test::Bytes;
using test::BytesEqual;

using test::FailureMessage;

// Tuesday, March 5, 2024, 14:07:09.
std::tm FixedTime() {
    std::tm time{};
    time.tm_year = 124;
    time.tm_mon = 2;
    time.tm_mday = 5;
    time.tm_hour = 14;
    time.tm_min = 7;
    time.tm_sec = 9;
    time.tm_wday = 2;
    return time;
}

const std::string kRule(53, '=');

TEST(LogHeader, TwelveHourClockAndLongNames) {
    EXPECT_EQ(FormatLogHeader(FixedTime()), "\n\n02:07:09PM   Tuesday, March 05, 2024\n" + kRule + "\n");
    std::tm midnight = FixedTime();
    midnight.tm_hour = 0;
    midnight.tm_wday = 0;
    midnight.tm_mon = 11;
    EXPECT_EQ(FormatLogHeader(midnight), "\n\n12:07:09AM   Sunday, December 05, 2024\n" + kRule + "\n");
}

class StudyPreparationTest : public ::testing::Test {
protected:
    // Names every file in the study folder, so that no stray temporary file goes unnoticed.
    std::vector<std::string> FolderListing() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir_.Path())) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    StudyPreparation Preparation(const std::string& dataFile) {
        StudySettings settings;
        settings.dataFileName = dir_.File(dataFile);
        return StudyPreparation(settings, FixedTime);
    }

    test::TempDir dir_;
};

TEST_F(StudyPreparationTest, AllocationStudyWithoutOptionalFiles) {
    test::WriteFileText(dir_.File("study.att"), "Brand A\n\nBrand B\n\nBrand C\n\n\nLow\n\nHigh\n");
    test::WriteFileText(dir_.File("study.chs"), "17 0 2 1 0\n3\n1 2 3\n2 1 0\n3 2 7\n");
    test::WriteFileText(dir_.File("study.log"), "earlier run\n");
    StudyPreparation preparation = Preparation("study.chs");
    preparation.Prepare();

    const std::string report =
        "Preparing Files For HB Analysis\nData file: " + dir_.File("study.chs") +
        "\n\nEstimation will include main effects and no interactions."
        "\n\nFiles built for 1 respondents."
        "\n\nTotal number of points given each response category:"
        "\n\t 1      3   30.00%"
        "\n\t 3      7   70.00%"
        "\n\nThere are 2 expanded choice tasks in total, or an average of 2.0 expanded tasks per respondent."
        "\n\nThe number of parameters to be estimated is 3, with no 'none'."
        "\n\nThe total weight per task is 5.00.";
    EXPECT_EQ(preparation.report, report);
    EXPECT_FALSE(preparation.NoneEstimated());
    EXPECT_EQ(test::ReadFileText(dir_.File("study.log")),
              "earlier run\n\n\n02:07:09PM   Tuesday, March 05, 2024\n" + kRule + "\n" + report);
    EXPECT_EQ(test::ReadFileText(dir_.File("qebatt.tmp")),
              "2 0 3 2\n1 0 \n0 1 \n1 1 Brand A\n1 2 Brand B\n1 3 Brand C\n2 1 Low\n2 2 High\n");

    double total = 1e-10;
    total += 3;
    total += 0;
    total += 7;
    const std::vector<unsigned char> golden = Bytes()
                                                  .I32(17)
                                                  .I32(2)
                                                  .I32(3)
                                                  .I32(3)
                                                  .F64(1)
                                                  .F64(0)
                                                  .F64(-1)
                                                  .I32(1)
                                                  .F64(0)
                                                  .F64(1)
                                                  .F64(1)
                                                  .I32(0)
                                                  .F64(-1)
                                                  .F64(-1)
                                                  .F64(-1)
                                                  .I32(0)
                                                  .F64(3 / total * 5.0)
                                                  .I32(3)
                                                  .I32(3)
                                                  .F64(1)
                                                  .F64(0)
                                                  .F64(-1)
                                                  .I32(0)
                                                  .F64(0)
                                                  .F64(1)
                                                  .F64(1)
                                                  .I32(0)
                                                  .F64(-1)
                                                  .F64(-1)
                                                  .F64(-1)
                                                  .I32(1)
                                                  .F64(7 / total * 5.0)
                                                  .Get();
    EXPECT_TRUE(BytesEqual(golden, test::ReadFileBytes(dir_.File("qebdat.tmp"))));
    EXPECT_EQ(FolderListing(),
              (std::vector<std::string>{"qebatt.tmp", "qebdat.tmp", "study.att", "study.chs", "study.log"}));
}

// A discrete-choice study named with an upper-case ".CHO", using every optional file: Brand is a
// part-worth attribute, Price linear with values-file values, Weight linear with the data's own
// values; Brand x Price interact; the None is kept; respondents need variable 1 above 0; tasks 1 and
// 3 only.
TEST_F(StudyPreparationTest, ChoiceStudyWithEveryOptionalFile) {
    test::WriteFileText(dir_.File("Study.att"),
                        "Brand A\n\nBrand B\n\nBrand C\n\n\n$1\n\n$2\n\n$3\n\n\nLight\n\nHeavy\n");
    test::WriteFileText(dir_.File("Study.val"),
                        "Brand\n0 0 0\nPrice in dollars\n1 2 3\nWeight kg\n0.5 1.5\n");
    test::WriteFileText(dir_.File("Study.eff"), "1, -2, #3, 0\n1 2\n");
    test::WriteFileText(dir_.File("Study.qal"), "1 > 0\n");
    test::WriteFileText(dir_.File("Study.sub"), "1 3\n");
    test::WriteFileText(dir_.File("Study.CHO"),
                        "1 1 3 3 1\n5\n"
                        "2 1\n1 1 0.25\n2 3 1.5\n1 0\n"
                        "2 1\n3 2 1\n1 1 1\n2 0\n"
                        "2 1\n2 2 0.5\n3 3 2\n3 0\n"
                        "2 1 3 1 1\n0\n"
                        "2 1\n1 1 1\n2 2 2\n1 0\n");
    StudyPreparation preparation = Preparation("Study.CHO");
    preparation.settings.totalTaskWeight = 7.5;  // discrete choices always weigh 1
    preparation.Prepare();

    EXPECT_EQ(preparation.report,
              "Preparing Files For HB Analysis\nData file: " + dir_.File("Study.CHO") +
                  "\n\nRespondents must satisfy these conditions to qualify:"
                  "\nCondition 1: Variable # 1 > 0\n"
                  "\n\nOnly the following tasks will be used for estimation:\n1 3 "
                  "\n\nParameters to be estimated are described in the <studyname>.eff file."
                  "\nValues for attribute levels have been zero-centered."
                  "\n\nFiles built for 1 respondents."
                  "\n\nTotal number of choices in each response category:"
                  "\n\t 1      1   50.00%"
                  "\n\t 3      1   50.00%"
                  "\n\nThere are 2 choice tasks in total, or an average of 2.0 tasks per respondent."
                  "\n\nThe number of parameters to be estimated is 7, including 'none'.");
    EXPECT_TRUE(preparation.NoneEstimated());
    EXPECT_EQ(preparation.settings.totalTaskWeight, 1.0);
    EXPECT_EQ(test::ReadFileText(dir_.File("qebatt.tmp")),
              "3 1 3 1 1\n"
              "1 1 0 \n1 -1 0 \n0 0 -1 \n"
              "1 1 Brand A\n1 2 Brand B\n1 3 Brand C\n2 1 Price in dollars\n3 1 Weight kg\n"
              "Brand A x Price in dollars\nBrand B x Price in dollars\nBrand C x Price in dollars\n"
              "NONE\n");

    // Columns: Brand (2), Price, Weight, Brand x Price (2), None.
    const double w = 1.0 / (1e-10 + 1.0);
    const std::vector<unsigned char> golden = Bytes()
                                                  .I32(1)
                                                  .I32(2)
                                                  .I32(3)
                                                  .I32(7)
                                                  .F64(1)
                                                  .F64(0)
                                                  .F64(-1)
                                                  .F64(0.25)
                                                  .F64(-1)
                                                  .F64(-0.0)
                                                  .F64(0)
                                                  .I32(1)
                                                  .F64(0)
                                                  .F64(1)
                                                  .F64(1)
                                                  .F64(1.5)
                                                  .F64(0)
                                                  .F64(1)
                                                  .F64(0)
                                                  .I32(0)
                                                  .F64(0)
                                                  .F64(0)
                                                  .F64(0)
                                                  .F64(0)
                                                  .F64(0)
                                                  .F64(0)
                                                  .F64(1)
                                                  .I32(0)
                                                  .F64(w)
                                                  .I32(3)
                                                  .I32(7)
                                                  .F64(0)
                                                  .F64(1)
                                                  .F64(0)
                                                  .F64(0.5)
                                                  .F64(0)
                                                  .F64(0)
                                                  .F64(0)
                                                  .I32(0)
                                                  .F64(-1)
                                                  .F64(-1)
                                                  .F64(1)
                                                  .F64(2)
                                                  .F64(-1)
                                                  .F64(-1)
                                                  .F64(0)
                                                  .I32(0)
                                                  .F64(0)
                                                  .F64(0)
                                                  .F64(0)
                                                  .F64(0)
                                                  .F64(0)
                                                  .F64(0)
                                                  .F64(1)
                                                  .I32(1)
                                                  .F64(w)
                                                  .Get();
    EXPECT_TRUE(BytesEqual(golden, test::ReadFileBytes(dir_.File("qebdat.tmp"))));
    // The converted copy is gone.
    EXPECT_EQ(FolderListing(),
              (std::vector<std::string>{"Study.CHO", "Study.att", "Study.eff", "Study.log", "Study.qal",
                                        "Study.sub", "Study.val", "qebatt.tmp", "qebdat.tmp"}));
}

TEST_F(StudyPreparationTest, DroppedNoneIsNotEstimated) {
    test::WriteFileText(dir_.File("s.att"), "A\n\nB\n");
    test::WriteFileText(dir_.File("s.eff"), "1\n");
    test::WriteFileText(dir_.File("s.chs"), "3 0 1 1 1\n2\n1 4\n0 1\n");
    StudyPreparation preparation = Preparation("s.chs");
    preparation.Prepare();
    EXPECT_EQ(preparation.noneFlag, 1);
    EXPECT_TRUE(preparation.dropNone);
    EXPECT_FALSE(preparation.NoneEstimated());
    EXPECT_EQ(test::ReadFileText(dir_.File("qebatt.tmp")), "1 0 2\n1 \n1 1 A\n1 2 B\n");
    EXPECT_NE(preparation.report.find("is 1, with no 'none'."), std::string::npos);
}

TEST_F(StudyPreparationTest, MessagesThatEndThePreparation) {
    EXPECT_EQ(FailureMessage([&] { Preparation("study.txt").Prepare(); }),
              "An invalid data file was specified.");
    EXPECT_EQ(FailureMessage([&] { Preparation("study.chs").Prepare(); }),
              "No <studyname>.att file is available.");

    test::WriteFileText(dir_.File("study.att"), "A\n\nB\n");
    EXPECT_EQ(FailureMessage([&] { Preparation("study.chs").Prepare(); }), "No data file is available.");
    EXPECT_EQ(FailureMessage([&] { Preparation("study.cho").Prepare(); }), "No data file is available.");
    std::filesystem::create_directory(dir_.File("study.chs"));
    EXPECT_EQ(FailureMessage([&] { Preparation("study.chs").Prepare(); }), "No data file is available.");

    // A failed conversion shows the converter's message and leaves no temporary file behind.
    test::WriteFileText(dir_.File("study.cho"), "1 0 1 1 0\n0 1\n");
    const std::string message = FailureMessage([&] { Preparation("study.cho").Prepare(); });
    EXPECT_EQ(
        message.rfind("There is an error in the CHO file for respondent 1.  The number of concepts must be "
                      "at least 1.",
                      0),
        0u)
        << message;
    EXPECT_EQ(FolderListing(), (std::vector<std::string>{"study.att", "study.cho", "study.chs"}));
}

TEST_F(StudyPreparationTest, LogThatCannotBeOpenedStopsAfterBothPreparedFiles) {
    test::WriteFileText(dir_.File("study.att"), "A\n\nB\n");
    test::WriteFileText(dir_.File("study.chs"), "3 0 1 1 0\n2\n1 4\n2 1\n");
    // A folder in the log's place cannot be appended to, also not by a privileged user.
    std::filesystem::create_directory(dir_.File("study.log"));
    StudyPreparation preparation = Preparation("study.chs");
    EXPECT_EQ(
        FailureMessage([&] { preparation.Prepare(); }),
        "The <studyname>.log file could not be opened.  Please check the file for read-only attributes and "
        "access restrictions.");
    EXPECT_FALSE(test::ReadFileBytes(dir_.File("qebdat.tmp")).empty());
    EXPECT_EQ(test::ReadFileText(dir_.File("qebatt.tmp")), "1 0 2\n1 \n1 1 A\n1 2 B\n");
}

TEST_F(StudyPreparationTest, EveryPreparationAppendsToTheLog) {
    test::WriteFileText(dir_.File("study.att"), "A\n\nB\n");
    test::WriteFileText(dir_.File("study.chs"), "3 0 1 1 0\n2\n1 0\n2 0\n");
    StudyPreparation first = Preparation("study.chs");
    first.Prepare();
    StudyPreparation second = Preparation("study.chs");
    second.Prepare();
    const std::string entry = "\n\n02:07:09PM   Tuesday, March 05, 2024\n" + kRule +
                              "\nPreparing Files For HB Analysis\nData file: " + dir_.File("study.chs") +
                              "\n\nEstimation will include main effects and no interactions."
                              "\n\nNo respondents were selected.  Review your selection criteria.";
    EXPECT_EQ(first.report, second.report);
    EXPECT_EQ(test::ReadFileText(dir_.File("study.log")), entry + entry);
    EXPECT_TRUE(test::ReadFileBytes(dir_.File("qebdat.tmp")).empty());
}

}  // namespace
}  // namespace ombrel
