// The discrete-choice data (".cho") through the converter into allocation data: the input is the
// data, and after a separator line "%%" the optional response file.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/ByteStream.h"
#include "common/OmbrelError.h"
#include "common/TextSource.h"
#include "fuzz/FuzzSupport.h"
#include "prepare/Cho2ChsConverter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> parts = ombrel::fuzz::SplitInput(data, size, 2);
    ombrel::MemoryTextSource choiceData(parts[0]);
    std::unique_ptr<ombrel::MemoryTextSource> responses;
    if (parts.size() > 1) responses = std::make_unique<ombrel::MemoryTextSource>(parts[1]);
    ombrel::MemoryByteSink target;
    try {
        ombrel::Cho2ChsConvert(choiceData, responses.get(), target, "fuzz.cho", "fuzz.chs");
    } catch (const ombrel::OmbrelError&) {
    }
    return 0;
}
