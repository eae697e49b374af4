#include "platform/Folders.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "common/OmbrelError.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

namespace fs = std::filesystem;

TEST(Folders, ProgramFolderHoldsTheRunningExecutable) {
    std::string folder = ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ('/', folder.back());
    EXPECT_TRUE(fs::exists(folder + "platform_tests")) << folder;
}

TEST(Folders, AWritableProgramFolderIsTheSettingsFolder) {
    test::TempDir program;
    EXPECT_EQ(program.Folder(), ChooseSettingsFolder(program.Folder(), "/nonexistent-home"));
    EXPECT_EQ(program.Folder(), ChooseSettingsFolder(program.Path().string(), nullptr));  // slash added
}

TEST(Folders, OtherwiseTheConfigFolderUnderHomeIsCreated) {
    test::TempDir temp;
    std::string home = temp.File("home");
    // A program folder that does not exist is not writable, even for root.
    std::string settings = ChooseSettingsFolder(temp.Folder() + "missing/", home.c_str());
    EXPECT_EQ(home + "/.config/ombrel/", settings);
    EXPECT_TRUE(fs::is_directory(settings));
    // Found again when it exists; a HOME with a trailing slash gives the same folder.
    EXPECT_EQ(settings, ChooseSettingsFolder(temp.Folder() + "missing/", (home + "/").c_str()));
}

TEST(Folders, AReadOnlyProgramFolderFallsBackToHome) {
    if (geteuid() == 0) GTEST_SKIP() << "root can write to any folder";
    test::TempDir temp;
    fs::path program = temp.Path() / "program";
    fs::create_directory(program);
    fs::permissions(program, fs::perms::owner_read | fs::perms::owner_exec);
    std::string home = temp.File("home");
    EXPECT_EQ(home + "/.config/ombrel/", ChooseSettingsFolder(program.string() + "/", home.c_str()));
    fs::permissions(program, fs::perms::owner_all);
}

TEST(Folders, NeitherFolderUsableIsAnError) {
    test::TempDir temp;
    std::string missing = temp.Folder() + "missing/";
    try {
        ChooseSettingsFolder(missing, nullptr);
        ADD_FAILURE() << "no error without HOME";
    } catch (const OmbrelError& error) {
        EXPECT_EQ("No folder for the settings: the program folder " + missing +
                      " is not writable and HOME is not set.",
                  error.what());
    }
    EXPECT_THROW(ChooseSettingsFolder(missing, ""), OmbrelError);

    // HOME names a file: its .config cannot be created, not even by root.
    std::string fileHome = temp.File("plain");
    test::WriteFileText(fileHome, "not a folder");
    try {
        ChooseSettingsFolder(missing, fileHome.c_str());
        ADD_FAILURE() << "no error with a file as HOME";
    } catch (const OmbrelError& error) {
        std::string expectedStart = "No folder for the settings: the program folder " + missing +
                                    " is not writable and the folder " + fileHome +
                                    "/.config/ombrel/ could not be created (";
        EXPECT_EQ(expectedStart, std::string(error.what()).substr(0, expectedStart.size()));
    }
}

}  // namespace
}  // namespace ombrel
