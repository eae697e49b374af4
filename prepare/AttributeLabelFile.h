#pragma once

#include <string>
#include <vector>

#include "common/StudyFiles.h"
#include "prepare/AttributeFile.h"
#include "prepare/EffectsMatrix.h"

namespace ombrel {

// The text of the attribute label file for the given model. levelTexts holds the level texts of
// the attribute file; valueTexts the values-file text per attribute (missing entries count as
// empty), used as the label of a linear attribute; effects is N x N for the N attributes of
// levelTexts. Throws OmbrelError when effects does not match levelTexts.
std::string FormatAttributeLabels(const LevelTexts& levelTexts, const std::vector<std::string>& valueTexts,
                                  const EffectsMatrix& effects, bool noneEstimated);

// Writes that text to the attribute label file in studyFolder (AttributeLabelPath), replacing any earlier
// file. Throws OmbrelError naming the file when it cannot be created or written; a partly written file is
// removed.
void WriteAttributeLabelFile(const std::string& studyFolder, const LevelTexts& levelTexts,
                             const std::vector<std::string>& valueTexts, const EffectsMatrix& effects,
                             bool noneEstimated);

}  // namespace ombrel
