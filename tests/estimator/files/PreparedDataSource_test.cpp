// The streamed prepared data must hand the respondent pass exactly what ReadRespondentRecord reads:
// the same blocks, the same ends (normal or premature) after every possible cut, and the same
// messages for damaged blocks, whatever the buffer size and wherever a refill falls.

#include "estimator/files/PreparedDataSource.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/OmbrelError.h"
#include "tests/support/SimulatedStudy.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using test::Bytes;

std::vector<unsigned char> Concat(std::vector<unsigned char> a, const std::vector<unsigned char>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Respondent `number` with `tasks` expanded tasks of R alternatives and V values per row; the
// chosen row moves from task to task, and the last task has no chosen row.
std::vector<unsigned char> Block(int32_t number, int32_t tasks, int32_t alternatives, int32_t variables) {
    Bytes bytes;
    bytes.I32(number).I32(tasks);
    for (int32_t t = 0; t < tasks; ++t) {
        bytes.I32(alternatives).I32(variables);
        const int32_t chosen = t == tasks - 1 && tasks > 1 ? -1 : t % alternatives;
        for (int32_t r = 0; r < alternatives; ++r) {
            for (int32_t k = 0; k < variables; ++k) bytes.F64(number * 1000.0 + t * 100 + r * 10 + k + 0.25);
            bytes.I32(r == chosen ? 1 : 0);
        }
        bytes.F64(0.5 + t);
    }
    return bytes.Get();
}

// A block or an end, written out as text so that two readers' sequences compare in one assertion.
std::string Describe(const RespondentBlock& block) {
    std::string text = "block " + std::to_string(block.number) + ":";
    for (int32_t t = 0; t < block.taskCount; ++t) {
        const TaskBlock& task = block.tasks[t];
        text += " [" + std::to_string(task.alternativeCount) + "x" + std::to_string(task.variableCount) +
                " chosen " + std::to_string(task.chosenRow) + " weight " + std::to_string(task.weight) +
                " rows";
        const size_t values =
            static_cast<size_t>(task.alternativeCount) * static_cast<size_t>(task.variableCount);
        for (size_t i = 0; i < values; ++i) text += " " + std::to_string(task.rows[i]);
        text += " flags";
        for (int32_t r = 0; r < task.alternativeCount; ++r) text += " " + std::to_string(task.flags[r]);
        text += "]";
    }
    return text;
}

std::string Describe(RecordOutcome outcome) {
    switch (outcome) {
        case RecordOutcome::Read:
            return "read";
        case RecordOutcome::EndOfData:
            return "end of data";
        case RecordOutcome::PrematureEnd:
            return "premature end";
    }
    return "?";
}

// Everything a source hands out, up to its first end or failure, and one more call after an end.
std::vector<std::string> Drain(PreparedDataSource& data) {
    std::vector<std::string> seen;
    try {
        for (int calls = 0; calls < 10000; ++calls) {
            RespondentBlock block;
            const RecordOutcome outcome = data.Next(block);
            if (outcome == RecordOutcome::Read) {
                seen.push_back(Describe(block));
                continue;
            }
            seen.push_back(Describe(outcome));
            seen.push_back("then " + Describe(data.Next(block)));
            break;
        }
    } catch (const OmbrelError& error) {
        seen.push_back(std::string("failure: ") + error.what());
    }
    return seen;
}

std::vector<std::string> DrainInMemory(const std::vector<unsigned char>& bytes) {
    MemoryByteSource source(bytes);
    try {
        std::unique_ptr<PreparedDataSource> data = LoadPreparedDataInMemory(source);
        return Drain(*data);
    } catch (const OmbrelError& error) {
        return {std::string("failure: ") + error.what()};
    }
}

// The in-memory data reads everything at load, so a failure there hides the blocks before it;
// the reference here reads block by block with ReadRespondentRecord, as the stream does.
std::vector<std::string> DrainRecordByRecord(const std::vector<unsigned char>& bytes) {
    MemoryByteSource source(bytes);
    RespondentData respondent;
    std::vector<std::string> seen;
    try {
        for (;;) {
            const RecordOutcome outcome = ReadRespondentRecord(source, respondent);
            if (outcome != RecordOutcome::Read) {
                seen.push_back(Describe(outcome));
                seen.push_back("then " + Describe(ReadRespondentRecord(source, respondent)));
                return seen;
            }
            std::string text = "block " + std::to_string(respondent.RespondentNumber()) + ":";
            for (const ExpandedTask& task : respondent.Tasks()) {
                int32_t chosen = -1;
                for (int32_t r = 0; r < task.alternativeCount && chosen < 0; ++r)
                    if (task.chosen[static_cast<size_t>(r)] != 0) chosen = r;
                text += " [" + std::to_string(task.alternativeCount) + "x" +
                        std::to_string(task.variableCount) + " chosen " + std::to_string(chosen) +
                        " weight " + std::to_string(task.weight) + " rows";
                for (double value : task.rows) text += " " + std::to_string(value);
                text += " flags";
                for (int32_t flag : task.chosen) text += " " + std::to_string(flag);
                text += "]";
            }
            seen.push_back(text);
        }
    } catch (const OmbrelError& error) {
        seen.push_back(std::string("failure: ") + error.what());
    }
    return seen;
}

std::vector<std::string> DrainStreamed(const std::vector<unsigned char>& bytes,
                                       size_t bufferSize = kStreamBufferSize) {
    std::unique_ptr<PreparedDataSource> data =
        StreamPreparedData(std::make_unique<MemoryByteSource>(bytes), bufferSize);
    return Drain(*data);
}

// A source that hands out its bytes in pieces of at most `piece` bytes per read, then fails (reads
// nothing) from byte `failAt` on, as a disk error would.
class ChoppyByteSource : public ByteSource {
public:
    ChoppyByteSource(std::vector<unsigned char> bytes, size_t failAt)
        : bytes_(std::move(bytes)), failAt_(failAt) {}
    size_t Read(void* data, size_t size) override {
        const size_t limit = std::min(bytes_.size(), failAt_);
        const size_t count = std::min(size, limit - std::min(limit, position_));
        std::copy(bytes_.begin() + static_cast<long>(position_),
                  bytes_.begin() + static_cast<long>(position_ + count), static_cast<unsigned char*>(data));
        position_ += count;
        ++reads;
        return count;
    }
    bool Rewind() override {
        position_ = 0;
        return true;
    }
    int reads = 0;

private:
    std::vector<unsigned char> bytes_;
    size_t position_ = 0;
    size_t failAt_;
};

TEST(StreamedPreparedData, HandsOutTheSameBlocksAsTheInMemoryData) {
    test::TempDir dir;
    test::SimulationSpec spec;
    spec.respondents = 60;
    spec.tasks = 7;
    spec.levels = {4, 3, 2};
    test::WriteSimulatedStudy(dir.Folder(), spec);
    const std::vector<unsigned char> bytes = test::ReadFileBytes(dir.File("qebdat.tmp"));
    ASSERT_GT(bytes.size(), 3 * size_t{kMaxRowValues} * 8);

    const std::vector<std::string> expected = DrainInMemory(bytes);
    ASSERT_EQ(expected.size(), 62u);
    EXPECT_EQ(DrainStreamed(bytes), expected);
    // The smallest buffer (one row of the largest size) is refilled at every kind of field boundary.
    EXPECT_EQ(DrainStreamed(bytes, 0), expected);
    EXPECT_EQ(DrainStreamed(bytes, 8005), expected);
    EXPECT_EQ(DrainStreamed(bytes, 9999), expected);
}

TEST(StreamedPreparedData, RewindStartsAgainFromTheFirstBlock) {
    const std::vector<unsigned char> bytes =
        Concat(Concat(Block(1, 3, 4, 5), Block(2, 1, 2, 5)), Block(3, 2, 3, 5));
    std::unique_ptr<PreparedDataSource> data =
        StreamPreparedData(std::make_unique<MemoryByteSource>(bytes), 0);
    RespondentBlock block;
    ASSERT_EQ(data->Next(block), RecordOutcome::Read);
    ASSERT_EQ(data->Next(block), RecordOutcome::Read);
    data->Rewind();
    EXPECT_EQ(Drain(*data), DrainInMemory(bytes));
    data->Rewind();
    EXPECT_EQ(Drain(*data), DrainInMemory(bytes));
}

TEST(StreamedPreparedData, EndsWhereReadRespondentRecordEndsAfterEveryCut) {
    const std::vector<unsigned char> bytes =
        Concat(Concat(Block(1, 2, 3, 2), Block(2, 0, 1, 1)), Block(3, 3, 2, 0));
    for (size_t cut = 0; cut <= bytes.size(); ++cut) {
        const std::vector<unsigned char> part(bytes.begin(), bytes.begin() + static_cast<long>(cut));
        const std::vector<std::string> expected = DrainRecordByRecord(part);
        EXPECT_EQ(DrainStreamed(part), expected) << "cut at " << cut;
        EXPECT_EQ(DrainStreamed(part, 0), expected) << "cut at " << cut;
    }
}

TEST(StreamedPreparedData, ARowOfTheLargestSizeFillsTheSmallestBuffer) {
    const std::vector<unsigned char> bytes =
        Concat(Block(4, 2, 3, kMaxRowValues), Block(5, 1, 2, kMaxRowValues));
    const std::vector<std::string> expected = DrainRecordByRecord(bytes);
    ASSERT_EQ(expected.size(), 4u);
    EXPECT_EQ(DrainStreamed(bytes, 0), expected);
    const std::vector<unsigned char> cut(bytes.begin(), bytes.end() - 1);
    EXPECT_EQ(DrainStreamed(cut, 0), DrainRecordByRecord(cut));
}

TEST(StreamedPreparedData, DamagedBlocksGetReadRespondentRecordsMessages) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<unsigned char> good = Block(1, 1, 2, 2);
    const std::vector<std::vector<unsigned char>> damaged = {
        Bytes().I32(31).I32(1).I32(1001).I32(1).Get(),
        Bytes().I32(32).I32(1).I32(1).I32(1001).Get(),
        Bytes().I32(33).I32(-1).Get(),
        Bytes().I32(34).I32(1).I32(0).I32(1).Get(),
        Bytes().I32(35).I32(1).I32(1).I32(-1).Get(),
        Bytes().I32(36).I32(1).I32(INT32_MAX).I32(INT32_MAX).Get(),
        Bytes().I32(40).I32(1).I32(1).I32(2).F64(1.0).F64(inf).I32(1).F64(1.0).Get(),
        Bytes().I32(41).I32(1).I32(1).I32(1).F64(1.0).I32(1).F64(nan).Get(),
        // A value that is not a number in a row cut before its flag: the cut is found first.
        Bytes().I32(42).I32(1).I32(1).I32(1).F64(nan).Get(),
        // A damaged row before a cut one: the damage is found first.
        Bytes().I32(44).I32(1).I32(2).I32(1).F64(nan).I32(0).F64(1.0).Get(),
        // A huge task count in a short file is only a premature end.
        Bytes().I32(43).I32(INT32_MAX).I32(1).I32(0).I32(1).F64(1.0).Get(),
    };
    for (const std::vector<unsigned char>& block : damaged) {
        const std::vector<unsigned char> bytes = Concat(good, block);
        const std::vector<std::string> expected = DrainRecordByRecord(bytes);
        ASSERT_GE(expected.size(), 2u);
        EXPECT_EQ(DrainStreamed(bytes), expected);
        EXPECT_EQ(DrainStreamed(bytes, 0), expected);
    }
    EXPECT_EQ(
        DrainStreamed(Concat(good, damaged[0])).back(),
        "failure: The qebdat.tmp file is damaged: respondent 31 has an expanded task with 1001 alternatives "
        "(1 to 1000 are possible).");
    EXPECT_EQ(DrainStreamed(Concat(good, damaged[9])).back(),
              "failure: The qebdat.tmp file is damaged: respondent 44 has a design value that is not a "
              "finite number.");
    EXPECT_EQ(DrainStreamed(Concat(good, damaged[10])).back(), "then end of data");
}

