#include "frontend/TieDrawsDialogLogic.h"

#include <gtest/gtest.h>

namespace ombrel {
namespace {

TEST(ChosenPathText, KeepsTheCaseAndTrims) {
    // Another case names another file here: the chosen file must stay the one found.
    EXPECT_EQ(ChosenPathText("/Data/Studies/Coffee.HBU"), "/Data/Studies/Coffee.HBU");
    EXPECT_EQ(ChosenPathText("  /Data/Coffee.CHO\t"), "/Data/Coffee.CHO");
    EXPECT_EQ(ChosenPathText("/Data/"), "/Data/");
    EXPECT_EQ(ChosenPathText(""), "");
}

TEST(ToolFileFilters, AreTheDialogsLists) {
    const std::vector<FileFilter> data = ChoDataFileFilters();
    ASSERT_EQ(data.size(), 1u);
    EXPECT_EQ(data[0].description, "Ombrel Data Files (*.cho)");
    EXPECT_EQ(data[0].patterns, std::vector<std::string>{"*.cho"});
    const std::vector<FileFilter> responses = ResponseFileFilters();
    ASSERT_EQ(responses.size(), 2u);
    EXPECT_EQ(responses[0].description, "Text Files (*.txt)");
    EXPECT_EQ(responses[0].patterns, std::vector<std::string>{"*.txt"});
    EXPECT_EQ(responses[1].description, "All Files (*.*)");
    EXPECT_EQ(PartWorthFileFilters()[0].description, "Ombrel Part Worth Files (*.hbu)");
    EXPECT_EQ(PartWorthFileFilters()[0].patterns, std::vector<std::string>{"*.hbu"});
    EXPECT_EQ(DrawsFileFilters()[0].description, "Ombrel Random Draw Files (*.dra)");
    EXPECT_EQ(DrawsFileFilters()[0].patterns, std::vector<std::string>{"*.dra"});
    EXPECT_EQ(ConstraintsFileFilters()[0].description, "Ombrel Constraints Files (*.con)");
    EXPECT_EQ(ConstraintsFileFilters()[0].patterns, std::vector<std::string>{"*.con"});
}

TEST(TieDrawsFocusLost, FillsTheEmptyCompanionsOnlyAfterAFirstPath) {
    TieDrawsPaths paths{"/s/Study.hbu", "", ""};
    PartWorthFocusLost("", paths);
    EXPECT_EQ(paths.draws, "/s/Study.dra");
    EXPECT_EQ(paths.constraints, "/s/Study.con");
    EXPECT_EQ(paths.partWorth, "/s/Study.hbu");

    // Every ".hbu" goes, not only the last.
    paths = {"/s/a.hbu.old.hbu", "", ""};
    PartWorthFocusLost("", paths);
    EXPECT_EQ(paths.draws, "/s/a.old.dra");
    EXPECT_EQ(paths.constraints, "/s/a.old.con");

    // Blanks around the typed path do not reach the companions.
    paths = {"  /s/x.hbu ", "", ""};
    PartWorthFocusLost(" ", paths);
    EXPECT_EQ(paths.draws, "/s/x.dra");

    // The field held a path already: an edit fills nothing.
    paths = {"/s/new.hbu", "", ""};
    PartWorthFocusLost("/s/old.hbu", paths);
    EXPECT_EQ(paths.draws, "");
    EXPECT_EQ(paths.constraints, "");

    // Either companion filled: both stay as they are.
    paths = {"/s/new.hbu", "", "/s/mine.con"};
    PartWorthFocusLost("", paths);
    EXPECT_EQ(paths.draws, "");
    EXPECT_EQ(paths.constraints, "/s/mine.con");
    paths = {"/s/new.hbu", "/s/mine.dra", ""};
    PartWorthFocusLost("", paths);
    EXPECT_EQ(paths.constraints, "");

    // Still empty: nothing to fill.
    paths = {"   ", "", ""};
    PartWorthFocusLost("", paths);
    EXPECT_EQ(paths.draws, "");
}

TEST(TieDrawsBrowse, StoresTheChosenNamesAndFillsCompanionsWhenAllWereEmpty) {
    TieDrawsPaths paths;
    PartWorthChosen("/Studies/Coffee.HBU", paths);
    EXPECT_EQ(paths.partWorth, "/Studies/Coffee.HBU");
    EXPECT_EQ(paths.draws, "/Studies/Coffee.dra");
    EXPECT_EQ(paths.constraints, "/Studies/Coffee.con");

    // A second choice replaces the part-worth file only.
    PartWorthChosen("/Studies/Tea.hbu", paths);
    EXPECT_EQ(paths.partWorth, "/Studies/Tea.hbu");
    EXPECT_EQ(paths.draws, "/Studies/Coffee.dra");

    DrawsChosen("/Other/Run2.DRA", paths);
    ConstraintsChosen("/Other/Strict.CON", paths);
    EXPECT_EQ(paths.draws, "/Other/Run2.DRA");
    EXPECT_EQ(paths.constraints, "/Other/Strict.CON");

    // The part-worth field held a path: the empty companions stay empty.
    paths = {"/a/old.hbu", "", ""};
    PartWorthChosen("/a/New.hbu", paths);
    EXPECT_EQ(paths.partWorth, "/a/New.hbu");
    EXPECT_EQ(paths.draws, "");
}

TEST(TieDrawsContinue, TrimsAllThree) {
    const TieDrawsPaths paths = ContinuedPaths({" /a.hbu\t", "\t/a.dra ", "  /a.con  "});
    EXPECT_EQ(paths.partWorth, "/a.hbu");
    EXPECT_EQ(paths.draws, "/a.dra");
    EXPECT_EQ(paths.constraints, "/a.con");
}

}  // namespace
}  // namespace ombrel
