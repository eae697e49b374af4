#include "analysis/Importances.h"

#include <algorithm>
#include <cmath>

#include "analysis/AnalysisText.h"
#include "analysis/Statistics.h"
#include "common/AtomicFile.h"
#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "estimator/diagnostics/DiagnosticsReport.h"

namespace ombrel {

namespace {

constexpr int kDecimals = 4;

// The range of attribute i in one respondent's values.
double RangeOf(const AnalysisStudy& study, size_t i, const std::vector<double>& values) {
    const AnalysisAttribute& attribute = study.attributes[i];
    const PartWorthLayout& layout = study.partWorths.layout;
    const auto first = values.begin() + layout.valueStart[i];
    if (attribute.kind == AttributeKind::Linear) return std::fabs(*first) * (attribute.high - attribute.low);
    const auto [low, high] = std::minmax_element(first, first + layout.levels[i]);
    return *high - *low;
}

std::string InteractionName(const AnalysisStudy& study, const InteractionTable& table) {
    return study.attributes[static_cast<size_t>(table.first)].label + " x " +
           study.attributes[static_cast<size_t>(table.second)].label;
}

}  // namespace

ImportanceResult ComputeImportances(const AnalysisStudy& study) {
    ImportanceResult result;
    std::vector<size_t> estimated;
    for (size_t i = 0; i < study.attributes.size(); ++i) {
        if (study.attributes[i].kind != AttributeKind::NotEstimated) estimated.push_back(i);
    }
    std::vector<std::vector<double>> importances(estimated.size());
    std::vector<double> ranges(estimated.size());
    for (const RespondentPartWorths& respondent : study.partWorths.respondents) {
        double sum = 0.0;
        for (size_t k = 0; k < estimated.size(); ++k) {
            ranges[k] = RangeOf(study, estimated[k], respondent.values);
            sum += ranges[k];
        }
        // All part-worths equal: no attribute matters more than another, and 0/0 is no importance.
        if (!(sum > 0.0)) {
            ++result.zeroRangeRespondents;
            continue;
        }
        for (size_t k = 0; k < estimated.size(); ++k) importances[k].push_back(100.0 * ranges[k] / sum);
    }
    result.respondentCount =
        static_cast<int>(study.partWorths.respondents.size()) - result.zeroRangeRespondents;
    if (result.respondentCount == 0) {
        throw OmbrelError(
            Format("Every respondent of the part-worth file %s has equal part-worths throughout; "
                   "no importance can be computed.",
                   study.partWorthPath.c_str()));
    }
    for (size_t k = 0; k < estimated.size(); ++k) {
        const AnalysisAttribute& attribute = study.attributes[estimated[k]];
        result.attributes.push_back(
            {attribute.number, attribute.label, Mean(importances[k]), SampleSd(importances[k])});
    }
    for (const InteractionTable& table : study.partWorths.layout.interactions)
        result.interactionsLeftOut.push_back(InteractionName(study, table));
    return result;
}

ImportanceResult ComputeImportances(const StudyFiles& study) {
    return ComputeImportances(LoadAnalysisStudy(study));
}

std::string ImportancesCsv(const ImportanceResult& result) {
    std::string text = "attribute,label,mean,sd\n";
    for (const AttributeImportance& row : result.attributes) {
        text += std::to_string(row.attribute) + "," + CsvField(row.label) + "," +
                FixedDecimal(row.mean, kDecimals) + "," + FixedDecimal(row.sd, kDecimals) + "\n";
    }
    return text;
}

std::string ImportancesTable(const ImportanceResult& result) {
    size_t width = 5;  // "Label"
    for (const AttributeImportance& row : result.attributes) width = std::max(width, row.label.size());
    const int labelWidth = static_cast<int>(std::min<size_t>(width, 40));
    std::string text =
        Format("Attribute importances in percent, over %d respondents\n\n", result.respondentCount);
    text += Format("%9s  %-*s  %8s  %8s\n", "Attribute", labelWidth, "Label", "Mean", "SD");
    for (const AttributeImportance& row : result.attributes) {
        text += Format("%9d  %-*s  %8s  %8s\n", row.attribute, labelWidth, row.label.c_str(),
                       FixedDecimal(row.mean, 2).c_str(), FixedDecimal(row.sd, 2).c_str());
    }
    if (!result.interactionsLeftOut.empty()) {
        text +=
            "\nInteractions are left out of the ranges; each attribute's range is that of its main effect:";
        for (const std::string& name : result.interactionsLeftOut) text += "\n  " + name;
        text += "\n";
    }
    if (result.zeroRangeRespondents > 0) {
        text += Format("\n%d respondent%s with equal part-worths throughout %s left out.\n",
                       result.zeroRangeRespondents, result.zeroRangeRespondents == 1 ? "" : "s",
                       result.zeroRangeRespondents == 1 ? "is" : "are");
    }
    return text;
}

void WriteImportances(const StudyFiles& study, const ImportanceResult& result) {
    if (!WriteFileAtomically(study.Importances(), ImportancesCsv(result))) {
        throw OmbrelError(
            Format("The importances file %s could not be written.", study.Importances().c_str()));
    }
}

std::vector<LevelSummary> SummarisePartWorths(const AnalysisStudy& study) {
    const PartWorthLayout& layout = study.partWorths.layout;
    std::vector<LevelSummary> summaries;
    const auto summarise = [&](int attribute, int level, int index) {
        std::vector<double> values;
        for (const RespondentPartWorths& respondent : study.partWorths.respondents)
            values.push_back(respondent.values[static_cast<size_t>(index)]);
        summaries.push_back(
            {attribute, level, layout.labels[static_cast<size_t>(index)], Mean(values), SampleSd(values)});
    };
    for (size_t i = 0; i < study.attributes.size(); ++i) {
        if (layout.valueStart[i] < 0) continue;
        for (int level = 0; level < layout.levels[i]; ++level)
            summarise(static_cast<int>(i) + 1, level + 1, layout.valueStart[i] + level);
    }
    if (layout.noneIndex >= 0) summarise(0, 1, layout.noneIndex);
    return summaries;
}

std::vector<RespondentFit> RespondentFits(const AnalysisStudy& study) {
    std::vector<RespondentFit> fits;
    for (const RespondentPartWorths& respondent : study.partWorths.respondents)
        fits.push_back({respondent.respondent, respondent.rlh});
    return fits;
}

}  // namespace ombrel
