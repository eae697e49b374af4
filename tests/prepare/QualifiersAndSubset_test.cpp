#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "common/OmbrelError.h"
#include "prepare/QualifierFile.h"
#include "prepare/TaskSubset.h"
#include "tests/prepare/PrepareTestSupport.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using test::FailureMessage;

class QualifierFileTest : public ::testing::Test {
protected:
    RespondentQualifiers Read(const std::string& text) {
        test::WriteFileText(study_ + ".qal", text);
        return ReadQualifierFile(test::StudyOf(study_), report_);
    }

    test::TempDir dir_;
    std::string study_ = dir_.File("study");
    std::string report_ = "R";
};

TEST_F(QualifierFileTest, NoFileNoQualifiersNothingReported) {
    RespondentQualifiers qualifiers = ReadQualifierFile(test::StudyOf(study_), report_);
    EXPECT_EQ(qualifiers.count, 0);
    EXPECT_EQ(report_, "R");
}

TEST_F(QualifierFileTest, ReportsEveryLineAsRead) {
    RespondentQualifiers qualifiers = Read("3 > 5\r\n 1\t=  -2\n100 < 7");
    ASSERT_EQ(qualifiers.count, 3);
    EXPECT_EQ(qualifiers.qualifiers[0].variableNumber, 3);
    EXPECT_EQ(qualifiers.qualifiers[0].comparison, kGreaterThan);
    EXPECT_EQ(qualifiers.qualifiers[0].value, 5);
    EXPECT_EQ(qualifiers.qualifiers[1].comparison, kEqualTo);
    EXPECT_EQ(qualifiers.qualifiers[1].value, -2);
    EXPECT_EQ(qualifiers.qualifiers[2].comparison, kLessThan);
    EXPECT_EQ(report_,
              "R\n\nRespondents must satisfy these conditions to qualify:"
              "\nCondition 1: Variable # 3 > 5\n"
              "\nCondition 2: Variable #  1\t=  -2\n"
              "\nCondition 3: Variable # 100 < 7");
}

TEST_F(QualifierFileTest, OnlyTheFirstTenLinesCount) {
    std::string text;
    for (int i = 1; i <= 10; ++i) text += std::to_string(i) + " = 1\n";
    text += "this line is never read\n";
    RespondentQualifiers qualifiers = Read(text);
    EXPECT_EQ(qualifiers.count, 10);
    EXPECT_EQ(report_.find("never"), std::string::npos);
    EXPECT_NE(report_.find("\nCondition 10: Variable # 10 = 1\n"), std::string::npos);
}

TEST_F(QualifierFileTest, Messages) {
    const std::string formatted = "A qualifier in the <studyname>.qal file was formatted incorrectly.";
    for (const char* text : {"3 >\n", "3 >= 5\n", "3 ! 5\n", "x > 5\n", "3 > x\n", "3 > 5\n\n", "3>5\n"}) {
        EXPECT_EQ(FailureMessage([&] { Read(text); }), formatted) << text;
    }
    EXPECT_EQ(
        FailureMessage([&] { Read("2 < 1\n101 > 5\n"); }),
        "Line 2 of the " + study_ +
            ".qal file (\"101 > 5\") names respondent variable 101, but respondent variables are numbered "
            "from 1 to 100.");
    EXPECT_NE(FailureMessage([&] { Read("0 = 1"); }), "(no failure)");
}

TEST(Qualifies, EveryConditionMustHold) {
    RespondentQualifiers qualifiers;
    qualifiers.qualifiers[0] = {3, kGreaterThan, 5};
    qualifiers.count = 1;
    RespondentVariables variables{};
    variables[2] = 6;
    EXPECT_TRUE(Qualifies(qualifiers, variables));
    variables[2] = 5;
    EXPECT_FALSE(Qualifies(qualifiers, variables));
    variables[2] = 0;  // a respondent with two variables: the third reads 0
    EXPECT_FALSE(Qualifies(qualifiers, variables));

    qualifiers.qualifiers[1] = {1, kLessThan, 0};
    qualifiers.qualifiers[2] = {100, kEqualTo, 4};
    qualifiers.count = 3;
    variables[2] = 6;
    variables[0] = -1;
    variables[99] = 4;
    EXPECT_TRUE(Qualifies(qualifiers, variables));
    variables[99] = 3;
    EXPECT_FALSE(Qualifies(qualifiers, variables));
}

class TaskSubsetTest : public ::testing::Test {
protected:
    TaskSubset Read(const std::string& text) {
        test::WriteFileText(study_ + ".sub", text);
        return ReadTaskSubsetFile(test::StudyOf(study_), report_);
    }

    test::TempDir dir_;
    std::string study_ = dir_.File("study");
    std::string report_ = "R";
};

TEST_F(TaskSubsetTest, NoFileKeepsEveryTask) {
    TaskSubset subset = ReadTaskSubsetFile(test::StudyOf(study_), report_);
    EXPECT_EQ(report_, "R");
    EXPECT_TRUE(subset.IsKept(1));
    EXPECT_TRUE(subset.IsKept(1000));
    EXPECT_FALSE(subset.IsKept(1001));
    EXPECT_FALSE(subset.IsKept(0));
}

