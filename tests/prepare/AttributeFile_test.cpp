#include "prepare/AttributeFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/OmbrelError.h"
#include "tests/prepare/PrepareTestSupport.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using test::TempDir;
using test::WriteFileText;

const char* const kTooManyLines =
    "The text for a level in the <studyname>.att file has too many lines.  Please check the file.";
const char* const kTooManyLevels =
    "There are too many levels for an attribute in the <studyname>.att file.  Please check the file.";
const char* const kTooManyAttributes =
    "There are too many attributes in the <studyname>.att file.  Please check the file.";

class AttributeFileTest : public ::testing::Test {
protected:
    LevelTexts Read(const std::string& text) {
        WriteFileText(dir_.File("study.att"), text);
        LevelTexts levelTexts;
        ReadAttributeFile(test::StudyOf(dir_.File("study")), levelTexts);
        return levelTexts;
    }

    // The message of the failure the text causes, or "" when it reads.
    std::string ErrorOf(const std::string& text) {
        try {
            Read(text);
        } catch (const OmbrelError& error) {
            return error.what();
        }
        return "";
    }

    TempDir dir_;
};

// count one-level attributes "a1", "a2", ..., each ended by two blank lines; then the tail.
std::string Attributes(int count, const std::string& tail) {
    std::string text;
    for (int i = 1; i <= count; ++i) {
        if (i > 1) text += "\n\n";
        text += "a" + std::to_string(i) + "\n";
    }
    return text + tail;
}

// count one-line levels of one attribute, each ended by a blank line except the last; then the tail.
std::string Levels(int count, const std::string& tail) {
    std::string text;
    for (int i = 1; i <= count; ++i) {
        if (i > 1) text += "\n";
        text += "l" + std::to_string(i) + "\n";
    }
    return text + tail;
}

std::string Lines(int count) {
    std::string text;
    for (int i = 1; i <= count; ++i) text += "w" + std::to_string(i) + "\n";
    return text;
}

TEST_F(AttributeFileTest, ReadsAttributesAndLevelsUpToTheEndOfTheFile) {
    // The last text is followed directly by the end of the file, without a line end.
    LevelTexts expected = {{"Brand A", "Brand B", "Brand C"}, {"$1.99"}, {"Red", "Blue"}};
    EXPECT_EQ(Read("Brand A\n\nBrand B\n\nBrand C\n\n\n$1.99\n\n\nRed\n\nBlue"), expected);
    EXPECT_EQ(Read("Brand A\r\n\r\nBrand B\r\n\r\nBrand C\r\n\r\n\r\n$1.99\r\n\r\n\r\nRed\r\n\r\nBlue\r\n"),
              expected);
    // Blank lines of white space; one blank line before the end; the end after the attribute.
    EXPECT_EQ(Read("Brand A\n \t\nBrand B\n\t\r\nBrand C\n\n \n$1.99\n\n\nRed\n\nBlue\n\n"), expected);
    EXPECT_EQ(Read("Brand A\n\nBrand B\n\nBrand C\n\n\n$1.99\n\n\nRed\n\nBlue\n\n\n"), expected);
}

TEST_F(AttributeFileTest, ThreeBlankLinesEndTheReading) {
    EXPECT_EQ(Read("A\n\n\n\nignored\n" + Lines(12)), (LevelTexts{{"A"}}));
    EXPECT_EQ(Read("A\n\nB\n\n\n\nC\n"), (LevelTexts{{"A", "B"}}));
}

TEST_F(AttributeFileTest, JoinsTrimmedLinesWithSingleBlanks) {
    EXPECT_EQ(Read("  Brand  \t\n\t A  b \r\n\nX\n"), (LevelTexts{{"Brand A  b", "X"}}));
}

TEST_F(AttributeFileTest, ColonDiscardsTheTextSoFarAndStandsForAnEmptyText) {
    EXPECT_EQ(Read(":\n\n  :  \n\nfirst\nsecond\n:\nthird\n\nfourth\n:\n"),
              (LevelTexts{{":", ":", "third", ":"}}));
    // The discarded lines no longer count toward the line limit.
    EXPECT_EQ(Read(Lines(9) + ":\n" + Lines(9)), (LevelTexts{{"w1 w2 w3 w4 w5 w6 w7 w8 w9"}}));
}

TEST_F(AttributeFileTest, KeepsTheFirst255CharactersOfAText) {
    std::string longLine(300, 'x');
    EXPECT_EQ(Read(longLine + "\n"), (LevelTexts{{std::string(255, 'x')}}));

    // Cut after joining: 250 + blank + 4 of the next line.
    LevelTexts joined = Read(std::string(250, 'a') + "\nbcdefgh\nmore\n");
    EXPECT_EQ(joined, (LevelTexts{{std::string(250, 'a') + " bcde"}}));

    // A very long line: its blanks are inside the text as long as text follows them.
    std::string huge = "x" + std::string(5000, ' ') + std::string(1 << 20, 'y') + "   ";
    EXPECT_EQ(Read(huge + "\n\nnext\n"), (LevelTexts{{"x" + std::string(254, ' '), "next"}}));
    EXPECT_EQ(Read("x" + std::string(5000, ' ') + "\n"), (LevelTexts{{"x"}}));
}

