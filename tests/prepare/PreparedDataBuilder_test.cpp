#include "prepare/PreparedDataBuilder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "common/FileHandle.h"
#include "common/OmbrelError.h"
#include "common/TextSource.h"
#include "tests/prepare/PrepareTestSupport.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using test::Bytes;
using test::BytesEqual;

using test::FailureMessage;

double Weight(std::vector<int> points, int chosen, double totalTaskWeight) {
    double total = 1e-10;
    for (int p : points) total += p;
    return points[static_cast<size_t>(chosen)] / total * totalTaskWeight;
}

// Two part-worth attributes of 3 and 2 levels, effects coded: level codes (a, b) code as
//   a: 1 -> (1, 0), 2 -> (0, 1), 3 -> (-1, -1);  b: 1 -> (1), 2 -> (-1).
class BuilderTest : public ::testing::Test {
protected:
    BuildResult Build(const std::string& data) {
        test::WriteFileText(dataPath_, data);
        FileHandle file;
        file.Open(dataPath_, "rb");
        FileTextSource source(std::move(file));
        return BuildFrom(source);
    }
    BuildResult BuildFrom(TextSource& source) {
        coder_ = std::make_unique<DesignCoder>(effects_, levelCounts_, levelValues_, effectsCoding_);
        BuildInputs inputs;
        inputs.attributeCount = static_cast<int>(levelCounts_.size());
        inputs.coder = coder_.get();
        inputs.qualifiers = &qualifiers_;
        inputs.taskSubset = &subset_;
        inputs.dropNone = dropNone_;
        inputs.totalTaskWeight = totalTaskWeight_;
        inputs.isChoiceData = isChoiceData_;
        inputs.dataFileName = dataPath_;
        inputs.studyFolder = dir_.Folder();
        return BuildPreparedData(inputs, source, report_);
    }
    std::vector<unsigned char> Prepared() const { return test::ReadFileBytes(dir_.File("qebdat.tmp")); }
    bool ScratchExists() const { return std::filesystem::exists(dir_.File("tempfile")); }

    test::TempDir dir_;
    std::string dataPath_ = dir_.File("study.chs");
    std::vector<int32_t> levelCounts_ = {3, 2};
    LevelValues levelValues_ = {{0, 0, 0}, {0, 0}};
    EffectsMatrix effects_ = EffectsMatrix::Identity(2);
    bool effectsCoding_ = true;
    std::unique_ptr<DesignCoder> coder_;
    RespondentQualifiers qualifiers_;
    TaskSubset subset_;
    bool dropNone_ = false;
    double totalTaskWeight_ = 5.0;
    bool isChoiceData_ = false;
    std::string report_ = "R";
};

TEST_F(BuilderTest, AllocationTaskExpandsIntoOneBlockPerNonzeroAnswer) {
    BuildResult result = Build("17 0 2 1 0\n3\n1 2 3\n2 1 0\n3 2 7\n");
    EXPECT_EQ(result.noneFlag, 0);
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
                                                  .F64(Weight({3, 0, 7}, 0, 5.0))
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
                                                  .F64(Weight({3, 0, 7}, 2, 5.0))
                                                  .Get();
    EXPECT_TRUE(BytesEqual(golden, Prepared()));
    EXPECT_FALSE(ScratchExists());
    EXPECT_EQ(
        report_,
        "R\n\nFiles built for 1 respondents."
        "\n\nTotal number of points given each response category:"
        "\n\t 1      3   30.00%"
        "\n\t 3      7   70.00%"
        "\n\nThere are 2 expanded choice tasks in total, or an average of 2.0 expanded tasks per respondent."
        "\n\nThe number of parameters to be estimated is 3, with no 'none'."
        "\n\nThe total weight per task is 5.00.");
}

