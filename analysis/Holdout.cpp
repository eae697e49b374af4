#include "analysis/Holdout.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <memory>

#include "analysis/AnalysisText.h"
#include "analysis/ChoiceData.h"
#include "analysis/Simulation.h"
#include "common/AtomicFile.h"
#include "common/OmbrelError.h"
#include "common/StudyFiles.h"
#include "common/TextConversion.h"
#include "prepare/InputFile.h"
#include "prepare/TaskSubset.h"

namespace ombrel {

namespace {

constexpr int kDecimals = 4;
constexpr double kNotAvailable = std::numeric_limits<double>::quiet_NaN();

// Sums over the respondents who answered one task, per alternative: concept positions, and None.
struct TaskTally {
    int respondents = 0;
    double hits = 0.0;
    std::vector<double> predicted;  // percent, per concept position
    std::vector<double> observed;
    double predictedNone = 0.0;
    double observedNone = 0.0;
    bool noneOffered = false;
};

// The alternatives a respondent's answer went to (the most points; in discrete choice, the choice).
std::vector<bool> Chosen(const std::vector<double>& answers) {
    const double most = *std::max_element(answers.begin(), answers.end());
    std::vector<bool> chosen(answers.size());
    for (size_t k = 0; k < answers.size(); ++k) chosen[k] = answers[k] == most;
    return chosen;
}

// One respondent's answer to one task; answers and utilities hold the same alternatives.
void ScoreAnswer(const std::vector<double>& utilities, const std::vector<double>& answers, size_t concepts,
                 bool none, TaskTally& tally) {
    // k alternatives tied for the highest utility and m for the most points: each pair that
    // coincides counts 1 / (k m), which is 1 or 0 for a single choice and a single best.
    const std::vector<bool> best = Highest(utilities);
    const std::vector<bool> chosen = Chosen(answers);
    double both = 0.0;
    for (size_t k = 0; k < utilities.size(); ++k) both += best[k] && chosen[k] ? 1.0 : 0.0;
    tally.hits += both / static_cast<double>(std::count(best.begin(), best.end(), true) *
                                             std::count(chosen.begin(), chosen.end(), true));

    const std::vector<double> shares = RespondentShares(utilities, ShareMethod::ShareOfPreference, 1.0);
    double total = 0.0;
    for (double answer : answers) total += answer;
    if (tally.predicted.size() < concepts) {
        tally.predicted.resize(concepts, 0.0);
        tally.observed.resize(concepts, 0.0);
    }
    for (size_t k = 0; k < concepts; ++k) {
        tally.predicted[k] += shares[k];
        tally.observed[k] += 100.0 * answers[k] / total;
    }
    if (none) {
        tally.predictedNone += shares.back();
        tally.observedNone += 100.0 * answers.back() / total;
        tally.noneOffered = true;
    }
    ++tally.respondents;
}

class HoldoutScorer {
public:
    HoldoutScorer(const StudyFiles& study, const AnalysisStudy& loaded, const TaskSubset& subset,
                  HoldoutResult& result)
        : study_(study), loaded_(loaded), subset_(subset), result_(result) {}

    // Every holdout task of a respondent with part-worths values.
    void ScoreRespondent(const ChoiceRespondent& respondent, const std::vector<double>& values);
    std::map<int, TaskTally>& Tallies() { return tallies_; }

private:
    void ScoreTask(const ChoiceRespondent& respondent, const ChoiceTask& task,
                   const std::vector<double>& values, TaskTally& tally);