TEST(StreamedPreparedData, AnEmptyFileHasNoRespondents) {
    EXPECT_EQ(DrainStreamed({}), (std::vector<std::string>{"end of data", "then end of data"}));
}

TEST(StreamedPreparedData, ReadsInLargePiecesAndTreatsAFailedReadAsACut) {
    std::vector<unsigned char> bytes;
    for (int32_t n = 1; n <= 50; ++n) bytes = Concat(bytes, Block(n, 4, 5, 6));
    auto source = std::make_unique<ChoppyByteSource>(bytes, bytes.size());
    ChoppyByteSource* reads = source.get();
    std::unique_ptr<PreparedDataSource> data = StreamPreparedData(std::move(source), 8192);
    const std::vector<std::string> all = Drain(*data);
    EXPECT_EQ(all, DrainInMemory(bytes));
    // Not one read per number: about one per buffer's worth of bytes.
    EXPECT_LE(reads->reads, static_cast<int>(bytes.size() / 4000) + 2);

    const size_t failAt = bytes.size() / 2 + 3;
    std::unique_ptr<PreparedDataSource> failing =
        StreamPreparedData(std::make_unique<ChoppyByteSource>(bytes, failAt), 8192);
    const std::vector<std::string> seen = Drain(*failing);
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen[seen.size() - 2], "premature end");
    EXPECT_EQ(std::vector<std::string>(seen.begin(), seen.end() - 2),
              std::vector<std::string>(all.begin(), all.begin() + static_cast<long>(seen.size() - 2)));
}

