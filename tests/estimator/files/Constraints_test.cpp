#include "estimator/files/Constraints.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/OmbrelError.h"
#include "tests/estimator/files/FailingTextSource.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using test::TempDir;
using test::WriteFileText;

// Attributes: 1 and 2 part-worth with 3 levels, interacting; 3 part-worth with 5 levels; 4 linear.
AttributeModel StudyModel() {
    AttributeModel model;
    model.attributeCount = 4;
    model.levelsPerAttribute = {3, 3, 5, 1};
    model.attributeCodes = {{1, 1, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, -1}};
    model.levelCount = 3 + 3 + 5 + 1 + 9;
    return model;
}

std::vector<Constraint> Read(const TempDir& dir, const std::string& text, bool effectsCoding = true) {
    WriteFileText(dir.File("study.con"), text);
    return ReadConstraints(dir.File("study"), StudyModel(), effectsCoding);
}

std::string FailureOf(const std::string& text, bool effectsCoding = true) {
    TempDir dir;
    try {
        Read(dir, text, effectsCoding);
    } catch (const OmbrelError& failure) {
        return failure.what();
    }
    return "(no failure)";
}

TEST(ReadConstraints, MissingFileMeansNoConstraintsAndNoMessage) {
    TempDir dir;
    EXPECT_TRUE(ReadConstraints(dir.File("study"), StudyModel(), true).empty());
}

TEST(ReadConstraints, KeepsTriplesInFileOrderWhateverTheLineBreaks) {
    TempDir dir;
    const std::vector<Constraint> expected = {{3, 1, 2}, {3, 1, 3}, {3, 2, 3}, {4, -1, 0}};
    EXPECT_EQ(Read(dir, "3 1 2\n3 1 3\r\n3 2 3\n4 -1 0\n"), expected);
    EXPECT_EQ(Read(dir, "3 1\n2 3 1 3 3\t2 3 4\n-1\n0"), expected);
}

TEST(ReadConstraints, StopsAtTheFirstIncompleteTriple) {
    TempDir dir;
    EXPECT_TRUE(Read(dir, "").empty());
    EXPECT_TRUE(Read(dir, "abc 1 2\n").empty());
    const std::vector<Constraint> first = {{3, 1, 2}};
    EXPECT_EQ(Read(dir, "3 1 2\n3 2\n"), first);
    EXPECT_EQ(Read(dir, "3 1 2\n3 2 x\n3 1 3\n"), first);
    // A number beyond int is refused rather than taken for the end of the list.
    EXPECT_EQ(test::FailureMessage([&] { Read(dir, "3 1 2\n99999999999 1 2\n0 0 0\n"); }),
              "The number 99999999999 in <studyname>.con does not fit a 32-bit integer (-2147483648 to "
              "2147483647).");
    // The ends of the range are read, and checked, as before.
    EXPECT_EQ(test::FailureMessage([&] { Read(dir, "2147483647 1 2\n"); }),
              "The <studyname>.con file specifies an attribute (2147483647) that is out of range.");
    EXPECT_EQ(test::FailureMessage([&] { Read(dir, "-2147483648 1 2\n"); }),
              "The <studyname>.con file specifies an attribute (-2147483648) that is out of range.");
}

TEST(ReadConstraints, StoresAtMostOneThousand) {
    TempDir dir;
    std::string text;
    for (int i = 0; i < 1500; ++i) text += i % 2 == 0 ? "3 1 2\n" : "3 2 3\n";
    text += "0 1 2\n";  // beyond the limit: never checked
    EXPECT_EQ(Read(dir, text).size(), 1000u);
}

