#include "tools/TieDraws.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "platform/ScriptedMessenger.h"
#include "tests/estimator/files/FailingTextSource.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using test::ReadFileText;
using test::TempDir;
using test::WriteFileText;

// Attribute 1: part-worth, 3 levels; attribute 2: linear; None. Five values per respondent.
const std::string kHeader = "2 1 5 1 1\n3 1 \n1 0 \n0 -1 \n1 1 Low\n1 2 Mid, ok\n1 3 High\n2 1 Price\nNONE\n";
const std::string kHbu = kHeader + "    101     600  0 5 -1\n  0.1 0.2 0.3 0.4 0.5\n";
const std::string kDraws =
    "    101     654  0 5 -1\n  0.200   0.500  -0.700   0.300   1.000 \n"
    "    101     700  0 5 -1\n  0.600   0.100  -0.700  -0.200   2.000 \n"
    "    102     500  0 5 -1\n  0.100   0.200   0.300  -0.500   0.000 \n"
    "    102     510  0 5 -1\n  0.000   0.0001  0.000   0.000   0.500 \n";

// kDraws tied under "1 1 2" and "2 -1 0".
const std::string kTied = kHeader +
                          "101 700 0 5 -1\n  0.475   0.225  -0.700  -0.100   1.500 \n"
                          "102 510 0 5 -1\n  0.075   0.075   0.150  -0.250   0.250 \n";
const std::string kSpreadsheet =
    "Respondent,RLH,Merged Variables,Parameters,None,Low,Mid  ok,High,Price,NONE\n"
    "101,700,0,5,-1,  0.475,  0.225, -0.700, -0.100,  1.500\n"
    "102,510,0,5,-1,  0.075,  0.075,  0.150, -0.250,  0.250\n";

struct Study {
    TempDir dir;
    std::string hbu = dir.File("study.hbu");
    std::string dra = dir.File("study.dra");
    std::string con = dir.File("study.con");
    std::string tied = dir.File("study_tiedraws.hbu");
    std::string csv = dir.File("study_tiedraws.csv");

    Study(const std::string& hbuText, const std::string& drawsText, const std::string& constraints) {
        WriteFileText(hbu, hbuText);
        WriteFileText(dra, drawsText);
        WriteFileText(con, constraints);
    }
    TieDrawsOutcome Run() const { return TieDraws(hbu, dra, con); }
    std::string FailureOf() const {
        try {
            Run();
        } catch (const OmbrelError& failure) {
            return failure.what();
        }
        return "(no failure)";
    }
    bool NoOutput() const { return !std::filesystem::exists(tied) && !std::filesystem::exists(csv); }
};

TEST(TieDraws, WritesTheTiedFilesAndTheReportByteForByte) {
    // Respondent 101: draw 1 ties levels 1 and 2 (0.2 < 0.5) to 0.35 and zeroes the positive
    // coefficient; draw 2 violates nothing. Respondent 102: draw 1 ties 0.1 and 0.2 to 0.15; in draw 2
    // level 2 leads by exactly 0.0001, which is not a violation.
    Study study(kHbu, kDraws, "1 1 2\n2 -1 0\n");
    const TieDrawsOutcome outcome = study.Run();
    EXPECT_EQ(ReadFileText(study.tied), kTied);
    EXPECT_EQ(ReadFileText(study.csv), kSpreadsheet);
    EXPECT_EQ(
        outcome.report,
        "Enforcing constraints by tying draws\n---------------------------------------------\nStudy file: " +
            study.hbu +
            "\n\nThere were 2 draws per respondent.\nThere were 2 respondents processed.\n\n"
            "Order Violations Fixed:\nAtt\tLevel\t\tLevel\t%Violations\n1\t1\t<\t2\t50\n2\tcoef.\t>\t0\t25"
            "\n\nAverage Percent =   37.50\nAverage per Draw =    0.75");
    EXPECT_EQ(outcome.drawsPerRespondent, 2);
    EXPECT_EQ(outcome.respondentCount, 2);
    EXPECT_EQ(outcome.violations, (std::vector<int64_t>{2, 1}));
    EXPECT_EQ(ReportForDialog("a\nb\n"), "a\r\nb\r\n");
}

