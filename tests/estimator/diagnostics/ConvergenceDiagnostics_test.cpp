#include "estimator/diagnostics/ConvergenceDiagnostics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "estimator/diagnostics/Autocovariance.h"
#include "estimator/diagnostics/NormalQuantile.h"

namespace ombrel {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// One data set of diagnostics_reference.txt, which make_reference.R wrote with R's posterior 1.4.
struct ReferenceCase {
    std::string name;
    int chains = 0;
    std::vector<double> draws;  // chain after chain
    ConvergenceMeasures expected;
};

double ParseValue(const std::string& text) { return text == "NA" ? kNaN : std::stod(text); }

std::vector<ReferenceCase> ReadReference() {
    std::ifstream in(std::string(OMBREL_SOURCE_DIR) +
                     "/tests/estimator/diagnostics/diagnostics_reference.txt");
    std::vector<ReferenceCase> cases;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string key;
        fields >> key;
        std::string value;
        if (key == "dataset") {
            cases.emplace_back();
            fields >> cases.back().name >> cases.back().chains;
        } else if (key == "chain") {
            while (fields >> value) cases.back().draws.push_back(ParseValue(value));
        } else if (fields >> value && !cases.empty()) {
            ConvergenceMeasures& e = cases.back().expected;
            if (key == "mean") e.mean = ParseValue(value);
            if (key == "sd") e.sd = ParseValue(value);
            if (key == "rhat") e.rhat = ParseValue(value);
            if (key == "ess_bulk") e.essBulk = ParseValue(value);
            if (key == "ess_tail") e.essTail = ParseValue(value);
        }
    }
    return cases;
}

void ExpectClose(double expected, double actual, const std::string& what) {
    if (std::isnan(expected)) {
        EXPECT_TRUE(std::isnan(actual)) << what << " is " << actual << ", R gives NA";
        return;
    }
    const double scale = std::max(std::fabs(expected), 1e-300);
    EXPECT_LE(std::fabs(actual - expected) / scale, 1e-6) << what << ": " << actual << " vs R's " << expected;
}

TEST(ConvergenceDiagnostics, AgreesWithPosteriorOnEveryReferenceDataSet) {
    const std::vector<ReferenceCase> cases = ReadReference();
    ASSERT_EQ(cases.size(), 15u);
    ConvergenceWorkspace workspace;
    for (const ReferenceCase& c : cases) {
        ASSERT_FALSE(c.draws.empty()) << c.name;
        const ConvergenceMeasures m = workspace.Measure(c.draws, c.chains);
        ExpectClose(c.expected.mean, m.mean, c.name + " mean");
        ExpectClose(c.expected.sd, m.sd, c.name + " sd");
        ExpectClose(c.expected.rhat, m.rhat, c.name + " rhat");
        ExpectClose(c.expected.essBulk, m.essBulk, c.name + " bulk ESS");
        ExpectClose(c.expected.essTail, m.essTail, c.name + " tail ESS");
        // The single measures take the same path.
        ExpectClose(c.expected.rhat, workspace.Rhat(c.draws, c.chains), c.name + " Rhat()");
        ExpectClose(c.expected.essBulk, workspace.BulkEss(c.draws, c.chains), c.name + " BulkEss()");
    }
}

std::vector<double> Normals(std::size_t count, unsigned seed) {
    std::mt19937_64 generator(seed);
    std::vector<double> values(count);
    // A Box-Muller pair from the raw generator: the same values with every standard library.
    for (std::size_t i = 0; i < count; i += 2) {
        const double u1 = (static_cast<double>(generator() >> 11) + 0.5) / 9007199254740992.0;
        const double u2 = static_cast<double>(generator() >> 11) / 9007199254740992.0;
        const double r = std::sqrt(-2.0 * std::log(u1));
        values[i] = r * std::cos(6.283185307179586 * u2);
        if (i + 1 < count) values[i + 1] = r * std::sin(6.283185307179586 * u2);
    }
    return values;
}

