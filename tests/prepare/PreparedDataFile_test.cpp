#include "prepare/PreparedDataFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "common/OmbrelError.h"
#include "tests/prepare/PreparedDataGolden.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using test::Bytes;
using test::BytesEqual;

// A sink whose failWrite-th write (counted from 1) and every later one fail.
class FailingSink : public ByteSink {
public:
    explicit FailingSink(int failWrite) : failWrite_(failWrite) {}
    bool Write(const void*, size_t) override { return ++writes_ < failWrite_; }
    int Writes() const { return writes_; }

private:
    int failWrite_;
    int writes_ = 0;
};

using test::FailureMessage;

// Two concepts and a None; coded rows (1, -1) and (0.5, 2).
ScratchTask TaskWithNone(int32_t a0, int32_t a1, int32_t aNone) {
    ScratchTask task;
    task.Reset(3, 2, true);
    task.Row(0)[0] = 1.0;
    task.Row(0)[1] = -1.0;
    task.Row(1)[0] = 0.5;
    task.Row(1)[1] = 2.0;
    task.Answer(0) = a0;
    task.Answer(1) = a1;
    task.Answer(2) = aNone;
    return task;
}

std::vector<unsigned char> Blocks(const ScratchTask& task, bool noneNotEstimated, double totalTaskWeight) {
    MemoryByteSink sink;
    PreparedDataWriter(sink).WriteExpandedTasks(task, noneNotEstimated, totalTaskWeight);
    return sink.Bytes();
}

TEST(ScratchTask, ResetClearsEarlierTaskAndSetsNoneColumn) {
    ScratchTask task = TaskWithNone(1, 2, 3);
    task.Reset(2, 2, true);
    EXPECT_EQ(task.ConceptCount(), 2);
    EXPECT_EQ(task.VariableCount(), 3);
    const std::vector<double> expected = {0, 0, 0, 0, 0, 1};
    EXPECT_EQ(std::vector<double>(task.Row(0), task.Row(0) + 6), expected);
    EXPECT_EQ(task.Answer(0), 0);
    EXPECT_EQ(task.Answer(1), 0);
    EXPECT_EQ(task.ExpandedTaskCount(), 0);
}

TEST(ScratchTask, ResetRejectsCountsOutsideTheLimits) {
    ScratchTask task;
    EXPECT_THROW(task.Reset(0, 2, false), OmbrelError);
    EXPECT_THROW(task.Reset(1001, 2, false), OmbrelError);
    EXPECT_THROW(task.Reset(3, 1000, true), OmbrelError);
    EXPECT_THROW(task.Reset(3, -1, false), OmbrelError);
    EXPECT_THROW(task.Reset(1, 2, true), OmbrelError);
    EXPECT_NO_THROW(task.Reset(1000, 999, true));
    EXPECT_NO_THROW(task.Reset(1, 0, false));
}

TEST(ScratchFileRecord, GoldenBytes) {
    MemoryByteSink sink;
    WriteScratchTask(sink, TaskWithNone(0, 1, 0));
    EXPECT_TRUE(BytesEqual(Bytes()
                               .I32(3)
                               .I32(3)
                               .F64(1.0)
                               .F64(-1.0)
                               .F64(0.0)
                               .I32(0)
                               .F64(0.5)
                               .F64(2.0)
                               .F64(0.0)
                               .I32(1)
                               .F64(0.0)
                               .F64(0.0)
                               .F64(1.0)
                               .I32(0),
                           sink.Bytes()));

    ScratchTask plain;
    plain.Reset(1, 1, false);
    plain.Row(0)[0] = 4.0;
    plain.Answer(0) = 7;
    MemoryByteSink plainSink;
    WriteScratchTask(plainSink, plain);
    EXPECT_TRUE(BytesEqual(Bytes().I32(1).I32(1).F64(4.0).I32(7), plainSink.Bytes()));
}