TEST(TieDraw, TiesTheWholeRangeBetweenTheTwoLevels) {
    TieDrawsModel model{{3, 1}, {1, -1}, {0, 3}, 5};
    std::vector<double> draw = {0.5, 0.2, 0.9, -1.0, 7.0};
    TieDraw(model, {{1, 1, 2}}, draw.data());
    EXPECT_EQ(draw, (std::vector<double>{0.5, 0.2, 0.9, -1.0, 7.0}));
    draw = {0.2, 0.5, 0.9, -1.0, 7.0};
    TieDraw(model, {{1, 1, 2}}, draw.data());
    EXPECT_DOUBLE_EQ(draw[0], 0.35);
    EXPECT_DOUBLE_EQ(draw[1], 0.35);
    EXPECT_EQ(draw[2], 0.9);
    draw = {0.1, 0.4, 0.7, -1.0, 7.0};
    TieDraw(model, {{1, 1, 3}, {2, 1, 0}}, draw.data());
    for (int k = 0; k < 3; ++k) EXPECT_DOUBLE_EQ(draw[k], 0.4);
    EXPECT_EQ(draw[3], 0.0);
    EXPECT_EQ(draw[4], 7.0);  // None is never touched
    std::vector<int64_t> counters;
    const std::vector<double> exact = {0.0, 0.0001, 0.0, 0.0, 0.0};  // leads by exactly 0.0001
    CountDrawViolations(model, {{1, 1, 2}, {2, -1, 0}}, exact.data(), counters);
    EXPECT_EQ(counters, (std::vector<int64_t>{0, 0}));
}

TEST(TieDraws, ReportsViolationPercentagesPerConstraint) {
    // 100 respondents, 3 draws each; constraint 2 is violated in 30 draws: 10 percent.
    std::string draws;
    for (int r = 1; r <= 100; ++r) {
        for (int d = 0; d < 3; ++d) {
            const bool violate = r <= 30 && d == 0;
            draws += Format("%7d %7d  0 5 -1\n 0.3 0.2 %s 0.1 0.0\n", r, 500, violate ? "0.9" : "0.1");
        }
    }
    Study study(kHbu, draws, "1 1 2\n1 2 3\n2 1 0\n");
    const TieDrawsOutcome outcome = study.Run();
    EXPECT_NE(outcome.report.find("\n1\t1\t<\t2\t0\n1\t2\t<\t3\t10\n2\tcoef.\t<\t0\t0\n"), std::string::npos)
        << outcome.report;
    EXPECT_NE(outcome.report.find("Average Percent =    3.33\nAverage per Draw =    0.10"),
              std::string::npos);
}

TEST(TieDraws, ASingleRespondentsRecordsAreAllItsDraws) {
    Study study(kHbu, kDraws.substr(0, kDraws.find("    102")), "1 1 2\n");
    const TieDrawsOutcome outcome = study.Run();
    EXPECT_EQ(outcome.drawsPerRespondent, 2);
    EXPECT_EQ(outcome.respondentCount, 1);
    EXPECT_EQ(ReadFileText(study.tied),
              kHeader + "101 700 0 5 -1\n  0.475   0.225  -0.700   0.050   1.500 \n");
}

TEST(TieDraws, WithoutConstraintsAveragesAndReportsZero) {
    Study study(kHbu, kDraws, "");
    const TieDrawsOutcome outcome = study.Run();
    EXPECT_NE(outcome.report.find("Average Percent =    0.00\nAverage per Draw =    0.00"),
              std::string::npos);
    EXPECT_NE(ReadFileText(study.tied).find("101 700 0 5 -1\n  0.400   0.300  -0.700   0.050   1.500 \n"),
              std::string::npos);
}

