#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ombrel {

// Level values per attribute: levelValues[i][l] is the value of level l + 1 of attribute i + 1.
using LevelValues = std::vector<std::vector<double>>;

struct ValuesFileResult {
    bool fileExists = false;
    bool zeroCentred = false;  // some attribute's values did not sum to 0 and were shifted
};

// Reads the values file, studyName + ".val": per attribute its label line, then one number per
// level. levelValues is sized to levelCounts and starts at 0.0; valueTexts gets one (possibly
// empty) text per attribute. Numbers that are missing stay 0.0 and a missing label keeps the text
// read before it (empty when none was read); that is not reported. Each attribute's values are
// zero-centred. Throws OmbrelError naming the file when it cannot be read or holds a value that is
// not a finite number.
ValuesFileResult ReadValuesFile(const std::string& studyName, const std::vector<int32_t>& levelCounts,
                                LevelValues& levelValues, std::vector<std::string>& valueTexts);

}  // namespace ombrel
