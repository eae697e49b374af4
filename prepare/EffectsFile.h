#pragma once

#include <string>

#include "prepare/EffectsMatrix.h"
#include "prepare/ValuesFile.h"

namespace ombrel {

// Reads the effects file, studyName + ".eff", into effects (attributeCount x attributeCount) and
// dropNone, and appends the effects statement to report. Without the file every attribute is a
// part-worth attribute, there are no interactions and the None is kept. values says whether a
// values file exists (a linear attribute needs one) and whether its values were zero-centred.
// Throws OmbrelError with the user's message when the file asks for something impossible.
void ReadEffectsFile(const std::string& studyName, int attributeCount, const ValuesFileResult& values,
                     std::string& report, EffectsMatrix& effects, bool& dropNone);

}  // namespace ombrel
