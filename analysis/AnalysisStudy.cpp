#include "analysis/AnalysisStudy.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "analysis/ChoiceData.h"
#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "prepare/AttributeFile.h"
#include "prepare/EffectsFile.h"
#include "prepare/InputFile.h"
#include "prepare/ValuesFile.h"

namespace ombrel {

namespace {

PartWorthTable ReadResults(const StudyFiles& study) {
    const std::string path = study.PartWorths();
    std::unique_ptr<TextSource> text = OpenInputText(path);
    if (!text) {
        throw OmbrelError(
            Format("The study %s has no results: its part-worth file %s is not there.  Estimate "
                   "the study first.",
                   study.DataFile().c_str(), path.c_str()));
    }
    return ReadPartWorthTable(*text, path);
}

// The part-worth file must describe the model the study's attribute and effects files give now.
void CheckModel(const std::string& path, const LevelTexts& levelTexts, const EffectsMatrix& effects,
                const PartWorthLayout& layout) {
    const auto mismatch = [&path](const std::string& what) {
        return OmbrelError(
            Format("The part-worth file %s does not match the study's attribute and effects "
                   "files: %s.  Estimate the study again.",
                   path.c_str(), what.c_str()));
    };
    const int n = static_cast<int>(levelTexts.size());
    if (layout.attributeCount != n) {
        throw mismatch(Format("it has %d attributes, the attribute file %d", layout.attributeCount, n));
    }
    for (int i = 0; i < n; ++i) {
        const int32_t code = effects.Diagonal(i);
        const AttributeKind kind = code == 0  ? AttributeKind::NotEstimated
                                   : code > 0 ? AttributeKind::PartWorth
                                              : AttributeKind::Linear;
        if (kind != layout.kinds[static_cast<size_t>(i)]) {
            throw mismatch(Format("attribute %d is estimated another way", i + 1));
        }
        const int levels = static_cast<int>(levelTexts[static_cast<size_t>(i)].size());
        if (kind == AttributeKind::PartWorth && layout.levels[static_cast<size_t>(i)] != levels) {
            throw mismatch(Format("attribute %d has %d levels there, %d in the attribute file", i + 1,
                                  layout.levels[static_cast<size_t>(i)], levels));
        }
    }
    size_t interactions = 0;
    for (int i = 0; i < n; ++i) {
        for (int j = i + 1; j < n; ++j) interactions += effects.HasInteraction(i, j) ? 1 : 0;
    }
    bool same = interactions == layout.interactions.size();
    for (const InteractionTable& table : layout.interactions)
        same = same && effects.HasInteraction(table.first, table.second);
    if (!same) throw mismatch("the interactions differ");
}

// The range of a linear attribute with data values: its numbers over every concept of the data.
void SetDataRanges(const StudyFiles& study, std::vector<AnalysisAttribute>& attributes) {
    const bool any = std::any_of(attributes.begin(), attributes.end(),
                                 [](const AnalysisAttribute& attribute) { return attribute.dataValues; });
    if (!any) return;
    std::vector<bool> seen(attributes.size(), false);
    const std::unique_ptr<TextSource> text = OpenStudyData(study);
    ChoiceDataReader reader(*text, study.DataFile(), study.Kind(), static_cast<int>(attributes.size()));
    for (ChoiceRespondent respondent; reader.Next(respondent);) {
        for (const ChoiceTask& task : respondent.tasks) {
            for (const std::vector<double>& numbers : task.concepts) {
                for (size_t i = 0; i < attributes.size(); ++i) {
                    AnalysisAttribute& attribute = attributes[i];
                    if (!attribute.dataValues) continue;
                    attribute.low = seen[i] ? std::min(attribute.low, numbers[i]) : numbers[i];
                    attribute.high = seen[i] ? std::max(attribute.high, numbers[i]) : numbers[i];
                    seen[i] = true;
                }
            }
        }
    }
    CheckReadError(*text, study.DataFile());
}

AnalysisAttribute MakeAttribute(size_t i, const LevelTexts& levelTexts, const LevelValues& levelValues,
                                const std::vector<std::string>& valueTexts, const ValuesFileResult& values,
                                const EffectsMatrix& effects, AttributeKind kind) {
    AnalysisAttribute attribute;
    attribute.number = static_cast<int>(i) + 1;
    attribute.label = Trim(valueTexts[i]);
    if (attribute.label.empty()) attribute.label = Format("Attribute %zu", i + 1);
    attribute.kind = kind;
    attribute.dataValues = effects.Diagonal(static_cast<int>(i)) == kLinearWithDataValues;
    attribute.levelTexts = levelTexts[i];
    if (kind == AttributeKind::Linear && !attribute.dataValues) {
        attribute.centringShift = values.centringShifts.empty() ? 0.0 : values.centringShifts[i];
        attribute.codedValues = levelValues[i];
        for (double coded : levelValues[i]) attribute.values.push_back(coded + attribute.centringShift);
        if (!attribute.values.empty()) {
            attribute.low = *std::min_element(attribute.values.begin(), attribute.values.end());
            attribute.high = *std::max_element(attribute.values.begin(), attribute.values.end());
        }
    }
    return attribute;
}

}  // namespace

AnalysisStudy LoadAnalysisStudy(const StudyFiles& study) {
    LevelTexts levelTexts;
    ReadAttributeFile(study, levelTexts);
    if (levelTexts.empty()) {
        throw OmbrelError(
            Format("The attribute file %s is not there or holds no attribute.", study.Attributes().c_str()));
    }
    std::vector<int32_t> levelCounts;
    for (const auto& texts : levelTexts) levelCounts.push_back(static_cast<int32_t>(texts.size()));
    LevelValues levelValues;
    std::vector<std::string> valueTexts;
    const ValuesFileResult values = ReadValuesFile(study, levelCounts, levelValues, valueTexts);
    std::string report;
    EffectsMatrix effects;
    bool dropNone = false;
    ReadEffectsFile(study, static_cast<int>(levelTexts.size()), values, report, effects, dropNone);

    AnalysisStudy loaded;
    loaded.partWorthPath = study.PartWorths();
    loaded.partWorths = ReadResults(study);
    const PartWorthLayout& layout = loaded.partWorths.layout;
    CheckModel(loaded.partWorthPath, levelTexts, effects, layout);
    for (size_t i = 0; i < levelTexts.size(); ++i) {
        loaded.attributes.push_back(
            MakeAttribute(i, levelTexts, levelValues, valueTexts, values, effects, layout.kinds[i]));
    }
    SetDataRanges(study, loaded.attributes);
    return loaded;
}

CodedConcept CodeDataConcept(const AnalysisStudy& study, const std::vector<double>& numbers) {
    CodedConcept coded;
    coded.levels.assign(study.attributes.size(), -1);
    coded.x.assign(study.attributes.size(), 0.0);
    for (size_t i = 0; i < study.attributes.size(); ++i) {
        const AnalysisAttribute& attribute = study.attributes[i];
        if (attribute.kind == AttributeKind::Linear && attribute.dataValues) {
            coded.x[i] = numbers[i];
            continue;
        }
        // A level code is rounded as the design coding rounds it; 0 and codes out of range add nothing.
        const double rounded = std::trunc(numbers[i] + 0.5);
        const int levels = static_cast<int>(attribute.levelTexts.size());
        if (!(rounded >= 1.0 && rounded <= levels)) continue;
        const int level = static_cast<int>(rounded) - 1;
        if (attribute.kind == AttributeKind::PartWorth) coded.levels[i] = level;
        if (attribute.kind == AttributeKind::Linear &&
            static_cast<size_t>(level) < attribute.codedValues.size())
            coded.x[i] = attribute.codedValues[static_cast<size_t>(level)];
    }
    return coded;
}

int LinearCodeOutOfRange(const AnalysisStudy& study, const std::vector<double>& numbers) {
    for (size_t i = 0; i < study.attributes.size(); ++i) {
        const AnalysisAttribute& attribute = study.attributes[i];
        if (attribute.kind != AttributeKind::Linear || attribute.dataValues) continue;
        const double rounded = std::trunc(numbers[i] + 0.5);
        if (!(rounded >= 0.0 && rounded <= static_cast<double>(attribute.levelTexts.size())))
            return static_cast<int>(i);
    }
    return -1;
}

namespace {

// The level of attribute i among its values (0 for a linear one) and the factor its cells carry (1
// for a part-worth attribute, x for a linear one); false when the coded has no level of it.
bool CellOf(const AnalysisStudy& study, const CodedConcept& coded, size_t i, int& level, double& factor) {
    if (study.attributes[i].kind == AttributeKind::Linear) {
        level = 0;
        factor = coded.x[i];
        return true;
    }
    level = coded.levels[i];
    factor = 1.0;
    return level >= 0;
}

}  // namespace

double ConceptUtility(const AnalysisStudy& study, const CodedConcept& coded,
                      const std::vector<double>& values) {
    const PartWorthLayout& layout = study.partWorths.layout;
    double utility = 0.0;
    for (size_t i = 0; i < study.attributes.size(); ++i) {
        const int start = layout.valueStart[i];
        if (start < 0) continue;
        int level = 0;
        double factor = 0.0;
        if (CellOf(study, coded, i, level, factor))
            utility += values[static_cast<size_t>(start + level)] * factor;
    }
    for (const InteractionTable& table : layout.interactions) {
        int first = 0;
        int second = 0;
        double firstFactor = 0.0;
        double secondFactor = 0.0;
        if (!CellOf(study, coded, static_cast<size_t>(table.first), first, firstFactor) ||
            !CellOf(study, coded, static_cast<size_t>(table.second), second, secondFactor))
            continue;
        const int cell = table.valueStart + first * table.secondLevels + second;
        utility += values[static_cast<size_t>(cell)] * firstFactor * secondFactor;
    }
    return utility;
}

double NoneUtility(const AnalysisStudy& study, const std::vector<double>& values) {
    const int index = study.partWorths.layout.noneIndex;
    return index < 0 ? 0.0 : values[static_cast<size_t>(index)];
}

}  // namespace ombrel