TEST(ScratchFileRecord, EveryFailedWriteHasItsMessage) {
    ScratchTask task;
    task.Reset(2, 1, true);
    // Writes: n, K, then per concept the coded column, the None column, the answer.
    const std::vector<std::string> expected = {
        "Couldn't write block size.", "Couldn't write # variables.", "Couldn't write row of data.",
        "Couldn't write response.",   "Couldn't write row of data.", "Couldn't write row of data.",
        "Couldn't write response.",   "Couldn't write row of data.",
    };
    for (size_t n = 0; n < expected.size(); ++n) {
        FailingSink sink(static_cast<int>(n) + 1);
        EXPECT_EQ(FailureMessage([&] { WriteScratchTask(sink, task); }), expected[n]) << "write " << n + 1;
        EXPECT_EQ(sink.Writes(), static_cast<int>(n) + 1) << "nothing is written after a failure";
    }
    FailingSink enough(9);
    EXPECT_NO_THROW(WriteScratchTask(enough, task));
}

TEST(ScratchFileRecord, ReadsBackWhatWasWritten) {
    MemoryByteSink sink;
    const ScratchTask written = TaskWithNone(0, 1, 0);
    WriteScratchTask(sink, written);
    MemoryByteSource source(sink.Bytes());
    ScratchTask read = TaskWithNone(9, 9, 9);
    ReadScratchTask(source, true, read);
    EXPECT_EQ(read.ConceptCount(), 3);
    EXPECT_EQ(read.VariableCount(), 3);
    EXPECT_TRUE(read.HasNoneColumn());
    for (int32_t c = 0; c < 3; ++c) {
        EXPECT_EQ(std::vector<double>(read.Row(c), read.Row(c) + 3),
                  std::vector<double>(written.Row(c), written.Row(c) + 3));
        EXPECT_EQ(read.Answer(c), written.Answer(c));
    }
}

TEST(ScratchFileRecord, EveryTruncationHasItsReadMessage) {
    // n=2, K=2: n [0,4), K [4,8), row 0 [8,24), answer 0 [24,28), row 1 [28,44), answer 1 [44,48).
    const std::vector<unsigned char> whole =
        Bytes().I32(2).I32(2).F64(1).F64(2).I32(1).F64(3).F64(4).I32(0).Get();
    auto messageAt = [&](size_t cut) {
        MemoryByteSource source(
            std::vector<unsigned char>(whole.begin(), whole.begin() + static_cast<long>(cut)));
        ScratchTask task;
        return FailureMessage([&] { ReadScratchTask(source, false, task); });
    };
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        const char* expected = cut < 4    ? "Couldn't read tempfile @ 1."
                               : cut < 8  ? "Couldn't read tempfile @ 2."
                               : cut < 24 ? "Couldn't read tempfile @ 3"
                               : cut < 28 ? "Couldn't read tempfile @ 4."
                               : cut < 44 ? "Couldn't read tempfile @ 3"
                                          : "Couldn't read tempfile @ 4.";
        EXPECT_EQ(messageAt(cut), expected) << "cut at " << cut;
    }
    EXPECT_EQ(messageAt(whole.size()), "(no failure)");
}

TEST(ScratchFileRecord, DamagedCountsAreRejectedBeforeSizingAnything) {
    for (auto [n, k, hasNone] : {std::tuple{0, 1, false},
                                 {1001, 1, false},
                                 {2, 1001, false},
                                 {2, -1, false},
                                 {1, 1, true},
                                 {2, 0, true}}) {
        MemoryByteSource source(Bytes().I32(n).I32(k).Get());
        ScratchTask task;
        EXPECT_THROW(ReadScratchTask(source, hasNone, task), OmbrelError) << n << " " << k;
    }
}

TEST(PreparedDataBlocks, RespondentHeaderGoldenBytes) {
    MemoryByteSink sink;
    PreparedDataWriter(sink).WriteRespondentHeader(1042, 3);
    EXPECT_TRUE(BytesEqual(Bytes().I32(1042).I32(3), sink.Bytes()));
}

TEST(PreparedDataBlocks, DiscreteChoiceWithNoneEstimated) {
    // A choice of the second concept: one block, the None column kept, weight 1 / (1 + 1e-10).
    const double weight = 1 / (1e-10 + 0 + 1 + 0) * 1.0;
    EXPECT_EQ(weight, 1 / (1 + 1e-10));
    EXPECT_TRUE(BytesEqual(Bytes()
                               .I32(3)
                               .I32(3)
                               .F64(1.0)
                               .F64(-1.0)
                               .F64(0.0)
                               .I32(0)
                               .F64(0.5)
                               .F64(2.0)
                               .F64(0.0)
                               .I32(1)
                               .F64(0.0)
                               .F64(0.0)
                               .F64(1.0)
                               .I32(0)
                               .F64(weight),
                           Blocks(TaskWithNone(0, 1, 0), false, 1.0)));
}

