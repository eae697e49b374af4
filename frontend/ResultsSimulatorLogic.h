#pragma once

// The scenario the results window's simulator edits: products as rows, each a name and per attribute
// the number a scenario line gives, and the options of the simulation. The scenario goes to the
// simulation as the text of a scenario file read back, so that a saved file simulated by
// "ombrel simulate" gives the shares shown here.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "analysis/AnalysisStudy.h"
#include "analysis/Simulation.h"
#include "analysis/SvgCharts.h"
#include "frontend/FrontEndServices.h"

namespace ombrel {

// One entry of an attribute's level picker: the text shown and the number the scenario line holds.
struct LevelChoice {
    std::string text;
    double number = 0.0;
};

// The level picker's entries: the attribute file's level texts with level numbers 1, 2, ...; for a
// linear attribute its values file's values under their level texts, or (data values) its lowest and
// highest value.
std::vector<LevelChoice> LevelChoices(const AnalysisAttribute& attribute);

// The file types of the scenario's Load and Save dialogs: "Scenario Files (*.txt)", "All Files (*)".
std::vector<FileFilter> ScenarioFileFilters();

struct SimulatorProduct {
    std::string name;  // "NONE" for the None alternative
    bool none = false;
    // Per attribute the number of its scenario line; kept while the row is None, for when it is no
    // longer.
    std::vector<double> numbers;
};

class ResultsSimulatorLogic {
public:
    // The default scenario: two or three products on different levels, and None when the study
    // estimated it.
    explicit ResultsSimulatorLogic(std::shared_ptr<const AnalysisStudy> study);

    const AnalysisStudy& Study() const { return *study_; }
    bool HasNone() const;
    const std::vector<SimulatorProduct>& Products() const { return products_; }
    const SimulationOptions& Options() const { return options_; }

    // The entries of a row's level picker for an attribute: LevelChoices, plus the row's own value
    // at the end when it is none of them (a linear value a loaded file gave), and the index of the
    // row's number among them.
    std::vector<LevelChoice> Choices(size_t row, size_t attribute) const;
    int ChoiceIndex(size_t row, size_t attribute) const;

    // The edits. Each refusal returns its reason for the user, and leaves everything as it was; an
    // accepted edit returns an empty text.
    size_t AddProduct();  // a product with a unique default name and the first levels; its row
    std::string RemoveProduct(size_t row);
    std::string Rename(size_t row, const std::string& name);
    void SetNumber(size_t row, size_t attribute, double number);
    std::string SetNone(size_t row, bool none);
    void SetMethod(ShareMethod method);
    std::string SetExponent(double exponent);

    // The scenario file's lines, and the scenario read back from their text.
    std::vector<ScenarioLine> Lines() const;
    Scenario BuildScenario() const;

    // Replaces the scenario with a file's; throws the reader's OmbrelError (naming the file and
    // line) and keeps the scenario when the file cannot be read.
    void Load(const std::string& path);
    // Throws OmbrelError when the file cannot be written.
    void Save(const std::string& path) const;

    // The shares of the current scenario from the point estimates, with the intervals over the draws
    // once SetIntervals gave them for it.
    const SimulationResult& Shares() const { return shares_; }
    // Counts the edits, so that intervals computed for an earlier scenario are known as stale.
    uint64_t Revision() const { return revision_; }
    // Takes the intervals of a result computed for revision; false (and nothing taken) when the
    // scenario or options have changed since.
    bool SetIntervals(const SimulationResult& withIntervals, uint64_t revision);

    // The shares as the report's bar chart, each bar's whisker the se once intervals are shown.
    BarChart SharesChart() const;

private:
    std::string DefaultName() const;
    std::vector<double> DefaultNumbers(size_t choice) const;
    size_t ProductCount() const;  // the rows that are not None
    std::string NameRefusal(size_t row, const std::string& name) const;
    void Changed();

    std::shared_ptr<const AnalysisStudy> study_;
    std::vector<SimulatorProduct> products_;
    SimulationOptions options_;
    SimulationResult shares_;
    uint64_t revision_ = 0;
};

}  // namespace ombrel
