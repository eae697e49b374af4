// The diagnostics of a real three-chain run (threechains/: the example study "coffee" estimated with
// seeds 1, 2 and 3, 50 preliminary iterations, 20 draws, draw skip 5) against R's posterior package
// (threechains_reference.txt, written by make_threechains_reference.R from the same files).

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "estimator/diagnostics/StudyDiagnostics.h"

namespace ombrel {
namespace {

const std::string kFolder = std::string(OMBREL_SOURCE_DIR) + "/tests/estimator/diagnostics/";

struct ReferenceRow {
    std::string kind;
    int index = 0;
    double values[5] = {};  // mean, sd, rhat, ess_bulk, ess_tail
};

double ReadValue(std::istream& in) {
    std::string word;
    in >> word;
    return word == "NA" ? std::nan("") : std::stod(word);
}

std::vector<ReferenceRow> ReadReference() {
    std::ifstream file(kFolder + "threechains_reference.txt");
    std::vector<ReferenceRow> rows;
    std::string line;
    while (std::getline(file, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream in(line);
        ReferenceRow row;
        in >> row.kind >> row.index;
        for (double& value : row.values) value = ReadValue(in);
        rows.push_back(row);
    }
    return rows;
}

DiagnosticsReport Diagnose() {
    return DiagnoseStudy(*StudyFiles::ForDataFile(kFolder + "threechains/coffee.cho"), 3);
}

void ExpectClose(double expected, double actual, const std::string& what) {
    if (std::isnan(expected)) {
        EXPECT_TRUE(std::isnan(actual)) << what;
    } else {
        EXPECT_NEAR(actual, expected, 1e-6 * std::fabs(expected)) << what;
    }
}

void CompareColumns(int first, int last) {
    const std::vector<ReferenceRow> reference = ReadReference();
    const DiagnosticsReport report = Diagnose();
    ASSERT_EQ(reference.size(), 33u);
    ASSERT_EQ(report.quantities.size(), reference.size());
    const char* names[5] = {"mean", "sd", "rhat", "ess_bulk", "ess_tail"};
    for (size_t q = 0; q < reference.size(); ++q) {
        const QuantityDiagnostics& quantity = report.quantities[q];
        const std::string row = reference[q].kind + " " + std::to_string(reference[q].index);
        EXPECT_EQ(QuantityKindName(quantity.kind), reference[q].kind);
        EXPECT_EQ(quantity.index, reference[q].index);
        const ConvergenceMeasures& m = quantity.measures;
        const double actual[5] = {m.mean, m.sd, m.rhat, m.essBulk, m.essTail};
        for (int column = first; column <= last; ++column)
            ExpectClose(reference[q].values[column], actual[column], row + " " + names[column]);
    }
}

TEST(ThreeChainsReference, RowsLabelsMeansAndSdsMatchPosterior) {
    CompareColumns(0, 1);
    const DiagnosticsReport report = Diagnose();
    EXPECT_EQ(report.seeds, (std::vector<int32_t>{1, 2, 3}));
    EXPECT_EQ(report.drawsPerChain, 20);
    EXPECT_EQ(report.quantities[0].label, "Kaffa Roasters");
    EXPECT_EQ(report.quantities[18].label, "NONE");
    EXPECT_EQ(report.quantities[22].label, "$6.99 per bag");  // variance 4: the first price parameter
    EXPECT_EQ(report.quantities[32].label, "NONE");
}

TEST(ThreeChainsReference, RhatAndEffectiveSampleSizesMatchPosterior) { CompareColumns(2, 4); }

}  // namespace
}  // namespace ombrel
