#include "estimator/diagnostics/DiagnosticsReport.h"

#include <cmath>
#include <cstdlib>

#include "common/AtomicFile.h"
#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "estimator/files/ResultText.h"

namespace ombrel {

namespace {

void AppendReal(std::string& out, double value) {
    if (std::isnan(value)) {
        out += "NA";
    } else if (std::isinf(value)) {
        out += value > 0 ? "Inf" : "-Inf";
    } else {
        AppendFormat(out, "%.6g", value);
    }
}

// value with decimals digits after the point, or more where fewer would put it on the other side of
// threshold: an ESS of 399.6 is not shown as 400, nor an R-hat of 1.00996 as 1.0100.
std::string Shown(double value, int decimals, double threshold) {
    std::string text = Format("%.*f", decimals, value);
    while (decimals < 17 && (value < threshold) != (std::strtod(text.c_str(), nullptr) < threshold))
        text = Format("%.*f", ++decimals, value);
    return text;
}

std::string ShownRhat(double rhat) { return Shown(rhat, 4, kConvergedRhatBelow); }
std::string ShownEss(double ess) { return Shown(ess, 0, kConvergedEssAtLeast); }

std::string QuantityName(const QuantityDiagnostics& quantity) {
    return Format("%s %d, %s", QuantityKindName(quantity.kind), quantity.index, quantity.label.c_str());
}

bool HasMissingMeasure(const ConvergenceMeasures& m) {
    return std::isnan(m.rhat) || std::isnan(m.essBulk) || std::isnan(m.essTail);
}

std::string SeedText(int32_t seed) { return seed == 0 ? "from the clock" : std::to_string(seed); }

std::string ChainsLine(const DiagnosticsReport& report) {
    const size_t chains = report.seeds.size();
    std::string line = Format("Chains: %zu (seed%s ", chains, chains == 1 ? "" : "s");
    for (size_t k = 0; k < chains; ++k) line += (k > 0 ? ", " : "") + SeedText(report.seeds[k]);
    return line + Format("), %d draws%s\n", report.drawsPerChain, chains == 1 ? "" : " each");
}

// The worst R-hat and the smallest ESS over the quantities that have them.
struct Extremes {
    const QuantityDiagnostics* worstRhat = nullptr;
    const QuantityDiagnostics* smallestEss = nullptr;
    bool smallestIsTail = false;
    int missing = 0;
};

Extremes FindExtremes(const std::vector<QuantityDiagnostics>& quantities) {
    Extremes extremes;
    double smallest = 0.0;
    for (const QuantityDiagnostics& quantity : quantities) {
        const ConvergenceMeasures& m = quantity.measures;
        if (HasMissingMeasure(m)) ++extremes.missing;
        if (!std::isnan(m.rhat) &&
            (extremes.worstRhat == nullptr || m.rhat > extremes.worstRhat->measures.rhat))
            extremes.worstRhat = &quantity;
        for (const bool tail : {false, true}) {
            const double ess = tail ? m.essTail : m.essBulk;
            if (std::isnan(ess) || (extremes.smallestEss != nullptr && ess >= smallest)) continue;
            extremes.smallestEss = &quantity;
            extremes.smallestIsTail = tail;
            smallest = ess;
        }
    }
    return extremes;
}

std::string RespondentLines(const RespondentDiagnostics& respondents) {
    std::string lines;
    if (respondents.valueCount == 0) {
        lines = "Respondent values: none varies over the draws\n";
    } else {
        const double share = 100.0 * static_cast<double>(respondents.aboveThreshold) /
                             static_cast<double>(respondents.valueCount);
        lines =
            Format(
                "Respondent values: %.1f%% of %lld have an R-hat of %.2f or more; the worst is respondent "
                "%d, %s, with ",
                share, static_cast<long long>(respondents.valueCount), kConvergedRhatBelow,
                respondents.worstRespondent, respondents.worstLabel.c_str()) +
            ShownRhat(respondents.worstRhat);
        if (respondents.constantCount > 0)
            lines +=
                Format(" (%lld constant values left out)", static_cast<long long>(respondents.constantCount));
        lines += "\n";
    }
    if (respondents.essCount > 0) {
        lines += "Smallest respondent bulk ESS: " + ShownEss(respondents.smallestEss) +
                 Format(" (respondent %d, %s)\n", respondents.smallestEssRespondent,
                        respondents.smallestEssLabel.c_str());
    }
    return lines;
}

std::string Conclusion(const Extremes& extremes, double smallestEss) {
    if (extremes.worstRhat == nullptr && extremes.smallestEss == nullptr)
        return "No quantity varies over the draws, so convergence cannot be judged.\n";
    const bool rhatHigh =
        extremes.worstRhat != nullptr && !(extremes.worstRhat->measures.rhat < kConvergedRhatBelow);
    const bool essLow = extremes.smallestEss != nullptr && smallestEss < kConvergedEssAtLeast;
    if (!rhatHigh && !essLow) {
        return Format("Converged: every R-hat is below %.2f and every bulk and tail ESS is at least %.0f.\n",
                      kConvergedRhatBelow, kConvergedEssAtLeast);
    }
    const std::string rhatProblem = Format("the worst R-hat is %.2f or more", kConvergedRhatBelow);
    const std::string essProblem = Format("the smallest ESS is below %.0f", kConvergedEssAtLeast);
    const char* rhatRemedy = "run more preliminary iterations";
    const char* essRemedy = "save more draws or use a larger draw skip factor";
    if (rhatHigh && essLow) {
        return "Not converged: " + rhatProblem + " and " + essProblem + "; " + rhatRemedy + ", and " +
               essRemedy + ".\n";
    }
    return "Not converged: " + (rhatHigh ? rhatProblem : essProblem) + "; " +
           (rhatHigh ? rhatRemedy : essRemedy) + ".\n";
}

void WriteWhole(AtomicFile& file, const std::string& path, const std::string& text) {
    if (!file.Open(path))
        throw OmbrelError(Format("The diagnostics file %s could not be created.", path.c_str()));
    if (std::fwrite(text.data(), 1, text.size(), file.File()) != text.size())
        throw OmbrelError(WriteFailureMessage(path));
}

}  // namespace

const char* QuantityKindName(QuantityKind kind) { return kind == QuantityKind::Alpha ? "alpha" : "variance"; }

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string field = "\"";
    for (char c : text) {
        if (c == '"') field += '"';
        field += c;
    }
    return field + "\"";
}