TEST(PreparedDataBlocks, NoneDroppedIncludingAnAnswerToTheNone) {
    MemoryByteSink sink;
    PreparedDataWriter writer(sink);
    const ScratchTask task = TaskWithNone(2, 0, 3);
    writer.WriteRespondentHeader(17, task.ExpandedTaskCount());
    writer.WriteExpandedTasks(task, true, 5.0);
    EXPECT_TRUE(BytesEqual(test::GoldenNoneDroppedRespondent(), sink.Bytes()));
}

TEST(PreparedDataBlocks, AllocationPointsGiveOneBlockPerNonzeroAnswer) {
    ScratchTask task;
    task.Reset(3, 1, false);
    for (int32_t c = 0; c < 3; ++c) task.Row(c)[0] = c + 1.0;
    task.Answer(0) = 3;
    task.Answer(1) = 0;
    task.Answer(2) = 7;
    EXPECT_EQ(task.ExpandedTaskCount(), 2);
    // The total starts at 1e-10 and adds the points concept by concept.
    const double total = ((1e-10 + 3) + 0) + 7;
    EXPECT_EQ(task.PointTotal(), total);
    const auto rows = [](int flagged) {
        Bytes bytes;
        bytes.I32(3).I32(1);
        for (int c = 0; c < 3; ++c) bytes.F64(c + 1.0).I32(c == flagged ? 1 : 0);
        return bytes;
    };
    std::vector<unsigned char> golden = rows(0).F64(3 / total * 2.5).Get();
    const std::vector<unsigned char> third = rows(2).F64(7 / total * 2.5).Get();
    golden.insert(golden.end(), third.begin(), third.end());
    EXPECT_TRUE(BytesEqual(golden, Blocks(task, false, 2.5)));
}

TEST(PreparedDataBlocks, ZeroAnswersYieldNothing) {
    EXPECT_TRUE(Blocks(TaskWithNone(0, 0, 0), false, 1.0).empty());
    EXPECT_TRUE(Blocks(TaskWithNone(0, 0, 0), true, 1.0).empty());
    EXPECT_EQ(TaskWithNone(0, 0, 0).ExpandedTaskCount(), 0);
}

TEST(PreparedDataBlocks, NoneNotEstimatedLeavesTasksWithoutNoneWhole) {
    ScratchTask task;
    task.Reset(2, 1, false);
    task.Row(0)[0] = 1.0;
    task.Row(1)[0] = -1.0;
    task.Answer(1) = 1;
    EXPECT_TRUE(BytesEqual(Bytes().I32(2).I32(1).F64(1.0).I32(0).F64(-1.0).I32(1).F64(1 / (1e-10 + 0 + 1)),
                           Blocks(task, true, 1.0)));
}

TEST(PreparedDataBlocks, EveryFailedCheckedWriteHasItsMessage) {
    ScratchTask task;
    task.Reset(2, 1, false);
    task.Answer(0) = 1;
    // Writes: R, V, then per row its value and its flag, then the unchecked weight.
    const std::vector<std::string> expected = {
        "Couldn't write pellikdat.tmp @ 1.", "Couldn't write pellikdat.tmp @ 2.",
        "Couldn't write pellikdat.tmp @ 3.", "Couldn't write pellikdat.tmp @ 4.",
        "Couldn't write pellikdat.tmp @ 3.", "Couldn't write pellikdat.tmp @ 4.",
    };
    for (size_t n = 0; n < expected.size(); ++n) {
        FailingSink sink(static_cast<int>(n) + 1);
        EXPECT_EQ(FailureMessage([&] { PreparedDataWriter(sink).WriteExpandedTasks(task, false, 1.0); }),
                  expected[n])
            << "write " << n + 1;
        EXPECT_EQ(sink.Writes(), static_cast<int>(n) + 1) << "nothing is written after a failure";
    }
    FailingSink weightFails(7);
    EXPECT_NO_THROW(PreparedDataWriter(weightFails).WriteExpandedTasks(task, false, 1.0));
    FailingSink headerFails(1);
    EXPECT_NO_THROW(PreparedDataWriter(headerFails).WriteRespondentHeader(1, 1));
}

