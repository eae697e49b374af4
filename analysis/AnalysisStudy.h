#pragma once

#include <string>
#include <vector>

#include "analysis/PartWorthTable.h"
#include "common/StudyFiles.h"

namespace ombrel {

// One attribute of an estimated study as the analyses see it.
struct AnalysisAttribute {
    int number = 0;     // 1-based, in attribute-file order
    std::string label;  // the values file's text for the attribute where it gives one, else "Attribute n"
    AttributeKind kind = AttributeKind::NotEstimated;
    bool dataValues = false;              // linear with the data file's numbers as its values
    std::vector<std::string> levelTexts;  // from the attribute file
    // Linear with values: the values file's numbers as written, as the design coded them (less
    // their mean, so that they sum to zero), and that mean.
    std::vector<double> values;
    std::vector<double> codedValues;
    double centringShift = 0.0;
    // Linear: the lowest and highest value, of the values file or (data values) of the data file.
    double low = 0.0;
    double high = 0.0;
};

// An estimated study: its attributes and the part-worths of its respondents.
struct AnalysisStudy {
    std::string partWorthPath;
    std::vector<AnalysisAttribute> attributes;
    PartWorthTable partWorths;
};

// Reads the attribute file, the values and effects files, the part-worth file and, for a linear
// attribute with data values, the data file. Throws OmbrelError naming the file (and the line or
// respondent) when a file is missing or damaged, when the study has no results yet, and when the
// part-worth file's model does not match the study's attribute and effects files.
AnalysisStudy LoadAnalysisStudy(const StudyFiles& study);

// A concept as the model sees it: per attribute the level (0-based; -1 for none, which adds nothing)
// of a part-worth attribute, and the coded value x of a linear one (whose utility is coefficient x).
struct CodedConcept {
    std::vector<int> levels;
    std::vector<double> x;
};

// A concept of the data file: per attribute its number as the data file holds it (a level code, or
// for a linear attribute with data values the value itself), coded as the estimation coded it. A
// part-worth level code of 0 or out of range adds nothing, as in the design coding.
CodedConcept CodeDataConcept(const AnalysisStudy& study, const std::vector<double>& numbers);

// The first linear attribute (0-based) whose level code in numbers the design coding refuses (below 0
// or above its level count); -1 when there is none.
int LinearCodeOutOfRange(const AnalysisStudy& study, const std::vector<double>& numbers);

// The utility of a concept for one respondent's values: main effects and interaction cells.
double ConceptUtility(const AnalysisStudy& study, const CodedConcept& coded,
                      const std::vector<double>& values);

// The utility of the None alternative (0 for a study without None).
double NoneUtility(const AnalysisStudy& study, const std::vector<double>& values);

}  // namespace ombrel
