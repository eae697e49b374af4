#include "apps/ombrel/AfterEstimate.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "platform/ScriptedMessenger.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

namespace fs = std::filesystem;

// kivotra ends with 0 after a stop as after a completed run; only a summary written during the
// launch says the run completed.
TEST(AfterEstimate, OnlyASummaryWrittenSinceTheLaunchMeansACompletedRun) {
    test::TempDir folder;
    const StudyFiles study = *StudyFiles::ForDataFile(folder.File("study.cho"));
    const fs::file_time_type launched = fs::file_time_type::clock::now();
    EXPECT_FALSE(ResultsWrittenSince(study, launched));

    test::WriteFileText(study.Summary(), "Point Estimate of Alpha\n");
    fs::last_write_time(study.Summary(), launched - std::chrono::seconds(5));
    EXPECT_FALSE(ResultsWrittenSince(study, launched));  // an earlier run's summary

    fs::last_write_time(study.Summary(), launched + std::chrono::milliseconds(1));
    EXPECT_TRUE(ResultsWrittenSince(study, launched));
}

// Diagnostics that cannot be read fail the command with the reason, and write nothing.
TEST(AfterEstimate, DiagnosticsThatCannotBeReadAreReportedAndNothingIsWritten) {
    test::TempDir folder;
    const StudyFiles study = *StudyFiles::ForDataFile(folder.File("study.cho"));
    ScriptedMessenger messenger;
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    ChainRunReport report;
    report.completed = true;
    EXPECT_FALSE(AfterCompletedEstimate(study, report, out, messenger));
    EXPECT_EQ(std::ftell(out), 0L);  // no verdict printed
    std::fclose(out);
    const std::vector<std::string> texts = messenger.Texts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].rfind("The estimation is complete, but its convergence diagnostics "
                             "could not be written: ",
                             0),
              0u)
        << texts[0];
    EXPECT_NE(texts[0].find(folder.File("study")), std::string::npos) << texts[0];
    EXPECT_FALSE(fs::exists(study.DiagnosticsTable()));
    EXPECT_FALSE(fs::exists(study.DiagnosticsVerdict()));
}

}  // namespace
}  // namespace ombrel