TEST(TieDraws, SkipsAttributesThatAreNotEstimatedWhenPlacingValues) {
    // Attribute 1 is not estimated: its 4 levels have no values; attribute 2's values come first.
    const std::string header = "2 0 3 1 1\n4 3 \n0 0 \n0 1 \n2 1 a\n2 2 b\n2 3 c\n";
    Study study(header, "1 1 0 3 0\n0.1 0.5 0.0\n", "2 1 2\n");
    study.Run();
    EXPECT_EQ(ReadFileText(study.tied), header + "1 1 0 3 0\n  0.300   0.300   0.000 \n");
}

TEST(TieDraws, BreaksTheValueLinesBeforeEveryEleventhValue) {
    const std::string header = "1 0 12 1 1\n12 \n1 \n" + [] {
        std::string labels;
        for (int k = 1; k <= 12; ++k) labels += Format("1 %d L%d\n", k, k);
        return labels;
    }();
    std::string draw = "5 900 0 12 0\n";
    for (int k = 1; k <= 12; ++k) draw += Format("%d ", k);
    Study study(header, draw, "");
    study.Run();
    EXPECT_EQ(
        ReadFileText(study.tied),
        header +
            "5 900 0 12 0\n  1.000   2.000   3.000   4.000   5.000   6.000   7.000   8.000   9.000  10.000 \n"
            " 11.000  12.000 \n");
}

TEST(TieDraws, RefusesBrokenPartWorthHeaders) {
    EXPECT_EQ(Study("2 1 5 1 1\n3 \n", kDraws, "").FailureOf(), "The <studyname>.hbu file is incomplete.");
    EXPECT_EQ(Study("2 1 5 1 1\n3 1 \n1 0 \n", kDraws, "").FailureOf(),
              "The <studyname>.hbu file is incomplete.");
    EXPECT_EQ(Study("2 1 7 1 1\n3 1 \n1 1 \n0 -1 \n", "garbage", "").FailureOf(),
              "The <studyname>.hbu file includes interactions.  Tying draws only works with main effects.");
    Study truncatedLabels("2 1 5 1 1\n3 1 \n1 0 \n0 -1 \n1 1 Low\n", kDraws, "");
    EXPECT_EQ(truncatedLabels.FailureOf(),
              "The part-worth file " + truncatedLabels.hbu + " ends after 1 of its 5 label lines.");
    EXPECT_TRUE(truncatedLabels.NoOutput());
    Study noHeader("", kDraws, "");
    EXPECT_EQ(noHeader.FailureOf(),
              "The part-worth file " + noHeader.hbu + " does not start with a header line of five numbers.");
    Study wrongCount("2 1 6 1 1\n3 1 \n1 0 \n0 -1 \n", kDraws, "");
    EXPECT_EQ(wrongCount.FailureOf(), "The part-worth file " + wrongCount.hbu +
                                          " gives 6 values per respondent, but its attributes have 5.");
}

TEST(TieDraws, RefusesConstraintsWithTheConstraintFileMessages) {
    EXPECT_EQ(Study(kHbu, kDraws, "0 1 2\n").FailureOf(),
              "The <studyname>.con file specifies an attribute (0) that is out of range.");
    EXPECT_EQ(Study(kHbu, kDraws, "1 1 0\n").FailureOf(),
              "The <studyname>.con file specifies a constraint for a linear attribute, but the attribute (1) "
              "is not "
              "linear.");
    EXPECT_EQ(
        Study(kHbu, kDraws, "2 1 1\n").FailureOf(),
        "The <studyname>.con file specifies a constraint for attribute 2 where a level is prohibited with "
        "itself.");
}