TEST_F(TaskSubsetTest, KeepsListedTasksAndReportsEachNumber) {
    TaskSubset subset = Read("2\n2\t5 x 7");
    EXPECT_EQ(report_, "R\n\nOnly the following tasks will be used for estimation:\n2 2 5 ");
    EXPECT_FALSE(subset.IsKept(1));
    EXPECT_TRUE(subset.IsKept(2));
    EXPECT_FALSE(subset.IsKept(3));
    EXPECT_TRUE(subset.IsKept(5));
    EXPECT_FALSE(subset.IsKept(7));
}

TEST_F(TaskSubsetTest, ANumberThatIsNoIntegerEndsTheList) {
    TaskSubset subset = Read("2 .5 7");
    EXPECT_EQ(report_, "R\n\nOnly the following tasks will be used for estimation:\n2 ");
    EXPECT_FALSE(subset.IsKept(7));
}

TEST_F(TaskSubsetTest, EmptyFileKeepsNothing) {
    TaskSubset subset = Read("");
    EXPECT_EQ(report_, "R\n\nOnly the following tasks will be used for estimation:\n");
    for (int t = 1; t <= 1000; ++t) ASSERT_FALSE(subset.IsKept(t));
}

TEST_F(TaskSubsetTest, AtMostAThousandNumbersAreRead) {
    std::string text;
    for (int i = 0; i < 1000; ++i) text += "1 ";
    TaskSubset subset = Read(text + "0");  // the 1001st number is not read, so not checked
    EXPECT_TRUE(subset.IsKept(1));
}

TEST_F(TaskSubsetTest, NumbersOutsideTheTaskRangeAreRefused) {
    for (const char* text : {"1 0", "1001", "-3", "2 2147483647 5", "-2147483648"}) {
        EXPECT_EQ(FailureMessage([&] { Read(text); }),
                  "A number specified in the <studyname>.sub file is out of range.");
    }
}

// The qualifiers reader over text in memory; "mem.qal" stands for the file in messages.
TEST(QualifierFileFromMemory, ReadsGoodTextAndNamesWhatIsBroken) {
    MemoryTextSource good("3 > 5\r\n1 = -2");
    std::string report;
    const RespondentQualifiers qualifiers = ReadQualifierFile(good, "mem.qal", report);
    ASSERT_EQ(qualifiers.count, 2);
    EXPECT_EQ(qualifiers.qualifiers[1].variableNumber, 1);
    EXPECT_EQ(qualifiers.qualifiers[1].comparison, kEqualTo);
    EXPECT_EQ(qualifiers.qualifiers[1].value, -2);
    EXPECT_EQ(report,
              "\n\nRespondents must satisfy these conditions to qualify:"
              "\nCondition 1: Variable # 3 > 5\n"
              "\nCondition 2: Variable # 1 = -2");

    const std::string formatted = "A qualifier in the <studyname>.qal file was formatted incorrectly.";
    const std::vector<std::pair<std::string, std::string>> broken = {
        {"3 >= 5\n", formatted},
        {"1 = 1\n\n", formatted},
        {"1 = 1\n0 < 4\n",
         "Line 2 of the mem.qal file (\"0 < 4\") names respondent variable 0, but respondent variables are "
         "numbered from 1 to 100."},
    };
    for (const auto& [text, message] : broken) {
        MemoryTextSource source(text);
        EXPECT_EQ(FailureMessage([&] { ReadQualifierFile(source, "mem.qal", report); }), message) << text;
    }
    test::FailingTextSource failing("1 = 1\n");
    EXPECT_EQ(FailureMessage([&] { ReadQualifierFile(failing, "mem.qal", report); }),
              "The file mem.qal could not be read.");
}

// The subset reader over text in memory; "mem.sub" stands for the file in messages.
TEST(TaskSubsetFromMemory, ReadsGoodTextAndNamesWhatIsBroken) {
    const std::string heading = "\n\nOnly the following tasks will be used for estimation:\n";
    struct Case {
        std::string text;
        std::string report;  // when message is empty
        std::string message;
    };
    const std::string outOfRange = "A number specified in the <studyname>.sub file is out of range.";
    const std::vector<Case> cases = {
        {"2\n5\t1000 stop 7", heading + "2 5 1000 ", ""},
        {"", heading, ""},
        {"3 0", "", outOfRange},
        {"1001", "", outOfRange},
        {"4 12345678901", "",
         "The number 12345678901 in mem.sub does not fit a 32-bit integer (-2147483648 to 2147483647)."},
    };
    for (const Case& c : cases) {
        MemoryTextSource source(c.text);
        std::string report;
        TaskSubset subset;
        const std::string message =
            FailureMessage([&] { subset = ReadTaskSubsetFile(source, "mem.sub", report); });
        if (!c.message.empty()) {
            EXPECT_EQ(message, c.message) << c.text;
            continue;
        }
        EXPECT_EQ(message, "(no failure)") << c.text;
        EXPECT_EQ(report, c.report) << c.text;
        EXPECT_EQ(subset.IsKept(5), c.text.find('5') != std::string::npos) << c.text;
        EXPECT_FALSE(subset.IsKept(7)) << c.text;
    }
    test::FailingTextSource failing("2 5");
    std::string report;
    EXPECT_EQ(FailureMessage([&] { ReadTaskSubsetFile(failing, "mem.sub", report); }),
              "The file mem.sub could not be read.");
}

}  // namespace
}  // namespace ombrel
