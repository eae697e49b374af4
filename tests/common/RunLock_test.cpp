#include "common/RunLock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using test::TempDir;
using test::WriteFileText;

TEST(StudyRunLock, IsSeenWhileHeldAndGoneWithItsFileOnRelease) {
    TempDir dir;
    const std::string path = dir.File("study.run");
    EXPECT_FALSE(StudyRunInProgress(path));  // no file: no run

    StudyRunLock lock;
    ASSERT_TRUE(lock.Acquire(path));
    EXPECT_TRUE(StudyRunInProgress(path));
    StudyRunLock second;
    EXPECT_FALSE(second.Acquire(path)) << "a second run of the same study must not take the lock";
    EXPECT_TRUE(StudyRunInProgress(path));

    lock.Release();
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(StudyRunInProgress(path));
}

TEST(StudyRunLock, AFileLeftBehindSaysNothingAndAnUnwritableFolderIsNoFailure) {
    TempDir dir;
    const std::string path = dir.File("study.run");
    WriteFileText(path, "");
    EXPECT_FALSE(StudyRunInProgress(path));
    {
        StudyRunLock lock;
        EXPECT_TRUE(lock.Acquire(path));  // a leftover file is taken over
    }
    EXPECT_FALSE(std::filesystem::exists(path));

    StudyRunLock lock;
    EXPECT_FALSE(lock.Acquire(dir.File("no such folder/study.run")));
}

TEST(StudyRunLock, EndsWithAKilledProcess) {
    TempDir dir;
    const std::string path = dir.File("study.run");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        StudyRunLock lock;
        if (!lock.Acquire(path)) _exit(1);
        for (;;) pause();
    }
    bool seen = false;
    for (int wait = 0; wait < 500 && !seen; ++wait) {
        seen = StudyRunInProgress(path);
        if (!seen) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(seen);
    EXPECT_TRUE(std::filesystem::exists(path)) << "a killed run cannot remove its file";
    EXPECT_FALSE(StudyRunInProgress(path));
}

}  // namespace
}  // namespace ombrel
