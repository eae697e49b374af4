#include "estimator/diagnostics/DiagnosticsReport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

constexpr double kNA = std::numeric_limits<double>::quiet_NaN();

QuantityDiagnostics Quantity(QuantityKind kind, int index, const std::string& label, double rhat, double bulk,
                             double tail) {
    return QuantityDiagnostics{
        .kind = kind,
        .index = index,
        .label = label,
        .measures = {.mean = 0.5, .sd = 0.25, .rhat = rhat, .essBulk = bulk, .essTail = tail}};
}

DiagnosticsReport ThreeChains(std::vector<QuantityDiagnostics> quantities) {
    DiagnosticsReport report;
    report.studyName = "coffee";
    report.seeds = {1, 2, 3};
    report.drawsPerChain = 1000;
    report.quantities = std::move(quantities);
    return report;
}

DiagnosticsReport Converged() {
    return ThreeChains({Quantity(QuantityKind::Alpha, 1, "Brand A", 1.0011, 2400.5, 1900.25),
                        Quantity(QuantityKind::Alpha, 2, "Brand B", 1.0025, 800.0, 412.4),
                        Quantity(QuantityKind::Variance, 5, "Brand C", 1.0042, 1500.0, 1200.0)});
}

TEST(DiagnosticsTable, GoldenBytesWithQuotedLabelsAndMissingMeasures) {
    DiagnosticsReport report =
        ThreeChains({QuantityDiagnostics{.kind = QuantityKind::Alpha,
                                         .index = 1,
                                         .label = "Brand A",
                                         .measures = {.mean = 0.581,
                                                      .sd = 0.123456789,
                                                      .rhat = 1.00421234,
                                                      .essBulk = 1234567.0,
                                                      .essTail = 412.0}},
                     Quantity(QuantityKind::Alpha, 2, "$6, \"large\" bag", kNA, kNA, kNA),
                     Quantity(QuantityKind::Alpha, 3, "line\nbreak", 1.5,
                              std::numeric_limits<double>::infinity(), 0.000123456789),
                     Quantity(QuantityKind::Variance, 1, "cr\rhere", 1.0, 10.0, -3.0),
                     Quantity(QuantityKind::Variance, 2, "parameter 2", 1.0, 10.0, 10.0)});
    report.quantities[1].measures.mean = -1.5;
    report.quantities[1].measures.sd = 0.0;
    EXPECT_EQ(DiagnosticsTableText(report),
              "kind,index,label,mean,sd,rhat,ess_bulk,ess_tail\n"
              "alpha,1,Brand A,0.581,0.123457,1.00421,1.23457e+06,412\n"
              "alpha,2,\"$6, \"\"large\"\" bag\",-1.5,0,NA,NA,NA\n"
              "alpha,3,\"line\nbreak\",0.5,0.25,1.5,Inf,0.000123457\n"
              "variance,1,\"cr\rhere\",0.5,0.25,1,10,-3\n"
              "variance,2,parameter 2,0.5,0.25,1,10,10\n");
}

TEST(DiagnosticsTable, CsvFieldsQuoteOnlyWhatRfc4180Needs) {
    EXPECT_EQ(CsvField("Brand A"), "Brand A");
    EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
    EXPECT_EQ(CsvField("\""), "\"\"\"\"");
    EXPECT_EQ(CsvField("a\r\nb"), "\"a\r\nb\"");
    EXPECT_EQ(CsvField(""), "");
}

TEST(DiagnosticsVerdict, AConvergedRun) {
    EXPECT_EQ(VerdictText(Converged()),
              "Convergence diagnostics of coffee\n"
              "Chains: 3 (seeds 1, 2, 3), 1000 draws each\n"
              "Worst R-hat: 1.0042 (variance 5, Brand C)\n"
              "Smallest ESS: 412 (tail, alpha 2, Brand B)\n"
              "Converged: every R-hat is below 1.01 and every bulk and tail ESS is at least 400.\n");
}

TEST(DiagnosticsVerdict, SaysWhatToDoAboutAHighRhatOrALowEss) {
    DiagnosticsReport report = Converged();
    report.quantities[0].measures.rhat = 1.01;
    EXPECT_EQ(VerdictText(report),
              "Convergence diagnostics of coffee\n"
              "Chains: 3 (seeds 1, 2, 3), 1000 draws each\n"
              "Worst R-hat: 1.0100 (alpha 1, Brand A)\n"
              "Smallest ESS: 412 (tail, alpha 2, Brand B)\n"
              "Not converged: the worst R-hat is 1.01 or more; run more preliminary iterations.\n");
    report = Converged();
    report.quantities[2].measures.essBulk = 399.6;
    EXPECT_EQ(
        VerdictText(report),
        "Convergence diagnostics of coffee\n"
        "Chains: 3 (seeds 1, 2, 3), 1000 draws each\n"
        "Worst R-hat: 1.0042 (variance 5, Brand C)\n"
        "Smallest ESS: 399.6 (bulk, variance 5, Brand C)\n"
        "Not converged: the smallest ESS is below 400; save more draws or use a larger draw skip factor.\n");
    report.quantities[1].measures.rhat = 1.2;
    EXPECT_EQ(VerdictText(report),
              "Convergence diagnostics of coffee\n"
              "Chains: 3 (seeds 1, 2, 3), 1000 draws each\n"
              "Worst R-hat: 1.2000 (alpha 2, Brand B)\n"
              "Smallest ESS: 399.6 (bulk, variance 5, Brand C)\n"
              "Not converged: the worst R-hat is 1.01 or more and the smallest ESS is below 400; run more "
              "preliminary iterations, and save more draws or use a larger draw skip factor.\n");
}

