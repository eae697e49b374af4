// The constraints file (".con"), checked against the model of an attribute label file: the input is
// the label file, a separator line "%%", then the constraints. The first byte is not part of either:
// bit 0 asks for the interaction check of dummy coding.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/OmbrelError.h"
#include "common/TextSource.h"
#include "estimator/files/AttributeModel.h"
#include "estimator/files/Constraints.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const unsigned options = ombrel::fuzz::TakeOptionByte(data, size);
    const std::vector<std::string> parts = ombrel::fuzz::SplitInput(data, size, 2);
    if (parts.size() < 2) return 0;
    try {
        ombrel::MemoryTextSource labels(parts[0]);
        ombrel::AttributeModel model;
        ombrel::ReadAttributeLabels(labels, model);
        ombrel::MemoryTextSource text(parts[1]);
        (void)ombrel::ReadConstraintList(text, model, (options & 1) != 0);
    } catch (const ombrel::OmbrelError&) {
    }
    return 0;
}
