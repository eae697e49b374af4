// The saved draws (".dra") of a part-worth file: the input is the part-worth file, a separator line
// "%%", then the draws.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/PartWorthDraws.h"
#include "analysis/PartWorthTable.h"
#include "common/OmbrelError.h"
#include "common/TextSource.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> parts = ombrel::fuzz::SplitInput(data, size, 2);
    if (parts.size() < 2) return 0;
    try {
        ombrel::MemoryTextSource partWorths(parts[0]);
        const ombrel::PartWorthTable table = ombrel::ReadPartWorthTable(partWorths, "fuzz.hbu");
        ombrel::MemoryTextSource draws(parts[1]);
        double sum = 0.0;
        ombrel::ForEachDraw(draws, "fuzz.dra", table, "fuzz.hbu",
                            [&](size_t, int, const std::vector<double>& values) {
                                for (double value : values) sum += value;
                            });
    } catch (const ombrel::OmbrelError&) {
    }
    return 0;
}
