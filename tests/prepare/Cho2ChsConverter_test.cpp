#include "prepare/Cho2ChsConverter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/ByteStream.h"
#include "common/OmbrelError.h"
#include "common/TextSource.h"
#include "platform/ScriptedMessenger.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using test::ReadFileText;
using test::TempDir;
using test::WriteFileText;

const std::string kConceptMessage7 =
    "There is an error in the CHO file for respondent 7.  The number of concepts must be at least 1.";
const std::string kDefenestrate = "\n\nPlease do not defenestrate the software.";
const std::string kResponseCountMessage7 =
    "There is an error in the CHO file for respondent 7.  The number of responses must be at least 1 and "
    "no greater than the number of concepts.";

// Runs the conversion and returns the converted text, or the failure's message prefixed by "ERROR: ".
struct Outcome {
    std::string output;
    std::string error;
};

Outcome Convert(const TempDir& dir, const std::string& cho, const std::string* responses = nullptr) {
    WriteFileText(dir.File("study.cho"), cho);
    std::string responsePath;
    if (responses != nullptr) {
        responsePath = dir.File("responses.txt");
        WriteFileText(responsePath, *responses);
    }
    Outcome outcome;
    try {
        Cho2ChsConvert(dir.File("study.cho"), dir.File("out.chs"), responsePath);
    } catch (const OmbrelError& failure) {
        outcome.error = failure.what();
    }
    outcome.output = ReadFileText(dir.File("out.chs"));
    return outcome;
}

TEST(ChsValueText, DropsTrailingZerosThenPoint) {
    EXPECT_EQ(ChsValueText(3.0), "3");
    EXPECT_EQ(ChsValueText(2.5), "2.5");
    EXPECT_EQ(ChsValueText(0.0), "0");
    EXPECT_EQ(ChsValueText(-1.0), "-1");
    EXPECT_EQ(ChsValueText(0.25), "0.25");
    EXPECT_EQ(ChsValueText(100.0), "100");
    EXPECT_EQ(ChsValueText(1.0000004), "1");  // six decimals, as "%lf" rounds
    EXPECT_EQ(ChsValueText(0.0000004), "0");
    EXPECT_EQ(ChsValueText(-0.0000004), "-0");
    EXPECT_EQ(ChsValueText(12.3456789), "12.345679");
}

TEST(ConceptCountMessage, PleaOnlyAtMultiplesOfFourSeconds) {
    EXPECT_EQ(ConceptCountMessage(7, 1700000001), kConceptMessage7);
    EXPECT_EQ(ConceptCountMessage(7, 1700000002), kConceptMessage7);
    EXPECT_EQ(ConceptCountMessage(7, 1700000000), kConceptMessage7 + kDefenestrate);
}

TEST(Cho2ChsConvert, GoldenConversionWithNoneSkippedAnswersAndNoVariables) {
    TempDir dir;
    // Respondent 101: two variables, two attributes, three tasks, None.
    //   task 1: 3 concepts, 1 response, chooses the None (4);
    //   task 2: 2 concepts, 2 responses, chooses 2 (3 more integers to skip);
    //   task 3: 2 concepts, chooses nothing (0); codes written as 1.000000 and a linear 0.25.
    // Respondent 102: no variables, no None, one task choosing concept 1.
    const std::string cho =
        "101 2 2 3 1\n"
        "5 -3\n"
        "3 1\n1 2\n2 3\n3 1\n4 99\n"
        "2 2\n1 1\n2 2\n2 99 1 99\n"
        "2 1\n1.000000 0.25\n2.5 -1\n0 0\n"
        "102 0 2 1 0\n"
        "2 1\n1 2\n2 1\n1 5\n";
    Outcome outcome = Convert(dir, cho);
    EXPECT_EQ(outcome.error, "");
    EXPECT_EQ(outcome.output,
              "101 2 2 3 1\n"
              "5 -3 \n"
              "4\n1 2 0\n2 3 0\n3 1 0\n0 0 1\n"
              "3\n1 1 0\n2 2 1\n0 0 0\n"
              "3\n1 0.25 0\n2.5 -1 0\n0 0 0\n"
              "102 0 2 1 0\n"
              "2\n1 2 1\n2 1 0\n");
}

