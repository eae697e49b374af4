// The part-worth file (".hbu"), read whole.

#include <cstddef>
#include <cstdint>

#include "analysis/PartWorthTable.h"
#include "common/OmbrelError.h"
#include "common/TextSource.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ombrel::MemoryTextSource text(ombrel::fuzz::AsText(data, size));
    try {
        (void)ombrel::ReadPartWorthTable(text, "fuzz.hbu");
    } catch (const ombrel::OmbrelError&) {
    }
    return 0;
}
