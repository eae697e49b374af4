#include "estimator/diagnostics/RespondentDiagnostics.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "estimator/diagnostics/StudyDiagnostics.h"
#include "tests/estimator/diagnostics/DiagnosticsStudy.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using test::FailureMessage;
using test::ReadFileText;
using test::WriteFileText;

constexpr int kLevels = 12;  // two value lines a record
constexpr int kDraws = 3;

// Respondents 101 and 102 of two chains. The last draw of the last chain carries each value's R-hat
// for the revealing meter: 1 + (n - 100) k / 1000, and respondent 101's first value is constant. The
// first draw of the first chain, its bulk ESS, is smallest for respondent 101's last value.
std::string DrawsText(int chain, int levels = kLevels) {
    std::string text;
    std::vector<double> values(static_cast<size_t>(levels));
    for (int n = 101; n <= 102; ++n) {
        for (int d = 0; d < kDraws; ++d) {
            for (int k = 0; k < levels; ++k) {
                const bool last = chain == 2 && d == kDraws - 1;
                values[static_cast<size_t>(k)] =
                    last ? (n == 101 && k == 0 ? 0.0 : 1.0 + (n - 100) * k / 1000.0)
                         : 10.0 * chain + d + 0.5 * (n - 100) - 0.01 * k;
            }
            FormatDrawRecord(text, n, 0.5, values.data(), levels, true);
        }
    }
    return text;
}

std::vector<std::string> Labels() {
    std::vector<std::string> labels;
    for (int k = 1; k <= kLevels; ++k) labels.push_back("level " + std::to_string(k));
    return labels;
}

class RespondentDiagnosticsTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFileText(First(), DrawsText(1));
        WriteFileText(Second(), DrawsText(2));
    }
    std::string First() const { return dir_.File("c1.dra"); }
    std::string Second() const { return dir_.File("c2.dra"); }
    RespondentDiagnostics Diagnose() {
        const std::vector<std::string> labels = Labels();
        return DiagnoseRespondents({First(), Second()}, kDraws, labels, meter_);
    }
    std::string Failure() {
        return FailureMessage([&] { Diagnose(); });
    }
    // The text of the second chain's file with its line (from 1) replaced.
    void ReplaceLine(int number, const std::string& replacement) {
        std::string text = ReadFileText(Second());
        size_t begin = 0;
        for (int line = 1; line < number; ++line) begin = text.find('\n', begin) + 1;
        text.replace(begin, text.find('\n', begin) - begin, replacement);
        WriteFileText(Second(), text);
    }

    test::TempDir dir_;
    test::RevealingMeter meter_;
};

TEST_F(RespondentDiagnosticsTest, EveryValueOfEveryRespondentIsMeasuredOverTheChains) {
    const RespondentDiagnostics result = Diagnose();
    EXPECT_EQ(result.valueCount, 23);
    EXPECT_EQ(result.constantCount, 1);
    EXPECT_EQ(result.aboveThreshold, 2 + 7);  // 101: levels 11, 12; 102: levels 6 to 12
    EXPECT_EQ(result.worstRespondent, 102);
    EXPECT_EQ(result.worstLabel, "level 12");
    EXPECT_DOUBLE_EQ(result.worstRhat, 1.022);
    EXPECT_EQ(result.essCount, 24);
    EXPECT_EQ(result.smallestEssRespondent, 101);
    EXPECT_EQ(result.smallestEssLabel, "level 12");
    EXPECT_DOUBLE_EQ(result.smallestEss, 10.39);
}

