// The scenario file of a market simulation, for the study a part-worth file describes: the input is
// the part-worth file, a separator line "%%", then the scenario. The study's attributes follow the
// file's model, a linear attribute's values running from 1 to 5.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/AnalysisStudy.h"
#include "analysis/PartWorthTable.h"
#include "analysis/Simulation.h"
#include "common/OmbrelError.h"
#include "common/TextSource.h"
#include "fuzz/FuzzSupport.h"

namespace {

ombrel::AnalysisStudy StudyOf(ombrel::PartWorthTable table) {
    ombrel::AnalysisStudy study;
    study.partWorthPath = "fuzz.hbu";
    const ombrel::PartWorthLayout& layout = table.layout;
    for (int i = 0; i < layout.attributeCount; ++i) {
        ombrel::AnalysisAttribute attribute;
        attribute.number = i + 1;
        attribute.label = "Attribute " + std::to_string(i + 1);
        attribute.kind = layout.kinds[static_cast<size_t>(i)];
        attribute.levelTexts.assign(static_cast<size_t>(layout.levels[static_cast<size_t>(i)]), "level");
        if (attribute.kind == ombrel::AttributeKind::Linear) {
            attribute.values = {1, 2, 3, 4, 5};
            attribute.codedValues = {-2, -1, 0, 1, 2};
            attribute.centringShift = 3;
            attribute.low = 1;
            attribute.high = 5;
        }
        study.attributes.push_back(attribute);
    }
    study.partWorths = std::move(table);
    return study;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> parts = ombrel::fuzz::SplitInput(data, size, 2);
    if (parts.size() < 2) return 0;
    try {
        ombrel::MemoryTextSource partWorths(parts[0]);
        const ombrel::AnalysisStudy study = StudyOf(ombrel::ReadPartWorthTable(partWorths, "fuzz.hbu"));
        ombrel::MemoryTextSource text(parts[1]);
        const ombrel::Scenario scenario = ombrel::ReadScenario(text, "fuzz.txt", study);
        (void)ombrel::SimulatePointEstimates(study, scenario, ombrel::SimulationOptions());
    } catch (const ombrel::OmbrelError&) {
    }
    return 0;
}
