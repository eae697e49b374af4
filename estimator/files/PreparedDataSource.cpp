#include "estimator/files/PreparedDataSource.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <filesystem>
#include <new>
#include <stdexcept>
#include <system_error>

namespace ombrel {

namespace {

// Large pages for the whole pages inside [start, start + bytes); only a hint, so a refusal changes
// nothing.
void AdviseLargePages(void* start, size_t bytes) {
    constexpr uintptr_t kLargePage = uintptr_t{2} << 20;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(start) + kLargePage - 1) & ~(kLargePage - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(start) + bytes) & ~(kLargePage - 1);
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

// Grows storage to at least size elements; it never shrinks, so later fills reuse it.
template <typename T>
void Grow(std::vector<T>& storage, size_t size) {
    if (storage.size() < size) storage.resize(std::max(size, storage.size() * 2));
}

// Points the pass's task views at the storage of a block just read.
void ViewTasks(const RespondentData& respondent, std::vector<TaskBlock>& views) {
    std::span<const ExpandedTask> tasks = respondent.Tasks();
    views.resize(tasks.size());
    for (size_t t = 0; t < tasks.size(); ++t) {
        const ExpandedTask& task = tasks[t];
        TaskBlock& view = views[t];
        view.alternativeCount = task.alternativeCount;
        view.variableCount = task.variableCount;
        view.weight = task.weight;
        view.rows = task.rows.data();
        view.flags = task.chosen.data();
        view.chosenRow = -1;
        for (int32_t r = 0; r < task.alternativeCount; ++r) {
            if (task.chosen[static_cast<size_t>(r)] != 0) {
                view.chosenRow = r;
                break;
            }
        }
    }
}

// The whole prepared data, parsed once: every value, flag and task of every respondent back to back.
class InMemoryPreparedData : public PreparedDataSource {
public:
    InMemoryPreparedData(ByteSource& source, uint64_t sizeHint) {
        ReserveFor(sizeHint);
        RespondentData respondent;
        std::vector<TaskBlock> views;
        std::vector<size_t> rowOffsets;
        std::vector<size_t> flagOffsets;
        for (;;) {
            RecordOutcome outcome = ReadRespondentRecord(source, respondent);
            if (outcome != RecordOutcome::Read) {
                endOutcome_ = outcome;
                break;
            }
            ViewTasks(respondent, views);
            respondents_.push_back({respondent.RespondentNumber(), tasks_.size(), views.size()});
            for (const TaskBlock& view : views) {
                const size_t valueCount =
                    static_cast<size_t>(view.alternativeCount) * static_cast<size_t>(view.variableCount);
                rowOffsets.push_back(values_.size());
                flagOffsets.push_back(flags_.size());
                values_.insert(values_.end(), view.rows, view.rows + valueCount);
                flags_.insert(flags_.end(), view.flags, view.flags + view.alternativeCount);
                tasks_.push_back(view);
            }
        }
        // The storage is complete, so the views can point into it now.
        for (size_t t = 0; t < tasks_.size(); ++t) {
            tasks_[t].rows = values_.data() + rowOffsets[t];
            tasks_[t].flags = flags_.data() + flagOffsets[t];
        }
    }

    void Rewind() override { next_ = 0; }
    bool BlocksOutliveNext() const override { return true; }

    RecordOutcome Next(RespondentBlock& block) override {
        if (next_ >= respondents_.size()) return endOutcome_;
        const Entry& entry = respondents_[next_++];
        block.number = entry.number;
        block.taskCount = static_cast<int32_t>(entry.taskCount);
        block.tasks = tasks_.data() + entry.firstTask;
        return RecordOutcome::Read;
    }

private:
    struct Entry {
        int32_t number;
        size_t firstTask;
        size_t taskCount;
    };

    // A file of size bytes holds at most size / 8 values and size / 12 rows (a value and a flag
    // each). Reserving that much up front means the bulk of the storage never moves while it fills:
    // growing by doubling would keep up to twice the data, and for a moment three times, in memory.
    // Pages the data never reaches are never touched, so they take no memory. The values ask for
    // large pages, which spare the processor's address translation on a sweep of hundreds of
    // megabytes. Where the system refuses the reservation, the storage grows as it goes.
    void ReserveFor(uint64_t size) {
        if (size == 0) return;
        try {
            values_.reserve(static_cast<size_t>(size / 8));
            flags_.reserve(static_cast<size_t>(size / 12));
        } catch (const std::bad_alloc&) {
            return;
        } catch (const std::length_error&) {
            return;
        }
        AdviseLargePages(values_.data(), values_.capacity() * sizeof(double));
    }

