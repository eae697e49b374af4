#pragma once

// Tie Draws' own file names, all derived from the part-worth file the user picks ("<name>.hbu"):
// the tied result beside it, its spreadsheet twin, and the guesses for the draws and constraints
// files of the same estimation.

#include <string>

namespace ombrel {

// The tied part-worth file: the file-name part lower-cased with every ".hbu" turned into
// "_tiedraws.hbu"; the folder part is kept as it is. Empty when the name holds no ".hbu" (the tied
// file would replace the input).
std::string TiedPartWorthPath(const std::string& partWorthPath);
// The spreadsheet twin of the tied file: every ".hbu" in its name replaced by ".csv".
std::string TiedSpreadsheetPath(const std::string& tiedPath);
// The dialog's guess for the draws and constraints files: the part-worth path less every ".hbu"
// (in any case), then extension (".dra" or ".con").
std::string TieDrawsCompanionPath(const std::string& partWorthPath, const std::string& extension);
// TieDrawsCompanionPath with the draws file's and the constraints file's extension.
std::string TieDrawsDrawsPath(const std::string& partWorthPath);
std::string TieDrawsConstraintsPath(const std::string& partWorthPath);

}  // namespace ombrel
