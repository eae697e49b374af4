// The prepared data file ("qebdat.tmp"), read the three ways the estimator reads it: block by block,
// parsed whole into memory, and streamed through a buffer of the smallest size allowed.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "common/ByteStream.h"
#include "common/OmbrelError.h"
#include "estimator/files/PreparedData.h"
#include "estimator/files/PreparedDataSource.h"

namespace {

void ReadBlocks(const std::vector<unsigned char>& bytes) {
    ombrel::MemoryByteSource source(bytes);
    ombrel::RespondentData respondent;
    while (ombrel::ReadRespondentRecord(source, respondent) == ombrel::RecordOutcome::Read) {
        const auto tasks = respondent.Tasks();
        if (!tasks.empty()) ombrel::RequireVariableCount(respondent, tasks.front().variableCount);
    }
}

void Sweep(ombrel::PreparedDataSource& source) {
    for (int pass = 0; pass < 2; ++pass) {
        source.Rewind();
        ombrel::RespondentBlock block;
        while (source.Next(block) == ombrel::RecordOutcome::Read) {
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<unsigned char> bytes(data, data + size);
    try {
        ReadBlocks(bytes);
    } catch (const ombrel::OmbrelError&) {
    }
    try {
        ombrel::MemoryByteSource source(bytes);
        Sweep(*ombrel::LoadPreparedDataInMemory(source, size));
    } catch (const ombrel::OmbrelError&) {
    }
    try {
        // A buffer below the smallest is raised to it.
        Sweep(*ombrel::StreamPreparedData(std::make_unique<ombrel::MemoryByteSource>(bytes), 1));
    } catch (const ombrel::OmbrelError&) {
    }
    return 0;
}
