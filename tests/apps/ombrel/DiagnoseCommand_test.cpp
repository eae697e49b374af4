// ombrel diagnose in-process, on small studies written into a temporary folder.

#include "apps/ombrel/DiagnoseCommand.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "apps/ombrel/OmbrelCommand.h"
#include "tests/apps/ombrel/OmbrelStreamsTest.h"
#include "tests/estimator/diagnostics/DiagnosticsStudy.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

namespace fs = std::filesystem;
using test::ReadFileText;
using test::WriteFileText;

const std::string& kTitle = test::kMessageTitle;

class DiagnoseCommandTest : public test::OmbrelStreamsTest {
protected:
    void SetUp() override {
        WriteFileText(root_.File("coffee.cho"), "1 0 1 1 0\n");
        WriteFileText(root_.File("qebatt.tmp"), test::kTwoAttributeLabels);
        OmbrelStreamsTest::SetUp();
    }

    int Run(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "diagnose");
        return RunCommand(std::move(arguments));
    }
    // Chains whose every history value is the same: every measure is NA whatever computes it.
    void WriteConstantChains(int count) {
        for (int k = 1; k <= count; ++k) {
            const StudyFiles run = study_.ForChain(k);
            test::WriteRun(run, k, 3, 4, 10 + k);
            WriteFileText(run.AlphaHistory(),
                          Repeat("  0.500   0.500   0.500   0.500   0.500   0.500 \n", 4));
            WriteFileText(
                run.CovarianceHistory(),
                Repeat("   1.250   0.000   0.000   0.000   1.250   0.000   0.000   1.250   0.000   1.250\n",
                       4));
        }
    }
    static std::string Repeat(const std::string& line, int count) {
        std::string text;
        for (int i = 0; i < count; ++i) text += line;
        return text;
    }

    StudyFiles study_ = *StudyFiles::ForDataFile(root_.File("coffee.cho"));
};

TEST_F(DiagnoseCommandTest, PrintsTheVerdictAndWritesBothFilesOfTheChainsItFinds) {
    WriteConstantChains(2);
    EXPECT_EQ(Run({root_.File("coffee.cho")}), 0) << Err();
    const std::string verdict =
        "Convergence diagnostics of coffee\n"
        "Chains: 2 (seeds 11, 12), 3 draws each\n"
        "Constant quantities: 10 of 10, left out of the worst R-hat and the smallest ESS\n"
        "No quantity varies over the draws, so convergence cannot be judged.\n";
    EXPECT_EQ(Out(), verdict);
    EXPECT_EQ(Err(), "");
    EXPECT_EQ(ReadFileText(study_.DiagnosticsVerdict()), verdict);
    EXPECT_EQ(ReadFileText(study_.DiagnosticsTable()),
              "kind,index,label,mean,sd,rhat,ess_bulk,ess_tail\n"
              "alpha,1,Brand A,0.5,0,NA,NA,NA\n"
              "alpha,2,\"Brand, B\",0.5,0,NA,NA,NA\n"
              "alpha,3,Brand C,0.5,0,NA,NA,NA\n"
              "alpha,4,Red,0.5,0,NA,NA,NA\n"
              "alpha,5,Blue,0.5,0,NA,NA,NA\n"
              "alpha,6,NONE,0.5,0,NA,NA,NA\n"
              "variance,1,Brand A,1.25,0,NA,NA,NA\n"
              "variance,2,\"Brand, B\",1.25,0,NA,NA,NA\n"
              "variance,3,Red,1.25,0,NA,NA,NA\n"
              "variance,4,NONE,1.25,0,NA,NA,NA\n");
}

TEST_F(DiagnoseCommandTest, TheChainsOptionOverridesTheFolders) {
    WriteConstantChains(3);
    test::WriteRun(study_, 1, 2, 2, 0);
    fs::last_write_time(study_.AlphaHistory(),
                        fs::last_write_time(study_.ForChain(1).AlphaHistory()) + std::chrono::seconds(5));
    EXPECT_EQ(Run({root_.File("coffee.cho")}), 0) << Err();
    EXPECT_EQ(Out().substr(0, Out().find('\n', 34) + 1),
              "Convergence diagnostics of coffee\nChains: 1 (seed from the clock), 2 draws\n");
    EXPECT_EQ(Run({root_.File("coffee.cho"), "--chains", "2"}), 0) << Err();
    EXPECT_NE(Out().find("Chains: 2 (seeds 11, 12), 3 draws each\n"), std::string::npos);
    EXPECT_NE(Run({root_.File("coffee.cho"), "--chains", "0"}), 0);
}

TEST_F(DiagnoseCommandTest, AFailureIsShownOnceAndLeavesEarlierResultsAsTheyWere) {
    WriteConstantChains(2);
    WriteFileText(study_.DiagnosticsTable(), "earlier table\n");
    WriteFileText(study_.DiagnosticsVerdict(), "earlier verdict\n");
    const std::vector<std::string> before = FolderEntries();
    WriteFileText(study_.ForChain(2).CovarianceHistory(), "   1.250   0.000\n");
    EXPECT_EQ(Run({root_.File("coffee.cho")}), 1);
    EXPECT_EQ(Out(), "");
    EXPECT_EQ(Err(), kTitle + "Line 1 of " + study_.ForChain(2).CovarianceHistory() +
                         " holds 2 values, which is not the upper triangle of a covariance matrix.\n");
    EXPECT_EQ(ReadFileText(study_.DiagnosticsTable()), "earlier table\n");
    EXPECT_EQ(ReadFileText(study_.DiagnosticsVerdict()), "earlier verdict\n");
    EXPECT_EQ(FolderEntries(), before);
}

TEST_F(DiagnoseCommandTest, TheDataFileIsCheckedAsForAnEstimation) {
    EXPECT_EQ(Run({root_.File("missing.cho")}), 1);
    EXPECT_EQ(Err(), kTitle + "Cannot locate " + root_.File("missing.cho") + ".\n");
    EXPECT_EQ(Run({root_.File("coffee.txt")}), 1);
    EXPECT_NE(Err().find(kTitle + "An invalid data file was specified.\n"), std::string::npos);
    // Without chain folders the study's own files are read.
    EXPECT_EQ(Run({root_.File("coffee.cho")}), 1);
    EXPECT_NE(Err().find(kTitle + "The settings file " + study_.Settings() + " could not be opened.\n"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(study_.DiagnosticsTable()));
    EXPECT_FALSE(fs::exists(study_.DiagnosticsVerdict()));
}

}  // namespace
}  // namespace ombrel
