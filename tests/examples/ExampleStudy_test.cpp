// The bundled example study (examples/coffee) with its true part-worths (coffee_truth.hbu) in place of
// the results: the truth must read as a part-worth file of the study, agree with the truth table,
// have the spreads the table states, and explain the simulated choices as a logit model does.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/AnalysisStudy.h"
#include "analysis/ChoiceData.h"
#include "analysis/Holdout.h"
#include "analysis/Importances.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

const std::string kExample = std::string(OMBREL_SOURCE_DIR) + "/examples/coffee/";
constexpr int kRespondents = 300;
constexpr int kTasks = 14;

// The example copied into a folder of its own, the truth as its part-worth file.
class ExampleStudy : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* extension : {".att", ".cho", ".sub", ".val"})
            std::filesystem::copy_file(kExample + "coffee" + extension,
                                       dir_.File(std::string("coffee") + extension));
        std::filesystem::copy_file(kExample + "coffee_truth.hbu", dir_.File("coffee.hbu"));
        loaded_ = LoadAnalysisStudy(study_);
    }

    test::TempDir dir_;
    StudyFiles study_ = *StudyFiles::ForDataFile(dir_.File("coffee.cho"));
    AnalysisStudy loaded_;
};

struct TruthRow {
    std::string label;
    double populationMean, populationSd, respondentMean, respondentSd;
};

std::vector<TruthRow> ReadTruthTable() {
    std::ifstream in(kExample + "coffee_truth.csv");
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "attribute,level,label,population_mean,population_sd,respondent_mean,respondent_sd");
    std::vector<TruthRow> rows;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::stringstream split(line);
        for (std::string field; std::getline(split, field, ',');) fields.push_back(field);
        EXPECT_EQ(fields.size(), 7u) << line;
        if (fields.size() != 7) continue;
        rows.push_back({fields[2], std::stod(fields[3]), std::stod(fields[4]), std::stod(fields[5]),
                        std::stod(fields[6])});
    }
    return rows;
}

TEST_F(ExampleStudy, TheTruthReadsAsTheStudysPartWorthsWithEveryAttributeZeroSum) {
    const PartWorthLayout& layout = loaded_.partWorths.layout;
    ASSERT_EQ(loaded_.partWorths.respondents.size(), static_cast<size_t>(kRespondents));
    EXPECT_EQ(layout.valueCount, 19);
    EXPECT_EQ(layout.noneIndex, 18);
    EXPECT_EQ(layout.labels.front(), "Kaffa Roasters");
    EXPECT_EQ(layout.labels[17], "No certification");
    std::vector<std::string> attributeLabels;
    for (const AnalysisAttribute& attribute : loaded_.attributes) attributeLabels.push_back(attribute.label);
    EXPECT_EQ(attributeLabels,
              (std::vector<std::string>{"Brand", "Price", "Roast", "Grind", "Certification"}));
    // Effects-coded: each attribute's levels sum to zero, up to the rounding of five values to 0.001.
    for (const RespondentPartWorths& respondent : loaded_.partWorths.respondents) {
        for (size_t a = 0; a < loaded_.attributes.size(); ++a) {
            double sum = 0.0;
            for (int l = 0; l < layout.levels[a]; ++l) sum += respondent.values[layout.valueStart[a] + l];
            EXPECT_NEAR(sum, 0.0, 0.0026)
                << "respondent " << respondent.respondent << ", attribute " << a + 1;
        }
    }
}

TEST_F(ExampleStudy, TheTruthTableSummarisesTheTruePartWorthsAndTheirSpreadsAreTheStatedOnes) {
    const std::vector<TruthRow> rows = ReadTruthTable();
    const std::vector<LevelSummary> levels = SummarisePartWorths(loaded_);
    ASSERT_EQ(rows.size(), levels.size());
    for (size_t k = 0; k < rows.size(); ++k) {
        SCOPED_TRACE(rows[k].label);
        EXPECT_EQ(rows[k].label, levels[k].label);
        // The table is taken before the part-worth file rounds the values to 0.001.
        EXPECT_NEAR(rows[k].respondentMean, levels[k].mean, 0.0006);
        EXPECT_NEAR(rows[k].respondentSd, levels[k].sd, 0.0006);
        // 300 draws of a normal population: the sample mean lies within 4 standard errors sd / sqrt(n)
        // of the population mean, and the sample sd within 4 standard errors sd / sqrt(2 (n - 1)).
        EXPECT_NEAR(levels[k].mean, rows[k].populationMean,
                    4.0 * rows[k].populationSd / std::sqrt(kRespondents));
        EXPECT_NEAR(levels[k].sd, rows[k].populationSd,
                    4.0 * rows[k].populationSd / std::sqrt(2.0 * (kRespondents - 1)));
        // Spreads of the size choice studies report and the default prior (variance 2) expects.
        EXPECT_GE(rows[k].populationSd, 0.8);
        EXPECT_LE(rows[k].populationSd, 1.5);
    }
}