TEST(ReadConstraints, ReportsEachCheckWithItsMessage) {
    const std::string outOfRange0 =
        "The <studyname>.con file specifies an attribute (0) that is out of range.";
    EXPECT_EQ(FailureOf("0 1 2\n"), outOfRange0);
    EXPECT_EQ(FailureOf("-3 1 2\n"),
              "The <studyname>.con file specifies an attribute (-3) that is out of range.");
    EXPECT_EQ(FailureOf("5 1 2\n"),
              "The <studyname>.con file specifies an attribute (5) that is out of range.");
    EXPECT_EQ(FailureOf("3 2 2\n"),
              "The <studyname>.con file specifies a constraint for attribute 3 where a level is prohibited "
              "with itself.");
    EXPECT_EQ(FailureOf("3 0 2\n"),
              "The <studyname>.con file specifies a constraint for attribute 3, but level 0 does not exist.");
    EXPECT_EQ(FailureOf("3 6 2\n"),
              "The <studyname>.con file specifies a constraint for attribute 3, but level 6 does not exist.");
    EXPECT_EQ(
        FailureOf("4 -2 0\n"),
        "The <studyname>.con file specifies a constraint for attribute 4, but level -2 does not exist.");
    EXPECT_EQ(FailureOf("3 1 0\n"),
              "The <studyname>.con file specifies a constraint for a linear attribute, but the attribute (3) "
              "is not "
              "linear.");
    EXPECT_EQ(FailureOf("3 1 9\n"),
              "The <studyname>.con file specifies a constraint for attribute 3, but level 9 does not exist.");
    EXPECT_EQ(
        FailureOf("3 1 -2\n"),
        "The <studyname>.con file specifies a constraint for attribute 3, but level -2 does not exist.");
    EXPECT_EQ(
        FailureOf("1 1 2\n", false),
        "The <studyname>.con file specifies a constraint for attribute 1, but interaction terms are to be "
        "estimated for the attribute.  Dummy coding does not allow constraining attributes with interaction "
        "terms.");
    EXPECT_EQ(
        FailureOf("2 3 1\n", false),
        "The <studyname>.con file specifies a constraint for attribute 2, but interaction terms are to be "
        "estimated for the attribute.  Dummy coding does not allow constraining attributes with interaction "
        "terms.");
}

TEST(ReadConstraints, ChecksRunInTheirOrder) {
    // Out of range before prohibited-with-itself; prohibited before a missing level.
    EXPECT_EQ(FailureOf("0 2 2\n"),
              "The <studyname>.con file specifies an attribute (0) that is out of range.");
    EXPECT_EQ(FailureOf("3 9 9\n"),
              "The <studyname>.con file specifies a constraint for attribute 3 where a level is prohibited "
              "with itself.");
    // The first level is checked before the not-linear test and the second level.
    EXPECT_EQ(FailureOf("3 7 0\n"),
              "The <studyname>.con file specifies a constraint for attribute 3, but level 7 does not exist.");
    // Valid lines before the bad one do not save it.
    EXPECT_EQ(FailureOf("3 1 2\n4 1 0\n3 1 6\n"),
              "The <studyname>.con file specifies a constraint for attribute 3, but level 6 does not exist.");
}

TEST(ReadConstraints, AcceptsSignsAndInteractingAttributesWithEffectsCoding) {
    TempDir dir;
    const std::vector<Constraint> expected = {{4, -1, 0}, {4, 1, 0}, {1, 1, 2}, {2, 3, 1}, {4, -1, 1}};
    // An ordering on a linear attribute with a negative first level passes, as a sign condition.
    EXPECT_EQ(Read(dir, "4 -1 0 4 1 0 1 1 2 2 3 1 4 -1 1"), expected);
}

TEST(ReadConstraints, RefusesANegativeLevelInAnOrderingOfAPartWorthAttribute) {
    // Tying would index the level before the first one.
    EXPECT_EQ(
        FailureOf("3 -1 2\n"),
        "The <studyname>.con file specifies a constraint for attribute 3, but level -1 does not exist.");
}