    const StudyFiles& study_;
    const AnalysisStudy& loaded_;
    const TaskSubset& subset_;
    HoldoutResult& result_;
    std::map<int, TaskTally> tallies_;  // per holdout task number
};

void HoldoutScorer::ScoreRespondent(const ChoiceRespondent& respondent, const std::vector<double>& values) {
    for (const ChoiceTask& task : respondent.tasks) {
        if (subset_.IsKept(task.number)) continue;
        ScoreTask(respondent, task, values, tallies_[task.number]);
    }
}

void HoldoutScorer::ScoreTask(const ChoiceRespondent& respondent, const ChoiceTask& task,
                              const std::vector<double>& values, TaskTally& tally) {
    double total = 0.0;
    for (double answer : task.answers) total += answer;
    if (!(total > 0.0)) return;  // no choice made, no points given
    const bool modelHasNone = loaded_.partWorths.layout.noneIndex >= 0;
    const size_t concepts = task.concepts.size();
    // None answered where the model has no None utility to predict it with: nothing to score.
    if (respondent.hasNone && !modelHasNone && task.answers.back() > 0.0) {
        ++result_.noneAnswersNotScored;
        return;
    }
    const bool none = respondent.hasNone && modelHasNone;
    std::vector<double> utilities;
    for (const std::vector<double>& numbers : task.concepts) {
        const int refused = LinearCodeOutOfRange(loaded_, numbers);
        if (refused >= 0) {
            throw OmbrelError(Format(
                "The data file %s: respondent %d, task %d holds a level code for the linear attribute %d "
                "that lies outside its levels 0 to %zu.",
                study_.DataFile().c_str(), respondent.respondent, task.number, refused + 1,
                loaded_.attributes[static_cast<size_t>(refused)].levelTexts.size()));
        }
        utilities.push_back(ConceptUtility(loaded_, CodeDataConcept(loaded_, numbers), values));
    }
    if (none) utilities.push_back(NoneUtility(loaded_, values));
    std::vector<double> answers(task.answers.begin(),
                                task.answers.begin() + static_cast<long>(utilities.size()));
    ScoreAnswer(utilities, answers, concepts, none, tally);
}

HoldoutTaskResult Summarise(int taskNumber, const TaskTally& tally) {
    HoldoutTaskResult row{taskNumber, tally.respondents, kNotAvailable, kNotAvailable};
    if (tally.respondents == 0) return row;
    const double n = tally.respondents;
    row.hitRate = 100.0 * tally.hits / n;
    double sum = 0.0;
    for (size_t k = 0; k < tally.predicted.size(); ++k)
        sum += std::fabs(tally.predicted[k] - tally.observed[k]) / n;
    if (tally.noneOffered) sum += std::fabs(tally.predictedNone - tally.observedNone) / n;
    row.shareMae = sum / static_cast<double>(tally.predicted.size() + (tally.noneOffered ? 1 : 0));
    return row;
}

// The subset of the estimation; nothing (and result says why) without a subset file.
bool ReadSubset(const StudyFiles& study, TaskSubset& subset, HoldoutResult& result) {
    std::unique_ptr<TextSource> text = OpenInputText(study.TaskSubset());
    if (!text) {
        result.nothingToHoldOut = true;
        result.nothingReason = Format(
            "The study has no task subset file %s, so every task was used in the "
            "estimation: there is nothing to hold out.",
            study.TaskSubset().c_str());
        return false;
    }
    std::string report;
    subset = ReadTaskSubsetFile(*text, study.TaskSubset(), report);
    return true;
}

// Reads the data once; the part-worth file's respondents are found in it in their order, the others
// (left out by the qualifiers, or without an answer in the estimation tasks) are passed over.
void ScoreData(const StudyFiles& study, const AnalysisStudy& loaded, HoldoutScorer& scorer,
               HoldoutResult& result) {
    const std::vector<RespondentPartWorths>& respondents = loaded.partWorths.respondents;
    const std::unique_ptr<TextSource> text = OpenStudyData(study);
    ChoiceDataReader reader(*text, study.DataFile(), study.Kind(),
                            static_cast<int>(loaded.attributes.size()));
    size_t next = 0;
    for (ChoiceRespondent respondent; reader.Next(respondent);) {
        if (next < respondents.size() && respondents[next].respondent == respondent.respondent) {
            scorer.ScoreRespondent(respondent, respondents[next].values);
            ++next;
        } else {
            ++result.respondentsWithoutPartWorths;
        }
    }
    CheckReadError(*text, study.DataFile());
    if (next < respondents.size()) {
        throw OmbrelError(
            Format("The part-worth file %s holds respondent %d, whom the data file %s does not hold in that "
                   "order; the results belong to other data.  Estimate the study again.",
                   loaded.partWorthPath.c_str(), respondents[next].respondent, study.DataFile().c_str()));
    }
}

}  // namespace

HoldoutResult ComputeHoldout(const StudyFiles& study) {
    return ComputeHoldout(study, LoadAnalysisStudy(study));
}

HoldoutResult ComputeHoldout(const StudyFiles& study, const AnalysisStudy& loaded) {
    HoldoutResult result;
    TaskSubset subset;
    if (!ReadSubset(study, subset, result)) return result;
    HoldoutScorer scorer(study, loaded, subset, result);
    ScoreData(study, loaded, scorer, result);
    if (scorer.Tallies().empty()) {
        result.nothingToHoldOut = true;
        result.nothingReason = Format(
            "The task subset file %s keeps every task of the data, so every task was "
            "used in the estimation: there is nothing to hold out.",
            study.TaskSubset().c_str());
        return result;
    }
    TaskTally all;
    double maeSum = 0.0;
    int answeredTasks = 0;
    for (const auto& [taskNumber, tally] : scorer.Tallies()) {
        result.tasks.push_back(Summarise(taskNumber, tally));
        all.respondents += tally.respondents;
        all.hits += tally.hits;
        if (tally.respondents == 0) continue;
        maeSum += result.tasks.back().shareMae;
        ++answeredTasks;
    }
    result.all = {0, all.respondents,
                  all.respondents > 0 ? 100.0 * all.hits / all.respondents : kNotAvailable,
                  answeredTasks > 0 ? maeSum / answeredTasks : kNotAvailable};
    return result;
}

std::string HoldoutCsv(const HoldoutResult& result) {
    std::string text = "task,hit_rate,share_mae,respondents\n";
    const auto row = [&text](const std::string& task, const HoldoutTaskResult& values) {
        text += task + "," + FixedDecimal(values.hitRate, kDecimals) + "," +
                FixedDecimal(values.shareMae, kDecimals) + "," + std::to_string(values.respondents) + "\n";
    };
    for (const HoldoutTaskResult& task : result.tasks) row(std::to_string(task.task), task);
    row("all", result.all);
    return text;
}

std::string HoldoutTable(const HoldoutResult& result) {
    if (result.nothingToHoldOut) return result.nothingReason + "\n";
    std::string text = Format(
        "Holdout validation: %zu task%s left out of the estimation\n"
        "Hit rate: percent of respondents whose highest-utility alternative is the one chosen\n"
        "(allocation data: the one given the most points).\n"
        "Share MAE: mean absolute difference of predicted and observed shares, in percentage points.\n\n",
        result.tasks.size(), result.tasks.size() == 1 ? "" : "s");
    text += Format("%6s  %11s  %10s  %10s\n", "Task", "Respondents", "Hit rate", "Share MAE");
    const auto row = [&text](const std::string& task, const HoldoutTaskResult& values) {
        text += Format("%6s  %11d  %10s  %10s\n", task.c_str(), values.respondents,
                       FixedDecimal(values.hitRate, 2).c_str(), FixedDecimal(values.shareMae, 2).c_str());
    };
    for (const HoldoutTaskResult& task : result.tasks) row(std::to_string(task.task), task);
    row("all", result.all);
    text +=
        "\nThe row \"all\" gives the hit rate over every task and respondent, and the mean of the tasks' "
        "MAE.\n";
    if (result.respondentsWithoutPartWorths > 0) {
        text +=
            Format("%d respondent%s of the data file without part-worths %s not scored.\n",
                   result.respondentsWithoutPartWorths, result.respondentsWithoutPartWorths == 1 ? "" : "s",
                   result.respondentsWithoutPartWorths == 1 ? "is" : "are");
    }
    if (result.noneAnswersNotScored > 0) {
        text += Format(
            "%d answer%s to the None alternative %s not scored: the study was estimated without None.\n",
            result.noneAnswersNotScored, result.noneAnswersNotScored == 1 ? "" : "s",
            result.noneAnswersNotScored == 1 ? "is" : "are");
    }
    return text;
}

void WriteHoldout(const StudyFiles& study, const HoldoutResult& result) {
    if (!WriteFileAtomically(study.Holdout(), HoldoutCsv(result))) {
        throw OmbrelError(Format("The holdout file %s could not be written.", study.Holdout().c_str()));
    }
}

}  // namespace ombrel
