#pragma once

// The respondent pass sweeps the prepared data file once per iteration. A study whose prepared data
// fits the memory budget is parsed once into per-respondent blocks laid out for the utility loop;
// a larger one is streamed from the file with large sequential reads. Both hand the pass the same
// blocks in the same order, so both give the same chain.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/ByteStream.h"
#include "estimator/files/PreparedData.h"

namespace ombrel {

// One expanded task as the pass uses it: R rows of V values back to back.
struct TaskBlock {
    int32_t alternativeCount = 0;
    int32_t variableCount = 0;
    int32_t chosenRow = -1;  // first row whose choice flag is nonzero; -1 when none (the task is not used)
    double weight = 0.0;
    const double* rows = nullptr;    // alternativeCount * variableCount values
    const int32_t* flags = nullptr;  // alternativeCount choice flags, as read
};

struct RespondentBlock {
    int32_t number = 0;
    int32_t taskCount = 0;
    const TaskBlock* tasks = nullptr;
};

class PreparedDataSource {
public:
    virtual ~PreparedDataSource() = default;
    // Back to the first respondent.
    virtual void Rewind() = 0;
    // The next respondent's block, valid until the next call. EndOfData after the last complete
    // block; PrematureEnd when the file ended inside a block.
    virtual RecordOutcome Next(RespondentBlock& block) = 0;
    // Whether every block stays valid until the source is destroyed, so that a reader may keep the
    // blocks of several respondents at once without copying them.
    virtual bool BlocksOutliveNext() const { return false; }
};

// Opens the prepared data file: in memory when its size is within memoryBudget bytes, else streamed.
// Returns null when the file cannot be opened. Malformed blocks throw OmbrelError.
std::unique_ptr<PreparedDataSource> OpenPreparedData(const std::string& path, uint64_t memoryBudget);

// A quarter of the physical memory.
uint64_t DefaultMemoryBudget();

// The two implementations, for tests and for the benchmark.
// sizeHint: the source's size in bytes when known (0: unknown), so that the storage is laid out once.
std::unique_ptr<PreparedDataSource> LoadPreparedDataInMemory(ByteSource& source, uint64_t sizeHint = 0);
// The stream parses blocks out of a buffer of bufferSize bytes (at least one row of the largest
// size), refilled with one read at a time. The default fits a core's L2 cache, so the parse finds the
// bytes the kernel has just copied still in the cache.
inline constexpr size_t kStreamBufferSize = size_t{256} << 10;
std::unique_ptr<PreparedDataSource> StreamPreparedData(std::unique_ptr<ByteSource> source,
                                                       size_t bufferSize = kStreamBufferSize);

}  // namespace ombrel
