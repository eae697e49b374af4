#pragma once

// Small models for the result-file tests.

#include <string>
#include <vector>

#include "estimator/files/AttributeModel.h"

namespace ombrel::test {

// Attribute 1: three-level part-worth ("Red", "Green", "Blue, dark"); attribute 2: linear ("Price");
// attribute 3: two-level part-worth ("Small", "Large"); the interaction of 1 and 3; None.
// p = 2 + 1 + 1 + 2 + 1 = 7 parameters, levelCount = 3 + 1 + 2 + 6 + 1 = 13.
inline AttributeModel TinyModel() {
    AttributeModel model;
    model.attributeCount = 3;
    model.hasNone = true;
    model.levelsPerAttribute = {3, 1, 2};
    model.attributeCodes = {{1, 0, 1}, {0, -1, 0}, {1, 0, 1}};
    model.attributeLabels = {{"Red", "Green", "Blue, dark"}, {"Price"}, {"Small", "Large"}};
    model.levelCount = 13;
    return model;
}

// The tiny model's parameters and their effects-coded expansion (worked by hand: the interaction
// table has free cells 1 and 2 in its first column; each row and column sums to zero).
inline std::vector<double> TinyParameters() { return {0.5, -0.2, 1.25, 0.3, 1.0, 2.0, -0.75}; }
inline std::vector<double> TinyExpanded() {
    return {0.5, -0.2, -0.3, 1.25, 0.3, -0.3, 1.0, -1.0, 2.0, -2.0, -3.0, 3.0, -0.75};
}

// One part-worth attribute with the given levels, nothing else.
inline AttributeModel SingleAttribute(int levels) {
    AttributeModel model;
    model.attributeCount = 1;
    model.levelsPerAttribute = {levels};
    model.attributeCodes = {{1}};
    model.attributeLabels = {std::vector<std::string>(static_cast<size_t>(levels))};
    for (int k = 0; k < levels; ++k)
        model.attributeLabels[0][static_cast<size_t>(k)] = "L" + std::to_string(k + 1);
    model.levelCount = levels;
    return model;
}

}  // namespace ombrel::test
