#include "estimator/files/PriorMatrixFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "tests/estimator/files/FailingTextSource.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using test::TempDir;
using test::WriteFileText;

std::string ErrorOf(const std::string& studyName, SquareMatrix& prior) {
    try {
        ReadPriorMatrixFile(studyName, prior);
    } catch (const OmbrelError& error) {
        return error.what();
    }
    return "(no error)";
}

SquareMatrix Filled(int p, double value) {
    SquareMatrix m(p);
    m.Fill(value);
    return m;
}

TEST(PriorMatrixFile, MissingFileLeavesTheBuiltPrior) {
    TempDir dir;
    SquareMatrix prior = Filled(2, 3.0);
    EXPECT_FALSE(ReadPriorMatrixFile(dir.File("study"), prior));
    EXPECT_EQ(prior(1, 0), 3.0);
    // A study folder that is not a folder at all is just as absent.
    WriteFileText(dir.File("plain"), "x");
    EXPECT_FALSE(ReadPriorMatrixFile(dir.File("plain") + "/study", prior));
}

TEST(PriorMatrixFile, ReadsRowByRowInAnyLayout) {
    TempDir dir;
    WriteFileText(dir.File("study.mtrx"), "  1.5 -2\n3e-1\t\n\n4 5 6 .5\n  8 9  \n");
    SquareMatrix prior = Filled(3, 0.0);
    EXPECT_TRUE(ReadPriorMatrixFile(dir.File("study"), prior));
    const double expected[3][3] = {{1.5, -2, 0.3}, {4, 5, 6}, {0.5, 8, 9}};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) EXPECT_EQ(prior(i, j), expected[i][j]) << i << "," << j;
    }
}

TEST(PriorMatrixFile, AcceptsCrLfLines) {
    TempDir dir;
    WriteFileText(dir.File("study.mtrx"), "2 0.5\r\n0.5 2\r\n");
    SquareMatrix prior = Filled(2, 0.0);
    EXPECT_TRUE(ReadPriorMatrixFile(dir.File("study"), prior));
    EXPECT_EQ(prior(0, 0), 2.0);
    EXPECT_EQ(prior(0, 1), 0.5);
    EXPECT_EQ(prior(1, 0), 0.5);
    EXPECT_EQ(prior(1, 1), 2.0);
}

TEST(PriorMatrixFile, FewerNumbersAreIncomplete) {
    TempDir dir;
    SquareMatrix prior = Filled(2, 7.0);
    WriteFileText(dir.File("study.mtrx"), "1 2\n3\n");
    EXPECT_EQ(ErrorOf(dir.File("study"), prior), "The <studyname>.mtrx file is incomplete");
    EXPECT_EQ(prior(0, 0), 7.0) << "a failed read leaves the prior as it was";
    WriteFileText(dir.File("empty.mtrx"), "");
    EXPECT_EQ(ErrorOf(dir.File("empty"), prior), "The <studyname>.mtrx file is incomplete");
    // A text that "%lf" cannot read counts as a missing number.
    WriteFileText(dir.File("text.mtrx"), "1 2 three 4\n");
    EXPECT_EQ(ErrorOf(dir.File("text"), prior), "The <studyname>.mtrx file is incomplete");
}

TEST(PriorMatrixFile, OneNumberMoreIsTooMany) {
    TempDir dir;
    SquareMatrix prior = Filled(2, 7.0);
    WriteFileText(dir.File("study.mtrx"), "1 2\n3 4\n5\n");
    EXPECT_EQ(ErrorOf(dir.File("study"), prior), "The <studyname>.mtrx file has too many parameters");
    EXPECT_EQ(prior(1, 1), 7.0);
    // Trailing white space or text that is no number is not a parameter.
    WriteFileText(dir.File("tail.mtrx"), "1 2\n3 4\r\n\r\n  end\n");
    EXPECT_TRUE(ReadPriorMatrixFile(dir.File("tail"), prior));
    EXPECT_EQ(prior(1, 1), 4.0);
}

TEST(PriorMatrixFile, RefusesNumbersThatAreNotFinite) {
    TempDir dir;
    SquareMatrix prior = Filled(2, 7.0);
    WriteFileText(dir.File("study.mtrx"), "1 2\nnan 4\n");
    const std::string path = dir.File("study.mtrx");
    EXPECT_EQ(ErrorOf(dir.File("study"), prior),
              "The file " + path + " holds a value that is not a finite number in row 2, column 1.");
    WriteFileText(dir.File("huge.mtrx"), "1 1e999\n3 4\n");
    EXPECT_EQ(ErrorOf(dir.File("huge"), prior),
              "The file " + dir.File("huge.mtrx") +
                  " holds a value that is not a finite number in row 1, column 2.");
}