TEST(DiagnosticsVerdict, ConstantQuantitiesAreCountedAndLeftOut) {
    DiagnosticsReport report = Converged();
    report.quantities.push_back(Quantity(QuantityKind::Variance, 6, "NONE", kNA, kNA, kNA));
    report.quantities.push_back(Quantity(QuantityKind::Variance, 7, "Red", kNA, 5.0, kNA));
    EXPECT_EQ(
        VerdictText(report),
        "Convergence diagnostics of coffee\n"
        "Chains: 3 (seeds 1, 2, 3), 1000 draws each\n"
        "Worst R-hat: 1.0042 (variance 5, Brand C)\n"
        "Smallest ESS: 5 (bulk, variance 7, Red)\n"
        "Constant quantities: 2 of 5, left out of the worst R-hat and the smallest ESS\n"
        "Not converged: the smallest ESS is below 400; save more draws or use a larger draw skip factor.\n");
    for (QuantityDiagnostics& quantity : report.quantities)
        quantity.measures = {.mean = 0.0, .sd = 0.0, .rhat = kNA, .essBulk = kNA, .essTail = kNA};
    report.seeds = {7};
    EXPECT_EQ(VerdictText(report),
              "Convergence diagnostics of coffee\n"
              "Chains: 1 (seed 7), 1000 draws\n"
              "Constant quantities: 5 of 5, left out of the worst R-hat and the smallest ESS\n"
              "No quantity varies over the draws, so convergence cannot be judged.\n");
}

// A figure rounded to the other side of its threshold would contradict the conclusion under it.
TEST(DiagnosticsVerdict, FiguresNearAThresholdShowTheSideTheyAreOn) {
    DiagnosticsReport report = Converged();
    report.quantities[0].measures.rhat = 1.009996;
    report.quantities[1].measures.essTail = 399.9996;
    const std::string verdict = VerdictText(report);
    EXPECT_NE(verdict.find("Worst R-hat: 1.009996 (alpha 1, Brand A)\n"), std::string::npos) << verdict;
    EXPECT_NE(verdict.find("Smallest ESS: 399.9996 (tail, alpha 2, Brand B)\n"), std::string::npos)
        << verdict;
    report.quantities[0].measures.rhat = 1.01;
    report.quantities[1].measures.essTail = 400.0;
    EXPECT_NE(VerdictText(report).find("Worst R-hat: 1.0100 (alpha 1"), std::string::npos);
    EXPECT_NE(VerdictText(report).find("Smallest ESS: 400 (tail"), std::string::npos);
}

TEST(DiagnosticsVerdict, SeedsFromTheClockAndTheRespondentLine) {
    DiagnosticsReport report = Converged();
    report.seeds = {0, 12};
    report.respondents = RespondentDiagnostics{.valueCount = 4000,
                                               .constantCount = 0,
                                               .aboveThreshold = 130,
                                               .worstRespondent = 17,
                                               .worstLabel = "Brand C",
                                               .worstRhat = 1.03125,
                                               .essCount = 4000,
                                               .smallestEssRespondent = 4,
                                               .smallestEssLabel = "Brand A",
                                               .smallestEss = 35.25};
    EXPECT_EQ(VerdictText(report),
              "Convergence diagnostics of coffee\n"
              "Chains: 2 (seeds from the clock, 12), 1000 draws each\n"
              "Worst R-hat: 1.0042 (variance 5, Brand C)\n"
              "Smallest ESS: 412 (tail, alpha 2, Brand B)\n"
              "Respondent values: 3.2% of 4000 have an R-hat of 1.01 or more; the worst is respondent 17, "
              "Brand C, with 1.0312\n"
              "Smallest respondent bulk ESS: 35 (respondent 4, Brand A)\n"
              "Converged: every R-hat is below 1.01 and every bulk and tail ESS is at least 400.\n");
    report.respondents->constantCount = 3;
    EXPECT_NE(VerdictText(report).find("with 1.0312 (3 constant values left out)\nSmallest"),
              std::string::npos);
    report.respondents = RespondentDiagnostics();
    report.respondents->constantCount = 8;
    EXPECT_NE(VerdictText(report).find("\nRespondent values: none varies over the draws\nConverged"),
              std::string::npos);
}

TEST(DiagnosticsFiles, BothFilesAreWrittenWhole) {
    test::TempDir dir;
    const StudyFiles study = *StudyFiles::ForDataFile(dir.File("coffee.cho"));
    WriteDiagnostics(study, Converged());
    EXPECT_EQ(test::ReadFileText(dir.File("coffee_diagnostics.csv")), DiagnosticsTableText(Converged()));
    EXPECT_EQ(test::ReadFileText(dir.File("coffee.diag")), VerdictText(Converged()));
    const StudyFiles nowhere = *StudyFiles::ForDataFile(dir.File("missing/coffee.cho"));
    EXPECT_EQ(
        test::FailureMessage([&] { WriteDiagnostics(nowhere, Converged()); }),
        "The diagnostics file " + dir.File("missing/coffee_diagnostics.csv") + " could not be created.");
}

}  // namespace
}  // namespace ombrel