TEST(Cho2ChsConvert, ResponseFileReplacesAnswersAndRunsOutAsZeros) {
    TempDir dir;
    // The choice file's answers (2 x responses each) are skipped; the response file feeds one number
    // per row, None rows included, across respondents, and runs out in the second task.
    const std::string cho =
        "1 0 1 2 1\n"
        "2 2\n1\n2\n9 9 9 9\n"
        "2 1\n1\n2\n1 1\n";
    const std::string responses = "3 2\n\t5   7 1";
    Outcome outcome = Convert(dir, cho, &responses);
    EXPECT_EQ(outcome.error, "");
    EXPECT_EQ(outcome.output,
              "1 0 1 2 1\n"
              "3\n1 3\n2 2\n0 5\n"
              "3\n1 7\n2 1\n0 0\n");
}

TEST(Cho2ChsConvert, InputEndingInsideHeadersEndsTheOutputThere) {
    TempDir dir;
    // Cut inside the second task header, then inside the next respondent header.
    Outcome cutTask = Convert(dir, "3 0 1 2 0\n1 1\n4\n1 1\n2");
    EXPECT_EQ(cutTask.error, "");
    EXPECT_EQ(cutTask.output, "3 0 1 2 0\n1\n4 1\n");

    Outcome cutHeader = Convert(dir, "3 0 1 1 0\n1 1\n4\n1 1\n4 0 1");
    EXPECT_EQ(cutHeader.error, "");
    EXPECT_EQ(cutHeader.output, "3 0 1 1 0\n1\n4 1\n");

    Outcome cutVariables = Convert(dir, "3 2 1 1 0\n8");
    EXPECT_EQ(cutVariables.error, "");
    EXPECT_EQ(cutVariables.output, "3 2 1 1 0\n8 ");

    Outcome empty = Convert(dir, "  \n");
    EXPECT_EQ(empty.error, "");
    EXPECT_EQ(empty.output, "");
}

TEST(Cho2ChsConvert, TextInAConceptRowReadsAsZerosAndEndsAtTheNextTask) {
    TempDir dir;
    Outcome outcome = Convert(dir, "3 0 2 2 0\n2 1\n1 x 2\n2 2\n1\n2 1\n1 1\n2 2\n1 1\n");
    EXPECT_EQ(outcome.error, "");
    EXPECT_EQ(outcome.output, "3 0 2 2 0\n2\n1 0 0\n0 0 0\n");
}

TEST(Cho2ChsConvert, ConceptCountOutOfRangeStopsAndKeepsEarlierRespondents) {
    TempDir dir;
    const std::string first = "6 0 1 1 0\n1 1\n3\n1 1\n";
    for (const char* count : {"0", "1001", "-2"}) {
        Outcome outcome = Convert(dir, first + "7 0 1 1 0\n" + count + " 1\n1\n1 1\n");
        EXPECT_TRUE(outcome.error == kConceptMessage7 || outcome.error == kConceptMessage7 + kDefenestrate)
            << outcome.error;
        EXPECT_EQ(outcome.output, "6 0 1 1 0\n1\n3 1\n7 0 1 1 0\n");
    }
    Outcome largest = Convert(dir, "7 0 0 1 0\n1000 1\n1000 0\n");
    EXPECT_EQ(largest.error, "");
}

TEST(Cho2ChsConvert, ResponseCountOutOfRangeStops) {
    TempDir dir;
    for (const char* counts : {"2 0", "2 3", "2 -1"}) {
        Outcome outcome = Convert(dir, std::string("7 0 1 1 0\n") + counts + "\n1 2\n1 1\n");
        EXPECT_EQ(outcome.error, kResponseCountMessage7);
    }
}