TEST_F(AttributeFileTest, MarkerLinesAreSkippedOrEndTheReading) {
    // "/+" and "/-" are skipped everywhere, also between the blank lines that end an attribute.
    EXPECT_EQ(Read("/+ heading\nBrand\n/- note\nA\n\n/+\n\nPrice\n"), (LevelTexts{{"Brand A"}, {"Price"}}));
    // Any other marker ends the reading like the end of the file, keeping the text in progress.
    EXPECT_EQ(Read("A\n\nB\n/\nC\n"), (LevelTexts{{"A", "B"}}));
    EXPECT_EQ(Read("A\n\nB\n/x\n\n\nC\n"), (LevelTexts{{"A", "B"}}));
    EXPECT_EQ(Read("A\n\nB\n/\r\nC\n"), (LevelTexts{{"A", "B"}}));
    // The marker test looks at the line before trimming.
    EXPECT_EQ(Read("A\n\n /x\n"), (LevelTexts{{"A", "/x"}}));
    EXPECT_EQ(Read("/end\nA\n"), LevelTexts{});
}

TEST_F(AttributeFileTest, LineLimitIsNineLinesPerText) {
    EXPECT_EQ(Read(Lines(9) + "\nnext\n"), (LevelTexts{{"w1 w2 w3 w4 w5 w6 w7 w8 w9", "next"}}));
    EXPECT_EQ(ErrorOf(Lines(10) + "\nnext\n"), kTooManyLines);
    // Shown when the tenth line is read, whatever follows it.
    EXPECT_EQ(ErrorOf(Lines(9) + "w10"), kTooManyLines);
    EXPECT_EQ(ErrorOf(Lines(10) + ":\n"), kTooManyLines);
}

TEST_F(AttributeFileTest, LevelLimitIs999LevelsPerAttribute) {
    LevelTexts levels = Read(Levels(999, "\n\nnext\n"));
    ASSERT_EQ(levels.size(), 2u);
    EXPECT_EQ(levels[0].size(), 999u);
    EXPECT_EQ(levels[0][998], "l999");

    // Shown when the thousandth text is stored: by its blank line or by the end of the file, before
    // anything after it is read.
    EXPECT_EQ(ErrorOf(Levels(1000, "")), kTooManyLevels);
    EXPECT_EQ(ErrorOf(Levels(1000, "\n" + Lines(10))), kTooManyLevels);
}

TEST_F(AttributeFileTest, AttributeLimitAcceptsAThousandthOnlyWhenTheReadingEndsInIt) {
    EXPECT_EQ(Read(Attributes(999, "\n\n")).size(), 999u);
    EXPECT_EQ(Read(Attributes(1000, "")).size(), 1000u);
    EXPECT_EQ(Read(Attributes(1000, "\n")).size(), 1000u);
    EXPECT_EQ(Read(Attributes(1000, "\n/stop\n\n")).size(), 1000u);
    EXPECT_EQ(ErrorOf(Attributes(1000, "\n\n")), kTooManyAttributes);
    EXPECT_EQ(ErrorOf(Attributes(1000, "\n\n\n")), kTooManyAttributes);
    EXPECT_EQ(ErrorOf(Attributes(1000, "\n\n" + Lines(10))), kTooManyAttributes);
}

TEST_F(AttributeFileTest, MissingOrEmptyFileYieldsNoAttributes) {
    LevelTexts levelTexts = {{"old"}};
    ReadAttributeFile(test::StudyOf(dir_.File("absent")), levelTexts);
    EXPECT_TRUE(levelTexts.empty());

    std::filesystem::create_directory(dir_.Path() / "folder.att");
    levelTexts = {{"old"}};
    ReadAttributeFile(test::StudyOf(dir_.File("folder")), levelTexts);
    EXPECT_TRUE(levelTexts.empty());

    EXPECT_TRUE(Read("").empty());
}

TEST_F(AttributeFileTest, RejectsABlankLineAtTheStart) {
    std::string expected =
        "The " + dir_.File("study.att") + " file begins with a blank line.  Please check the file.";
    EXPECT_EQ(ErrorOf("\nBrand A\n"), expected);
    EXPECT_EQ(ErrorOf("  \t\r\nBrand A\n"), expected);
    EXPECT_EQ(ErrorOf("/+ heading\n\nBrand A\n"), expected);
}

// The same reader over text in memory; "mem.att" stands for the file in messages.
TEST(AttributeFileFromMemory, ReadsGoodTextAndNamesWhatIsBroken) {
    struct Case {
        std::string text;
        LevelTexts levelTexts;  // when message is empty
        std::string message;
    };
    const std::vector<Case> cases = {
        {"Brand A\r\n\r\nBrand\nB\n\n\n/+ note\nLow price\n\n\n\nignored\n",
         {{"Brand A", "Brand B"}, {"Low price"}},
         ""},
        {"", {}, ""},
        {"\nBrand A\n", {}, "The mem.att file begins with a blank line.  Please check the file."},
        {Lines(10), {}, kTooManyLines},
        {Levels(1000, ""), {}, kTooManyLevels},
        {Attributes(1000, "\n\n"), {}, kTooManyAttributes},
    };
    for (const Case& c : cases) {
        MemoryTextSource source(c.text);
        LevelTexts levelTexts = {{"old"}};
        const std::string message =
            test::FailureMessage([&] { ReadAttributeFile(source, "mem.att", levelTexts); });
        if (c.message.empty()) {
            EXPECT_EQ(message, "(no failure)") << c.text;
            EXPECT_EQ(levelTexts, c.levelTexts) << c.text;
        } else {
            EXPECT_EQ(message, c.message) << c.text.substr(0, 40);
        }
    }
}

TEST(AttributeFileFromMemory, AReadErrorIsNotTakenForTheEnd) {
    test::FailingTextSource source("Brand A\n\nBrand B\n");
    LevelTexts levelTexts;
    EXPECT_EQ(test::FailureMessage([&] { ReadAttributeFile(source, "mem.att", levelTexts); }),
              "The mem.att file could not be read.");
}

}  // namespace
}  // namespace ombrel