TEST(TieDraws, RefusesBrokenDrawsFilesAndLeavesNoOutput) {
    const std::string first = kDraws.substr(0, kDraws.find("    102"));
    Study empty(kHbu, "  \n", "1 1 2\n");
    EXPECT_EQ(empty.FailureOf(), "The draws file " + empty.dra + " holds no draws.");
    EXPECT_TRUE(empty.NoOutput());
    EXPECT_EQ(Study(kHbu, "    101     654  0 5 -1\n 0.1 0.2\n", "").FailureOf(),
              "Incomplete <studyname>.dra file.");
    // The second respondent ends after one draw, inside a header, or inside its values.
    EXPECT_EQ(Study(kHbu, first + "102 500 0 5 -1\n1 2 3 4 5\n", "").FailureOf(),
              "The <studyname>.dra file is incomplete.");
    EXPECT_EQ(Study(kHbu, first + "102 500 0 5 -1\n1 2 3 4 5\n102 500 0", "").FailureOf(),
              "The <studyname>.dra file is incomplete.");
    Study cut(kHbu, first + "102 500 0 5 -1\n1 2 3 4 5\n102 500 0 5 -1\n1 2", "");
    EXPECT_EQ(cut.FailureOf(), "The <studyname>.dra file encountered an error while reading respondent 102");
    EXPECT_TRUE(cut.NoOutput());
    Study wide(kHbu, first + "102 500 0 6 -1\n1 2 3 4 5 6\n102 500 0 6 -1\n1 2 3 4 5 6\n", "");
    EXPECT_EQ(wide.FailureOf(),
              "The draws file " + wide.dra +
                  " holds a draw of respondent 102 with 6 values, but the part-worth file has 5 "
                  "values per respondent.");
    EXPECT_TRUE(wide.NoOutput());
    Study uneven(kHbu, first + "102 500 0 5 -1\n1 2 3 4 5\n103 500 0 5 -1\n1 2 3 4 5\n", "");
    EXPECT_EQ(uneven.FailureOf(),
              "The draws file " + uneven.dra +
                  " holds 1 draws of respondent 102, but the first respondent has 2; every "
                  "respondent must have the same number of draws.");
    Study longer(kHbu, kDraws + "102 500 0 5 -1\n1 2 3 4 5\n102 500 0 5 -1\n1 2 3 4 5\n", "");
    EXPECT_EQ(longer.FailureOf(),
              "The draws file " + longer.dra +
                  " holds more than 2 draws of respondent 102; every respondent must have the "
                  "same number of draws.");
    Study infinite(kHbu, "1 500 0 5 -1\n1 2 inf 4 5\n", "");
    EXPECT_EQ(infinite.FailureOf(), "The draws file " + infinite.dra +
                                        " holds a value for respondent 1 that is not a finite number.");
}

TEST(TieDraws, AFailedRunLeavesAnEarlierResultAsItWas) {
    Study study(kHbu, "1 500 0 5 -1\n1 2", "");
    WriteFileText(study.tied, "earlier");
    EXPECT_NE(study.FailureOf(), "(no failure)");
    EXPECT_EQ(ReadFileText(study.tied), "earlier");
    EXPECT_FALSE(std::filesystem::exists(study.csv));
}

TEST(TieDraws, NamesFilesThatCannotBeOpened) {
    Study study(kHbu, kDraws, "");
    std::filesystem::remove(study.con);
    EXPECT_EQ(study.FailureOf(), "Cannot open " + study.con);
    std::filesystem::remove(study.dra);
    EXPECT_EQ(study.FailureOf(), "Cannot open " + study.dra);
    EXPECT_TRUE(study.NoOutput());
    const std::string missingFolder = study.dir.File("nowhere/x.hbu");
    EXPECT_THROW(TieDraws(missingFolder, study.dra, study.con), OmbrelError);
}

