#pragma once

// The header of a part-worth file (".hbu") as Tie Draws reads it, text lines (LF or CR LF):
//   "N none P 1 1"                 N attributes, P values per respondent
//   N level counts                 one line
//   N lines of N integers          the model matrix: diagonal 1 part-worth, -1 linear, 0 not estimated;
//                                  a positive off-diagonal entry marks an interaction
//   P label lines                  "attribute level label", or "NONE"
//   (respondent records, not read)

#include <string>
#include <vector>

#include "common/TextSource.h"
#include "estimator/files/AttributeModel.h"

namespace ombrel {

// Where each attribute's values sit in a draw of a main-effects part-worth file.
struct TieDrawsModel {
    std::vector<int> levels;      // per attribute, from the level line (1 for a linear attribute)
    std::vector<int> diagonal;    // the model matrix's diagonal: 1 part-worth, -1 linear, 0 not estimated
    std::vector<int> valueStart;  // first value of each attribute in a draw; -1 for one not estimated
    int valueCount = 0;           // values per draw, None included
};

// The part-worth file's header: kept as text lines for the copy, and read into the model.
struct PartWorthHeader {
    std::vector<std::string> lines;   // header, level line, matrix lines, label lines; no line ends
    std::vector<std::string> labels;  // spreadsheet column labels, one per value
    AttributeModel constraintModel;   // counts and matrix for the constraint checks
    TieDrawsModel model;
};

// Reads the header from the start of the text. Throws OmbrelError with the user's message (naming
// path where the message has a file name) when a line is missing or does not hold its numbers, the
// model has interactions, or the counts do not fit together. A failed source reads as its end.
PartWorthHeader ReadPartWorthHeader(TextSource& source, const std::string& path);

}  // namespace ombrel
