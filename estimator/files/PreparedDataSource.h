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

// The blocks of several respondents back to back: their tasks, values and flags, for a reader that
// keeps more than the current block of a source whose blocks last only until its next read. Storage
// is reused from fill to fill, so a steady stream of blocks allocates nothing.
class BlockStorage {
public:
    // Empties the storage, keeping its capacity.
    void Clear() { taskCount_ = valueCount_ = flagCount_ = 0; }
    // Room for one more task of valueCount values and flagCount flags; returns its index. The
    // storage may move, so only indices and offsets stay valid until Seal().
    size_t AddTask(size_t valueCount, size_t flagCount);
    TaskBlock& Task(size_t index) { return tasks_[index]; }
    const TaskBlock* TasksFrom(size_t index) const { return tasks_.data() + index; }
    double* Values(size_t task) { return values_.data() + valueOffsets_[task]; }
    int32_t* Flags(size_t task) { return flags_.data() + flagOffsets_[task]; }
    size_t TaskCount() const { return taskCount_; }
    // Once filled: points every task's rows and flags into the storage; returns the first task, so
    // that a block's tasks are this plus the index of its first task.
    const TaskBlock* Seal();

private:
    std::vector<TaskBlock> tasks_;
    std::vector<size_t> valueOffsets_;
    std::vector<size_t> flagOffsets_;
    std::vector<double> values_;
    std::vector<int32_t> flags_;
    size_t taskCount_ = 0;
    size_t valueCount_ = 0;
    size_t flagCount_ = 0;
};

class PreparedDataSource {
public:
    virtual ~PreparedDataSource() = default;
    // Back to the first respondent.
    virtual void Rewind() = 0;
    // The next respondent's block, valid until the next call. EndOfData after the last complete
    // block; PrematureEnd when the file ended inside a block.
    virtual RecordOutcome Next(RespondentBlock& block) = 0;
    // Next, with the block's tasks, values and flags added to storage instead; firstTask gets the
    // index of its first task. block.tasks points at its tasks in the storage until anything more is
    // added, and their rows and flags are set only when the storage is sealed. The default copies
    // what Next gives; the streamed source parses straight into the storage.
    virtual RecordOutcome NextInto(RespondentBlock& block, BlockStorage& storage, size_t& firstTask);
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
