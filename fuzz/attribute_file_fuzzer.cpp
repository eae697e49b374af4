// The attribute file (".att"): level texts, attributes separated by blank lines.

#include <cstddef>
#include <cstdint>

#include "common/OmbrelError.h"
#include "common/TextSource.h"
#include "fuzz/FuzzSupport.h"
#include "prepare/AttributeFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ombrel::MemoryTextSource text(ombrel::fuzz::AsText(data, size));
    ombrel::LevelTexts levelTexts;
    try {
        ombrel::ReadAttributeFile(text, "fuzz.att", levelTexts);
    } catch (const ombrel::OmbrelError&) {
    }
    return 0;
}
