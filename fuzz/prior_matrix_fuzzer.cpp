// The custom prior (".mtrx"): P x P numbers. The first byte is not part of the file: it gives P
// (0 to 255).

#include <cstddef>
#include <cstdint>

#include "common/OmbrelError.h"
#include "common/TextSource.h"
#include "estimator/chain/Matrix.h"
#include "estimator/files/PriorMatrixFile.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int parameterCount = static_cast<int>(ombrel::fuzz::TakeOptionByte(data, size));
    ombrel::MemoryTextSource text(ombrel::fuzz::AsText(data, size));
    ombrel::SquareMatrix prior(parameterCount);
    try {
        ombrel::ReadPriorMatrix(text, "fuzz.mtrx", prior);
    } catch (const ombrel::OmbrelError&) {
    }
    return 0;
}