TEST(ConvergenceDiagnostics, UndefinedMeasuresAreNaN) {
    ConvergenceWorkspace workspace;
    const std::vector<double> constant(300, 2.5);
    ConvergenceMeasures m = workspace.Measure(constant, 3);
    EXPECT_EQ(m.mean, 2.5);
    EXPECT_EQ(m.sd, 0.0);
    EXPECT_TRUE(std::isnan(m.rhat) && std::isnan(m.essBulk) && std::isnan(m.essTail));

    // Chains of three draws leave halves of one: no R-hat, no ESS.
    m = workspace.Measure(Normals(12, 1), 4);
    EXPECT_TRUE(std::isnan(m.rhat) && std::isnan(m.essBulk) && std::isnan(m.essTail));
    // One draw per chain is not split and still too short.
    EXPECT_TRUE(std::isnan(workspace.Rhat(Normals(4, 2), 4)));
    // Halves of two draws give R-hat but no ESS.
    m = workspace.Measure(Normals(8, 3), 2);
    EXPECT_TRUE(std::isfinite(m.rhat));
    EXPECT_TRUE(std::isnan(m.essBulk) && std::isnan(m.essTail));

    m = workspace.Measure(std::vector<double>{}, 2);
    EXPECT_TRUE(std::isnan(m.mean) && std::isnan(m.rhat) && std::isnan(m.essBulk) && std::isnan(m.essTail));

    for (double bad : {kNaN, std::numeric_limits<double>::infinity()}) {
        std::vector<double> draws = Normals(400, 4);
        draws[17] = bad;
        m = workspace.Measure(draws, 2);
        EXPECT_TRUE(std::isnan(m.rhat) && std::isnan(m.essBulk) && std::isnan(m.essTail)) << bad;
        EXPECT_TRUE(std::isnan(workspace.Rhat(draws, 2)) && std::isnan(workspace.BulkEss(draws, 2)));
    }
}

TEST(ConvergenceDiagnostics, DrawsThatDoNotDivideIntoTheChainsAreRefused) {
    ConvergenceWorkspace workspace;
    const std::vector<double> draws = Normals(10, 5);
    EXPECT_THROW(workspace.Measure(draws, 3), std::invalid_argument);
    EXPECT_THROW(workspace.Rhat(draws, 0), std::invalid_argument);
    EXPECT_THROW(workspace.BulkEss(draws, -2), std::invalid_argument);
}

TEST(ConvergenceDiagnostics, RankMeasuresIgnoreMonotoneTransforms) {
    ConvergenceWorkspace workspace;
    const std::vector<double> draws = Normals(3 * 401, 6);
    std::vector<double> exponential = draws;
    std::vector<double> affine = draws;
    for (double& x : exponential) x = std::exp(x);
    for (double& x : affine) x = 4.0 * x - 7.0;
    const ConvergenceMeasures original = workspace.Measure(draws, 3);
    const ConvergenceMeasures transformed = workspace.Measure(exponential, 3);
    EXPECT_EQ(original.essBulk, transformed.essBulk);
    EXPECT_EQ(original.essTail, transformed.essTail);
    // The folded R-hat ranks distances from the median, which only an increasing affine map keeps.
    EXPECT_EQ(original.rhat, workspace.Rhat(affine, 3));
    EXPECT_EQ(original.essBulk, workspace.BulkEss(affine, 3));
}