TEST(Cho2ChsConvert, ChoiceOutOfRangeStops) {
    TempDir dir;
    // Without a None alternative the largest choice is the concept count; with one, one more.
    for (const char* task : {"2 1\n1 2\n3 1\n", "2 1\n1 2\n-1 1\n"}) {
        Outcome outcome = Convert(dir, std::string("7 0 1 1 0\n") + task);
        EXPECT_EQ(outcome.error, "An answer in the data file is out of range.");
        EXPECT_EQ(outcome.output, "7 0 1 1 0\n2\n");
    }
    Outcome withNone = Convert(dir, "7 0 1 1 1\n2 1\n1 2\n4 1\n");
    EXPECT_EQ(withNone.error, "An answer in the data file is out of range.");
    Outcome noneChosen = Convert(dir, "7 0 1 1 1\n2 1\n1 2\n3 1\n");
    EXPECT_EQ(noneChosen.error, "");
    EXPECT_EQ(noneChosen.output, "7 0 1 1 1\n3\n1 0\n2 0\n0 1\n");
}

TEST(Cho2ChsConvert, DamagedHeadersAreRefusedNamingTheFile) {
    TempDir dir;
    Outcome badNone = Convert(dir, "7 0 1 1 2\n2 1\n1 2\n1 1\n");
    EXPECT_EQ(badNone.error, "There is an error in the CHO file " + dir.File("study.cho") +
                                 " for respondent 7.  The None flag is 2; it must be 0 or 1.");
    EXPECT_EQ(badNone.output, "");
    Outcome badAttributes = Convert(dir, "7 0 2000000000 1 0\n1000 1\n");
    EXPECT_EQ(badAttributes.error,
              "There is an error in the CHO file " + dir.File("study.cho") +
                  " for respondent 7.  The number of attributes is 2000000000; it must be "
                  "between 0 and 1000.");
}

TEST(Cho2ChsConvert, FilesThatCannotBeOpenedAreNamed) {
    TempDir dir;
    WriteFileText(dir.File("out.chs"), "old");
    try {
        Cho2ChsConvert(dir.File("missing.cho"), dir.File("out.chs"));
        FAIL() << "no failure";
    } catch (const OmbrelError& failure) {
        EXPECT_EQ(std::string(failure.what()), "The data file " + dir.File("missing.cho") +
                                                   " could not be opened (No such file or directory).");
    }
    // The inputs are opened first: a failed start leaves the target untouched.
    EXPECT_EQ(ReadFileText(dir.File("out.chs")), "old");

    WriteFileText(dir.File("study.cho"), "1 0 1 0 0\n");
    try {
        Cho2ChsConvert(dir.File("study.cho"), dir.File("out.chs"), dir.File("nothing.txt"));
        FAIL() << "no failure";
    } catch (const OmbrelError& failure) {
        EXPECT_EQ(std::string(failure.what()), "The response file " + dir.File("nothing.txt") +
                                                   " could not be opened (No such file or directory).");
    }
    EXPECT_THROW(Cho2ChsConvert(dir.File("study.cho"), dir.File("no-such-folder/out.chs")), OmbrelError);
}

TEST(Cho2ChsConvert, AReadErrorIsAFailureNotTheEndOfTheFile) {
    // /proc/self/mem is a regular file whose first page cannot be read (EIO): the one read error a
    // test can provoke on demand.
    TempDir dir;
    WriteFileText(dir.File("study.cho"), "1 0 1 1 0\n1 1\n1\n1 1\n");  // one task: the answer is read
    for (const auto& [data, responses] :
         {std::pair<std::string, std::string>{"/proc/self/mem", ""},
          std::pair<std::string, std::string>{dir.File("study.cho"), "/proc/self/mem"}}) {
        try {
            Cho2ChsConvert(data, dir.File("out.chs"), responses);
            FAIL() << "no failure";
        } catch (const OmbrelError& failure) {
            EXPECT_EQ(std::string(failure.what()), "The file /proc/self/mem could not be read.");
        }
    }
}

