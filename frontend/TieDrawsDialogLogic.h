#pragma once

#include <string>
#include <vector>

#include "frontend/FrontEndServices.h"

namespace ombrel {

// A path chosen in an open-file dialog as the tool dialogs store it: trimmed, its case kept. The
// dialogs once stored it lower-cased, which on a file system that tells the cases apart names a file
// that does not exist; the names derived from it (the ".chs" and "_tiedraws" files) are still
// lower-cased by the tools.
std::string ChosenPathText(const std::string& path);

// The open-file dialogs of the "Convert .CHO to .CHS" dialog.
std::vector<FileFilter> ChoDataFileFilters();   // "Ombrel Data Files (*.cho)"
std::vector<FileFilter> ResponseFileFilters();  // "Text Files (*.txt)", "All Files (*.*)"
// The open-file dialogs of the "Tie Draws" dialog.
std::vector<FileFilter> PartWorthFileFilters();    // "Ombrel Part Worth Files (*.hbu)"
std::vector<FileFilter> DrawsFileFilters();        // "Ombrel Random Draw Files (*.dra)"
std::vector<FileFilter> ConstraintsFileFilters();  // "Ombrel Constraints Files (*.con)"

// The three path fields of the "Tie Draws" dialog and how they fill one another. The widgets copy
// the fields in before each event and out after it.
struct TieDrawsPaths {
    std::string partWorth;
    std::string draws;
    std::string constraints;
};

// The part-worth field lost the focus; textBefore is what it held when it got the focus. When it
// was empty then and holds a path now while the other two are empty, they get the companion
// ".dra" and ".con" paths.
void PartWorthFocusLost(const std::string& textBefore, TieDrawsPaths& paths);
// A part-worth file was chosen with "Browse...": stored as ChosenPathText, and the other two are
// filled as above when they are empty and the part-worth field was empty.
void PartWorthChosen(const std::string& chosen, TieDrawsPaths& paths);
void DrawsChosen(const std::string& chosen, TieDrawsPaths& paths);
void ConstraintsChosen(const std::string& chosen, TieDrawsPaths& paths);
// "Continue": all three trimmed.
TieDrawsPaths ContinuedPaths(const TieDrawsPaths& paths);

}  // namespace ombrel
