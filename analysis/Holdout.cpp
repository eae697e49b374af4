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
#include "common/TextConversion.h"
#include "prepare/InputFile.h"
#include "prepare/TaskSubset.h"

namespace ombrel {

namespace {

constexpr int kDecimals = 4;
constexpr double kNotAvailable = std::numeric_limits<double>::quiet_NaN();

// The respondents of the data that have part-worths, each with its values; every part-worth
// respondent must be in the data, or the results belong to other data.
struct ScoredRespondent {
    const ChoiceRespondent* data = nullptr;
    const std::vector<double>* values = nullptr;
};

std::vector<ScoredRespondent> MatchRespondents(const StudyFiles& study, const AnalysisStudy& loaded,
                                               const std::vector<ChoiceRespondent>& data,
                                               HoldoutResult& result) {
    std::map<int, const ChoiceRespondent*> byNumber;
    for (const ChoiceRespondent& respondent : data) {
        if (!byNumber.emplace(respondent.respondent, &respondent).second) {
            throw OmbrelError(
                Format("The data file %s holds respondent %d twice; the part-worths cannot be "
                       "matched to the answers.",
                       study.DataFile().c_str(), respondent.respondent));
        }
    }
    std::vector<ScoredRespondent> scored;
    for (const RespondentPartWorths& respondent : loaded.partWorths.respondents) {
        const auto found = byNumber.find(respondent.respondent);
        if (found == byNumber.end()) {
            throw OmbrelError(
                Format("The part-worth file %s holds respondent %d, whom the data file %s does not "
                       "hold; the results belong to other data.  Estimate the study again.",
                       loaded.partWorthPath.c_str(), respondent.respondent, study.DataFile().c_str()));
        }
        scored.push_back({found->second, &respondent.values});
    }
    result.respondentsWithoutPartWorths = static_cast<int>(data.size() - scored.size());
    return scored;
}

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

void ScoreTask(const AnalysisStudy& loaded, const ChoiceTask& task, bool none,
               const std::vector<double>& values, TaskTally& tally) {
    std::vector<double> utilities;
    for (const std::vector<double>& numbers : task.concepts)
        utilities.push_back(ConceptUtility(loaded, CodeDataConcept(loaded, numbers), values));
    if (none) utilities.push_back(NoneUtility(loaded, values));
    const size_t chosen = static_cast<size_t>(task.choice - 1);
    const double best = *std::max_element(utilities.begin(), utilities.end());
    const auto tied = std::count(utilities.begin(), utilities.end(), best);
    if (utilities[chosen] == best) tally.hits += 1.0 / static_cast<double>(tied);

    const std::vector<double> shares = RespondentShares(utilities, ShareMethod::ShareOfPreference, 1.0);
    const size_t concepts = task.concepts.size();
    if (tally.predicted.size() < concepts) {
        tally.predicted.resize(concepts, 0.0);
        tally.observed.resize(concepts, 0.0);
    }
    for (size_t k = 0; k < concepts; ++k) tally.predicted[k] += shares[k];
    if (none) tally.predictedNone += shares.back();
    (chosen < concepts ? tally.observed[chosen] : tally.observedNone) += 100.0;
    tally.noneOffered = tally.noneOffered || none;
    ++tally.respondents;
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

void ScoreTasks(const AnalysisStudy& loaded, const std::vector<ScoredRespondent>& scored,
                const std::vector<int>& holdoutTasks, HoldoutResult& result) {
    const bool modelHasNone = loaded.partWorths.layout.noneIndex >= 0;
    TaskTally all;
    double maeSum = 0.0;
    int answeredTasks = 0;
    for (int taskNumber : holdoutTasks) {
        TaskTally tally;
        for (const ScoredRespondent& respondent : scored) {
            if (taskNumber > static_cast<int>(respondent.data->tasks.size())) continue;
            const ChoiceTask& task = respondent.data->tasks[static_cast<size_t>(taskNumber - 1)];
            const bool noneChosen = task.choice == static_cast<int>(task.concepts.size()) + 1;
            // No choice, or None chosen where the model has no None to predict it: nothing to score.
            if (task.choice == 0 || (noneChosen && !modelHasNone)) continue;
            ScoreTask(loaded, task, respondent.data->hasNone && modelHasNone, *respondent.values, tally);
        }
        result.tasks.push_back(Summarise(taskNumber, tally));
        all.respondents += tally.respondents;
        all.hits += tally.hits;
        if (tally.respondents > 0) {
            maeSum += result.tasks.back().shareMae;
            ++answeredTasks;
        }
    }
    result.all = {0, all.respondents,
                  all.respondents > 0 ? 100.0 * all.hits / all.respondents : kNotAvailable,
                  answeredTasks > 0 ? maeSum / answeredTasks : kNotAvailable};
}

}  // namespace

HoldoutResult ComputeHoldout(const StudyFiles& study) {
    if (!study.IsChoiceData()) {
        throw OmbrelError(
            Format("The study %s has allocation data; a holdout validation needs discrete-choice "
                   "data (.cho), where each task has one choice to predict.",
                   study.DataFile().c_str()));
    }
    return ComputeHoldout(study, LoadAnalysisStudy(study));
}

HoldoutResult ComputeHoldout(const StudyFiles& study, const AnalysisStudy& loaded) {
    HoldoutResult result;
    if (!study.IsChoiceData()) return ComputeHoldout(study);
    TaskSubset subset;
    if (!ReadSubset(study, subset, result)) return result;
    const std::vector<ChoiceRespondent> data =
        ReadStudyData(study, static_cast<int>(loaded.attributes.size()));
    const std::vector<ScoredRespondent> scored = MatchRespondents(study, loaded, data, result);
    size_t taskCount = 0;
    for (const ScoredRespondent& respondent : scored)
        taskCount = std::max(taskCount, respondent.data->tasks.size());
    std::vector<int> holdoutTasks;
    for (int t = 1; t <= static_cast<int>(taskCount); ++t) {
        if (!subset.IsKept(t)) holdoutTasks.push_back(t);
    }
    if (holdoutTasks.empty()) {
        result.nothingToHoldOut = true;
        result.nothingReason = Format(
            "The task subset file %s keeps every task of the data, so every task was "
            "used in the estimation: there is nothing to hold out.",
            study.TaskSubset().c_str());
        return result;
    }
    ScoreTasks(loaded, scored, holdoutTasks, result);
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
        "Hit rate: percent of respondents whose highest-utility alternative is the one chosen.\n"
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
    return text;
}

void WriteHoldout(const StudyFiles& study, const HoldoutResult& result) {
    if (!WriteFileAtomically(study.Holdout(), HoldoutCsv(result))) {
        throw OmbrelError(Format("The holdout file %s could not be written.", study.Holdout().c_str()));
    }
}

}  // namespace ombrel