TEST_F(BuilderTest, ChoiceDataWithNoneAndTasksOfDifferentSizes) {
    isChoiceData_ = true;
    totalTaskWeight_ = 1.0;
    // Converted discrete-choice data: the None row (all zeros) closes every task. The first task has
    // three concepts plus the None and the None is chosen; the second two plus the None.
    BuildResult result = Build("5 0 2 2 1\n4\n1 1 0\n2 2 0\n3 1 0\n0 0 1\n3\n3 2 1\n1 1 0\n0 0 0\n");
    EXPECT_EQ(result.noneFlag, 1);
    const double w = 1.0 / (1e-10 + 1.0);
    const std::vector<unsigned char> golden = Bytes()
                                                  .I32(5)
                                                  .I32(2)
                                                  .I32(4)
                                                  .I32(4)
                                                  .F64(1)
                                                  .F64(0)
                                                  .F64(1)
                                                  .F64(0)
                                                  .I32(0)
                                                  .F64(0)
                                                  .F64(1)
                                                  .F64(-1)
                                                  .F64(0)
                                                  .I32(0)
                                                  .F64(-1)
                                                  .F64(-1)
                                                  .F64(1)
                                                  .F64(0)
                                                  .I32(0)
                                                  .F64(0)
                                                  .F64(0)
                                                  .F64(0)
                                                  .F64(1)
                                                  .I32(1)
                                                  .F64(w)
                                                  .I32(3)
                                                  .I32(4)
                                                  .F64(-1)
                                                  .F64(-1)
                                                  .F64(-1)
                                                  .F64(0)
                                                  .I32(1)
                                                  .F64(1)
                                                  .F64(0)
                                                  .F64(1)
                                                  .F64(0)
                                                  .I32(0)
                                                  .F64(0)
                                                  .F64(0)
                                                  .F64(0)
                                                  .F64(1)
                                                  .I32(0)
                                                  .F64(w)
                                                  .Get();
    EXPECT_TRUE(BytesEqual(golden, Prepared()));
    EXPECT_EQ(report_,
              "R\n\nFiles built for 1 respondents."
              "\n\nTotal number of choices in each response category:"
              "\n\t 1      1   50.00%"
              "\n\t 4      1   50.00%"
              "\n\nThere are 2 choice tasks in total, or an average of 2.0 tasks per respondent."
              "\n\nThe number of parameters to be estimated is 4, including 'none'.");
}

TEST_F(BuilderTest, DroppedNoneLeavesItsRowAndColumnOut) {
    dropNone_ = true;
    totalTaskWeight_ = 2.0;
    Build("9 0 2 1 1\n3\n1 1 2\n2 2 0\n0 0 6\n");
    const std::vector<unsigned char> golden = Bytes()
                                                  .I32(9)
                                                  .I32(2)
                                                  .I32(2)
                                                  .I32(3)
                                                  .F64(1)
                                                  .F64(0)
                                                  .F64(1)
                                                  .I32(1)
                                                  .F64(0)
                                                  .F64(1)
                                                  .F64(-1)
                                                  .I32(0)
                                                  .F64(Weight({2, 0, 6}, 0, 2.0))
                                                  .I32(2)
                                                  .I32(3)
                                                  .F64(1)
                                                  .F64(0)
                                                  .F64(1)
                                                  .I32(0)
                                                  .F64(0)
                                                  .F64(1)
                                                  .F64(-1)
                                                  .I32(0)
                                                  .F64(0.0)
                                                  .Get();
    EXPECT_TRUE(BytesEqual(golden, Prepared()));
    EXPECT_NE(report_.find("\n\t 3      6   75.00%"), std::string::npos);
    EXPECT_NE(report_.find("The number of parameters to be estimated is 3, with no 'none'."),
              std::string::npos);
}

TEST_F(BuilderTest, SkippedRespondentsAreReadInFullAndNotCounted) {
    qualifiers_.qualifiers[0] = {1, kGreaterThan, 0};
    qualifiers_.count = 1;
    Build(
        "1 1 2 1 0 5\n2\n1 1 0\n2 2 0\n"    // all answers zero: not written
        "2 1 2 1 0 0\n2\n1 1 500\n2 2 0\n"  // disqualified: the answer of 500 goes unnoticed
        "3 0 2 1 0\n2\n1 1 0\n2 2 4\n"      // no variables: qualifies whatever the qualifiers say
        "4 1 2 1 0 1\n1\n3 1 2\n");
    const std::vector<unsigned char> golden = Bytes()
                                                  .I32(3)
                                                  .I32(1)
                                                  .I32(2)
                                                  .I32(3)
                                                  .F64(1)
                                                  .F64(0)
                                                  .F64(1)
                                                  .I32(0)
                                                  .F64(0)
                                                  .F64(1)
                                                  .F64(-1)
                                                  .I32(1)
                                                  .F64(Weight({0, 4}, 1, 5.0))
                                                  .I32(4)
                                                  .I32(1)
                                                  .I32(1)
                                                  .I32(3)
                                                  .F64(-1)
                                                  .F64(-1)
                                                  .F64(1)
                                                  .I32(1)
                                                  .F64(Weight({2}, 0, 5.0))
                                                  .Get();
    EXPECT_TRUE(BytesEqual(golden, Prepared()));
    EXPECT_NE(report_.find("Files built for 2 respondents."), std::string::npos);
    EXPECT_NE(report_.find("average of 1.0 expanded tasks"), std::string::npos);
}

TEST_F(BuilderTest, TaskSubsetKeepsOnlyListedTasks) {
    subset_.Clear();
    subset_.Keep(2);
    Build("7 0 2 3 0\n1\n1 1 900\n1\n2 2 1\n1\n3 1 -4\n");
    const std::vector<unsigned char> golden =
        Bytes().I32(7).I32(1).I32(1).I32(3).F64(0).F64(1).F64(-1).I32(1).F64(Weight({1}, 0, 5.0)).Get();
    EXPECT_TRUE(BytesEqual(golden, Prepared()));
}