TEST(Cho2ChsConvert, NeverTruncatesItsOwnInput) {
    TempDir dir;
    const std::string cho = "1 0 1 1 0\n1 1\n1\n1 1\n";
    WriteFileText(dir.File("study.cho"), cho);
    std::filesystem::create_symlink(dir.File("study.cho"), dir.File("alias.chs"));
    EXPECT_THROW(Cho2ChsConvert(dir.File("study.cho"), dir.File("study.cho")), OmbrelError);
    EXPECT_THROW(Cho2ChsConvert(dir.File("study.cho"), dir.File("alias.chs")), OmbrelError);
    WriteFileText(dir.File("r.txt"), "1");
    EXPECT_THROW(Cho2ChsConvert(dir.File("study.cho"), dir.File("r.txt"), dir.File("r.txt")), OmbrelError);
    EXPECT_EQ(ReadFileText(dir.File("study.cho")), cho);
    EXPECT_EQ(ReadFileText(dir.File("r.txt")), "1");
}

TEST(ChsOutputName, LowerCasesTheFileNameOnly) {
    EXPECT_EQ(ChsOutputName("/data/Coffee/STUDY.CHO"), "/data/Coffee/study.chs");
    EXPECT_EQ(ChsOutputName("study.cho"), "study.chs");
    EXPECT_EQ(ChsOutputName("/x.cho/a.cho.b.CHO"), "/x.cho/a.chs.b.chs");
    EXPECT_EQ(ChsOutputName("/data/study.txt"), "");
    EXPECT_EQ(ChsOutputName("/data.cho/study"), "");
}