    std::vector<double> values_;
    std::vector<int32_t> flags_;
    std::vector<TaskBlock> tasks_;
    std::vector<Entry> respondents_;
    RecordOutcome endOutcome_ = RecordOutcome::EndOfData;
    size_t next_ = 0;
};

// Reads the file again every pass, in large sequential reads into one buffer, and parses each block
// out of that buffer; only the current block is kept, flattened like the in-memory data. The checks
// and outcomes are ReadRespondentRecord's: a cut anywhere inside a block is a premature end, nothing
// at all where a block would begin is the end of the data.
class StreamedPreparedData : public PreparedDataSource {
public:
    StreamedPreparedData(std::unique_ptr<ByteSource> source, size_t bufferSize)
        : source_(std::move(source)), buffer_(std::max(bufferSize, kMinBufferSize)) {}

    void Rewind() override {
        source_->Rewind();
        cursor_ = 0;
        end_ = 0;
        sourceEnded_ = false;
    }

    RecordOutcome Next(RespondentBlock& block) override {
        current_.Clear();
        size_t firstTask = 0;
        const RecordOutcome outcome = ParseBlock(block, current_, firstTask);
        if (outcome == RecordOutcome::Read) block.tasks = current_.Seal();
        return outcome;
    }

    RecordOutcome NextInto(RespondentBlock& block, BlockStorage& storage, size_t& firstTask) override {
        return ParseBlock(block, storage, firstTask);
    }

private:
    // Holds the largest unit that must be whole in the buffer: one row of 1000 values and its flag.
    static constexpr size_t kMinBufferSize = size_t{kMaxRowValues} * 8 + 4;

    size_t Available() const { return end_ - cursor_; }

    // True when count bytes lie in the buffer from the cursor on, refilling it when they do not.
    bool Have(size_t count) { return Available() >= count || Refill(count); }

    bool Refill(size_t count) {
        if (sourceEnded_) return false;
        // Keeps the unread tail, moved to the front, and fills the rest with one large read at a time.
        const size_t kept = Available();
        if (kept > 0 && cursor_ > 0) std::memmove(buffer_.data(), buffer_.data() + cursor_, kept);
        cursor_ = 0;
        end_ = kept;
        if (buffer_.size() < count) buffer_.resize(count);
        while (end_ < count) {
            const size_t wanted = buffer_.size() - end_;
            const size_t got = source_->Read(buffer_.data() + end_, wanted);
            end_ += got;
            // A short read is the end of the file, or a failure that reads like one.
            if (got < wanted) {
                sourceEnded_ = true;
                break;
            }
        }
        return end_ >= count;
    }

    // After a cut block the rest of the file is gone: the next call reports the end of the data, as
    // a file read to its end would.
    void Discard() { cursor_ = end_; }
    RecordOutcome PrematureEnd() {
        Discard();
        return RecordOutcome::PrematureEnd;
    }

    int32_t TakeInt32() {
        const unsigned char* bytes = buffer_.data() + cursor_;
        cursor_ += 4;
        return static_cast<int32_t>(static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                                    static_cast<uint32_t>(bytes[2]) << 16 |
                                    static_cast<uint32_t>(bytes[3]) << 24);
    }

    void TakeFloat64Run(double* values, size_t count) {
        const unsigned char* bytes = buffer_.data() + cursor_;
        cursor_ += count * 8;
        if constexpr (std::endian::native == std::endian::little) {
            if (count > 0) std::memcpy(values, bytes, count * 8);
        } else {
            for (size_t i = 0; i < count; ++i) values[i] = DecodeFloat64(bytes + 8 * i);
        }
    }

