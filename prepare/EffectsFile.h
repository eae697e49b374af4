#pragma once

#include <string>

#include "common/StudyFiles.h"
#include "common/TextSource.h"
#include "prepare/EffectsMatrix.h"
#include "prepare/ValuesFile.h"

namespace ombrel {

// Reads the study's effects file into effects (attributeCount x attributeCount) and
// dropNone, and appends the effects statement to report. Without the file every attribute is a
// part-worth attribute, there are no interactions and the None is kept. values says whether a
// values file exists (a linear attribute needs one) and whether its values were zero-centred.
// Throws OmbrelError with the user's message when the file asks for something impossible.
void ReadEffectsFile(const StudyFiles& files, int attributeCount, const ValuesFileResult& values,
                     std::string& report, EffectsMatrix& effects, bool& dropNone);

// The same for an effects file that exists, read from source at its current position; path names
// the file in messages.
void ReadEffectsFile(TextSource& source, const std::string& path, int attributeCount,
                     const ValuesFileResult& values, std::string& report, EffectsMatrix& effects,
                     bool& dropNone);

}  // namespace ombrel