// Every respondent of the example's data file, whose five attributes every concept has.
std::vector<ChoiceRespondent> ReadExampleData(const StudyFiles& study) {
    std::unique_ptr<TextSource> source = OpenStudyData(study);
    return ReadChoiceData(*source, study.DataFile(), DataKind::Choice, 5);
}

// The 0-based alternative a discrete-choice task's answers mark as chosen (the None alternative last).
size_t ChosenAlternative(const ChoiceTask& task) {
    return static_cast<size_t>(std::find(task.answers.begin(), task.answers.end(), 1.0) -
                               task.answers.begin());
}

TEST_F(ExampleStudy, TheChoicesFollowTheLogitOfTheTruePartWorths) {
    const std::vector<ChoiceRespondent> data = ReadExampleData(study_);
    ASSERT_EQ(data.size(), static_cast<size_t>(kRespondents));
    double hits = 0.0, expectedHits = 0.0, hitVariance = 0.0;
    double noneChoices = 0.0, expectedNone = 0.0, noneVariance = 0.0;
    for (size_t r = 0; r < data.size(); ++r) {
        const RespondentPartWorths& truth = loaded_.partWorths.respondents[r];
        ASSERT_EQ(truth.respondent, data[r].respondent);
        ASSERT_EQ(data[r].tasks.size(), static_cast<size_t>(kTasks));
        double logLikelihood = 0.0;
        for (const ChoiceTask& task : data[r].tasks) {
            std::vector<double> utilities;
            for (const std::vector<double>& numbers : task.concepts)
                utilities.push_back(ConceptUtility(loaded_, CodeDataConcept(loaded_, numbers), truth.values));
            utilities.push_back(NoneUtility(loaded_, truth.values));
            ASSERT_LT(ChosenAlternative(task), utilities.size()) << "every task of the example is answered";
            double sum = 0.0;
            for (double utility : utilities) sum += std::exp(utility);
            size_t best = 0;
            for (size_t k = 1; k < utilities.size(); ++k) best = utilities[k] > utilities[best] ? k : best;
            const double pBest = std::exp(utilities[best]) / sum;
            const double pNone = std::exp(utilities.back()) / sum;
            hits += ChosenAlternative(task) == best ? 1.0 : 0.0;
            expectedHits += pBest;
            hitVariance += pBest * (1.0 - pBest);
            noneChoices += ChosenAlternative(task) + 1 == utilities.size() ? 1.0 : 0.0;
            expectedNone += pNone;
            noneVariance += pNone * (1.0 - pNone);
            if (task.number != 5 && task.number != 10)
                logLikelihood += std::log(std::exp(utilities[ChosenAlternative(task)]) / sum);
        }
        // The header's root likelihood is that of the 12 estimation tasks; utilities from values
        // rounded to 0.001 move it by at most about 0.005.
        EXPECT_NEAR(truth.rlh, std::exp(logLikelihood / 12.0), 0.005) << "respondent " << truth.respondent;
    }
    // Counts of independent choices against their logit expectations, within 4 standard deviations.
    EXPECT_NEAR(hits, expectedHits, 4.0 * std::sqrt(hitVariance));
    EXPECT_NEAR(noneChoices, expectedNone, 4.0 * std::sqrt(noneVariance));
}

TEST_F(ExampleStudy, TasksFiveAndTenAreHoldoutsTheSameForEveryRespondent) {
    const HoldoutResult holdout = ComputeHoldout(study_, loaded_);
    ASSERT_FALSE(holdout.nothingToHoldOut) << holdout.nothingReason;
    ASSERT_EQ(holdout.tasks.size(), 2u);
    EXPECT_EQ(holdout.tasks[0].task, 5);
    EXPECT_EQ(holdout.tasks[1].task, 10);
    EXPECT_EQ(holdout.all.respondents, 2 * kRespondents);
    const std::vector<ChoiceRespondent> data = ReadExampleData(study_);
    for (const ChoiceRespondent& respondent : data) {
        for (int task : {5, 10}) {
            EXPECT_EQ(respondent.tasks[task - 1].concepts, data.front().tasks[task - 1].concepts)
                << "respondent " << respondent.respondent << ", task " << task;
        }
    }
    // The random tasks differ between respondents.
    EXPECT_NE(data[0].tasks[0].concepts, data[1].tasks[0].concepts);
}

}  // namespace
}  // namespace ombrel
