// The qualifiers file (".qal"): conditions on the respondent variables, then a respondent checked
// against them.

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/OmbrelError.h"
#include "common/TextSource.h"
#include "fuzz/FuzzSupport.h"
#include "prepare/QualifierFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ombrel::MemoryTextSource text(ombrel::fuzz::AsText(data, size));
    std::string report;
    try {
        const ombrel::RespondentQualifiers qualifiers = ombrel::ReadQualifierFile(text, "fuzz.qal", report);
        ombrel::RespondentVariables variables{};
        for (size_t i = 0; i < variables.size(); ++i) variables[i] = static_cast<int32_t>(i);
        (void)ombrel::Qualifies(qualifiers, variables);
    } catch (const ombrel::OmbrelError&) {
    }
    return 0;
}
