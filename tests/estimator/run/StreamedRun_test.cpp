// A study whose prepared data is larger than the memory budget is streamed from disk every pass;
// the chain must not notice: the same seed gives every result file byte for byte as in memory.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/StudySettings.h"
#include "estimator/run/EstimatorRun.h"
#include "platform/ScriptedMessenger.h"
#include "tests/estimator/RecordingConsole.h"
#include "tests/support/SimulatedStudy.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using QuietConsole = test::RecordingConsole;

struct RunFiles {
    std::vector<std::string> names;
    std::vector<std::vector<unsigned char>> bytes;
};

// Runs one fresh study (stopped after stopAfter iterations and resumed, when not 0) and returns its
// result files.
RunFiles RunStudy(bool saveDraws, uint64_t memoryBudget, int stopAfter) {
    test::TempDir dir;
    test::SimulationSpec spec;
    spec.respondents = 30;
    spec.tasks = 6;
    spec.concepts = 3;
    spec.levels = {3, 4, 2};
    spec.seed = 9;
    test::WriteSimulatedStudy(dir.Folder(), spec);
    StudySettings settings;
    settings.namesFolder = dir.Folder();
    settings.dataFileName = dir.File("study.cho");
    settings.randomSeed = 11;
    settings.preliminaryIterations = 30;
    settings.drawsPerRespondent = 15;
    settings.drawSkip = 2;
    settings.logSkip = 5;
    settings.saveDraws = saveDraws;
    ScriptedMessenger messenger;
    EXPECT_TRUE(settings.SaveSettings(messenger));

    if (stopAfter != 0) {
        QuietConsole stopped;
        stopped.escapeAfterIteration = stopAfter;
        EXPECT_EQ(RunEstimator(stopped.Services(), dir.Folder(), memoryBudget), 0);
        EXPECT_EQ(stopped.lastIteration, stopAfter);
    }
    QuietConsole console;
    EXPECT_EQ(RunEstimator(console.Services(), dir.Folder(), memoryBudget), 0)
        << testing::PrintToString(console.messenger.Texts());

    RunFiles files;
    std::vector<std::string> extensions{".hbu", ".lay", ".csv", ".sum", ".alp", ".cov", ".res", ".log"};
    extensions.push_back(saveDraws ? ".dra" : ".std");
    for (const std::string& extension : extensions) {
        EXPECT_TRUE(std::filesystem::exists(dir.File("study" + extension))) << extension;
        files.names.push_back(extension);
        files.bytes.push_back(test::ReadFileBytes(dir.File("study" + extension)));
    }
    return files;
}

void ExpectSameFiles(const RunFiles& inMemory, const RunFiles& streamed) {
    ASSERT_EQ(inMemory.names, streamed.names);
    for (size_t i = 0; i < inMemory.names.size(); ++i) {
        EXPECT_FALSE(inMemory.bytes[i].empty()) << inMemory.names[i];
        EXPECT_TRUE(test::BytesEqual(inMemory.bytes[i], streamed.bytes[i])) << inMemory.names[i];
    }
}

TEST(StreamedRun, GivesTheInMemoryChainByteForByte) {
    ExpectSameFiles(RunStudy(false, DefaultMemoryBudget(), 0), RunStudy(false, 0, 0));
}

TEST(StreamedRun, GivesTheInMemoryDrawsWithSavedDrawsAndAfterAResume) {
    ExpectSameFiles(RunStudy(true, DefaultMemoryBudget(), 23), RunStudy(true, 0, 23));
}

}  // namespace
}  // namespace ombrel
