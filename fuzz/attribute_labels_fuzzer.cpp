// The attribute label file ("qebatt.tmp"): the model it describes, and the level expansion the
// estimator builds from it under both codings.

#include <cstddef>
#include <cstdint>

#include "common/OmbrelError.h"
#include "common/TextSource.h"
#include "estimator/chain/LevelExpansion.h"
#include "estimator/files/AttributeModel.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ombrel::MemoryTextSource text(ombrel::fuzz::AsText(data, size));
    ombrel::AttributeModel model;
    try {
        ombrel::ReadAttributeLabels(text, model);
        for (const bool effectsCoding : {true, false}) {
            try {
                const ombrel::LevelExpansion expansion(model, effectsCoding);
                (void)expansion.ParameterCount();
            } catch (const ombrel::OmbrelError&) {
            }
        }
    } catch (const ombrel::OmbrelError&) {
    }
    return 0;
}