TEST(ConvertChoToChs, MissingFilesAreNotLocated) {
    TempDir dir;
    ScriptedMessenger messenger;
    EXPECT_FALSE(ConvertChoToChs(dir.File("none.cho"), "", messenger));
    WriteFileText(dir.File("s.cho"), "1 0 1 1 0\n1 1\n1\n1 1\n");
    EXPECT_FALSE(ConvertChoToChs("  " + dir.File("s.cho") + "\t", " " + dir.File("r.txt") + " ", messenger));
    ASSERT_EQ(messenger.Entries().size(), 2u);
    EXPECT_EQ(messenger.Entries()[0].text, "Cannot locate " + dir.File("none.cho") + ".");
    EXPECT_EQ(messenger.Entries()[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(messenger.Entries()[1].text, "Cannot locate " + dir.File("r.txt") + ".");
    EXPECT_FALSE(std::filesystem::exists(dir.File("s.chs")));
}

TEST(ConvertChoToChs, UpperCaseChoGivesLowerCaseChsAndReportsSuccess) {
    TempDir dir;
    WriteFileText(dir.File("Study.CHO"), "1 0 1 1 0\n2 1\n1\n2\n2 1\n");
    ScriptedMessenger messenger;
    std::string output;
    EXPECT_TRUE(ConvertChoToChs(dir.File("Study.CHO"), "   ", messenger, &output));
    EXPECT_EQ(output, dir.File("study.chs"));
    EXPECT_EQ(ReadFileText(output), "1 0 1 1 0\n2\n1 0\n2 1\n");
    ASSERT_EQ(messenger.Entries().size(), 1u);
    EXPECT_EQ(messenger.Entries()[0].text, "The conversion completed successfully.");
    EXPECT_EQ(messenger.Entries()[0].icon, MessageIcon::Information);
}

TEST(ConvertChoToChs, ANameWithoutChoIsRefusedAndLeftAlone) {
    TempDir dir;
    WriteFileText(dir.File("study.txt"), "1 0 1 1 0\n1 1\n1\n1 1\n");
    ScriptedMessenger messenger;
    EXPECT_FALSE(ConvertChoToChs(dir.File("study.txt"), "", messenger));
    ASSERT_EQ(messenger.Entries().size(), 1u);
    EXPECT_EQ(messenger.Entries()[0].text,
              "The name of the data file " + dir.File("study.txt") +
                  " does not contain \".cho\", so the converted file would replace "
                  "it.  Please name the data file <study>.cho.");
    EXPECT_EQ(ReadFileText(dir.File("study.txt")), "1 0 1 1 0\n1 1\n1\n1 1\n");
}

TEST(ConvertChoToChs, ConversionFailureShowsItsMessageAndNoSuccess) {
    TempDir dir;
    WriteFileText(dir.File("s.cho"), "7 0 1 1 0\n2 1\n1\n2\n5 1\n");
    ScriptedMessenger messenger;
    EXPECT_FALSE(ConvertChoToChs(dir.File("s.cho"), "", messenger));
    ASSERT_EQ(messenger.Texts(), std::vector<std::string>{"An answer in the data file is out of range."});
    EXPECT_EQ(messenger.Entries()[0].icon, MessageIcon::Exclamation);
}

// A sink whose every write fails, as a full device does.
class FullSink final : public ByteSink {
public:
    bool Write(const void*, size_t) override { return false; }
};

// The conversion over text in memory: "mem.cho" and "mem.chs" stand for the files in messages.
TEST(Cho2ChsConvertFromMemory, ConvertsGoodTextAndNamesWhatIsBroken) {
    // Respondent 7: one variable, two attributes, one task of two concepts with a None; the choice
    // is concept 2, the 9 after it is passed over.
    const std::string cho = "7 1 2 1 1\n5\n2 1\n1 2\n2.5 1\n2 9\n";
    struct Case {
        std::string cho;
        const char* responses;  // null: no response file
        std::string output;
        std::string message;  // empty: no failure
    };
    const std::vector<Case> cases = {
        {cho, nullptr, "7 1 2 1 1\n5 \n3\n1 2 0\n2.5 1 1\n0 0 0\n", ""},
        {cho, "4 5\n6", "7 1 2 1 1\n5 \n3\n1 2 4\n2.5 1 5\n0 0 6\n", ""},
        {cho, "4", "7 1 2 1 1\n5 \n3\n1 2 4\n2.5 1 0\n0 0 0\n", ""},
        {"7 1 2 1 2\n", nullptr, "",
         "There is an error in the CHO file mem.cho for respondent 7.  The None flag is 2; it must be 0 or "
         "1."},
        {"7 1 2 1 1\n5\n2 3\n", nullptr, "7 1 2 1 1\n5 \n", kResponseCountMessage7},
        {"7 1 2 1 1\n5\n2 1\n1 2\n2 1\n4 9\n", nullptr, "7 1 2 1 1\n5 \n3\n",
         "An answer in the data file is out of range."},
    };
    for (const Case& c : cases) {
        MemoryTextSource data(c.cho);
        std::optional<MemoryTextSource> responses;
        if (c.responses != nullptr) responses.emplace(c.responses);
        MemoryByteSink target;
        const std::string message = test::FailureMessage(
            [&] { Cho2ChsConvert(data, responses ? &*responses : nullptr, target, "mem.cho", "mem.chs"); });
        EXPECT_EQ(message, c.message.empty() ? "(no failure)" : c.message) << c.cho;
        EXPECT_EQ(std::string(target.Bytes().begin(), target.Bytes().end()), c.output) << c.cho;
    }

    MemoryTextSource data(cho);
    FullSink full;
    EXPECT_EQ(test::FailureMessage([&] {
                  Cho2ChsConvert(data, nullptr, full, "mem.cho", "mem.chs");
              }).rfind("The file mem.chs could not be written (", 0),
              0u);
}

}  // namespace
}  // namespace ombrel