TEST(RunTieDraws, RefusesANameWithoutHbuAndShowsFailures) {
    TempDir dir;
    ScriptedMessenger messenger;
    std::string report;
    const std::string input = dir.File("study.txt");
    WriteFileText(input, kHbu);
    EXPECT_FALSE(RunTieDraws(" " + input + " ", dir.File("a.dra"), dir.File("a.con"), messenger, report));
    ASSERT_EQ(messenger.Entries().size(), 1u);
    EXPECT_EQ(messenger.Entries()[0].text,
              "The name of the part-worth file " + input +
                  " does not contain \".hbu\", so the tied file would replace it.");
    EXPECT_EQ(ReadFileText(input), kHbu);

    Study study(kHbu, kDraws, "1 1 2\n");
    EXPECT_TRUE(RunTieDraws(study.hbu + "  ", " " + study.dra, study.con, messenger, report));
    EXPECT_EQ(report.rfind("Enforcing constraints by tying draws", 0), 0u);
    EXPECT_EQ(messenger.Entries().size(), 1u);
}

std::string TextOf(const MemoryByteSink& sink) {
    return std::string(sink.Bytes().begin(), sink.Bytes().end());
}

const std::string kPartWorthName = "m.hbu";
const std::string kDrawsName = "m.dra";
const std::string kConstraintsName = "m.con";

TEST(TieDrawsFromText, TiesTextsInMemory) {
    MemoryTextSource partWorths(kHbu);
    MemoryDrawsText draws(kDraws);
    MemoryTextSource constraints("1 1 2\n2 -1 0\n");
    MemoryByteSink tied;
    MemoryByteSink spreadsheet;
    const TieDrawsOutcome outcome = TieDrawsFromText(
        {kPartWorthName, partWorths, kDrawsName, draws, kConstraintsName, constraints}, tied, spreadsheet);
    EXPECT_EQ(TextOf(tied), kTied);
    EXPECT_EQ(TextOf(spreadsheet), kSpreadsheet);
    EXPECT_EQ(outcome.report.rfind("Enforcing constraints by tying draws\n"
                                   "---------------------------------------------\nStudy file: m.hbu\n\n"
                                   "There were 2 draws per respondent.\nThere were 2 respondents processed.",
                                   0),
              0u);
    EXPECT_EQ(outcome.violations, (std::vector<int64_t>{2, 1}));
    EXPECT_TRUE(outcome.tiedPath.empty());
    EXPECT_TRUE(outcome.spreadsheetPath.empty());
}

// Every pass over the draws fails once its text is handed out.
class FailingDrawsText final : public DrawsText {
public:
    explicit FailingDrawsText(std::string text) : text_(std::move(text)) {}
    TextSource& FromStart() override { return source_.emplace(text_); }

private:
    std::string text_;
    std::optional<test::FailingTextSource> source_;
};

TEST(TieDrawsFromText, TellsAReadErrorOfEachInputFromItsEnd) {
    MemoryByteSink tied;
    MemoryByteSink spreadsheet;
    const auto failureOf = [&](TextSource& partWorths, DrawsText& draws, TextSource& constraints) {
        return test::FailureMessage([&] {
            TieDrawsFromText({kPartWorthName, partWorths, kDrawsName, draws, kConstraintsName, constraints},
                             tied, spreadsheet);
        });
    };
    {
        test::FailingTextSource partWorths(kHbu);
        MemoryDrawsText draws(kDraws);
        MemoryTextSource constraints("1 1 2\n");
        EXPECT_EQ(failureOf(partWorths, draws, constraints), "The part-worth file m.hbu could not be read.");
    }
    {
        MemoryTextSource partWorths(kHbu);
        MemoryDrawsText draws(kDraws);
        test::FailingTextSource constraints("1 1 2\n");
        EXPECT_EQ(failureOf(partWorths, draws, constraints), "The constraints file m.con could not be read.");
    }
    {
        MemoryTextSource partWorths(kHbu);
        FailingDrawsText draws(kDraws);
        MemoryTextSource constraints("1 1 2\n");
        EXPECT_EQ(failureOf(partWorths, draws, constraints), "The draws file m.dra could not be read.");
    }
}

}  // namespace
}  // namespace ombrel
