// The respondent pass on hand-built data whose likelihoods can be computed by hand: with a zero
// population covariance the proposal step is zero, so every candidate equals the current betas.

#include <gtest/gtest.h>

#include <cmath>

#include "common/OmbrelError.h"
#include "estimator/chain/RespondentPass.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using test::Bytes;

// One respondent, betas of two parameters, tasks given as (rows of 2 values, flags, weight).
struct Task {
    std::vector<std::vector<double>> rows;
    std::vector<int32_t> flags;
    double weight;
};

std::vector<unsigned char> Respondent(int32_t number, const std::vector<Task>& tasks) {
    Bytes bytes;
    bytes.I32(number).I32(static_cast<int32_t>(tasks.size()));
    for (const Task& task : tasks) {
        bytes.I32(static_cast<int32_t>(task.rows.size())).I32(2);
        for (size_t r = 0; r < task.rows.size(); ++r)
            bytes.F64(task.rows[r][0]).F64(task.rows[r][1]).I32(task.flags[r]);
        bytes.F64(task.weight);
    }
    return bytes.Get();
}

struct Pass {
    PopulationState population;
    RespondentStore store{2};
    RandomGenerator random;
    RespondentPass updater{2, 1};
    std::unique_ptr<PreparedDataSource> data;

    explicit Pass(const std::vector<unsigned char>& bytes, double betas0 = 0.0, double betas1 = 0.0) {
        population.Resize(2);
        population.covarianceInverse.SetIdentity();
        MemoryByteSource source(bytes);
        data = LoadPreparedDataInMemory(source);
        const double betas[2] = {betas0, betas1};
        store.Append(0, betas, -1e30);
        random.SeedGenerator(1);
    }
    void Run() {
        updater.UpdateRespondents(0.1, false, false, population, *data, store, random, nullptr, nullptr);
    }
};

TEST(PriorDensity, IsTheRowByRowQuadraticForm) {
    SquareMatrix m(2);
    m(0, 0) = 2.0, m(0, 1) = 0.5, m(1, 0) = 0.5, m(1, 1) = 1.0;
    const double betas[2] = {1.0, 2.0};
    const double alpha[2] = {0.0, 1.0};
    // d = (1, 1): 2 + 0.5 + 0.5 + 1 = 4.
    EXPECT_DOUBLE_EQ(PriorDensity(betas, alpha, m), std::exp(-2.0));
}

TEST(RespondentPass, OnlyTheFirstFlaggedRowCountsAndUnflaggedTasksAreIgnored) {
    // Betas (1, 0): utilities are the first column. Task 1 flags rows 2 and 3 (only row 2 counts);
    // task 2 has no flag and changes nothing.
    Pass pass(Respondent(7, {{{{1, 0}, {2, 0}, {0, 0}}, {0, 1, 1}, 0.5}, {{{5, 0}, {0, 0}}, {0, 0}, 3.0}}),
              1.0, 0.0);
    pass.Run();
    const PassStatistics& s = pass.updater.Statistics();
    const double p = std::exp(2.0) / (std::exp(1.0) + std::exp(2.0) + std::exp(0.0));
    EXPECT_DOUBLE_EQ(pass.store.LogLikelihood(0), std::log(std::pow(p, 0.5)));
    EXPECT_DOUBLE_EQ(s.nullLogLikelihood, -std::log(3.0) * 0.5);
    EXPECT_DOUBLE_EQ(s.totalChoiceWeight, 0.5);
    EXPECT_EQ(s.acceptanceRate, 1.0);    // the candidate is the current vector: a = 1
    EXPECT_EQ(pass.store.Number(0), 7);  // the prepared data's number replaces the store's
    EXPECT_DOUBLE_EQ(s.meanBetas[0], 1.0);
    EXPECT_EQ(s.meanBetas, s.averageBetas);  // no constraints
    EXPECT_DOUBLE_EQ(s.parameterRms, std::sqrt(1.0 / 2.0));
    EXPECT_DOUBLE_EQ(s.averageVariance, 0.0);
}

TEST(RespondentPass, UtilitiesAreClampedAndProbabilitiesFloored) {
    // Utility 500 clamps to 100; the chosen row at 0 has P = 1 / (1 + e^100) < 0.00001, floored.
    Pass pass(Respondent(1, {{{{500, 0}, {0, 0}}, {0, 1}, 1.0}}), 1.0, 0.0);
    pass.Run();
    EXPECT_DOUBLE_EQ(pass.store.LogLikelihood(0), std::log(0.00001));
}

TEST(RespondentPass, AVariableCountOtherThanTheParameterCountStopsWithItsMessage) {
    Bytes bytes;
    bytes.I32(42).I32(1).I32(1).I32(3).F64(0).F64(0).F64(0).I32(1).F64(1.0);
    Pass pass(bytes.Get());
    try {
        pass.Run();
        FAIL() << "no message";
    } catch (const OmbrelError& error) {
        EXPECT_STREQ(
            error.what(),
            "For respondent 42, the restart file has a different number of variables (2) than you have "
            "specified for this run (3).  You must either delete the <studyname>.res file, or change the "
            "<studyname>.eff file.");
    }
}

}  // namespace
}  // namespace ombrel
