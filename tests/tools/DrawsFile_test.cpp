#include "tools/DrawsFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

// Two values per draw; respondent 7 has two draws, respondent 9 two.
const std::string kDraws =
    "  7 500 0 2 -1\n 0.1 0.2\n  7 510 0 2 -1\n 0.3 0.4\n"
    "  9 600 0 2 -1\n 0.5 0.6\n  9 610 0 2 -1\n-0.7 0.8\n";

int CountFrom(const std::string& text, int valueCount = 2) {
    MemoryTextSource source(text);
    return CountDrawsPerRespondent(source, "d.dra", valueCount);
}

TEST(DrawsFile, CountsTheFirstRespondentsDraws) {
    EXPECT_EQ(CountFrom(kDraws), 2);
    EXPECT_EQ(CountFrom("7 500 0 2 -1 1 2\r\n7 500 0 2 -1 1 2\r\n7 500 0 2 -1 1 2\r\n"), 3);
    // Only the first run is read: what follows it is the tie pass's to check.
    EXPECT_EQ(CountFrom("7 500 0 2 -1 1 2 8 500 0 3 -1 x"), 1);
}

TEST(DrawsFile, RefusesBrokenFirstRunsWithTheirMessages) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "The draws file d.dra holds no draws."},
        {" \r\n ", "The draws file d.dra holds no draws."},
        {"7 500 0 2", "Incomplete <studyname>.dra file."},
        {"7 500 0 2 -1 0.1", "Incomplete <studyname>.dra file."},
        {"7 500 0 2 -1 0.1 x", "Incomplete <studyname>.dra file."},
        {"7 500 0 3 -1 0.1 0.2 0.3",
         "The draws file d.dra holds a draw of respondent 7 with 3 values, but the part-worth file has 2 "
         "values per respondent."},
    };
    for (const auto& [text, message] : cases) {
        EXPECT_EQ(test::FailureMessage([&] { CountFrom(text); }), message) << text;
    }
}

// Every respondent's draws as the reader hands them over, and the record of each one's last draw.
std::vector<std::vector<double>> ReadAll(const std::string& text, int drawsPerRespondent,
                                         std::vector<int>* lastRlh = nullptr) {
    MemoryTextSource source(text);
    RespondentDrawReader reader(source, "d.dra", 2, drawsPerRespondent);
    std::vector<std::vector<double>> draws;
    while (reader.ReadRespondent([&](std::vector<double>& draw) { draws.push_back(draw); })) {
        if (lastRlh != nullptr) lastRlh->push_back(reader.LastRecord().header[1]);
    }
    return draws;
}

TEST(DrawsFile, HandsOverEachRespondentsDrawsInFileOrder) {
    std::vector<int> lastRlh;
    EXPECT_EQ(ReadAll(kDraws, 2, &lastRlh),
              (std::vector<std::vector<double>>{{0.1, 0.2}, {0.3, 0.4}, {0.5, 0.6}, {-0.7, 0.8}}));
    EXPECT_EQ(lastRlh, (std::vector<int>{510, 610}));
    EXPECT_TRUE(ReadAll("", 2).empty());
}

TEST(DrawsFile, RefusesBrokenRespondentsWithTheirMessages) {
    const std::string first = kDraws.substr(0, kDraws.find("  9"));
    const std::pair<std::string, std::string> cases[] = {
        {first + "9 600 0 2 -1 1 2", "The <studyname>.dra file is incomplete."},
        {first + "9 600 0 2 -1 1 2 9 600", "The <studyname>.dra file is incomplete."},
        {first + "9 600 0 2 -1 1 2 9 600 0 2 -1 1",
         "The <studyname>.dra file encountered an error while reading respondent 9"},
        {first + "9 600 0 2 -1 1 inf",
         "The draws file d.dra holds a value for respondent 9 that is not a finite number."},
        {first + "9 600 0 1 -1 1 9 600 0 1 -1 1",
         "The draws file d.dra holds a draw of respondent 9 with 1 values, but the part-worth file has 2 "
         "values per respondent."},
        {first + "9 600 0 2 -1 1 2 10 600 0 2 -1 1 2",
         "The draws file d.dra holds 1 draws of respondent 9, but the first respondent has 2; every "
         "respondent must have the same number of draws."},
        {first + first,
         "The draws file d.dra holds more than 2 draws of respondent 7; every respondent must have the same "
         "number of draws."},
    };
    for (const auto& [text, message] : cases) {
        EXPECT_EQ(test::FailureMessage([&] { ReadAll(text, 2); }), message) << text;
    }
}

TEST(DrawsFile, EveryPassStartsAtTheFirstByte) {
    MemoryDrawsText draws("7 500 0 2 -1 1 2");
    EXPECT_EQ(CountDrawsPerRespondent(draws.FromStart(), "d.dra", 2), 1);
    EXPECT_EQ(CountDrawsPerRespondent(draws.FromStart(), "d.dra", 2), 1);

    test::TempDir dir;
    test::WriteFileText(dir.File("d.dra"), "7 500 0 2 -1 1 2");
    FileHandle file;
    ASSERT_TRUE(file.Open(dir.File("d.dra"), "rb"));
    FileDrawsText fileDraws(std::move(file));
    EXPECT_EQ(CountDrawsPerRespondent(fileDraws.FromStart(), "d.dra", 2), 1);
    EXPECT_EQ(CountDrawsPerRespondent(fileDraws.FromStart(), "d.dra", 2), 1);
}

}  // namespace
}  // namespace ombrel
