#include "frontend/TieDrawsDialogLogic.h"

#include "common/StudyFiles.h"
#include "common/TextConversion.h"
#include "tools/TieDraws.h"

namespace ombrel {

namespace {

bool IsBlank(const std::string& text) { return Trim(text).empty(); }

void FillCompanions(const std::string& partWorth, TieDrawsPaths& paths) {
    if (IsBlank(partWorth) || !IsBlank(paths.draws) || !IsBlank(paths.constraints)) return;
    paths.draws = TieDrawsCompanionPath(partWorth, ".dra");
    paths.constraints = TieDrawsCompanionPath(partWorth, ".con");
}

}  // namespace

std::string ChosenPathText(const std::string& path) { return Trim(path); }

std::vector<FileFilter> ChoDataFileFilters() {
    return {{"Ombrel Data Files (*.cho)", {std::string("*") + kChoiceDataExtension}}};
}

std::vector<FileFilter> ResponseFileFilters() {
    return {{"Text Files (*.txt)", {"*.txt"}}, {"All Files (*.*)", {"*.*"}}};
}

std::vector<FileFilter> PartWorthFileFilters() { return {{"Ombrel Part Worth Files (*.hbu)", {"*.hbu"}}}; }

std::vector<FileFilter> DrawsFileFilters() { return {{"Ombrel Random Draw Files (*.dra)", {"*.dra"}}}; }

std::vector<FileFilter> ConstraintsFileFilters() { return {{"Ombrel Constraints Files (*.con)", {"*.con"}}}; }

void PartWorthFocusLost(const std::string& textBefore, TieDrawsPaths& paths) {
    if (!IsBlank(textBefore)) return;
    FillCompanions(Trim(paths.partWorth), paths);
}

void PartWorthChosen(const std::string& chosen, TieDrawsPaths& paths) {
    const bool wasEmpty = IsBlank(paths.partWorth);
    paths.partWorth = ChosenPathText(chosen);
    if (wasEmpty) FillCompanions(paths.partWorth, paths);
}

void DrawsChosen(const std::string& chosen, TieDrawsPaths& paths) { paths.draws = ChosenPathText(chosen); }

void ConstraintsChosen(const std::string& chosen, TieDrawsPaths& paths) {
    paths.constraints = ChosenPathText(chosen);
}

TieDrawsPaths ContinuedPaths(const TieDrawsPaths& paths) {
    return {Trim(paths.partWorth), Trim(paths.draws), Trim(paths.constraints)};
}

}  // namespace ombrel
