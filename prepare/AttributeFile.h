#pragma once

#include <string>
#include <vector>

#include "common/StudyFiles.h"
#include "common/TextSource.h"

namespace ombrel {

// Level texts per attribute, in file order: levelTexts[i][l] is level l + 1 of attribute i + 1.
// The attribute count N is levelTexts.size(); an attribute's level count is the size of its list.
using LevelTexts = std::vector<std::vector<std::string>>;

// The longest level text kept; a longer one is cut.
inline constexpr size_t kMaxLevelTextLength = 255;

// Reads the study's attribute file into levelTexts (previous contents discarded). A file that
// cannot be opened leaves levelTexts empty (N = 0); the preparation reports that.
// Throws OmbrelError when a limit is exceeded (lines of a level text, levels of an attribute,
// attributes), when the file begins with a blank line, or when it cannot be read.
void ReadAttributeFile(const StudyFiles& files, LevelTexts& levelTexts);

// The same over text from its current position; path names the file in messages.
void ReadAttributeFile(TextSource& source, const std::string& path, LevelTexts& levelTexts);

}  // namespace ombrel