TEST(PreparedDataFiles, NamesAreInTheStudyFolder) {
    EXPECT_EQ(PreparedDataFileName("/data/study/"), "/data/study/qebdat.tmp");
    EXPECT_EQ(ScratchFileName("/data/study/"), "/data/study/tempfile");
    EXPECT_EQ(PreparedDataFileName(""), "qebdat.tmp");
}

TEST(PreparedDataFiles, WritesTheFileAndClosesIt) {
    test::TempDir dir;
    PreparedDataFile file(dir.Folder());
    EXPECT_EQ(file.Path(), dir.File("qebdat.tmp"));
    PreparedDataWriter writer(file);
    const ScratchTask task = TaskWithNone(2, 0, 3);
    writer.WriteRespondentHeader(17, task.ExpandedTaskCount());
    writer.WriteExpandedTasks(task, true, 5.0);
    file.Close();
    EXPECT_TRUE(BytesEqual(test::GoldenNoneDroppedRespondent(), test::ReadFileBytes(dir.File("qebdat.tmp"))));
}

TEST(PreparedDataFiles, CreationFailuresNameTheFile) {
    const std::string folder = "/nonexistent-ombrel-folder/";
    EXPECT_EQ(FailureMessage([&] { PreparedDataFile file(folder); }),
              "Couldn't create the prepared data file /nonexistent-ombrel-folder/qebdat.tmp.");
    EXPECT_EQ(FailureMessage([&] { ScratchFile file(folder); }),
              "Couldn't create the scratch file /nonexistent-ombrel-folder/tempfile.");
}

TEST(PreparedDataFiles, AFullDeviceIsReportedAtClose) {
    test::TempDir dir;
    std::filesystem::create_symlink("/dev/full", dir.File("qebdat.tmp"));
    PreparedDataFile file(dir.Folder());
    // The header fits in the stdio buffer, so only the flush at close meets the full device.
    PreparedDataWriter(file).WriteRespondentHeader(1, 1);
    EXPECT_EQ(FailureMessage([&] { file.Close(); }), "Couldn't finish writing the prepared data file " +
                                                         dir.File("qebdat.tmp") + ".  The disk may be full.");
}

TEST(PreparedDataFiles, AFullDeviceDuringTheBlocksStopsTheBuild) {
    test::TempDir dir;
    std::filesystem::create_symlink("/dev/full", dir.File("qebdat.tmp"));
    PreparedDataFile file(dir.Folder());
    ScratchTask task;
    task.Reset(1000, 20, false);
    task.Answer(0) = 1;
    EXPECT_EQ(FailureMessage([&] {
                  PreparedDataWriter(file).WriteExpandedTasks(task, false, 1.0);
              }).rfind("Couldn't write pellikdat.tmp @ ", 0),
              0u);
    EXPECT_THROW(file.Close(), OmbrelError);
}

TEST(PreparedDataFiles, ScratchFileHoldsOneRespondentAndIsRemoved) {
    test::TempDir dir;
    {
        ScratchFile scratch(dir.Folder());
        EXPECT_EQ(scratch.Path(), dir.File("tempfile"));
        // First respondent: two tasks.
        scratch.Rewind();
        WriteScratchTask(scratch.Sink(), TaskWithNone(1, 0, 0));
        WriteScratchTask(scratch.Sink(), TaskWithNone(0, 1, 0));
        // Second respondent: one task, read back from the start.
        scratch.Rewind();
        WriteScratchTask(scratch.Sink(), TaskWithNone(0, 0, 4));
        scratch.Rewind();
        ScratchTask read;
        ReadScratchTask(scratch.Source(), true, read);
        EXPECT_EQ(read.Answer(0), 0);
        EXPECT_EQ(read.Answer(2), 4);
        EXPECT_EQ(read.Row(1)[1], 2.0);
        EXPECT_TRUE(std::filesystem::exists(dir.File("tempfile")));
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("tempfile")));
}

}  // namespace
}  // namespace ombrel