    RecordOutcome ParseBlock(RespondentBlock& block, BlockStorage& storage, size_t& firstTask) {
        if (!Have(8)) {
            const bool nothingLeft = Available() == 0;
            Discard();
            return nothingLeft ? RecordOutcome::EndOfData : RecordOutcome::PrematureEnd;
        }
        const int32_t number = TakeInt32();
        const int32_t taskCount = TakeInt32();
        CheckTaskCount(number, taskCount);
        firstTask = storage.TaskCount();
        // Tasks are added one at a time as they are read, so a huge E in a short file costs nothing.
        for (int32_t t = 0; t < taskCount; ++t) {
            if (!Have(8)) return PrematureEnd();
            const int32_t alternatives = TakeInt32();
            const int32_t variables = TakeInt32();
            CheckTaskShape(number, alternatives, variables);
            const size_t rowLength = static_cast<size_t>(variables);
            const size_t index = storage.AddTask(static_cast<size_t>(alternatives) * rowLength,
                                                 static_cast<size_t>(alternatives));
            double* const values = storage.Values(index);
            int32_t* const flags = storage.Flags(index);
            int32_t chosenRow = -1;
            // The values are checked once per task, which is cheaper than row by row; a cut task
            // checks the rows before the cut first, so a damaged row still wins over a later cut.
            for (int32_t r = 0; r < alternatives; ++r) {
                const size_t offset = static_cast<size_t>(r) * rowLength;
                if (!Have(rowLength * 8 + 4)) {
                    CheckRowValues(number, values, offset);
                    return PrematureEnd();
                }
                TakeFloat64Run(values + offset, rowLength);
                const int32_t flag = TakeInt32();
                flags[r] = flag;
                if (flag != 0 && chosenRow < 0) chosenRow = r;
            }
            CheckRowValues(number, values, static_cast<size_t>(alternatives) * rowLength);
            if (!Have(8)) return PrematureEnd();
            double weight = 0.0;
            TakeFloat64Run(&weight, 1);
            CheckWeight(number, weight);
            TaskBlock& task = storage.Task(index);
            task.alternativeCount = alternatives;
            task.variableCount = variables;
            task.chosenRow = chosenRow;
            task.weight = weight;
        }
        block.number = number;
        block.taskCount = taskCount;
        block.tasks = storage.TasksFrom(firstTask);
        return RecordOutcome::Read;
    }

    std::unique_ptr<ByteSource> source_;
    std::vector<unsigned char> buffer_;
    size_t cursor_ = 0;  // next unparsed byte
    size_t end_ = 0;     // end of the bytes read
    bool sourceEnded_ = false;
    BlockStorage current_;  // the block Next read last
};

}  // namespace

size_t BlockStorage::AddTask(size_t valueCount, size_t flagCount) {
    const size_t index = taskCount_++;
    Grow(tasks_, taskCount_);
    Grow(valueOffsets_, taskCount_);
    Grow(flagOffsets_, taskCount_);
    Grow(values_, valueCount_ + valueCount);
    Grow(flags_, flagCount_ + flagCount);
    valueOffsets_[index] = valueCount_;
    flagOffsets_[index] = flagCount_;
    valueCount_ += valueCount;
    flagCount_ += flagCount;
    return index;
}

const TaskBlock* BlockStorage::Seal() {
    for (size_t t = 0; t < taskCount_; ++t) {
        tasks_[t].rows = values_.data() + valueOffsets_[t];
        tasks_[t].flags = flags_.data() + flagOffsets_[t];
    }
    return tasks_.data();
}

RecordOutcome PreparedDataSource::NextInto(RespondentBlock& block, BlockStorage& storage, size_t& firstTask) {
    const RecordOutcome outcome = Next(block);
    if (outcome != RecordOutcome::Read) return outcome;
    firstTask = storage.TaskCount();
    for (int32_t t = 0; t < block.taskCount; ++t) {
        const TaskBlock& task = block.tasks[t];
        const size_t valueCount =
            static_cast<size_t>(task.alternativeCount) * static_cast<size_t>(task.variableCount);
        const size_t flagCount = static_cast<size_t>(task.alternativeCount);
        const size_t index = storage.AddTask(valueCount, flagCount);
        std::copy(task.rows, task.rows + valueCount, storage.Values(index));
        std::copy(task.flags, task.flags + flagCount, storage.Flags(index));
        storage.Task(index) = task;
    }
    block.tasks = storage.TasksFrom(firstTask);
    return outcome;
}

uint64_t DefaultMemoryBudget() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return uint64_t{1} << 30;
    return static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize) / 4;
}

std::unique_ptr<PreparedDataSource> LoadPreparedDataInMemory(ByteSource& source, uint64_t sizeHint) {
    return std::make_unique<InMemoryPreparedData>(source, sizeHint);
}

std::unique_ptr<PreparedDataSource> StreamPreparedData(std::unique_ptr<ByteSource> source,
                                                       size_t bufferSize) {
    return std::make_unique<StreamedPreparedData>(std::move(source), bufferSize);
}

std::unique_ptr<PreparedDataSource> OpenPreparedData(const std::string& path, uint64_t memoryBudget) {
    auto file = std::make_unique<FileByteStream>();
    if (!file->Open(path, "rb")) return nullptr;
    std::error_code error;
    const uintmax_t size = std::filesystem::file_size(path, error);
    if (!error && size <= memoryBudget) {
        file->SetBufferSize(kStreamBufferSize);
        return LoadPreparedDataInMemory(*file, size);
    }
    // The stream reads in blocks of its own buffer's size, which stdio hands straight to read().
    return StreamPreparedData(std::move(file));
}

}  // namespace ombrel
