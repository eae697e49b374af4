#include "estimator/PreparedDataSource.h"

#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace ombrel {

namespace {

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
    explicit InMemoryPreparedData(ByteSource& source) {
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
                const size_t valueCount = static_cast<size_t>(view.alternativeCount) * static_cast<size_t>(view.variableCount);
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
    std::vector<double> values_;
    std::vector<int32_t> flags_;
    std::vector<TaskBlock> tasks_;
    std::vector<Entry> respondents_;
    RecordOutcome endOutcome_ = RecordOutcome::EndOfData;
    size_t next_ = 0;
};

// Reads the file block by block every pass; only the current block is in memory.
class StreamedPreparedData : public PreparedDataSource {
public:
    explicit StreamedPreparedData(std::unique_ptr<ByteSource> source) : source_(std::move(source)) {}

    void Rewind() override { source_->Rewind(); }

    RecordOutcome Next(RespondentBlock& block) override {
        RecordOutcome outcome = ReadRespondentRecord(*source_, respondent_);
        if (outcome != RecordOutcome::Read) return outcome;
        ViewTasks(respondent_, views_);
        block.number = respondent_.RespondentNumber();
        block.taskCount = static_cast<int32_t>(views_.size());
        block.tasks = views_.data();
        return RecordOutcome::Read;
    }

private:
    std::unique_ptr<ByteSource> source_;
    RespondentData respondent_;
    std::vector<TaskBlock> views_;
};

constexpr size_t kStreamBufferSize = size_t{4} << 20;

}  // namespace

uint64_t DefaultMemoryBudget() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return uint64_t{1} << 30;
    return static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize) / 4;
}

std::unique_ptr<PreparedDataSource> LoadPreparedDataInMemory(ByteSource& source) {
    return std::make_unique<InMemoryPreparedData>(source);
}

std::unique_ptr<PreparedDataSource> StreamPreparedData(std::unique_ptr<ByteSource> source) {
    return std::make_unique<StreamedPreparedData>(std::move(source));
}

std::unique_ptr<PreparedDataSource> OpenPreparedData(const std::string& path, uint64_t memoryBudget) {
    auto file = std::make_unique<FileByteStream>();
    if (!file->Open(path, "rb")) return nullptr;
    file->SetBufferSize(kStreamBufferSize);
    std::error_code error;
    const uintmax_t size = std::filesystem::file_size(path, error);
    if (!error && size <= memoryBudget) return LoadPreparedDataInMemory(*file);
    return StreamPreparedData(std::move(file));
}

}  // namespace ombrel
