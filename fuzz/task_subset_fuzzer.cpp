// The task subset file (".sub"): the task numbers the preparation keeps.

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/OmbrelError.h"
#include "common/TextSource.h"
#include "fuzz/FuzzSupport.h"
#include "prepare/TaskSubset.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ombrel::MemoryTextSource text(ombrel::fuzz::AsText(data, size));
    std::string report;
    try {
        const ombrel::TaskSubset subset = ombrel::ReadTaskSubsetFile(text, "fuzz.sub", report);
        for (int32_t task = 0; task <= ombrel::kMaxTasks + 1; ++task) (void)subset.IsKept(task);
    } catch (const ombrel::OmbrelError&) {
    }
    return 0;
}
