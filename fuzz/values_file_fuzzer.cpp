// The values file (".val"), read for the levels of an attribute file: the input is the attribute
// file, the separator line "%%", then the values file.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/OmbrelError.h"
#include "common/TextSource.h"
#include "fuzz/FuzzSupport.h"
#include "prepare/AttributeFile.h"
#include "prepare/ValuesFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> parts = ombrel::fuzz::SplitInput(data, size, 2);
    if (parts.size() < 2) return 0;
    try {
        ombrel::MemoryTextSource attributes(parts[0]);
        ombrel::LevelTexts levelTexts;
        ombrel::ReadAttributeFile(attributes, "fuzz.att", levelTexts);
        std::vector<int32_t> levelCounts;
        for (const std::vector<std::string>& levels : levelTexts)
            levelCounts.push_back(static_cast<int32_t>(levels.size()));
        ombrel::MemoryTextSource text(parts[1]);
        ombrel::LevelValues levelValues;
        std::vector<std::string> valueTexts;
        ombrel::ReadValuesFile(text, "fuzz.val", levelCounts, levelValues, valueTexts);
    } catch (const ombrel::OmbrelError&) {
    }
    return 0;
}
