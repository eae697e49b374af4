// The three files Tie Draws reads: the part-worth file's header, its saved draws and the constraints.
// The input is the part-worth file, the draws and the constraints, separated by lines "%%".

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/ByteStream.h"
#include "common/OmbrelError.h"
#include "common/TextSource.h"
#include "fuzz/FuzzSupport.h"
#include "tools/DrawsFile.h"
#include "tools/TieDraws.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> parts = ombrel::fuzz::SplitInput(data, size, 3);
    if (parts.size() < 3) return 0;
    const std::string partWorthPath = "fuzz.hbu";
    const std::string drawsPath = "fuzz.dra";
    const std::string constraintsPath = "fuzz.con";
    ombrel::MemoryTextSource partWorths(parts[0]);
    ombrel::MemoryDrawsText draws(parts[1]);
    ombrel::MemoryTextSource constraints(parts[2]);
    const ombrel::TieDrawsInputs inputs{partWorthPath, partWorths,      drawsPath,
                                        draws,         constraintsPath, constraints};
    ombrel::MemoryByteSink tied;
    ombrel::MemoryByteSink spreadsheet;
    try {
        (void)ombrel::TieDrawsFromText(inputs, tied, spreadsheet);
    } catch (const ombrel::OmbrelError&) {
    }
    return 0;
}