TEST(ReadConstraints, AnAttributeTheModelTablesDoNotReachIsOutOfRange) {
    AttributeModel model = StudyModel();
    model.levelsPerAttribute.resize(2);
    try {
        CheckConstraint({3, 1, 2}, model, false);
        FAIL() << "accepted";
    } catch (const OmbrelError& failure) {
        EXPECT_STREQ(failure.what(),
                     "The <studyname>.con file specifies an attribute (3) that is out of range.");
    }
}

TEST(ReadConstraints, FindsTheStudysFileThroughStudyFiles) {
    TempDir dir;
    WriteFileText(dir.File("Study.con"), "3 1 2\n");
    const std::optional<StudyFiles> study = StudyFiles::ForDataFile(dir.File("Study.CHO"));
    ASSERT_TRUE(study);
    EXPECT_EQ(ReadConstraints(*study, StudyModel(), true), (std::vector<Constraint>{{3, 1, 2}}));
    EXPECT_EQ(ReadConstraints(dir.File("Study"), StudyModel(), true), (std::vector<Constraint>{{3, 1, 2}}));
}

TEST(ReadConstraints, AFileThatCannotBeReadIsNamed) {
    TempDir dir;
    std::filesystem::create_directory(dir.File("study.con"));
    EXPECT_EQ(test::FailureMessage([&] { ReadConstraints(dir.File("study"), StudyModel(), true); }),
              "The constraints file " + dir.File("study.con") + " could not be read.");
}

std::vector<Constraint> ListFrom(const std::string& text, bool checkInteractions = false) {
    MemoryTextSource source(text);
    return ReadConstraintList(source, StudyModel(), checkInteractions);
}

TEST(ReadConstraintList, ReadsTriplesFromMemory) {
    struct Case {
        const char* text;
        std::vector<Constraint> expected;
    };
    const Case cases[] = {
        {"", {}},
        {"3 1 2\r\n4 -1 0\r\n", {{3, 1, 2}, {4, -1, 0}}},
        {"3\n1\n2 3 2 3", {{3, 1, 2}, {3, 2, 3}}},
        {"3 1 2 3 2", {{3, 1, 2}}},                    // an incomplete triple ends the list
        {"3 1 2 x 3 1 3", {{3, 1, 2}}},                // so does text that is no number
        {"+3 1 2 3 1 2.5 4", {{3, 1, 2}, {3, 1, 2}}},  // "2.5" gives 2, then ".5" is no number
        {"3 1 2 3 1 3", {{3, 1, 2}, {3, 1, 3}}},
    };
    for (const Case& c : cases) EXPECT_EQ(ListFrom(c.text), c.expected) << c.text;
}

TEST(ReadConstraintList, ChecksEachTripleAgainstTheModel) {
    const std::pair<const char*, const char*> cases[] = {
        {"9 1 2", "The <studyname>.con file specifies an attribute (9) that is out of range."},
        {"3 1 2 3 4 4",
         "The <studyname>.con file specifies a constraint for attribute 3 where a level is prohibited with "
         "itself."},
        {"4 2 0",
         "The <studyname>.con file specifies a constraint for attribute 4, but level 2 does not exist."},
    };
    for (const auto& [text, message] : cases) {
        EXPECT_EQ(test::FailureMessage([&] { ListFrom(text); }), message) << text;
    }
    EXPECT_EQ(ListFrom("1 1 2").size(), 1u);
    EXPECT_EQ(
        test::FailureMessage([&] { ListFrom("1 1 2", true); }),
        "The <studyname>.con file specifies a constraint for attribute 1, but interaction terms are to be "
        "estimated for the attribute.  Dummy coding does not allow constraining attributes with interaction "
        "terms.");
}

TEST(ReadConstraintList, AFailedSourceEndsTheListAndSaysSo) {
    test::FailingTextSource source("3 1 2\n3 2");
    EXPECT_EQ(ReadConstraintList(source, StudyModel(), false), (std::vector<Constraint>{{3, 1, 2}}));
    EXPECT_TRUE(source.Failed());
}

}  // namespace
}  // namespace ombrel
