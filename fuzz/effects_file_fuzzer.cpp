// The effects file (".eff"). The first byte is not part of the file: its bits 0 and 1 say whether a
// values file exists and was zero-centred, bits 2 to 7 give the attribute count (0 to 63).

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/OmbrelError.h"
#include "common/TextSource.h"
#include "fuzz/FuzzSupport.h"
#include "prepare/EffectsFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const unsigned options = ombrel::fuzz::TakeOptionByte(data, size);
    ombrel::ValuesFileResult values;
    values.fileExists = (options & 1) != 0;
    values.zeroCentred = (options & 2) != 0;
    const int attributeCount = static_cast<int>(options >> 2);
    ombrel::MemoryTextSource text(ombrel::fuzz::AsText(data, size));
    std::string report;
    ombrel::EffectsMatrix effects;
    bool dropNone = false;
    try {
        ombrel::ReadEffectsFile(text, "fuzz.eff", attributeCount, values, report, effects, dropNone);
    } catch (const ombrel::OmbrelError&) {
    }
    return 0;
}
