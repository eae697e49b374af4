#include "common/StudyFiles.h"

#include <gtest/gtest.h>

namespace ombrel {
namespace {

TEST(StudyFiles, KindComesFromTheExtensionWithoutRegardToCase) {
    EXPECT_EQ(StudyFiles::KindOf("/s/coffee.cho"), DataKind::Choice);
    EXPECT_EQ(StudyFiles::KindOf("/s/coffee.CHO"), DataKind::Choice);
    EXPECT_EQ(StudyFiles::KindOf("coffee.ChS"), DataKind::Allocation);
    EXPECT_FALSE(StudyFiles::KindOf("/s/coffee.txt"));
    EXPECT_FALSE(StudyFiles::KindOf("/s/coffee.cho.bak"));
    EXPECT_FALSE(StudyFiles::KindOf(""));
    EXPECT_FALSE(StudyFiles::KindOf(std::string_view("/s/a\0b.cho", 10)));
    EXPECT_FALSE(StudyFiles::ForDataFile("/s/coffee.att"));
}

TEST(StudyFiles, DerivedNamesKeepTheDataFilesSpelling) {
    const StudyFiles files = *StudyFiles::ForDataFile("/Data/My Study/Coffee.CHO");
    EXPECT_TRUE(files.IsChoiceData());
    EXPECT_EQ(files.Name(), "/Data/My Study/Coffee");
    EXPECT_EQ(files.Folder(), "/Data/My Study/");
    EXPECT_EQ(files.BaseName(), "Coffee");
    EXPECT_EQ(files.Settings(), "/Data/My Study/Coffee.set");
    EXPECT_EQ(files.Restart(), "/Data/My Study/Coffee.res");
    EXPECT_EQ(files.PartWorths(), "/Data/My Study/Coffee.hbu");
    EXPECT_EQ(files.CustomPrior(), "/Data/My Study/Coffee.mtrx");
    EXPECT_EQ(files.PreparedData(), "/Data/My Study/qebdat.tmp");
    EXPECT_EQ(files.AttributeLabels(), "/Data/My Study/qebatt.tmp");
}

TEST(StudyFiles, AStudyInTheWorkingDirectoryHasAnEmptyFolder) {
    const StudyFiles files = *StudyFiles::ForDataFile("coffee.chs");
    EXPECT_EQ(files.Kind(), DataKind::Allocation);
    EXPECT_EQ(files.Folder(), "");
    EXPECT_EQ(files.BaseName(), "coffee");
    EXPECT_EQ(files.PreparedData(), "qebdat.tmp");
    EXPECT_EQ(files.Log(), "coffee.log");
}

TEST(StudyFiles, AChainKeepsTheStudysNameInAFolderOfItsOwn) {
    const StudyFiles study = *StudyFiles::ForDataFile("/Data/Coffee.CHO");
    EXPECT_EQ(study.DiagnosticsTable(), "/Data/Coffee_diagnostics.csv");
    EXPECT_EQ(study.DiagnosticsVerdict(), "/Data/Coffee.diag");
    EXPECT_EQ(study.ChainFolder(12), "/Data/Coffee_chain12/");
    const StudyFiles chain = study.ForChain(3);
    EXPECT_EQ(chain.DataFile(), "/Data/Coffee_chain3/Coffee.CHO");
    EXPECT_EQ(chain.BaseName(), "Coffee");
    EXPECT_EQ(chain.Folder(), "/Data/Coffee_chain3/");
    EXPECT_EQ(chain.PreparedData(), "/Data/Coffee_chain3/qebdat.tmp");
    EXPECT_EQ(chain.Restart(), "/Data/Coffee_chain3/Coffee.res");
    EXPECT_EQ(StudyFiles::ForDataFile("coffee.chs")->ForChain(1).DataFile(), "coffee_chain1/coffee.chs");
}

TEST(ResumeFileOf, IsTheRestartFilesNameWithItsOwnExtension) {
    EXPECT_EQ(ResumeFileOf("/data/coffee.res"), "/data/coffee.resume");
    EXPECT_EQ(ResumeFileOf(StudyFiles::ForDataFile("/data/coffee.cho")->ForChain(2).Restart()),
              StudyFiles::ForDataFile("/data/coffee.cho")->ForChain(2).Resume());
    EXPECT_EQ(ResumeFileOf("odd"), "odd.resume");
}

}  // namespace
}  // namespace ombrel
