#pragma once

// The part-worth file (".hbu") read whole, interactions included. Text lines (LF or CR LF):
//   "N none P 1 1"              N attributes, 1 when None is estimated, P values per respondent
//   N level counts              one line; 1 for a linear attribute
//   N lines of N integers       the model matrix: diagonal 1 part-worth, -1 linear, 0 not estimated;
//                               an entry > 0 at (i, j), i < j, marks an interaction
//   P label lines               "attribute level label", "label x label" for a cell, or "NONE"
//   per respondent              "%7d %7.0lf  0 P none", then P values, ten a line
// The values of a respondent follow the expanded order: every level of each estimated attribute,
// then the cells of each interaction table (the first attribute's level outer), then None.

#include <string>
#include <vector>

#include "common/TextSource.h"

namespace ombrel {

enum class AttributeKind { NotEstimated, PartWorth, Linear };

// One interaction table among a respondent's values: firstLevels x secondLevels cells, the level of
// first outer. A linear attribute counts as one level. Attribute indices are 0-based.
struct InteractionTable {
    int first = 0;
    int second = 0;
    int valueStart = 0;
    int firstLevels = 0;
    int secondLevels = 0;
};

// Where each quantity sits in a respondent's values. Attribute indices are 0-based.
struct PartWorthLayout {
    int attributeCount = 0;
    bool hasNone = false;
    int valueCount = 0;
    std::vector<int> levels;  // per attribute, from the level line (1 for a linear attribute)
    std::vector<AttributeKind> kinds;
    std::vector<int> valueStart;  // first value of each attribute; -1 for one not estimated
    std::vector<InteractionTable> interactions;
    int noneIndex = -1;               // the None value; -1 without None
    std::vector<std::string> labels;  // valueCount labels: the text after "attribute level", else the line
};

struct RespondentPartWorths {
    int respondent = 0;
    double rlh = 0.0;            // root likelihood, 0 to 1 (the file holds it times 1000)
    std::vector<double> values;  // valueCount point estimates
};

struct PartWorthTable {
    PartWorthLayout layout;
    std::vector<RespondentPartWorths> respondents;  // in file order
};

// Reads the whole file from the start of the text. Throws OmbrelError naming path and the line for a
// missing or damaged line, counts that do not fit together, a record whose value count is not P, a
// value that is not a finite number, and a file without respondents. A respondent number may come
// twice, as it may in the data file; the analyses match respondents in file order.
PartWorthTable ReadPartWorthTable(TextSource& source, const std::string& path);

}  // namespace ombrel
