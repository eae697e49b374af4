#include "analysis/Simulation.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <set>

#include "analysis/AnalysisText.h"
#include "analysis/PartWorthDraws.h"
#include "analysis/Statistics.h"
#include "common/AtomicFile.h"
#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "estimator/diagnostics/DiagnosticsReport.h"
#include "prepare/InputFile.h"

namespace ombrel {

namespace {

constexpr int kDecimals = 4;
constexpr const char* kNoneName = "NONE";
// The quantiles of the interval over draws.
constexpr double kLowQuantile = 0.025;
constexpr double kHighQuantile = 0.975;
// Utilities are sums of values written with three decimals: two sums of the same numbers in
// another order differ by rounding alone, and count as a tie.
constexpr double kTieTolerance = 1e-9;

// A value as written in a note: no more digits than it needs.
std::string Shown(double value) { return Format("%g", value); }

// The number of one attribute for a product, checked against the attribute.
void CodeScenarioNumber(TokenReader& reader, const AnalysisAttribute& attribute, const std::string& token,
                        ScenarioProduct& product) {
    const size_t i = static_cast<size_t>(attribute.number - 1);
    if (attribute.kind == AttributeKind::Linear) {
        double value = 0.0;
        if (!ParseFiniteDouble(token, value)) {
            reader.Fail(Format("the value \"%s\" for attribute %d (%s) is not a number", token.c_str(),
                               attribute.number, attribute.label.c_str()));
        }
        product.numbers[i] = value;
        product.coded.x[i] = attribute.dataValues ? value : value - attribute.centringShift;
        // A value off the scale is allowed, but the model never saw one there.
        const double slack = 1e-9 * std::max(1.0, std::fabs(attribute.high - attribute.low));
        if (value < attribute.low - slack || value > attribute.high + slack) {
            product.extrapolations.push_back(
                Format("attribute %d (%s): %s lies outside the values %s to %s of the %s file",
                       attribute.number, attribute.label.c_str(), token.c_str(), Shown(attribute.low).c_str(),
                       Shown(attribute.high).c_str(), attribute.dataValues ? "data" : "values"));
        }
        return;
    }
    const int levels = static_cast<int>(attribute.levelTexts.size());
    int32_t level = 0;
    if (!reader.ParseFileInt(token, level)) {
        reader.Fail(Format("level \"%s\" of attribute %d (%s) is not a level number", token.c_str(),
                           attribute.number, attribute.label.c_str()));
    }
    if (level < 1 || level > levels) {
        reader.Fail(Format("level \"%s\" of attribute %d (%s) lies outside its levels 1 to %d", token.c_str(),
                           attribute.number, attribute.label.c_str(), levels));
    }
    product.numbers[i] = level;
    if (attribute.kind == AttributeKind::PartWorth) product.coded.levels[i] = level - 1;
}

ScenarioProduct ReadProduct(TokenReader& reader, const std::string& line, const AnalysisStudy& study) {
    MemoryTextSource text(line);
    TokenReader tokens(text, reader.Path());
    std::vector<std::string> words;
    for (std::string word; tokens.Next(word);) words.push_back(word);
    ScenarioProduct product;
    product.name = words.front();
    product.line = static_cast<int>(reader.Line());
    product.none = product.name == kNoneName;
    if (product.none) {
        if (words.size() != 1) reader.Fail("NONE, the None alternative, stands alone on its line");
        if (study.partWorths.layout.noneIndex < 0) reader.Fail("the study has no None alternative");
        return product;
    }
    const size_t attributes = study.attributes.size();
    if (words.size() != attributes + 1) {
        reader.Fail(Format("product %s has %zu levels; the study has %zu attributes", product.name.c_str(),
                           words.size() - 1, attributes));
    }
    product.coded.levels.assign(attributes, -1);
    product.coded.x.assign(attributes, 0.0);
    product.numbers.assign(attributes, 0.0);
    for (size_t i = 0; i < attributes; ++i)
        CodeScenarioNumber(reader, study.attributes[i], words[i + 1], product);
    return product;
}

}  // namespace

const char* ShareMethodName(ShareMethod method) {
    return method == ShareMethod::FirstChoice ? "first-choice" : "share";
}

Scenario ReadScenario(TextSource& source, const std::string& path, const AnalysisStudy& study) {
    TokenReader reader(source, path);
    Scenario scenario;
    scenario.path = path;
    std::set<std::string> names;
    for (std::string line; reader.ReadLine(line);) {
        const std::string trimmed = Trim(line);
        if (trimmed.empty() || trimmed.front() == '#') continue;
        ScenarioProduct product = ReadProduct(reader, trimmed, study);
        if (!names.insert(product.name).second)
            reader.Fail(Format("the name %s is used twice", product.name.c_str()));
        scenario.products.push_back(std::move(product));
    }
    const bool anyProduct = std::any_of(scenario.products.begin(), scenario.products.end(),
                                        [](const ScenarioProduct& product) { return !product.none; });
    if (!anyProduct) {
        throw OmbrelError(Format("The scenario file %s holds %s; a simulation needs at least one product.",
                                 path.c_str(),
                                 scenario.products.empty() ? "no product" : "only the None alternative"));
    }
    return scenario;
}

std::string ScenarioText(const std::vector<ScenarioLine>& lines) {
    std::string text;
    for (const ScenarioLine& line : lines) {
        text += line.name;
        for (double number : line.numbers) {
            char digits[32];
            const std::to_chars_result end = std::to_chars(digits, digits + sizeof digits, number);
            text += " " + std::string(digits, end.ptr);
        }
        text += "\n";
    }
    return text;
}

void WriteScenarioFile(const std::string& path, const std::vector<ScenarioLine>& lines) {
    if (!WriteFileAtomically(path, ScenarioText(lines)))
        throw OmbrelError(Format("The scenario file %s could not be written.", path.c_str()));
}

Scenario ReadScenarioFile(const std::string& path, const AnalysisStudy& study) {
    std::unique_ptr<TextSource> text = OpenInputText(path);
    if (!text) throw OmbrelError(Format("The scenario file %s could not be opened.", path.c_str()));
    return ReadScenario(*text, path, study);
}

std::vector<double> RespondentShares(const std::vector<double>& utilities, ShareMethod method,
                                     double exponent) {
    std::vector<double> shares(utilities.size(), 0.0);
    if (utilities.empty()) return shares;
    std::vector<double> scaled = utilities;
    if (method == ShareMethod::ShareOfPreference) {
        for (double& utility : scaled) utility *= exponent;
    }
    const double largest = *std::max_element(scaled.begin(), scaled.end());
    // First choice, and the limit of the logit where a scaled utility overflows: the best take all.
    if (method == ShareMethod::FirstChoice || !std::isfinite(largest)) {
        const std::vector<bool> best = Highest(scaled);
        const double tied = static_cast<double>(std::count(best.begin(), best.end(), true));
        for (size_t k = 0; k < scaled.size(); ++k) shares[k] = best[k] ? 100.0 / tied : 0.0;
        return shares;
    }
    // Less the largest scaled utility, so that no exponential overflows.
    double sum = 0.0;
    for (size_t k = 0; k < scaled.size(); ++k) {
        shares[k] = std::exp(scaled[k] - largest);
        sum += shares[k];
    }
    for (double& share : shares) share *= 100.0 / sum;
    return shares;
}

std::vector<bool> Highest(const std::vector<double>& utilities) {
    std::vector<bool> best(utilities.size(), false);
    if (utilities.empty()) return best;
    const double largest = *std::max_element(utilities.begin(), utilities.end());
    const double slack = kTieTolerance * std::max(1.0, std::fabs(largest));
    for (size_t k = 0; k < utilities.size(); ++k)
        best[k] = utilities[k] == largest || utilities[k] >= largest - slack;
    return best;
}

namespace {

std::vector<double> ProductUtilities(const AnalysisStudy& study, const Scenario& scenario,
                                     const std::vector<double>& values) {
    std::vector<double> utilities;
    for (const ScenarioProduct& product : scenario.products)
        utilities.push_back(product.none ? NoneUtility(study, values)
                                         : ConceptUtility(study, product.coded, values));
    return utilities;
}

// The shares at each draw index: drawShares[d][k] is product k's share over respondents at draw d.
std::vector<std::vector<double>> SharesOverDraws(TextSource& draws, const std::string& path,
                                                 const AnalysisStudy& study, const Scenario& scenario,
                                                 const SimulationOptions& options, DrawProgress* progress) {
    const std::vector<RespondentPartWorths>& respondents = study.partWorths.respondents;
    std::vector<std::vector<double>> drawShares;
    const auto addDraw = [&](size_t, int d, const std::vector<double>& values) {
        if (static_cast<size_t>(d) >= drawShares.size())
            drawShares.emplace_back(scenario.products.size(), 0.0);
        const std::vector<double> shares =
            RespondentShares(ProductUtilities(study, scenario, values), options.method, options.exponent);
        std::vector<double>& sums = drawShares[static_cast<size_t>(d)];
        for (size_t k = 0; k < shares.size(); ++k) sums[k] += shares[k];
    };
    ForEachDraw(draws, path, study.partWorths, study.partWorthPath, addDraw, progress);
    for (std::vector<double>& shares : drawShares) {
        for (double& share : shares) share /= static_cast<double>(respondents.size());
    }
    return drawShares;
}

void AddIntervals(const std::vector<std::vector<double>>& drawShares, SimulationResult& result) {
    result.overDraws = true;
    result.drawCount = static_cast<int>(drawShares.size());
    for (size_t k = 0; k < result.products.size(); ++k) {
        std::vector<double> shares;
        for (const std::vector<double>& draw : drawShares) shares.push_back(draw[k]);
        ProductShare& product = result.products[k];
        product.se = SampleSd(shares);
        product.low = Quantile(shares, kLowQuantile);
        product.high = Quantile(shares, kHighQuantile);
    }
}

}  // namespace

SimulationResult SimulatePointEstimates(const AnalysisStudy& loaded, const Scenario& scenario,
                                        const SimulationOptions& options) {
    SimulationResult result;
    result.method = options.method;
    result.exponent = options.exponent;
    result.respondentCount = static_cast<int>(loaded.partWorths.respondents.size());
    for (const ScenarioProduct& product : scenario.products)
        result.products.push_back({product.name, 0.0, 0.0, 0.0, 0.0, product.extrapolations});
    for (const RespondentPartWorths& respondent : loaded.partWorths.respondents) {
        const std::vector<double> shares = RespondentShares(
            ProductUtilities(loaded, scenario, respondent.values), options.method, options.exponent);
        for (size_t k = 0; k < shares.size(); ++k) result.products[k].share += shares[k];
    }
    for (ProductShare& product : result.products) product.share /= result.respondentCount;
    return result;
}

void AddIntervalsOverDraws(const StudyFiles& study, const AnalysisStudy& loaded, const Scenario& scenario,
                           const SimulationOptions& options, SimulationResult& result,
                           DrawProgress* progress) {
    std::unique_ptr<TextSource> draws = OpenInputText(study.Draws());
    if (!draws) return;
    // Every draw is read before the result changes, so that a stop or a damaged file leaves it whole.
    const std::vector<std::vector<double>> drawShares =
        SharesOverDraws(*draws, study.Draws(), loaded, scenario, options, progress);
    CheckReadError(*draws, study.Draws());
    AddIntervals(drawShares, result);
}

SimulationResult Simulate(const StudyFiles& study, const AnalysisStudy& loaded, const Scenario& scenario,
                          const SimulationOptions& options) {
    SimulationResult result = SimulatePointEstimates(loaded, scenario, options);
    AddIntervalsOverDraws(study, loaded, scenario, options, result);
    return result;
}

std::string SimulationOutputPath(const std::string& scenarioPath, ShareMethod method) {
    const size_t slash = scenarioPath.find_last_of('/');
    const size_t dot = scenarioPath.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    return scenarioPath.substr(0, hasExtension ? dot : std::string::npos) + "_" + ShareMethodName(method) +
           ".csv";
}

std::string SimulationCsv(const SimulationResult& result) {
    std::string text = result.overDraws ? "product,share,se,low,high\n" : "product,share\n";
    for (const ProductShare& product : result.products) {
        text += CsvField(product.name) + "," + FixedDecimal(product.share, kDecimals);
        if (result.overDraws) {
            text += "," + FixedDecimal(product.se, kDecimals) + "," + FixedDecimal(product.low, kDecimals) +
                    "," + FixedDecimal(product.high, kDecimals);
        }
        text += "\n";
    }
    return text;
}

std::string SimulationTable(const SimulationResult& result) {
    std::string text =
        result.method == ShareMethod::FirstChoice
            ? Format("Market simulation: first choice, over %d respondents", result.respondentCount)
            : Format("Market simulation: share of preference with exponent %s, over %d respondents",
                     Shown(result.exponent).c_str(), result.respondentCount);
    if (result.overDraws) text += Format("; intervals over %d draws each", result.drawCount);
    text += "\n\n";
    size_t width = 7;  // "Product"
    for (const ProductShare& product : result.products) width = std::max(width, product.name.size());
    const int nameWidth = static_cast<int>(width);
    text += Format("%-*s  %8s", nameWidth, "Product", "Share %");
    if (result.overDraws) text += Format("  %8s  %8s  %8s", "SE", "2.5%", "97.5%");
    text += "\n";
    for (const ProductShare& product : result.products) {
        text += Format("%-*s  %8s", nameWidth, product.name.c_str(), FixedDecimal(product.share, 2).c_str());
        if (result.overDraws) {
            text += Format("  %8s  %8s  %8s", FixedDecimal(product.se, 2).c_str(),
                           FixedDecimal(product.low, 2).c_str(), FixedDecimal(product.high, 2).c_str());
        }
        text += "\n";
    }
    for (const ProductShare& product : result.products) {
        for (const std::string& note : product.extrapolations)
            text += Format("Extrapolation: product %s, %s.\n", product.name.c_str(), note.c_str());
    }
    return text;
}

void WriteSimulation(const std::string& path, const SimulationResult& result) {
    if (!WriteFileAtomically(path, SimulationCsv(result))) {
        throw OmbrelError(Format("The simulation file %s could not be written.", path.c_str()));
    }
}

}  // namespace ombrel
