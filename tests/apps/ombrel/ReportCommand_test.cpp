// ombrel report in-process, on a small estimated study written into a temporary folder.

#include "apps/ombrel/ReportCommand.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/analysis/ReportStudy.h"
#include "tests/apps/ombrel/OmbrelStreamsTest.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

namespace fs = std::filesystem;
using test::ReadFileText;
using test::WriteFileText;

const std::string& kTitle = test::kMessageTitle;

class ReportCommandTest : public test::OmbrelStreamsTest {
protected:
    int Run() { return RunCommand({"report", study_.DataFile()}); }

    StudyFiles study_ = test::WriteReportStudy(root_);
};

TEST_F(ReportCommandTest, WritesTheReportAndSaysWhere) {
    EXPECT_EQ(Run(), 0) << Err();
    EXPECT_EQ(Out(), "The report was written to " + study_.Report() + "\n");
    EXPECT_EQ(Err(), "");
    EXPECT_EQ(study_.Report(), root_.File("study_report.html"));
    const std::string page = ReadFileText(study_.Report());
    EXPECT_EQ(page.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", 0), 0u);
    EXPECT_NE(page.find("<h1>Study report: study</h1>"), std::string::npos);
    EXPECT_EQ(page.substr(page.size() - 8), "</html>\n");
}

TEST_F(ReportCommandTest, ReplacesAnEarlierReport) {
    WriteFileText(study_.Report(), "earlier report\n");
    EXPECT_EQ(Run(), 0) << Err();
    EXPECT_NE(ReadFileText(study_.Report()), "earlier report\n");
}

TEST_F(ReportCommandTest, AStudyWithoutResultsGetsNoReport) {
    fs::remove(study_.PartWorths());
    const std::vector<std::string> before = FolderEntries();
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(Out(), "");
    EXPECT_EQ(Err(), kTitle + "The study " + study_.DataFile() + " has no results: its part-worth file " +
                         study_.PartWorths() + " is not there.  Estimate the study first.\n");
    EXPECT_EQ(FolderEntries(), before);
}

TEST_F(ReportCommandTest, ADamagedHistoryIsNamedWithItsLineAndKeepsTheEarlierReport) {
    WriteFileText(study_.Report(), "earlier report\n");
    std::string alpha = ReadFileText(study_.AlphaHistory());
    alpha.insert(alpha.find('\n', alpha.find('\n') + 1) + 3, "x");  // line 3, column 3
    WriteFileText(study_.AlphaHistory(), alpha);
    const std::vector<std::string> before = FolderEntries();
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(Err(), kTitle + "Line 3 of " + study_.AlphaHistory() +
                         " cannot be read at column 1: a number with three decimals was expected.\n");
    EXPECT_EQ(ReadFileText(study_.Report()), "earlier report\n");
    EXPECT_EQ(FolderEntries(), before);
}

TEST_F(ReportCommandTest, ADamagedPartWorthFileIsNamedWithItsLine) {
    WriteFileText(study_.PartWorths(),
                  test::kReportPartWorths.substr(0, test::kReportPartWorths.size() - 8) + "zero \n");
    EXPECT_EQ(Run(), 1);
    EXPECT_NE(Err().find(study_.PartWorths() + ", line 16"), std::string::npos) << Err();
    EXPECT_FALSE(fs::exists(study_.Report()));
}

TEST_F(ReportCommandTest, AReportThatCannotBeWrittenIsNamed) {
    fs::create_directory(study_.Report());
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(Err(), kTitle + "The report " + study_.Report() + " could not be written.\n");
    EXPECT_TRUE(fs::is_directory(study_.Report()));
}

TEST_F(ReportCommandTest, APathThatNamesNoStudyIsRefused) {
    EXPECT_EQ(RunCommand({"report", root_.File("study.txt")}), 1);
    EXPECT_EQ(Out(), "");
    EXPECT_EQ(Err(), kTitle + "An invalid data file was specified.\n");
}

}  // namespace
}  // namespace ombrel