// Every block up to the first end or failure, each read into one storage with NextInto and described
// once the storage is sealed, as Drain describes the blocks Next hands out.
std::vector<std::string> DrainInto(PreparedDataSource& data) {
    BlockStorage storage;
    storage.Clear();
    std::vector<std::pair<RespondentBlock, size_t>> blocks;
    std::string end;
    try {
        for (;;) {
            RespondentBlock block;
            size_t firstTask = 0;
            const RecordOutcome outcome = data.NextInto(block, storage, firstTask);
            if (outcome != RecordOutcome::Read) {
                end = Describe(outcome);
                break;
            }
            // Until the storage is sealed only the tasks' shapes are there.
            EXPECT_EQ(block.tasks, storage.TasksFrom(firstTask));
            blocks.emplace_back(block, firstTask);
        }
    } catch (const OmbrelError& error) {
        end = std::string("failure: ") + error.what();
    }
    const TaskBlock* tasks = storage.Seal();
    std::vector<std::string> seen;
    for (auto& [block, firstTask] : blocks) {
        block.tasks = tasks + firstTask;
        seen.push_back(Describe(block));
    }
    seen.push_back(end);
    return seen;
}

// Drain's sequence less the call after the end.
std::vector<std::string> UpToTheEnd(std::vector<std::string> seen) {
    if (seen.size() >= 2 && seen.back().rfind("then ", 0) == 0) seen.pop_back();
    return seen;
}