TEST_F(BuilderTest, NoRespondents) {
    for (const char* data : {"", "  \n", "1 0 2"}) {
        report_ = "R";
        Build(data);
        EXPECT_EQ(report_, "R\n\nNo respondents were selected.  Review your selection criteria.");
        EXPECT_TRUE(std::filesystem::exists(dir_.File("qebdat.tmp")));
        EXPECT_TRUE(Prepared().empty());
        EXPECT_FALSE(ScratchExists());
    }
    subset_.Clear();
    report_ = "R";
    Build("1 0 2 1 0\n1\n1 1 1\n");
    EXPECT_EQ(report_, "R\n\nNo respondents were selected.  Review your selection criteria.");
    EXPECT_TRUE(Prepared().empty());
}

TEST_F(BuilderTest, HeaderCutShortAfterTheFirstRespondentEndsTheData) {
    Build("1 0 2 1 0\n1\n1 1 1\n2 0 2");
    EXPECT_NE(report_.find("Files built for 1 respondents."), std::string::npos);
}

TEST_F(BuilderTest, VariablesCutShortInARecordWithoutTasksEndTheData) {
    Build("1 0 2 1 0\n1\n1 1 1\n2 3 2 0 0\n4");
    EXPECT_NE(report_.find("Files built for 1 respondents."), std::string::npos);
}

TEST_F(BuilderTest, RespondentReadErrors) {
    const std::string error42 =
        "An error was encountered while reading respondent #42.  There may be an incomplete/corrupt data "
        "record in "
        "your data file or the number of attributes in your attribute file and data file may be "
        "inconsistent.";
    for (const char* data : {
             "42 0 3 1 0\n1\n1 1 1 1\n",  // attribute count differs
             "42 0 2 1 0\n0\n",           // no concepts
             "42 0 2 1 0\n1001\n",        // too many concepts
             "42 0 2 1 0\nx\n",           // concept count unreadable
             "42 0 2 1 0\n2\n1 1 1\n",    // data ends inside the task
             "42 0 2 1 0\n1\n1 1 x\n",    // answer unreadable
             "42 0 2 1 1\n1\n0 0 1\n",    // a None alternative alone in a kept task
             "42 2 2 1 0\n7\n",           // data ends inside the respondent variables
         }) {
        EXPECT_EQ(FailureMessage([&] { Build(data); }), error42) << data;
    }
}

TEST_F(BuilderTest, AnswerMessages) {
    EXPECT_EQ(FailureMessage([&] { Build("8 0 2 1 0\n2\n1 1 100\n2 2 101\n"); }),
              "An answer (101) for respondent 8 exceeds the maximum allowed points (100).");
    EXPECT_EQ(
        FailureMessage([&] { Build("8 0 2 2 0\n1\n1 1 1\n2\n1 1 3\n2 2 -1\n"); }),
        "The data file " + dataPath_ +
            " holds a negative answer (-1) for respondent 8 in task 2.  Answers must lie between 0 and 100 "
            "points.");
}

TEST_F(BuilderTest, RecordsBeyondWhatARespondentCanHold) {
    const std::string file = dataPath_;
    EXPECT_EQ(FailureMessage([&] { Build("8 101 2 0 0\n"); }),
              "Respondent 8 in the data file " + file +
                  " has 101 respondent variables; a respondent can have from 0 to 100.");
    EXPECT_EQ(FailureMessage([&] { Build("8 -1 2 0 0\n"); }),
              "Respondent 8 in the data file " + file +
                  " has -1 respondent variables; a respondent can have from 0 to 100.");
    EXPECT_EQ(
        FailureMessage([&] { Build("8 0 2 1001 0\n"); }),
        "Respondent 8 in the data file " + file + " has 1001 tasks; a respondent can have from 0 to 1000.");
    EXPECT_EQ(FailureMessage([&] { Build("8 0 2 0 2\n"); }),
              "Respondent 8 in the data file " + file +
                  " has a None flag of 2; it must be 0 (no None alternative) or 1.");
    EXPECT_EQ(
        FailureMessage([&] { Build("8 0 2 0 1\n9 0 2 0 1\n10 0 2 0 0\n11 0 2 0 1\n"); }),
        "Respondent 10 in the data file " + file +
            " has a None flag of 0, but the respondents before it have 1.  All respondents must agree on "
            "whether their tasks end with a None alternative.");
    EXPECT_EQ(
        FailureMessage([&] { Build("8 0 2 1 0\n1\n1 1 1\n9 0 2 # 1\n"); }),
        "The data file " + file + " holds something that is not a respondent header after respondent 8.");
    EXPECT_EQ(
        FailureMessage([&] { Build("3000000000 0 2 1 0\n1\n1 1 1\n"); }),
        "The number 3000000000 in " + file + " does not fit a 32-bit integer (-2147483648 to 2147483647).");
}

