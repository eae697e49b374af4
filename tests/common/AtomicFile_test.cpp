#include "common/AtomicFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using test::ReadFileText;
using test::TempDir;
using test::WriteFileText;

size_t FileCount(const TempDir& dir) {
    size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        (void)entry;
        ++count;
    }
    return count;
}

TEST(AtomicFile, ReplacesTheFileOnlyWhenCommitted) {
    TempDir dir;
    const std::string path = dir.File("result.txt");
    WriteFileText(path, "old\n");
    {
        AtomicFile file;
        ASSERT_TRUE(file.Open(path));
        std::fputs("new\n", file.File());
        EXPECT_EQ("old\n", ReadFileText(path));  // readers still see the complete old file
        EXPECT_EQ(2u, FileCount(dir));
        ASSERT_TRUE(file.Commit());
    }
    EXPECT_EQ("new\n", ReadFileText(path));
    EXPECT_EQ(1u, FileCount(dir));
}

TEST(AtomicFile, AbandonedWriteLeavesTheOldFileAndNoTemporary) {
    TempDir dir;
    const std::string path = dir.File("result.txt");
    WriteFileText(path, "old\n");
    {
        AtomicFile file;
        ASSERT_TRUE(file.Open(path));
        std::fputs("half", file.File());
    }  // destroyed without Commit, as when a writer throws
    EXPECT_EQ("old\n", ReadFileText(path));
    EXPECT_EQ(1u, FileCount(dir));
}

TEST(AtomicFile, NewFileGetsAnOrdinaryModeAndWholeTextHelperWorks) {
    TempDir dir;
    const std::string path = dir.File("fresh.txt");
    ASSERT_TRUE(WriteFileAtomically(path, "abc", false));
    EXPECT_EQ("abc", ReadFileText(path));
    struct stat info {};
    ASSERT_EQ(0, ::stat(path.c_str(), &info));
    const mode_t mask = ::umask(022);
    ::umask(mask);
    EXPECT_EQ(0666 & ~mask, info.st_mode & 0777);
}

TEST(AtomicFile, MissingFolderOrReadOnlyTargetCannotBeOpened) {
    TempDir dir;
    AtomicFile file;
    EXPECT_FALSE(file.Open(dir.File("no-such-folder/result.txt")));
    const std::string path = dir.File("locked.txt");
    WriteFileText(path, "keep\n");
    ::chmod(path.c_str(), 0444);
    if (::access(path.c_str(), W_OK) != 0) {  // root may write anyway
        EXPECT_FALSE(file.Open(path));
        EXPECT_EQ("keep\n", ReadFileText(path));
    }
    EXPECT_FALSE(file.Commit());  // nothing open
}

TEST(AtomicFile, StaleTemporaryFilesOfAKilledWriterAreRemovedAndNothingElse) {
    TempDir dir;
    for (const char* name : {"study.res", "study.res.tmpAb12Cd", "study.res.tmpZZZZZZ", "study.res.tmp1",
                             "study.res.tmpABCDEFG", "study.resume.tmpAb12Cd", "other.res.tmpAb12Cd"})
        WriteFileText(dir.File(name), "x");
    RemoveStaleTemporaryFiles(dir.File("study.res"));
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        left.push_back(entry.path().filename());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"other.res.tmpAb12Cd", "study.res", "study.res.tmp1",
                                              "study.res.tmpABCDEFG", "study.resume.tmpAb12Cd"}));
}

}  // namespace
}  // namespace ombrel