std::string DiagnosticsTableText(const DiagnosticsReport& report) {
    std::string text = "kind,index,label,mean,sd,rhat,ess_bulk,ess_tail\n";
    for (const QuantityDiagnostics& quantity : report.quantities) {
        const ConvergenceMeasures& m = quantity.measures;
        text += Format("%s,%d,", QuantityKindName(quantity.kind), quantity.index) + CsvField(quantity.label);
        for (const double value : {m.mean, m.sd, m.rhat, m.essBulk, m.essTail}) {
            text += ',';
            AppendReal(text, value);
        }
        text += '\n';
    }
    return text;
}

std::string VerdictText(const DiagnosticsReport& report) {
    std::string text = "Convergence diagnostics of " + report.studyName + "\n" + ChainsLine(report);
    const Extremes extremes = FindExtremes(report.quantities);
    if (extremes.worstRhat != nullptr) {
        text += "Worst R-hat: " + ShownRhat(extremes.worstRhat->measures.rhat) + " (" +
                QuantityName(*extremes.worstRhat) + ")\n";
    }
    double smallestEss = 0.0;
    if (extremes.smallestEss != nullptr) {
        const ConvergenceMeasures& m = extremes.smallestEss->measures;
        smallestEss = extremes.smallestIsTail ? m.essTail : m.essBulk;
        text += "Smallest ESS: " + ShownEss(smallestEss) +
                (extremes.smallestIsTail ? " (tail, " : " (bulk, ") + QuantityName(*extremes.smallestEss) +
                ")\n";
    }
    if (extremes.missing > 0) {
        text += Format("Constant quantities: %d of %zu, left out of the worst R-hat and the smallest ESS\n",
                       extremes.missing, report.quantities.size());
    }
    if (report.respondents) text += RespondentLines(*report.respondents);
    return text + Conclusion(extremes, smallestEss);
}

void WriteDiagnostics(const StudyFiles& study, const DiagnosticsReport& report) {
    AtomicFile table;
    AtomicFile verdict;
    WriteWhole(table, study.DiagnosticsTable(), DiagnosticsTableText(report));
    WriteWhole(verdict, study.DiagnosticsVerdict(), VerdictText(report));
    if (!table.Commit()) throw OmbrelError(WriteFailureMessage(study.DiagnosticsTable()));
    if (!verdict.Commit()) throw OmbrelError(WriteFailureMessage(study.DiagnosticsVerdict()));
}

}  // namespace ombrel
