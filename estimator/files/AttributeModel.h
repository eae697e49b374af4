#pragma once

#include <string>
#include <vector>

#include "common/Messenger.h"
#include "common/TextSource.h"

namespace ombrel {

// The longest level label kept; a longer label line is cut there.
inline constexpr size_t kMaxLabelLength = 4095;
// Bounds of a label file the preparation can write; beyond them the file is rejected.
inline constexpr int kMaxLabelFileAttributes = 1000;
inline constexpr int kMaxLabelFileLevels = 999;

// The model's structure as the attribute label file "qebatt.tmp" describes it. Indices are 0-based.
struct AttributeModel {
    int attributeCount = 0;
    bool hasNone = false;  // the None parameter is estimated
    // Levels per attribute as the label file gives them: 1 for a linear attribute.
    std::vector<int> levelsPerAttribute;
    // attributeCount x attributeCount. Diagonal: 0 not in the model, > 0 part-worth, < 0 linear.
    // [i][j] with i < j and > 0: the interaction of i and j is estimated.
    std::vector<std::vector<int>> attributeCodes;
    // Per attribute, levelsPerAttribute[i] labels; empty for attributes not in the model. A linear
    // attribute's one label is in its first slot. Labels the file does not reach stay empty.
    std::vector<std::vector<std::string>> attributeLabels;
    // Expanded levels: levels of the attributes in the model, one per cell of every interaction
    // table, and 1 for None.
    int levelCount = 0;
};

// Reads a label file's text into model (previous contents discarded). The numbers are read
// free-format; a number that cannot be read ends the reading, and it and every later field keep their
// initial values (0, empty). Throws OmbrelError naming qebatt.tmp, and leaves the model empty, when
// the counts are impossible (attributes outside 0 .. 1000, levels outside 0 .. 999, a levelCount
// beyond int) or the source failed.
void ReadAttributeLabels(TextSource& source, AttributeModel& model);

// Reads the label file of the study folder (a regular file only) with ReadAttributeLabels. A missing
// file shows "Could not find qebatt.tmp file." and leaves the model empty.
void LoadAttributeLabels(const std::string& studyFolder, Messenger& messenger, AttributeModel& model);

}  // namespace ombrel
