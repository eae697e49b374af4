#include "frontend/ResultsSimulatorLogic.h"

#include <algorithm>
#include <cmath>

#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "common/TextSource.h"

namespace ombrel {

namespace {

constexpr const char* kNoneName = "NONE";
// The reader's name for the scenario in its messages; the text it reads is the view's own.
constexpr const char* kViewScenarioName = "the simulator's scenario";
constexpr size_t kMostDefaultProducts = 3;

std::vector<LevelChoice> DataValueChoices(const AnalysisAttribute& attribute) {
    std::vector<LevelChoice> choices = {{Format("%g", attribute.low), attribute.low}};
    if (attribute.high != attribute.low) choices.push_back({Format("%g", attribute.high), attribute.high});
    return choices;
}

}  // namespace

std::vector<LevelChoice> LevelChoices(const AnalysisAttribute& attribute) {
    if (attribute.kind == AttributeKind::Linear && attribute.dataValues) return DataValueChoices(attribute);
    const bool values = attribute.kind == AttributeKind::Linear;
    std::vector<LevelChoice> choices;
    for (size_t i = 0; i < attribute.levelTexts.size(); ++i) {
        const double number =
            values && i < attribute.values.size() ? attribute.values[i] : static_cast<double>(i + 1);
        choices.push_back({attribute.levelTexts[i], number});
    }
    return choices;
}

std::vector<FileFilter> ScenarioFileFilters() {
    return {{"Scenario Files (*.txt)", {"*.txt"}}, {"All Files (*)", {"*"}}};
}

ResultsSimulatorLogic::ResultsSimulatorLogic(std::shared_ptr<const AnalysisStudy> study)
    : study_(std::move(study)) {
    size_t mostChoices = 1;
    for (const AnalysisAttribute& attribute : study_->attributes)
        mostChoices = std::max(mostChoices, LevelChoices(attribute).size());
    const size_t count = std::clamp(mostChoices, size_t{2}, kMostDefaultProducts);
    for (size_t k = 0; k < count; ++k) products_.push_back({DefaultName(), false, DefaultNumbers(k)});
    if (HasNone()) products_.push_back({kNoneName, true, DefaultNumbers(0)});
    Changed();
}

bool ResultsSimulatorLogic::HasNone() const { return study_->partWorths.layout.noneIndex >= 0; }

std::vector<LevelChoice> ResultsSimulatorLogic::Choices(size_t row, size_t attribute) const {
    std::vector<LevelChoice> choices = LevelChoices(study_->attributes[attribute]);
    const double number = products_[row].numbers[attribute];
    const bool listed = std::any_of(choices.begin(), choices.end(),
                                    [&](const LevelChoice& choice) { return choice.number == number; });
    if (!listed) choices.push_back({Format("%g", number), number});
    return choices;
}

int ResultsSimulatorLogic::ChoiceIndex(size_t row, size_t attribute) const {
    const std::vector<LevelChoice> choices = Choices(row, attribute);
    const double number = products_[row].numbers[attribute];
    const auto found = std::find_if(choices.begin(), choices.end(),
                                    [&](const LevelChoice& choice) { return choice.number == number; });
    return static_cast<int>(found - choices.begin());
}

size_t ResultsSimulatorLogic::AddProduct() {
    products_.push_back({DefaultName(), false, DefaultNumbers(0)});
    Changed();
    return products_.size() - 1;
}

std::string ResultsSimulatorLogic::RemoveProduct(size_t row) {
    if (row >= products_.size()) return "Select the product to remove.";
    if (!products_[row].none && ProductCount() == 1)
        return "The scenario needs at least one product other than None.";
    products_.erase(products_.begin() + static_cast<std::ptrdiff_t>(row));
    Changed();
    return {};
}

std::string ResultsSimulatorLogic::Rename(size_t row, const std::string& name) {
    if (products_[row].none) return "The None alternative is always called NONE.";
    if (name == products_[row].name) return {};
    std::string refusal = NameRefusal(row, name);
    if (!refusal.empty()) return refusal;
    products_[row].name = name;
    Changed();
    return {};
}

void ResultsSimulatorLogic::SetNumber(size_t row, size_t attribute, double number) {
    if (products_[row].numbers[attribute] == number) return;
    products_[row].numbers[attribute] = number;
    Changed();
}

std::string ResultsSimulatorLogic::SetNone(size_t row, bool none) {
    SimulatorProduct& product = products_[row];
    if (product.none == none) return {};
    if (none) {
        if (!HasNone()) return "The study did not estimate a None alternative.";
        const bool another = std::any_of(products_.begin(), products_.end(),
                                         [](const SimulatorProduct& other) { return other.none; });
        if (another) return "The scenario already has the None alternative; it can have only one.";
        if (ProductCount() == 1) return "The scenario needs at least one product other than None.";
        product.name = kNoneName;
    } else {
        product.name = DefaultName();
    }
    product.none = none;
    Changed();
    return {};
}

void ResultsSimulatorLogic::SetMethod(ShareMethod method) {
    if (options_.method == method) return;
    options_.method = method;
    Changed();
}

std::string ResultsSimulatorLogic::SetExponent(double exponent) {
    if (!std::isfinite(exponent) || exponent <= 0.0)
        return Format("The exponent must be a positive number, not %g.", exponent);
    if (options_.exponent == exponent) return {};
    options_.exponent = exponent;
    Changed();
    return {};
}

std::vector<ScenarioLine> ResultsSimulatorLogic::Lines() const {
    std::vector<ScenarioLine> lines;
    for (const SimulatorProduct& product : products_) {
        if (product.none)
            lines.push_back({kNoneName, {}});
        else
            lines.push_back({product.name, product.numbers});
    }
    return lines;
}

Scenario ResultsSimulatorLogic::BuildScenario() const {
    MemoryTextSource text(ScenarioText(Lines()));
    return ReadScenario(text, kViewScenarioName, *study_);
}

void ResultsSimulatorLogic::Load(const std::string& path) {
    const Scenario scenario = ReadScenarioFile(path, *study_);
    std::vector<SimulatorProduct> products;
    for (const ScenarioProduct& product : scenario.products) {
        products.push_back({product.name, product.none, product.none ? DefaultNumbers(0) : product.numbers});
    }
    products_ = std::move(products);
    Changed();
}

void ResultsSimulatorLogic::Save(const std::string& path) const { WriteScenarioFile(path, Lines()); }

bool ResultsSimulatorLogic::SetIntervals(const SimulationResult& withIntervals, uint64_t revision) {
    if (revision != revision_ || withIntervals.products.size() != shares_.products.size()) return false;
    shares_ = withIntervals;
    return true;
}

BarChart ResultsSimulatorLogic::SharesChart() const {
    BarChart chart;
    chart.title = shares_.method == ShareMethod::FirstChoice
                      ? "Market simulation: first choice"
                      : Format("Market simulation: share of preference, exponent %g", shares_.exponent);
    chart.axisTitle = "Share (%)";
    for (const ProductShare& product : shares_.products)
        chart.rows.push_back({product.name, product.share, shares_.overDraws ? product.se : 0.0});
    return chart;
}

std::string ResultsSimulatorLogic::DefaultName() const {
    for (size_t k = ProductCount() + 1;; ++k) {
        const std::string name = Format("Product%zu", k);
        const bool used = std::any_of(products_.begin(), products_.end(),
                                      [&](const SimulatorProduct& product) { return product.name == name; });
        if (!used) return name;
    }
}

// Choice k of every attribute (cycling through its choices), so that default products differ.
std::vector<double> ResultsSimulatorLogic::DefaultNumbers(size_t choice) const {
    std::vector<double> numbers;
    for (const AnalysisAttribute& attribute : study_->attributes) {
        const std::vector<LevelChoice> choices = LevelChoices(attribute);
        numbers.push_back(choices.empty() ? 1.0 : choices[choice % choices.size()].number);
    }
    return numbers;
}

size_t ResultsSimulatorLogic::ProductCount() const {
    return static_cast<size_t>(std::count_if(products_.begin(), products_.end(),
                                             [](const SimulatorProduct& product) { return !product.none; }));
}

// The reader splits a line at white space, skips lines starting with '#', and takes NONE as None.
std::string ResultsSimulatorLogic::NameRefusal(size_t row, const std::string& name) const {
    if (name.empty()) return "A product needs a name.";
    if (std::any_of(name.begin(), name.end(), IsBlank))
        return Format("The name \"%s\" holds a blank; a product's name is one word.", name.c_str());
    if (name.front() == '#')
        return Format("The name \"%s\" starts with '#', which makes a comment of a scenario line.",
                      name.c_str());
    if (name == kNoneName) return "NONE is the name of the None alternative.";
    for (size_t k = 0; k < products_.size(); ++k) {
        if (k != row && products_[k].name == name)
            return Format("Another product is called %s already.", name.c_str());
    }
    return {};
}

void ResultsSimulatorLogic::Changed() {
    ++revision_;
    shares_ = SimulatePointEstimates(*study_, BuildScenario(), options_);
}

}  // namespace ombrel