// A reader that keeps the blocks of several respondents gets them whole in its own storage, from
// the stream (which parses into it) and from the in-memory data (which copies into it), across
// refills, storage growth and a damaged or cut block at the end.
TEST(BlockStorage, KeepsManyBlocksOfEitherSourceWhole) {
    std::vector<unsigned char> bytes;
    for (int32_t n = 1; n <= 40; ++n) bytes = Concat(bytes, Block(n, 1 + n % 4, 2 + n % 3, 1 + n % 5));
    const std::vector<unsigned char> damaged =
        Concat(bytes, Bytes().I32(99).I32(1).I32(1).I32(1).F64(INFINITY).I32(1).F64(1.0).Get());
    const std::vector<unsigned char> cut(bytes.begin(), bytes.end() - 3);
    for (const std::vector<unsigned char>* input : {&std::as_const(bytes), &damaged, &cut}) {
        const std::vector<std::string> expected = UpToTheEnd(DrainRecordByRecord(*input));
        for (size_t bufferSize : {size_t{0}, kStreamBufferSize}) {
            std::unique_ptr<PreparedDataSource> streamed =
                StreamPreparedData(std::make_unique<MemoryByteSource>(*input), bufferSize);
            EXPECT_EQ(DrainInto(*streamed), expected);
        }
    }
    MemoryByteSource source(bytes);
    std::unique_ptr<PreparedDataSource> inMemory = LoadPreparedDataInMemory(source);
    EXPECT_EQ(DrainInto(*inMemory), UpToTheEnd(DrainRecordByRecord(bytes)));
}

// The size hint only lays out the storage: a hint below the data (the file grew after its size was
// taken) or far above it gives the same blocks as none.
TEST(LoadPreparedDataInMemory, GivesTheSameBlocksForAnySizeHint) {
    const std::vector<unsigned char> bytes =
        Concat(Block(7, 2, 3, 4), Concat(Block(8, 1, 2, 4), Block(9, 3, 5, 2)));
    const std::vector<std::string> expected = DrainRecordByRecord(bytes);
    for (const uint64_t hint :
         {uint64_t{1}, uint64_t{8}, uint64_t{bytes.size()}, uint64_t{bytes.size() * 64}}) {
        MemoryByteSource source(bytes);
        std::unique_ptr<PreparedDataSource> data = LoadPreparedDataInMemory(source, hint);
        EXPECT_EQ(Drain(*data), expected) << "hint " << hint;
    }
}

TEST(OpenPreparedData, ChoosesMemoryOrStreamByTheBudgetWithTheSameBlocks) {
    test::TempDir dir;
    const std::vector<unsigned char> bytes = Concat(Block(7, 2, 3, 4), Block(8, 1, 2, 4));
    test::WriteFileBytes(dir.File("qebdat.tmp"), bytes);
    EXPECT_EQ(OpenPreparedData(dir.File("missing.tmp"), 0), nullptr);
    std::unique_ptr<PreparedDataSource> inMemory = OpenPreparedData(dir.File("qebdat.tmp"), bytes.size());
    std::unique_ptr<PreparedDataSource> streamed = OpenPreparedData(dir.File("qebdat.tmp"), bytes.size() - 1);
    ASSERT_NE(inMemory, nullptr);
    ASSERT_NE(streamed, nullptr);
    EXPECT_EQ(Drain(*inMemory), DrainInMemory(bytes));
    EXPECT_EQ(Drain(*streamed), DrainInMemory(bytes));
}

}  // namespace
}  // namespace ombrel