TEST_F(RespondentDiagnosticsTest, ADamagedRecordNamesTheFileTheLineAndTheRespondent) {
    // Records are 3 lines: the header, ten values, two values.
    ReplaceLine(5, "  1.000   1.00x ");
    EXPECT_EQ(
        Failure(),
        "Line 5 of " + Second() +
            " (respondent 101) cannot be read at column 11: a number with three decimals was expected.");
    WriteFileText(Second(), DrawsText(2));
    ReplaceLine(6, "  1.000 ");
    EXPECT_EQ(Failure(), "Line 6 of " + Second() + " (respondent 101) holds 1 values where 2 were expected.");
    WriteFileText(Second(), DrawsText(2));
    ReplaceLine(4, "    101     500  0 11 -1");
    EXPECT_EQ(Failure(),
              "Line 4 of " + Second() +
                  " is not the first line of a respondent's draw of 12 level values (respondent, RLH, 0, "
                  "level count, None).");
    WriteFileText(Second(), DrawsText(2));
    ReplaceLine(4, "    102     500  0 12 -1");
    EXPECT_EQ(Failure(),
              "Line 4 of " + Second() + " holds respondent 102 where respondent 101 was expected.");
    const std::string whole = DrawsText(2);
    WriteFileText(Second(), whole.substr(0, whole.rfind('\n', whole.size() - 2) + 1));
    EXPECT_EQ(Failure(), Second() + " ends inside respondent 102 at line 18.");
    WriteFileText(Second(), DrawsText(2).substr(0, DrawsText(2).size() / 2));
    EXPECT_EQ(Failure(), Second() + " ends where a respondent was expected.");
    WriteFileText(Second(), DrawsText(2) + DrawsText(2));
    EXPECT_EQ(Failure(), Second() + " holds more respondents than " + First() + ".");
    EXPECT_EQ(FailureMessage([&] {
                  DiagnoseRespondents({First(), dir_.File("c3.dra")}, kDraws, Labels(), meter_);
              }),
              "The draws file " + dir_.File("c3.dra") + " could not be opened.");
}

// The respondent, the 0 and the level count and None flag of a record's first line (the RLH is a
// decimal): a number beyond 32 bits there is refused, not taken for a damaged line.
TEST_F(RespondentDiagnosticsTest, AHeaderNumberBeyond32BitsIsRefusedNamingTheFile) {
    const std::vector<std::string> fields = {"101", "500", "0", "12", "-1"};
    for (size_t field : {0, 2, 3, 4}) {
        for (const std::string number : {"2147483648", "4294967297", "-27182818284590452353"}) {
            std::vector<std::string> header = fields;
            header[field] = number;
            WriteFileText(Second(), DrawsText(2));
            ReplaceLine(4, "    " + header[0] + " " + header[1] + " " + header[2] + " " + header[3] + " " +
                               header[4]);
            EXPECT_EQ(Failure(), "The number " + number + " in " + Second() +
                                     " does not fit a 32-bit integer (-2147483648 to 2147483647).")
                << field;
        }
    }
}

TEST_F(RespondentDiagnosticsTest, TheStudysDiagnosisReadsTheDrawsWhenEveryChainSavedThem) {
    const StudyFiles study = *StudyFiles::ForDataFile(dir_.File("coffee.cho"));
    WriteFileText(dir_.File("qebatt.tmp"), test::kTwoAttributeLabels);
    for (int k = 1; k <= 2; ++k) test::WriteRun(study.ForChain(k), k, kDraws, 4, k);
    WriteFileText(study.ForChain(1).Draws(), DrawsText(1, test::kTwoAttributeLevels));
    EXPECT_FALSE(DiagnoseStudy(study, 2, meter_).respondents.has_value());
    WriteFileText(study.ForChain(2).Draws(), DrawsText(2, test::kTwoAttributeLevels));
    const DiagnosticsReport report = DiagnoseStudy(study, 2, meter_);
    ASSERT_TRUE(report.respondents.has_value());
    EXPECT_EQ(report.respondents->valueCount, 11);
    EXPECT_EQ(report.respondents->worstRespondent, 102);
    EXPECT_EQ(report.respondents->worstLabel, "NONE");
    EXPECT_DOUBLE_EQ(report.respondents->worstRhat, 1.010);
    EXPECT_EQ(report.respondents->aboveThreshold, 1);
    EXPECT_EQ(report.respondents->smallestEssLabel, "NONE");
    EXPECT_DOUBLE_EQ(report.respondents->smallestEss, 10.45);
}

}  // namespace
}  // namespace ombrel