TEST(ConvergenceDiagnostics, ReusedWorkspaceGivesTheResultsOfAFreshOne) {
    const std::vector<double> big = Normals(3 * 1000, 7);
    const std::vector<double> small = Normals(2 * 51, 8);
    std::vector<double> shifting = Normals(4 * 300, 9);
    for (std::size_t i = 0; i < shifting.size(); ++i) shifting[i] += static_cast<double>(i / 300) * 0.8;
    const std::vector<double>& shifted = shifting;
    ConvergenceWorkspace reused;
    for (int round = 0; round < 2; ++round) {
        for (const auto& [draws, chains] :
             {std::pair{&big, 3}, std::pair{&small, 2}, std::pair{&shifted, 4}, std::pair{&big, 1}}) {
            ConvergenceWorkspace fresh;
            const ConvergenceMeasures a = reused.Measure(*draws, chains);
            const ConvergenceMeasures b = fresh.Measure(*draws, chains);
            EXPECT_EQ(a.mean, b.mean);
            EXPECT_EQ(a.sd, b.sd);
            EXPECT_EQ(a.rhat, b.rhat);
            EXPECT_EQ(a.essBulk, b.essBulk);
            EXPECT_EQ(a.essTail, b.essTail);
        }
    }
}

TEST(ConvergenceDiagnostics, UnconvergedChainsShowInRhatAndEss) {
    std::vector<double> draws = Normals(4 * 500, 10);
    ConvergenceWorkspace workspace;
    const ConvergenceMeasures mixed = workspace.Measure(draws, 4);
    EXPECT_LT(mixed.rhat, 1.01);
    EXPECT_GT(mixed.essBulk, 1500.0);
    for (std::size_t i = 1500; i < draws.size(); ++i) draws[i] += 2.0;  // the last chain elsewhere
    const ConvergenceMeasures stuck = workspace.Measure(draws, 4);
    EXPECT_GT(stuck.rhat, 1.3);
    EXPECT_LT(stuck.essBulk, 100.0);
}

// Direct sums of the centred chains, divided by the length, against the lazily summed and the
// transformed lags; a constant chain contributes zero at every lag.
TEST(MeanAutocovariance, EveryLagMatchesTheDirectSum) {
    const std::size_t length = 300;
    std::vector<double> values = Normals(3 * length, 11);
    for (std::size_t i = 1; i < length; ++i) values[i] = 0.8 * values[i - 1] + values[i];
    for (std::size_t i = 2 * length; i < 3 * length; ++i) values[i] = 1.25;
    std::vector<double> expected(length, 0.0);
    for (std::size_t c = 0; c < 2; ++c) {
        const double* x = values.data() + c * length;
        double mean = 0.0;
        for (std::size_t i = 0; i < length; ++i) mean += x[i] / length;
        for (std::size_t k = 0; k < length; ++k) {
            for (std::size_t i = 0; i + k < length; ++i) expected[k] += (x[i] - mean) * (x[i + k] - mean);
        }
    }
    MeanAutocovariance acov;
    acov.Reset(values, 3, length);
    for (std::size_t k = 0; k < length; ++k) {
        EXPECT_NEAR(acov.Lag(k), expected[k] / length / 3, 1e-13 * expected[0]) << "lag " << k;
    }
    EXPECT_EQ(acov.ChainMeans()[2], 1.25);
}

TEST(NormalQuantile, MatchesRsQnorm) {
    // qnorm(p) printed by R 4.2.2 with %.17g.
    const double table[][2] = {{0.025, -1.9599639845400538}, {0.5, 0.0},
                               {0.975, 1.9599639845400536},  {1e-10, -6.3613409024040557},
                               {0.3, -0.52440051270804067},  {0.999999, 4.7534243088170891},
                               {0.075, -1.4395314709384557}, {0.925, 1.4395314709384559}};
    for (const auto& [p, q] : table) EXPECT_DOUBLE_EQ(NormalQuantile(p), q) << p;
    EXPECT_EQ(NormalQuantile(0.0), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(NormalQuantile(1.0), std::numeric_limits<double>::infinity());
    EXPECT_TRUE(std::isnan(NormalQuantile(1.5)));
    EXPECT_TRUE(std::isnan(NormalQuantile(kNaN)));
}

}  // namespace
}  // namespace ombrel