TEST_F(BuilderTest, NumbersThatAreNotFiniteAreRefused) {
    effects_.Set(1, 1, kLinearWithDataValues);
    EXPECT_EQ(
        FailureMessage([&] { Build("8 0 2 1 0\n1\n1 nan 1\n"); }),
        "The data file " + dataPath_ + " holds a number that is not finite for respondent 8 in task 1.");
}

TEST_F(BuilderTest, CodingFailuresStopTheBuild) {
    effects_.Set(0, 0, kLinearWithValues);
    EXPECT_EQ(FailureMessage([&] { Build("8 0 2 1 0\n1\n4 1 1\n"); }),
              "A level code in the data file for a linear attribute was out of range.");
    EXPECT_FALSE(ScratchExists());

    levelCounts_ = {1000, 2};
    levelValues_ = {std::vector<double>(1000, 0.0), {0, 0}};
    effects_ = EffectsMatrix::Identity(2);
    EXPECT_EQ(FailureMessage([&] { Build("8 0 2 1 0\n1\n1 1 1\n"); }),
              "The maximum number of variables allowed is 1000.");
}

// Every prefix of a valid file, cut anywhere, builds or fails with a message; nothing in between.
TEST_F(BuilderTest, DataCutAnywhereNeverCrashes) {
    effects_.Set(1, 1, kLinearWithDataValues);
    const std::string data =
        "12 2 2 2 1 4 -7\n3\n1 0.5 40\n3 2.25 60\n0 0 0\n2\n2 1 0\n0 0 100\n"
        "13 0 2 1 1\n2\n3 -1e3 0\n0 0 0\n";
    for (size_t length = 0; length <= data.size(); ++length) {
        report_ = "R";
        try {
            Build(data.substr(0, length));
        } catch (const OmbrelError&) {
        }
        EXPECT_FALSE(ScratchExists()) << length;
    }
}

TEST(BuildSummary, WideSumsAndPercentages) {
    BuildCounters counters;
    counters.respondentsWritten = 3;
    counters.expandedTasks = 10;
    counters.positionSums[0] = 1234567;
    counters.positionSums[11] = 1;
    counters.grandSum = 1234568;
    EXPECT_EQ(
        FormatBuildSummary(counters, false, 12, true, 10.0),
        "\n\nFiles built for 3 respondents."
        "\n\nTotal number of points given each response category:"
        "\n\t 1 1234567  100.00%"
        "\n\t12      1    0.00%"
        "\n\nThere are 10 expanded choice tasks in total, or an average of 3.3 expanded tasks per respondent."
        "\n\nThe number of parameters to be estimated is 12, including 'none'."
        "\n\nThe total weight per task is 10.00.");
}

// The build reads its data from memory as from a file: the same bytes, the same messages.
TEST_F(BuilderTest, ReadsDataFromMemory) {
    const std::string data = "17 0 2 1 0\n3\n1 2 3\n2 1 0\n3 2 7\n";
    Build(data);
    const std::vector<unsigned char> fromFile = Prepared();
    const std::string fileReport = report_;
    report_ = "R";
    MemoryTextSource source(data);
    BuildFrom(source);
    EXPECT_TRUE(BytesEqual(fromFile, Prepared()));
    EXPECT_EQ(report_, fileReport);

    const std::string file = dataPath_;
    const std::vector<std::pair<std::string, std::string>> broken = {
        {"x", "The data file " + file + " does not begin with a respondent header."},
        {"8 0 2 1 0\n1\n1 1 1\n9 0 2 # 1\n",
         "The data file " + file + " holds something that is not a respondent header after respondent 8."},
        {"42 0 2 1 0\n2\n1 1 1\n",
         "An error was encountered while reading respondent #42.  There may be an incomplete/corrupt data "
         "record in your data file or the number of attributes in your attribute file and data file may be "
         "inconsistent."},
        {"8 0 2 1 0\n2\n1 1 100\n2 2 101\n",
         "An answer (101) for respondent 8 exceeds the maximum allowed points (100)."},
    };
    for (const auto& [text, message] : broken) {
        MemoryTextSource brokenSource(text);
        EXPECT_EQ(FailureMessage([&] { BuildFrom(brokenSource); }), message) << text;
        EXPECT_FALSE(ScratchExists()) << text;
    }
    test::FailingTextSource failing(data);
    EXPECT_EQ(FailureMessage([&] { BuildFrom(failing); }), "The file " + file + " could not be read.");
}

}  // namespace
}  // namespace ombrel
