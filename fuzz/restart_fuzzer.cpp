// The restart file (".res"): the chain's state, read back and written out again as the next run
// would write it.

#include <cstddef>
#include <cstdint>

#include "common/ByteStream.h"
#include "common/OmbrelError.h"
#include "common/TextSource.h"
#include "estimator/files/RestartFile.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ombrel::MemoryTextSource text(ombrel::fuzz::AsText(data, size));
    try {
        const ombrel::ChainState state = ombrel::ReadRestartState(text, "fuzz.res");
        ombrel::MemoryByteSink sink;
        ombrel::WriteRestartText(state, sink);
    } catch (const ombrel::OmbrelError&) {
    }
    return 0;
}
