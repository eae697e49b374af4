#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/StudyFiles.h"
#include "common/TextSource.h"

namespace ombrel {

// Level values per attribute: levelValues[i][l] is the value of level l + 1 of attribute i + 1.
using LevelValues = std::vector<std::vector<double>>;

struct ValuesFileResult {
    bool fileExists = false;
    bool zeroCentred = false;  // some attribute's values did not sum to 0 and were shifted
    // Per attribute, what was subtracted from each of its values (0 when nothing); empty without a
    // file. The analyses need it to place a value as written on the coded scale.
    std::vector<double> centringShifts{};
};

// Reads the study's values file: per attribute its label line, then one number per
// level. levelValues is sized to levelCounts and starts at 0.0; valueTexts gets one (possibly
// empty) text per attribute. Numbers that are missing stay 0.0 and a missing label keeps the text
// read before it (empty when none was read); that is not reported. Each attribute's values are
// zero-centred. Throws OmbrelError naming the file when it cannot be read or holds a value that is
// not a finite number.
ValuesFileResult ReadValuesFile(const StudyFiles& files, const std::vector<int32_t>& levelCounts,
                                LevelValues& levelValues, std::vector<std::string>& valueTexts);

// The same for a values file that exists, read from source at its current position; path names
// the file in messages.
ValuesFileResult ReadValuesFile(TextSource& source, const std::string& path,
                                const std::vector<int32_t>& levelCounts, LevelValues& levelValues,
                                std::vector<std::string>& valueTexts);

}  // namespace ombrel