TEST(PriorMatrixFile, ReportsAFileThatExistsButCannotBeOpened) {
    // A link to itself exists in the folder but can never be opened, whatever the user's rights.
    TempDir dir;
    std::filesystem::create_symlink(dir.File("study.mtrx"), dir.File("study.mtrx"));
    SquareMatrix prior = Filled(1, 7.0);
    const std::string message = ErrorOf(dir.File("study"), prior);
    EXPECT_EQ(message.rfind("The file " + dir.File("study.mtrx") + " exists but could not be opened: ", 0),
              0u)
        << message;
    EXPECT_EQ(prior(0, 0), 7.0);
}

TEST(PriorMatrixFile, FindsTheStudysFileThroughStudyFiles) {
    TempDir dir;
    WriteFileText(dir.File("Study.mtrx"), "2.5\n");
    const std::optional<StudyFiles> study = StudyFiles::ForDataFile(dir.File("Study.chs"));
    ASSERT_TRUE(study);
    SquareMatrix prior = Filled(1, 7.0);
    EXPECT_TRUE(ReadPriorMatrixFile(*study, prior));
    EXPECT_EQ(prior(0, 0), 2.5);
}

// A 1 x 1 or 2 x 2 prior read from memory: its values, or the message it throws.
std::string ReadFromText(const std::string& text, int p) {
    MemoryTextSource source(text);
    SquareMatrix prior = Filled(p, 7.0);
    const std::string failure = test::FailureMessage([&] { ReadPriorMatrix(source, "x.mtrx", prior); });
    if (failure != "(no failure)") return failure;
    std::string values;
    for (int i = 0; i < p; ++i) {
        for (int j = 0; j < p; ++j) values += Format("%g ", prior(i, j));
    }
    return values;
}

TEST(ReadPriorMatrix, ReadsEachNumberAsPercentLfDoes) {
    // Expected values as the C library's sscanf "%lf" gives them for the same text.
    const std::pair<const char*, const char*> cases[] = {
        {"1.5 -2\r\n3e-1 4", "1.5 -2 0.3 4 "},
        {"+.5 5. -0 1E2", "0.5 5 -0 100 "},
        {"0x1p3 0X1.8P1 0x10 0xAp-1", "8 3 16 5 "},  // hexadecimal, with a binary exponent
        {"1e+ 2 3 4", "1 2 3 4 "},                   // an exponent without digits is dropped
        {"1.5.5 2 3", "1.5 0.5 2 3 "},               // a second point starts the next number
        {"1-2 3 4", "1 -2 3 4 "},
        {"1e-400 2 3 4", "0 2 3 4 "},  // too small: 0
        {"1 2 3 4 x", "1 2 3 4 "},     // trailing text is no number
    };
    for (const auto& [text, values] : cases) EXPECT_EQ(ReadFromText(text, 2), values) << text;
}

TEST(ReadPriorMatrix, RefusesBrokenTextsWithTheirMessages) {
    const std::string incomplete = "The <studyname>.mtrx file is incomplete";
    const std::string tooMany = "The <studyname>.mtrx file has too many parameters";
    const std::pair<const char*, std::string> cases[] = {
        {"", incomplete},
        {"1 2 3", incomplete},
        {"1 2 . 4", incomplete},
        {"1 2 0x 4", incomplete},
        {"1 2 - 4", incomplete},
        {"1 2 na 4", incomplete},
        {"1 2 3 4 5", tooMany},
        {"1 2 3 4 .5e1", tooMany},
        {"1 2 3 4 infinity", tooMany},
        {"1 1e999 3 4", "The file x.mtrx holds a value that is not a finite number in row 1, column 2."},
        {"1 2 -INF 4", "The file x.mtrx holds a value that is not a finite number in row 2, column 1."},
        {"1 2 3 NaN", "The file x.mtrx holds a value that is not a finite number in row 2, column 2."},
    };
    for (const auto& [text, message] : cases) EXPECT_EQ(ReadFromText(text, 2), message) << text;
    EXPECT_EQ(ReadFromText("", 0), "") << "an empty prior reads nothing";
}

TEST(ReadPriorMatrix, AFailedSourceReadsAsItsEnd) {
    test::FailingTextSource source("1 2 3");
    SquareMatrix prior = Filled(2, 7.0);
    EXPECT_EQ(test::FailureMessage([&] { ReadPriorMatrix(source, "x.mtrx", prior); }),
              "The <studyname>.mtrx file is incomplete");
    EXPECT_EQ(prior(0, 0), 7.0);
}

}  // namespace
}  // namespace ombrel
